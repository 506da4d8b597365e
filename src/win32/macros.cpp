#include "macros.h"

#include "ui_helpers.h"

#include <commctrl.h>
#include <winspool.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <optional>

#include "app/main_form.h"
#include "resource.h"
#include "win32_text.h"

namespace qsopad {

namespace {

constexpr wchar_t kClassName[] = L"QSOPAD_Macros";
constexpr wchar_t kCaption[] = L"QSOPAD Macros";
constexpr wchar_t kTitle[] = L"QSOPAD";

// Courier New at `tenths_of_points` / 100 points for a device of `dpi` rows per inch.
UniqueFont CourierFont(int hundredths_of_points, int dpi) {
  return UniqueFont(CreateFontW(-MulDiv(hundredths_of_points, dpi, 7200), 0, 0, 0, FW_NORMAL,
                                FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                                L"Courier New"));
}

std::string LastErrorText() { return SystemErrorText(GetLastError()); }

}  // namespace

Macros::Macros(HINSTANCE instance, HWND owner, MainForm& form)
    : instance_(instance), owner_(owner), form_(form) {}

Macros::~Macros() {
  if (hwnd_) DestroyWindow(hwnd_);
}

bool Macros::EnsureCreated() {
  if (hwnd_) return true;
  if (!RegisterWindowClass(instance_, kClassName)) return false;
  PaletteView& view = *this;
  model_ = std::make_unique<MacroPaletteModel>(form_, form_.DefMacros, view);
  const PaletteRect twips = model_->StoredPlacement();
  // A sizable tool window: narrow title bar, no minimise or maximise button.
  if (!CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, kCaption,
                       WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN,
                       TwipsToPx(twips.left), TwipsToPx(twips.top, true),
                       TwipsToPx(twips.width), TwipsToPx(twips.height, true), owner_,
                       nullptr, instance_, this))
    return false;
  model_->Load();
  SendMessageW(check2_, BM_SETCHECK, model_->expand() ? BST_CHECKED : BST_UNCHECKED, 0);
  SetAutoShow(model_->StoredAutoShow());
  return true;
}

void Macros::Show() {
  if (!EnsureCreated()) return;
  ShowWindow(hwnd_, SW_SHOW);
  SetActiveWindow(hwnd_);
}

void Macros::InitList() {
  if (model_ && hwnd_) model_->InitList();
}

void Macros::SetAutoShow(bool auto_show) {
  if (check1_) SendMessageW(check1_, BM_SETCHECK, auto_show ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Macros::Unload() {
  if (!hwnd_) return;
  RECT r{};
  GetWindowRect(hwnd_, &r);
  const PaletteRect twips{PxToTwips(r.left), PxToTwips(r.top, true), PxToTwips(r.right - r.left),
                          PxToTwips(r.bottom - r.top, true)};
  model_->SaveOnUnload(SendMessageW(check1_, BM_GETCHECK, 0, 0) == BST_CHECKED, twips);
  DestroyWindow(hwnd_);
}

bool Macros::PreTranslate(MSG& msg) {
  HWND root = RootOfClass(msg, kClassName);
  if (!root) return false;
  auto* self = static_cast<Macros*>(
      reinterpret_cast<WindowBase*>(GetWindowLongPtrW(root, GWLP_USERDATA)));
  if (!self) return false;
  if (self->KeyDown(msg)) return true;
  return IsDialogMessageW(root, &msg) != FALSE;
}

bool Macros::KeyDown(MSG& msg) {
  if (msg.message != WM_KEYDOWN || !model_) return false;
  if (msg.wParam == VK_RETURN) return model_->OnKey(MacroPaletteModel::Key::kEnter);
  if (msg.wParam == VK_ESCAPE) return model_->OnKey(MacroPaletteModel::Key::kEscape);
  return false;
}

LRESULT Macros::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: return OnCreate();
    case WM_SIZE: Layout(); return 0;
    case WM_COMMAND: OnCommand(LOWORD(wparam), HIWORD(wparam)); return 0;
    case WM_ACTIVATE:
      // Coming back, the keyboard goes to the control that had it (the list at first).
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) last_focus_ = focus;
        return 0;
      }
      SetFocus(last_focus_ && IsWindowVisible(last_focus_) ? last_focus_ : list1_);
      return 0;
    case WM_CLOSE: OnClose(); return 0;
    default: return Default(message, wparam, lparam);
  }
}

