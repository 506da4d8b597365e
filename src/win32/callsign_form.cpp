#include "callsign_form.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "lu_result.h"
#include "lurl.h"
#include "resource.h"
#include "ui_helpers.h"
#include "win32_lookups.h"
#include "win32_text.h"

namespace qsopad {

namespace {

constexpr wchar_t kClassName[] = L"QSOPAD_CallsignForm";
constexpr wchar_t kCaption[] = L"Set Callsign";
// Client area at design, twips; More/Less then sets the width.
constexpr long kClientWidth = 6000, kClientHeight = 2295;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW;

enum class Kind { kLabel, kEdit, kButton, kDefault, kCheck };

struct ControlDef {
  int id;
  Kind kind;
  const wchar_t* caption;
  const wchar_t* tip;
  bool enabled;
  long left, top, width, height;  // twips
};

// In tab order.
constexpr ControlDef kControls[] = {
    {IDC_CSF_LABEL1, Kind::kLabel, L"&Callsign:", nullptr, true, 120, 240, 585, 195},
    {IDC_CSF_CALLSIGN, Kind::kEdit, L"", nullptr, true, 840, 240, 2055, 285},
    {IDC_CSF_LABEL2, Kind::kLabel, L"&Name:", nullptr, true, 120, 1080, 465, 195},
    {IDC_CSF_NAMEFIELD, Kind::kEdit, L"", nullptr, true, 840, 1080, 3495, 285},
    {IDC_CSF_COMMAND1, Kind::kButton, L"Lookup No&w", nullptr, true, 3000, 120, 1215, 375},
    {IDOK, Kind::kDefault, L"OK", nullptr, true, 120, 1800, 1215, 375},
    {IDCANCEL, Kind::kButton, L"Cancel", nullptr, true, 1440, 1800, 1215, 375},
    {IDC_CSF_COMMAND4, Kind::kButton, L"L&og", L"Logs or copys callsign to clipboard", false,
     2760, 1800, 1215, 375},
    {IDC_CSF_CHECK1, Kind::kCheck, L"&Lookup", nullptr, true, 840, 600, 1935, 255},
    {IDC_CSF_COMMAND2, Kind::kButton, L"Lookup &Data", L"Sets URL used to lookup calls", false,
     4560, 120, 1215, 375},
    {IDC_CSF_COMMAND3, Kind::kButton, L"More&>>>", nullptr, true, 3000, 600, 1215, 375},
    {IDC_CSF_CHECK2, Kind::kCheck, L"&Upper case", L"Force callsigns to upper case", false,
     4560, 720, 1335, 255},
    {IDC_CSF_CHECK3, Kind::kCheck, L"&Always Copy", L"Always copy call to clipboard", false,
     4560, 1080, 1335, 255},
    {IDC_CSF_CHECK4, Kind::kCheck, L"&Palette mode", L"Keep callsign window active", false,
     4560, 1440, 1335, 255},
    {IDC_CSF_CHECK5, Kind::kCheck, L"&Fill in name", L"Causes CDROM callsign lookup to fill in name",
     false, 4560, 1800, 1335, 255},
};

DWORD StyleOf(Kind kind) {
  switch (kind) {
    case Kind::kLabel: return SS_LEFT;
    case Kind::kEdit: return WS_TABSTOP | ES_AUTOHSCROLL;
    case Kind::kButton: return WS_TABSTOP | BS_PUSHBUTTON;
    case Kind::kDefault: return WS_TABSTOP | BS_DEFPUSHBUTTON;
    case Kind::kCheck: return WS_TABSTOP | BS_AUTOCHECKBOX;
  }
  return 0;
}

std::string ErrorName(int id) {
  switch (id) {
    case IDC_CSF_COMMAND1: return "Command1_Click";
    case IDC_CSF_COMMAND2: return "Command2_Click";
    case IDC_CSF_COMMAND3: return "Command3_Click";
    case IDC_CSF_COMMAND4: return "Command4_Click";
    case IDOK: return "OKButton_Click";
    case IDCANCEL: return "CancelButton_Click";
    default: return "Check_Click";
  }
}

// The width of a control's caption (its access-key mark left out) in its own font, in
// pixels; 0 when it cannot be measured.
int CaptionWidth(HWND control) {
  wchar_t text[64] = {};
  const int n = GetWindowTextW(control, text, 64);
  std::wstring shown;
  for (int i = 0; i < n; ++i)
    if (text[i] != L'&') shown += text[i];
  SIZE extent{};
  const WindowDc dc(control);
  const SelectGuard selected(dc.get(), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  if (!dc || !GetTextExtentPoint32W(dc.get(), shown.c_str(), static_cast<int>(shown.size()), &extent)) return 0;
  return extent.cx;
}

// A label whose text is wider in this font than its design width grows, up to the box it
// names (both boxes stand at Left 840 twips), so that "&Callsign:" is not cut off.
void FitLabel(HWND label, const ControlDef& c) {
  constexpr long kBoxLeft = 840;
  const int needed = CaptionWidth(label);
  if (needed == 0) return;
  const int room = TwipsToPx(kBoxLeft) - TwipsToPx(c.left) - 1;
  const int width = std::max(TwipsToPx(c.width), std::min<int>(needed + 1, room));
  SetWindowPos(label, nullptr, 0, 0, width, TwipsToPx(c.height, true), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The width a check box needs for its box and whole caption, in pixels.
int CheckBoxWidth(HWND box) { return CaptionWidth(box) + GetSystemMetrics(SM_CXMENUCHECK) + 8; }

}  // namespace

CallsignForm::CallsignForm(HINSTANCE instance, HWND owner, SettingsStore& store,
                           CallsignHost& host, Win32Lookups& lookups, LUResult& result)
    : instance_(instance), owner_(owner), store_(store), host_(host), lookups_(lookups),
      result_(result) {}

CallsignForm::~CallsignForm() {
  if (hwnd_) DestroyWindow(hwnd_);
}

bool CallsignForm::EnsureCreated(bool namefocus) {
  if (hwnd_) return true;
  if (!RegisterWindowClass(instance_, kClassName)) return false;
  CallsignView& view = *this;
  LookupHost& lookup_host = *this;
  model_ = std::make_shared<CallsignFormModel>(store_, host_, view, lookups_, lookup_host);
  const CallsignPlacement at = model_->StoredPlacement();
  RECT frame{0, 0, TwipsToPx(kClientWidth), TwipsToPx(kClientHeight, true)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  if (!CreateWindowExW(kExStyle, kClassName, kCaption, kStyle, TwipsToPx(at.left),
                       TwipsToPx(at.top, true), frame.right - frame.left,
                       frame.bottom - frame.top, owner_, nullptr, instance_, this))
    return false;
  try {
    model_->Load(namefocus);
  } catch (...) {
    DestroyWindow(hwnd_);
    throw;
  }
  return true;
}

void CallsignForm::Show(bool name_box) {
  if (!EnsureCreated(name_box)) return;
  ShowWindow(hwnd_, SW_SHOW);
  SetActiveWindow(hwnd_);
  // Also with the window already open (palette mode): the focus comes back to the box.
  last_focus_ = name_box ? name_ : callsign_;
  SetFocus(last_focus_);
}

void CallsignForm::SetCallsign(const std::string& text) {
  if (EnsureCreated()) model_->SetCallsign(text);
}

void CallsignForm::SetName(const std::string& text) {
  if (EnsureCreated()) model_->SetName(text);
}

void CallsignForm::SetPaletteMode(bool on) {
  if (EnsureCreated()) model_->SetPaletteMode(on);
}

void CallsignForm::Unload() {
  if (!hwnd_) return;
  RECT r{};
  GetWindowRect(hwnd_, &r);
  const CallsignPlacement placement{PxToTwips(r.top, true), PxToTwips(r.left)};
  model_->Unload(placement);
  DestroyWindow(hwnd_);
}

bool CallsignForm::PreTranslate(MSG& msg) {
  HWND root = RootOfClass(msg, kClassName);
  return root && IsDialogMessageW(root, &msg) != FALSE;
}

LRESULT CallsignForm::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: return OnCreate();
    case WM_COMMAND: OnCommand(LOWORD(wparam), HIWORD(wparam)); return 0;
    case WM_ACTIVATE: OnActivate(wparam); return 0;
    // Enter is OK's, as in a dialog.
    case DM_GETDEFID: return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE:
      Guarded("Form_Unload", 0, [&] { return std::shared_ptr(model_)->Cancel(), 0; });
      return 0;
    case WM_DESTROY:
      last_focus_ = nullptr;
      lookups_.SetOwner(nullptr);
      return 0;
    default: return Default(message, wparam, lparam);
  }
}

LRESULT CallsignForm::OnCreate() {
  ui_font_ = MessageFont();
  tooltip_ = CreateToolTips(hwnd_, instance_);
  for (const ControlDef& c : kControls) {
    const bool edit = c.kind == Kind::kEdit;
    HWND control = CreateWindowExW(
        edit ? WS_EX_CLIENTEDGE : 0, edit ? L"EDIT" : c.kind == Kind::kLabel ? L"STATIC" : L"BUTTON",
        c.caption, WS_CHILD | WS_VISIBLE | StyleOf(c.kind), TwipsToPx(c.left),
        TwipsToPx(c.top, true), TwipsToPx(c.width), TwipsToPx(c.height, true), hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance_, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(ui_font_.get()), FALSE);
    if (c.kind == Kind::kLabel) FitLabel(control, c);
    EnableWindow(control, c.enabled);
    if (c.tip) AddToolTip(tooltip_, hwnd_, control, c.tip);
    switch (c.id) {
      case IDC_CSF_CALLSIGN: callsign_ = control; break;
      case IDC_CSF_LABEL2: label2_ = control; break;
      case IDC_CSF_NAMEFIELD: name_ = control; break;
      case IDOK: ok_ = control; break;
      case IDCANCEL: cancel_ = control; break;
      case IDC_CSF_COMMAND2: command2_ = control; break;
      case IDC_CSF_COMMAND3: command3_ = control; break;
      case IDC_CSF_COMMAND4: command4_ = control; break;
      default:
        if (c.id >= IDC_CSF_CHECK1 && c.id <= IDC_CSF_CHECK5)
          checks_[c.id - IDC_CSF_CHECK1 + 1] = control;
        break;
    }
  }
  SetWindowSubclass(callsign_, &CallsignForm::CallsignProc, 1, reinterpret_cast<DWORD_PTR>(this));
  lookups_.SetOwner(hwnd_);
  return 0;
}

void CallsignForm::OnActivate(WPARAM state) {
  // Leaving, the control with the keyboard is remembered; coming back, it gets it again
  // (the first in the tab order at first).
  if (LOWORD(state) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) last_focus_ = focus;
    return;
  }
  HWND target = last_focus_ && IsWindowEnabled(last_focus_) ? last_focus_
                                                              : GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  if (target) SetFocus(target);
}

void CallsignForm::OnCommand(int id, int code) {
  if (!model_) return;
  switch (id) {
    case IDC_CSF_CALLSIGN:
      if (code == EN_CHANGE && !assigning_)
        Guarded("Callsign_Change", 0,
                [&] { return model_->OnCallsignChanged(GetWindowAnsiText(callsign_)), 0; });
      else if (code == EN_SETFOCUS)
        SendMessageW(callsign_, EM_SETSEL, 0, -1);
      return;
    case IDC_CSF_NAMEFIELD:
      if (code == EN_CHANGE && !assigning_)
        model_->OnNameChanged(GetWindowAnsiText(name_));
      else if (code == EN_SETFOCUS)
        SendMessageW(name_, EM_SETSEL, 0, -1);
      return;
    default: break;
  }
  if (code != BN_CLICKED) return;
  const std::shared_ptr<CallsignFormModel> model = model_;
  Guarded(ErrorName(id).c_str(), 0, [&] {
    switch (id) {
      case IDC_CSF_COMMAND1: model->LookupNow(); break;
      case IDC_CSF_COMMAND2: OnLookupData(); break;
      case IDC_CSF_COMMAND3: model->MoreLess(); break;
      case IDC_CSF_COMMAND4: model->Log(); break;
      case IDOK: model->Ok(); break;
      case IDCANCEL: model->Cancel(); break;
      default:
        if (id >= IDC_CSF_CHECK1 && id <= IDC_CSF_CHECK5) {
          const int box = id - IDC_CSF_CHECK1 + 1;
          model->OnCheckClicked(static_cast<CallsignFormModel::Box>(box),
                                SendMessageW(checks_[box], BM_GETCHECK, 0, 0) == BST_CHECKED);
        }
        break;
    }
    return 0;
  });
}

void CallsignForm::OnLookupData() { ShowLookupSourceDialog(instance_, hwnd_, store_); }

LRESULT CALLBACK CallsignForm::CallsignProc(HWND hwnd, UINT message, WPARAM wparam,
                                            LPARAM lparam, UINT_PTR, DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<CallsignForm*>(data);
  return Guarded("Callsign_KeyPress", LRESULT{0}, [&]() -> LRESULT {
    if (message == WM_CHAR) return self->OnCallsignChar(wparam, lparam);
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &CallsignForm::CallsignProc, 1);
    return DefSubclassProc(hwnd, message, wparam, lparam);
  });
}

LRESULT CallsignForm::OnCallsignChar(WPARAM wparam, LPARAM lparam) {
  // Only a typed character is changed: a paste or an assignment arrives otherwise.
  wchar_t wide = static_cast<wchar_t>(wparam);
  char byte = 0;
  BOOL lossy = FALSE;
  if (model_ && WideCharToMultiByte(CP_ACP, 0, &wide, 1, &byte, 1, nullptr, &lossy) == 1 &&
      !lossy) {
    const char typed = model_->OnCallsignChar(byte);
    if (typed != byte) MultiByteToWideChar(CP_ACP, 0, &typed, 1, &wide, 1);
  }
  return DefSubclassProc(callsign_, WM_CHAR, wide, lparam);
}

void CallsignForm::Assign(HWND box, const std::string& text) {
  assigning_ = true;
  SetWindowTextW(box, Widen(text).c_str());
  assigning_ = false;
}

// CallsignView.

void CallsignForm::SetCallsignText(const std::string& text) { Assign(callsign_, text); }

void CallsignForm::SetNameText(const std::string& text) { Assign(name_, text); }

void CallsignForm::SetLogEnabled(bool enabled) { EnableWindow(command4_, enabled); }

void CallsignForm::SetCheck(int box, bool checked) {
  if (box >= 1 && box <= 5)
    SendMessageW(checks_[box], BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CallsignForm::SetButtonCaptions(const std::string& ok, const std::string& cancel) {
  SetWindowTextW(ok_, Widen(ok).c_str());
  SetWindowTextW(cancel_, Widen(cancel).c_str());
}

void CallsignForm::SetExpanded(long width_twips, const std::string& caption, bool column_enabled) {
  RECT r{};
  GetWindowRect(hwnd_, &r);
  int width = TwipsToPx(width_twips);
  if (column_enabled) {
    // Opened out, the column's boxes show their whole captions: in this font they may be
    // wider than their design width.
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int frame = (r.right - r.left) - client.right;
    for (int box = CallsignFormModel::kUpperCase; box <= CallsignFormModel::kFillInName; ++box) {
      RECT at{};
      GetWindowRect(checks_[box], &at);
      MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&at), 2);
      const int needed = at.left + CheckBoxWidth(checks_[box]) + TwipsToPx(120);
      if (needed + frame > width) width = needed + frame;
    }
  }
  SetWindowPos(hwnd_, nullptr, 0, 0, width, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (column_enabled)
    for (int box = CallsignFormModel::kUpperCase; box <= CallsignFormModel::kFillInName; ++box) {
      RECT at{};
      GetWindowRect(checks_[box], &at);
      SetWindowPos(checks_[box], nullptr, 0, 0, std::max<int>(at.right - at.left, CheckBoxWidth(checks_[box])),
                   at.bottom - at.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  SetWindowTextW(command3_, Widen(caption).c_str());
  EnableWindow(command2_, column_enabled);
  for (int box = CallsignFormModel::kUpperCase; box <= CallsignFormModel::kFillInName; ++box)
    EnableWindow(checks_[box], column_enabled);
}

void CallsignForm::PutNameFirst() {
  // The label goes with its box, so that its access key still reaches the name box.
  SetWindowPos(name_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowPos(label2_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CallsignForm::Close() { Unload(); }

// LookupHost.

void CallsignForm::OpenAddress(const std::string& address) {
  qsopad::OpenAddress(hwnd_, address);
}

void CallsignForm::ShowLookupResult(const std::string& text) { result_.ShowResult(text, nullptr); }

void CallsignForm::FocusCallsign() {
  if (callsign_) SetFocus(callsign_);
}

}  // namespace qsopad
