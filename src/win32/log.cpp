#include "log.h"

#include <commctrl.h>

#include <cmath>

#include "options/settings_catalogue.h"
#include "resource.h"
#include "ui_helpers.h"
#include "win32_text.h"

namespace qsopad {

namespace {

constexpr wchar_t kClassName[] = L"QSOPAD_Log";
constexpr wchar_t kCaption[] = L"Logging";
// Inner size at design, twips; the layout places everything from it.
constexpr long kClientWidth = 6600, kClientHeight = 4500;
constexpr long kButtonWidth = 1215, kButtonHeight = 375, kOkLeft = 120, kText1Height = 315;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

struct ControlDef {
  int id;
  const wchar_t* cls;
  DWORD style;
  const wchar_t* caption;
  const wchar_t* tip;
};

// In tab order; the layout gives the places.
constexpr ControlDef kControls[] = {
    {IDC_LOG_LIST1, L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, L"",
     L"The ADIF fields of this contact: choose one to edit its value"},
    {IDC_LOG_TEXT1, L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, L"",
     L"The value of the chosen field; it is kept when you choose another field or press OK"},
    {IDC_LOG_LABEL1, L"EDIT", ES_MULTILINE | ES_READONLY | WS_VSCROLL | ES_AUTOVSCROLL, L"",
     L"The record as it will be logged: click a line to edit that field"},
    {IDOK, L"BUTTON", WS_TABSTOP | BS_DEFPUSHBUTTON, L"OK", L"Log this contact and close"},
    {IDCANCEL, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, L"Cancel", L"Close without logging"},
};

RECT Frame(long client_width, long client_height, bool menu) {
  RECT r{0, 0, TwipsToPx(client_width), TwipsToPx(client_height, true)};
  AdjustWindowRectEx(&r, kStyle, menu, 0);
  return r;
}

void Place(HWND control, const TwipsRect& r) {
  MoveWindow(control, TwipsToPx(r.left), TwipsToPx(r.top, true), TwipsToPx(r.width),
             TwipsToPx(r.height, true), TRUE);
}

}  // namespace

Log::Log(HINSTANCE instance, HWND owner, SettingsStore& store, AdifTable& table,
         MacroContext& context, LogPartner& partner, LogFiles& files)
    : instance_(instance), owner_(owner), store_(store), table_(table), context_(context),
      partner_(partner), files_(files) {}

Log::~Log() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void Log::Show() {
  if (hwnd_) {
    if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
    SetActiveWindow(hwnd_);
    return;
  }
  if (!RegisterWindowClass(instance_, kClassName)) return;
  LogView& view = *this;
  model_ = std::make_unique<LogFormModel>(table_, context_, view, partner_, files_);
  const RECT frame = Frame(kClientWidth, kClientHeight, true);
  HMENU menu = LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_LOGMENU));
  if (!CreateWindowExW(0, kClassName, kCaption, kStyle, 0, 0, frame.right - frame.left,
                       frame.bottom - frame.top, owner_, menu, instance_, this)) {
    if (menu) DestroyMenu(menu);
    return;
  }
  // Its first place is the top right corner of the screen.
  const long width = PxToTwips(frame.right - frame.left);
  const long height = PxToTwips(frame.bottom - frame.top, true);
  const long screen = PxToTwips(GetSystemMetrics(SM_CXSCREEN));
  RestoreWinPos(*this, store_, keys::kLogWinPrefix, 0, screen - width, width, height);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  Guarded("Form_Load", 0, [&] { return model_->Refresh(), 0; });
}

void Log::Unload() {
  if (!hwnd_) return;
  // The window goes even when the placement cannot be written.
  struct Destroy {
    HWND window;
    ~Destroy() { DestroyWindow(window); }
  } destroy{hwnd_};
  SaveWinPos(*this, store_, keys::kLogWinPrefix);
}

bool Log::PreTranslate(MSG& msg) {
  HWND root = RootOfClass(msg, kClassName);
  return root && IsDialogMessageW(root, &msg) != FALSE;
}

LRESULT Log::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: return OnCreate();
    case WM_SIZE: OnSize(wparam); return 0;
    case WM_COMMAND: OnCommand(LOWORD(wparam), HIWORD(wparam)); return 0;
    case DM_GETDEFID: return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE: Guarded("Form_Unload", 0, [&] { return Unload(), 0; }); return 0;
    default: return Default(message, wparam, lparam);
  }
}

LRESULT Log::OnCreate() {
  ui_font_ = MessageFont();
  tooltip_ = CreateToolTips(hwnd_, instance_);
  for (const ControlDef& c : kControls) {
    const bool framed = c.id != IDOK && c.id != IDCANCEL;
    HWND control = CreateWindowExW(framed ? WS_EX_CLIENTEDGE : 0, c.cls, c.caption,
                                   WS_CHILD | WS_VISIBLE | c.style, 0, 0, TwipsToPx(kButtonWidth),
                                   TwipsToPx(kButtonHeight, true), hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                                   instance_, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(ui_font_.get()), FALSE);
    AddToolTip(tooltip_, hwnd_, control, c.tip);
    switch (c.id) {
      case IDC_LOG_LIST1: list1_ = control; break;
      case IDC_LOG_TEXT1: text1_ = control; break;
      case IDC_LOG_LABEL1: label1_ = control; break;
      case IDOK: ok_ = control; break;
      default: cancel_ = control; break;
    }
  }
  SetWindowSubclass(label1_, &Log::PreviewProc, 1, reinterpret_cast<DWORD_PTR>(this));
  return 0;
}