HWND Macros::CreateControl(DWORD ex_style, const wchar_t* cls, const wchar_t* text, DWORD style,
                           int id, HFONT font) {
  HWND control = CreateWindowExW(ex_style, cls, text, WS_CHILD | style, 0, 0, 0, 0, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_,
                                 nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

LRESULT Macros::OnCreate() {
  courier_ = CourierFont(975, ScreenDpi(true));
  ui_font_ = MessageFont();
  HFONT courier = courier_.get(), ui = ui_font_.get();
  // Created in tab order: the list first.
  list1_ = CreateControl(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                         WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY |
                             LBS_NOINTEGRALHEIGHT,
                         IDC_MPAL_LIST1, courier);
  label1_ = CreateControl(0, L"STATIC", L"   ", WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                          IDC_MPAL_LABEL1, courier);
  text1_ = CreateControl(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL,
                         IDC_MPAL_TEXT1, courier);
  command1_ = CreateControl(0, L"BUTTON", L"&Send", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                            IDC_MPAL_COMMAND1, ui);
  EnableWindow(command1_, FALSE);
  command2_ = CreateControl(0, L"BUTTON", L"&Print", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                            IDC_MPAL_COMMAND2, ui);
  check2_ = CreateControl(0, L"BUTTON", L"Expand", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX,
                          IDC_MPAL_CHECK2, ui);
  check1_ = CreateControl(0, L"BUTTON", L"&Auto Show",
                          WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, IDC_MPAL_CHECK1, ui);

  tooltip_ = CreateToolTips(hwnd_, instance_);
  AddToolTip(tooltip_, hwnd_, list1_, L"Click to select, double click to send");
  AddToolTip(tooltip_, hwnd_, text1_, L"Edit the selected macro here");
  AddToolTip(tooltip_, hwnd_, command1_, L"Send selected macro");
  AddToolTip(tooltip_, hwnd_, command2_, L"Prints macros to default printer");
  AddToolTip(tooltip_, hwnd_, check2_, L"Expands non-blank macros");
  AddToolTip(tooltip_, hwnd_, check1_, L"Automatically show palette on startup");
  Layout();
  return 0;
}

void Macros::Layout() {
  if (!list1_) return;
  RECT client{};
  GetClientRect(hwnd_, &client);
  // The label sizes itself to its caption.
  SIZE label{};
  const std::wstring caption = [this] {
    wchar_t text[16] = {};
    GetWindowTextW(label1_, text, 16);
    return std::wstring(text);
  }();
  if (const WindowDc dc(label1_); dc) {
    const SelectGuard font(dc.get(), courier_.get());
    GetTextExtentPoint32W(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &label);
  }
  const PaletteLayout l = LayOutPalette(client.right, client.bottom, label.cx, label.cy);
  const auto place = [](HWND control, const PaletteRect& r) {
    MoveWindow(control, r.left, r.top, r.width, r.height, TRUE);
  };
  place(list1_, l.list);
  place(text1_, l.edit);
  place(label1_, l.label);
  place(command1_, l.send);
  place(command2_, l.print);
  place(check1_, l.auto_show);
  place(check2_, l.expand);
}

void Macros::OnCommand(int id, int code) {
  switch (id) {
    case IDC_MPAL_LIST1:
      if (code == LBN_SELCHANGE) {
        const auto index = static_cast<int>(SendMessageW(list1_, LB_GETCURSEL, 0, 0));
        if (index != LB_ERR) model_->Select(index);
      } else if (code == LBN_DBLCLK) {
        OnSend();
      } else if (code == LBN_KILLFOCUS) {
        model_->SaveEdit();
      }
      break;
    case IDC_MPAL_TEXT1:
      if (code == EN_CHANGE)
        model_->OnEditChanged(GetWindowAnsiText(text1_));
      else if (code == EN_KILLFOCUS)
        model_->SaveEdit();
      break;
    case IDC_MPAL_COMMAND1:
      if (code == BN_CLICKED) OnSend();
      break;
    case IDC_MPAL_COMMAND2:
      if (code == BN_CLICKED) OnPrint();
      break;
    case IDC_MPAL_CHECK2:
      if (code == BN_CLICKED)
        model_->SetExpand(SendMessageW(check2_, BM_GETCHECK, 0, 0) == BST_CHECKED);
      break;
    default: break;  // IDOK and IDCANCEL from the dialog keys: Enter and Esc are ours
  }
}

void Macros::OnClose() { Unload(); }

void Macros::OnSend() {
  if (const std::optional<int> n = model_->Send()) form_.SendMacro(*n);
  form_.FocusTypingArea();
}

void Macros::OnPrint() {
  std::string failure;
  try {
    failure = PrintPage(model_->PrintLines());
  } catch (const std::exception& e) {
    failure = e.what();
  }
  if (!failure.empty()) {
    MessageBoxW(hwnd_, Widen("The macros could not be printed: " + failure).c_str(), kTitle,
                MB_OK | MB_ICONERROR);
    return;
  }
  MessageBoxW(hwnd_, L"Print complete", kTitle, MB_OK);
}

std::string Macros::PrintPage(const std::vector<std::string>& page) {
  DWORD size = 0;
  if (!GetDefaultPrinterW(nullptr, &size) && size == 0)
    return "there is no default printer (error " + LastErrorText() + ").";
  std::wstring printer(size, L'\0');
  if (!GetDefaultPrinterW(printer.data(), &size))
    return "the default printer cannot be found (error " + LastErrorText() + ").";
  printer.resize(std::wcslen(printer.c_str()));
  const UniqueDc dc(CreateDCW(L"WINSPOOL", printer.c_str(), nullptr, nullptr));
  if (!dc)
    return "the printer " + Narrow(printer) + " cannot be opened (error " + LastErrorText() + ").";
  const UniqueFont font = CourierFont(1200, GetDeviceCaps(dc.get(), LOGPIXELSY));
  // Declared after the font: the font is put out of the DC before it is deleted, whichever
  // way this returns.
  std::optional<SelectGuard> selected;
  DOCINFOW doc{};
  doc.cbSize = sizeof doc;
  doc.lpszDocName = kCaption;
  if (StartDocW(dc.get(), &doc) <= 0)
    return "the printer " + Narrow(printer) + " did not accept the document (error " +
           LastErrorText() + ").";
  const auto fail = [&](const char* step) {
    const std::string text = std::string("the printer ") + Narrow(printer) + " failed to " +
                             step + " (error " + LastErrorText() + ").";
    AbortDoc(dc.get());
    return text;
  };
  const int page_height = GetDeviceCaps(dc.get(), VERTRES);
  int y = 0, line_height = 0;
  bool page_open = false;
  for (const std::string& line : page) {
    if (!page_open || y + line_height > page_height) {
      if (page_open && EndPage(dc.get()) <= 0) return fail("finish a page");
      if (StartPage(dc.get()) <= 0) return fail("start a page");
      page_open = true;
      // StartPage resets the DC's objects: select the font again on every page.
      selected.reset();
      selected.emplace(dc.get(), font.get());
      TEXTMETRICW metrics{};
      GetTextMetricsW(dc.get(), &metrics);
      line_height = metrics.tmHeight + metrics.tmExternalLeading;
      y = 0;
    }
    const std::wstring wide = Widen(line);
    if (!wide.empty() && !TextOutW(dc.get(), 0, y, wide.c_str(), static_cast<int>(wide.size())))
      return fail("print a line");
    y += line_height;
  }
  if (page_open && EndPage(dc.get()) <= 0) return fail("finish a page");
  if (EndDoc(dc.get()) <= 0) return fail("close the document");
  return {};
}

// PaletteView: the list box, label and edit box show the model's state.

void Macros::SetLines(const std::vector<PaletteLine>& lines) {
  SendMessageW(list1_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list1_, LB_RESETCONTENT, 0, 0);
  int widest = 0;
  {
    const WindowDc dc(list1_);
    const SelectGuard font(dc.get(), courier_.get());
    for (const PaletteLine& line : lines) {
      const std::wstring wide = Widen(line.text);
      const auto at =
          SendMessageW(list1_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
      SendMessageW(list1_, LB_SETITEMDATA, static_cast<WPARAM>(at), line.n);
      SIZE extent{};
      if (dc && GetTextExtentPoint32W(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &extent))
        widest = std::max(widest, static_cast<int>(extent.cx));
    }
  }
  // Long macros scroll sideways rather than being cut off.
  SendMessageW(list1_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 4), 0);
  SendMessageW(list1_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list1_, nullptr, TRUE);
}

void Macros::SetLine(int index, const std::string& text) {
  const auto selected = SendMessageW(list1_, LB_GETCURSEL, 0, 0);
  const auto data = SendMessageW(list1_, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  const std::wstring wide = Widen(text);
  SendMessageW(list1_, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
  SendMessageW(list1_, LB_INSERTSTRING, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(wide.c_str()));
  SendMessageW(list1_, LB_SETITEMDATA, static_cast<WPARAM>(index), data);
  SendMessageW(list1_, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void Macros::SelectLine(int index) {
  SendMessageW(list1_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Macros::SetEditText(const std::string& text) {
  SetWindowTextW(text1_, Widen(text).c_str());
}

void Macros::SetEditLabel(const std::string& label) {
  SetWindowTextW(label1_, Widen(label).c_str());
  Layout();
}

void Macros::ShowEditor() {
  ShowWindow(text1_, SW_SHOW);
  EnableWindow(command1_, TRUE);
}

}  // namespace qsopad