void Log::OnSize(WPARAM kind) {
  if (kind == SIZE_MINIMIZED || !ok_) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  const TwipsRect ok{kOkLeft, 0, kButtonWidth, kButtonHeight};
  const LogLayout l = LayOutLog(PxToTwips(client.right), PxToTwips(client.bottom, true), ok,
                                ok, kText1Height);
  Place(list1_, l.list);
  Place(ok_, l.ok);
  Place(cancel_, l.cancel);
  Place(text1_, l.text);
  Place(label1_, l.preview);
}

void Log::OnCommand(int id, int code) {
  if (!model_) return;
  if (id == IDC_LOG_LIST1) {
    if (code == LBN_SELCHANGE)
      Guarded("List1_Click", 0, [&] {
        return model_->Select(static_cast<int>(SendMessageW(list1_, LB_GETCURSEL, 0, 0))), 0;
      });
    return;
  }
  if (id == IDC_LOG_TEXT1 || id == IDC_LOG_LABEL1) return;
  switch (id) {
    case IDOK: Guarded("OKButton_Click", 0, [&] { return model_->Ok(), 0; }); break;
    case IDCANCEL: Guarded("CancelButton_Click", 0, [&] { return model_->Cancel(), 0; }); break;
    case IDM_LOG_REFRESH: Guarded("mnuRefresh_Click", 0, [&] { return model_->Refresh(), 0; }); break;
    case IDM_LOG_TIME: Guarded("mnuTime_Click", 0, [&] { return model_->InsertTime(), 0; }); break;
    default: break;
  }
}

void Log::OnPreviewPress(LPARAM at) {
  LOGFONTW font{};
  HFONT shown = reinterpret_cast<HFONT>(SendMessageW(label1_, WM_GETFONT, 0, 0));
  if (!shown || !GetObjectW(shown, sizeof font, &font)) return;
  // The font's size in points, from its height in pixels on this screen.
  const double points = std::fabs(static_cast<double>(font.lfHeight)) * 72.0 / ScreenDpi(true);
  const int first = static_cast<int>(SendMessageW(label1_, EM_GETFIRSTVISIBLELINE, 0, 0));
  const int y = static_cast<short>(HIWORD(at));
  model_->PreviewClick(static_cast<double>(PxToTwips(y, true)), first, points);
}

LRESULT CALLBACK Log::PreviewProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                  UINT_PTR, DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<Log*>(data);
  return Guarded("Label1_MouseDown", LRESULT{0}, [&]() -> LRESULT {
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &Log::PreviewProc, 1);
    const LRESULT result = DefSubclassProc(hwnd, message, wparam, lparam);
    // After the box has taken the press: the selection then moves the keyboard to Text1.
    if (message == WM_LBUTTONDOWN && self->model_) self->OnPreviewPress(lparam);
    return result;
  });
}

// LogView.

void Log::SetListEntries(const std::vector<std::string>& tags) {
  SendMessageW(list1_, LB_RESETCONTENT, 0, 0);
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const LRESULT at = SendMessageW(list1_, LB_ADDSTRING, 0,
                                    reinterpret_cast<LPARAM>(Widen(tags[i]).c_str()));
    // The table index as item data, as the model has it.
    if (at >= 0)
      SendMessageW(list1_, LB_SETITEMDATA, static_cast<WPARAM>(at),
                   static_cast<LPARAM>(model_->entries().size() > i ? model_->entries()[i] : -1));
  }
}

void Log::SetListSelection(int position) {
  SendMessageW(list1_, LB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

std::string Log::EditText() { return GetWindowAnsiText(text1_); }

void Log::SetEditText(const std::string& text) { SetWindowTextW(text1_, Widen(text).c_str()); }

void Log::SetPreview(const std::string& text) { SetWindowTextW(label1_, Widen(text).c_str()); }

void Log::FocusEditSelectAll() {
  SetFocus(text1_);
  SendMessageW(text1_, EM_SETSEL, 0, -1);
}

void Log::ShowMessage(const std::string& text) {
  MessageBoxW(hwnd_, Widen(text).c_str(), L"QSOPAD", MB_OK | MB_ICONEXCLAMATION);
}

void Log::Close() { Unload(); }

// PlacedWindow.

bool Log::IsVisible() { return IsWindowVisible(hwnd_) != FALSE; }

bool Log::IsNormal() { return !IsIconic(hwnd_) && !IsZoomed(hwnd_); }

TwipsRect Log::GetTwips() {
  RECT r{};
  GetWindowRect(hwnd_, &r);
  return {PxToTwips(r.left), PxToTwips(r.top, true), PxToTwips(r.right - r.left),
          PxToTwips(r.bottom - r.top, true)};
}

void Log::SetTwips(const TwipsRect& rect) {
  MoveWindow(hwnd_, TwipsToPx(rect.left), TwipsToPx(rect.top, true), TwipsToPx(rect.width),
             TwipsToPx(rect.height, true), TRUE);
}

}  // namespace qsopad
