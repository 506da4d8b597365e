#include "form1.h"

#include "frm_options.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cmath>
#include <cstring>

#include "app/layout.h"
#include "dialogs.h"
#include "options/settings_store.h"
#include "resource.h"
#include "ui_helpers.h"
#include "win32_text.h"

namespace qsopad {

namespace {

constexpr wchar_t kClassName[] = L"QSOPAD_Form1";
constexpr wchar_t kTitle[] = L"QSOPAD";
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = 25;
constexpr wchar_t kHomePage[] = L"https://qsopad.org/";
constexpr wchar_t kSupportMail[] = L"mailto:zx0dev@qsopad.org?subject=QSOPAD";

// Buttons measure 1095 x 375 twips; the typing area 6615 x 4575.
constexpr long kButtonWidthTwips = 1095, kButtonHeightTwips = 375;
// Position of the "&PSK31" menus in the menu bar.
constexpr int kPskMenuPosition = 3;

struct ButtonDef {
  int id;
  const wchar_t* caption;
  const wchar_t* tip;
};
constexpr ButtonDef kButtons[6] = {
    {IDC_COMMAND1, L"&Send", L"Switch to send mode"},
    {IDC_COMMAND2, L"&Rcv", L"Switch to receive mode"},
    {IDC_COMMAND3, L"", L"Send your callsign"},
    {IDC_COMMAND4, L"", L"Send other station's call sign"},
    {IDC_COMMAND5, L"Time/&Date", L"Send the current time/date"},
    {IDC_COMMAND6, L"S/&N ", L"Send current serial number"},
};

}  // namespace

namespace {
constexpr int kPskPanel = static_cast<int>(MainView::Panel::kPsk);

std::vector<ACCEL> LoadShortcuts(HINSTANCE instance, int id) {
  HACCEL table = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(id));
  if (!table) return {};
  std::vector<ACCEL> entries(static_cast<size_t>(CopyAcceleratorTableW(table, nullptr, 0)));
  CopyAcceleratorTableW(table, entries.data(), static_cast<int>(entries.size()));
  DestroyAcceleratorTable(table);
  return entries;
}

bool KeyDown(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

// Alt is held when the key message says so (lParam bit 29). F10 arrives as WM_SYSKEYDOWN
// without it: the message kind alone does not mean Alt.
bool AltHeld(const MSG& msg) { return (msg.lParam & (1 << 29)) != 0; }
}  // namespace

Form1::Form1(SettingsStore& store, WindowSystem& windows, ErrorReporter& reporter,
             StationFactory& stations)
    : model_(std::make_unique<MainForm>(store, windows, *this, reporter, *this, *this, stations)),
      store_(store) {}

Form1::~Form1() = default;

bool Form1::Create(HINSTANCE instance) {
  instance_ = instance;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &WindowBase::Procedure;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  if (!RegisterClassExW(&wc)) return false;
  accel_ = LoadShortcuts(instance, IDR_ACCEL);
  accel_retro_ = LoadShortcuts(instance, IDR_ACCEL_RETRO);
  HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINMENU));
  // Design size 6615 x 4575 twips for the typing area; start-up places the window.
  if (!CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                       CW_USEDEFAULT, CW_USEDEFAULT, 480, 380, nullptr, menu, instance, this))
    return false;
  model_ready_ = true;
  model_->Load();
  return true;
}

std::optional<int> Form1::FindShortcut(const MSG& msg) const {
  const bool ctrl = KeyDown(VK_CONTROL), shift = KeyDown(VK_SHIFT);
  const bool alt = AltHeld(msg);
  for (const ACCEL& a : psk_visible_[1] ? accel_retro_ : accel_) {
    if (a.key != msg.wParam) continue;
    if (((a.fVirt & FCONTROL) != 0) != ctrl || ((a.fVirt & FSHIFT) != 0) != shift ||
        ((a.fVirt & FALT) != 0) != alt)
      continue;
    return a.cmd;
  }
  return std::nullopt;
}

bool Form1::PreTranslate(MSG& msg) {
  if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  // Alt and a button's access key clicks the button, as in a dialog. Taken at the
  // character, after the window has seen the key go down, so that releasing Alt does not
  // then open the menu bar.
  if (msg.message == WM_SYSCHAR) {
    std::array<std::string, 6> captions;
    for (size_t i = 0; i < captions.size(); ++i) {
      if (IsWindowVisible(buttons_[i]) && IsWindowEnabled(buttons_[i]))
        captions[i] = GetWindowAnsiText(buttons_[i]);
    }
    const int button = AccessKeyButton(captions, static_cast<char>(msg.wParam & 0xFF));
    if (button == 0) return false;
    model_->OnButtonClick(button);
    return true;
  }
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  // A shortcut of a visible, enabled menu item runs the item and goes no further.
  if (const std::optional<int> command = FindShortcut(msg)) {
    if (CommandAvailable(*command)) {
      // Wine's default procedure opens the menu bar when Alt goes up unless it saw another
      // key go down meanwhile (after Alt+Backspace the next keys went to the menu): show it
      // this one. Alt+F4 would close the window there.
      if (AltHeld(msg) && msg.wParam != VK_F4) DefWindowProcW(hwnd_, msg.message, msg.wParam, msg.lParam);
      OnCommand(*command, 1, nullptr);
      return true;
    }
  }
  const auto vk = static_cast<unsigned>(msg.wParam);
  int shift = 0;
  if (KeyDown(VK_SHIFT)) shift |= kShiftBit;
  if (KeyDown(VK_CONTROL)) shift |= kCtrlBit;
  if (AltHeld(msg)) shift |= kAltBit;
  if (model_->OnKeyDown(vk, shift)) return true;
  // The rules may have moved the focus to the typing area; the key follows it there.
  if (GetFocus() == text1_) msg.hwnd = text1_;
  return false;
}

LRESULT Form1::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  // Messages from other programs: handled here, then passed on like every other message.
  if (message == WM_COPYDATA) {
    const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
    if (record)
      model_->OnCopyData(record->dwData, DecodeRecordText(record->lpData, record->cbData));
  } else if (message >= 0xC000 && message <= 0xFFFF) {
    model_->OnRegisteredMessage(message, wparam, lparam);
  }
  switch (message) {
    case WM_CREATE: return OnCreate();
    case WM_SIZE: OnSize(wparam); return 0;
    case WM_TIMER: if (wparam == kTimer1) OnTimer(); return 0;
    case WM_COMMAND: OnCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam)); return 0;
    case WM_INITMENUPOPUP: OnInitMenuPopup(reinterpret_cast<HMENU>(wparam)); return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: return OnCtlColor(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_DRAWITEM: OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam)); return TRUE;
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_SETFOCUS: FocusTypingArea(); return 0;
    case WM_CLOSE: OnClose(); return 0;
    case WM_QUERYENDSESSION: return TRUE;
    case WM_ENDSESSION: if (wparam) OnEndSession(); return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    default: return Default(message, wparam, lparam);
  }
}

LRESULT Form1::OnCreate() {
  menubar_ = GetMenu(hwnd_);
  // Both "&PSK31" menus are ours; the bar holds the one the key map asks for.
  psk31_.reset(GetSubMenu(menubar_, kPskMenuPosition));
  psk31a_.reset(GetSubMenu(menubar_, kPskMenuPosition + 1));
  RemoveMenu(menubar_, kPskMenuPosition + 1, MF_BYPOSITION);
  RemoveMenu(menubar_, kPskMenuPosition, MF_BYPOSITION);
  RefreshPskMenus();
  context_.reset(LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_CONTEXTMENU)));
  CreateChildren();
  SetTimer(hwnd_, kTimer1, kTimer1Interval, nullptr);
  return 0;
}

void Form1::CreateChildren() {
  ui_font_ = MessageFont();
  const auto font = reinterpret_cast<WPARAM>(ui_font_.get());
  text1_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE |
                               ES_AUTOVSCROLL | ES_NOHIDESEL,
                           0, 0, 100, 100, hwnd_, reinterpret_cast<HMENU>(IDC_TEXT1), instance_,
                           nullptr);
  SendMessageW(text1_, WM_SETFONT, font, TRUE);
  SendMessageW(text1_, EM_SETLIMITTEXT, 0, 0);
  SetWindowSubclass(text1_, &Form1::TypingAreaProc, 1, reinterpret_cast<DWORD_PTR>(this));

  tooltip_ = CreateToolTips(hwnd_, instance_);
  const int bw = TwipsToPx(kButtonWidthTwips), bh = TwipsToPx(kButtonHeightTwips, true);
  // Tab order: typing area, then the buttons from left to right.
  const int tab_order[6] = {2, 3, 4, 5, 0, 1};
  for (int i : tab_order) {
    // "&Send" shows the transmission's progress in its colour, so it draws itself.
    const DWORD kind = i == 0 ? BS_OWNERDRAW : BS_PUSHBUTTON;
    buttons_[i] = CreateWindowExW(0, L"BUTTON", kButtons[i].caption,
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | kind, 0, 0, bw,
                                  bh, hwnd_, reinterpret_cast<HMENU>(
                                                 static_cast<INT_PTR>(kButtons[i].id)),
                                  instance_, nullptr);
    SendMessageW(buttons_[i], WM_SETFONT, font, TRUE);
    AddToolTip(tooltip_, hwnd_, buttons_[i], kButtons[i].tip);
    // Right click, or Shift and left click, has an action of its own on these.
    if (i == 2 || i == 3 || i == 5)
      SetWindowSubclass(buttons_[i], &Form1::ButtonProc, static_cast<UINT_PTR>(i + 1),
                        reinterpret_cast<DWORD_PTR>(this));
  }
  status_.Create(hwnd_, instance_, IDC_STATUSBAR1, ui_font_.get(), tooltip_);
}

void Form1::OnSize(WPARAM kind) {
  if (!status_.hwnd()) return;
  SendMessageW(status_.hwnd(), WM_SIZE, 0, 0);
  status_.Layout();
  Layout();
  if (model_ready_) model_->OnResize(kind == SIZE_RESTORED);
}

void Form1::Layout() {
  RECT client, status;
  GetClientRect(hwnd_, &client);
  GetWindowRect(status_.hwnd(), &status);
  LayoutInput in;
  in.inner_width = client.right;
  in.inner_height = client.bottom;
  in.status_height = status.bottom - status.top;
  for (int i = 0; i < 6; ++i) {
    RECT r;
    GetWindowRect(buttons_[i], &r);
    in.buttons[i] = {r.right - r.left, r.bottom - r.top};
  }
  in.command1_visible = IsWindowVisible(buttons_[0]) != FALSE;
  const LayoutResult out = ComputeLayout(in);
  RECT text;
  GetWindowRect(text1_, &text);
  const int text_w = out.widths_set ? out.text_width : text.right - text.left;
  const int text_h = out.heights_set ? out.text_height : text.bottom - text.top;
  // No copied pixels: under Wine a control moved before its first paint otherwise keeps
  // showing the stale copy where it lands.
  SetWindowPos(text1_, nullptr, 0, 0, std::max(text_w, 0), std::max(text_h, 0),
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  for (int i = 0; i < 6; ++i) {
    RECT r;
    GetWindowRect(buttons_[i], &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    const int left = out.widths_set ? out.buttons[i].left : r.left;
    const int top = out.heights_set ? out.buttons[i].top : r.top;
    SetWindowPos(buttons_[i], nullptr, left, top, 0, 0,
                 SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  }
}

void Form1::SetPanelText(Panel panel, const std::string& text) {
  status_.SetText(static_cast<int>(panel), text);
}

void Form1::SetPanelEnabled(Panel panel, bool enabled) {
  status_.SetEnabled(static_cast<int>(panel), enabled);
}

LRESULT Form1::OnNotify(const NMHDR& header) {
  if (const std::optional<int> panel = status_.ClickedPanel(header))
    model_->OnPanelClick(static_cast<Panel>(*panel), KeyDown(VK_SHIFT));
  return 0;
}

void Form1::OnDrawItem(const DRAWITEMSTRUCT& item) {
  if (item.hwndItem == buttons_[0]) {
    DrawSendButton(item);
    return;
  }
  status_.Draw(item);
}

void Form1::DrawSendButton(const DRAWITEMSTRUCT& item) {
  RECT r = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  RECT inner = r;
  InflateRect(&inner, -2, -2);
  if (send_colour_ != SendColour::kNormal) {
    const COLORREF fill = send_colour_ == SendColour::kRed ? RGB(255, 0, 0) : RGB(255, 128, 128);
    UniqueBrush brush(CreateSolidBrush(fill));
    FillRect(item.hDC, &inner, brush.get());
  }
  wchar_t caption[32] = {};
  GetWindowTextW(item.hwndItem, caption, 32);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  {
    const SelectGuard font(item.hDC, ui_font_.get());
    if (pressed) OffsetRect(&inner, 1, 1);
    DrawTextW(item.hDC, caption, -1, &inner, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  if (item.itemState & ODS_FOCUS) {
    InflateRect(&inner, -1, -1);
    DrawFocusRect(item.hDC, &inner);
  }
}

void Form1::OnTimer() {
  try {
    store_.Refresh();
  } catch (const std::exception& e) {
    model_->ReportError("Timer1_Timer", e.what());
    return;
  }
  model_->Tick();
}

bool Form1::CommandAvailable(int id) {
  // Taken as the menu shows it when it opens, also for a command that arrives without it.
  if (id == IDM_LOG) return model_->LogMenuEnabled();
  constexpr UINT kAbsent = static_cast<UINT>(-1);
  const UINT in_psk31 = GetMenuState(psk31_.get(), static_cast<UINT>(id), MF_BYCOMMAND);
  const UINT in_psk31a = GetMenuState(psk31a_.get(), static_cast<UINT>(id), MF_BYCOMMAND);
  if (in_psk31 != kAbsent || in_psk31a != kAbsent) {
    const int which = in_psk31 != kAbsent ? 0 : 1;
    return psk_visible_[which] && psk_enabled_[which] &&
           !((which == 0 ? in_psk31 : in_psk31a) & (MF_GRAYED | MF_DISABLED));
  }
  const UINT state = GetMenuState(menubar_, static_cast<UINT>(id), MF_BYCOMMAND);
  return state != kAbsent && !(state & (MF_GRAYED | MF_DISABLED));
}

void Form1::OnCommand(int id, int code, HWND control) {
  if (control != nullptr) {
    // A button: its click. Command1 draws itself, so only clicks are looked at.
    if (code == BN_CLICKED && id >= IDC_COMMAND1 && id <= IDC_COMMAND6)
      model_->OnButtonClick(id - IDC_COMMAND1 + 1);
    return;
  }
  // A posted command for an item that is greyed out does nothing, as a click would.
  if (id >= IDM_MENUBAR_FIRST && id <= IDM_MENUBAR_LAST && !CommandAvailable(id)) return;
  using Psk = MainForm::PskCommand;
  if (id >= IDM_PSK_1 && id <= IDM_PSK_8) {
    model_->OnPskCommand(Psk::kFunctionKey, id - IDM_PSK_1 + 1);
    return;
  }
  if (id >= IDM_PSKA_1 && id <= IDM_PSKA_8) {
    model_->OnPskCommand(Psk::kFunctionKeyRetro, id - IDM_PSKA_1 + 1);
    return;
  }
  switch (id) {
    case IDM_EXIT: PostMessageW(hwnd_, WM_CLOSE, 0, 0); break;
    case IDM_COPY: CopySelection(); break;
    case IDM_COPY1: CopySelection(); FocusTypingArea(); break;
    case IDM_PASTE: model_->PasteText(); break;
    case IDM_PASTE1: model_->PasteText(); FocusTypingArea(); break;
    case IDM_CLEAR: model_->ClearBuffer(); break;
    case IDM_XFILE: model_->mnuXFile_Click(); break;
    case IDM_XRPT: model_->mnuXRpt_Click(); break;
    case IDM_XSERIAL: model_->mnuXSerial_Click(); break;
    case IDM_XTIME: model_->mnuXTime_Click(); break;
    case IDM_XTIME1: model_->mnuXTime1_Click(); break;
    case IDM_INCR: model_->mnuIncr_Click(); break;
    case IDM_SETSERIAL: model_->mnuSetSerial_Click(); break;
    case IDM_FULLSTOP: model_->FullStop(); break;
    case IDM_SETRX:
    case IDM_SETRXA: model_->OnPskCommand(Psk::kSetRx); break;
    case IDM_FREQPLUS:
    case IDM_FREQPLUSA: model_->OnPskCommand(Psk::kRxUp); break;
    case IDM_FREQMINUS:
    case IDM_FREQMINUSA: model_->OnPskCommand(Psk::kRxDown); break;
    case IDM_FINDWIN: model_->OnPskCommand(Psk::kFind); break;
    case IDM_SAVEWIN: model_->OnPskCommand(Psk::kSave); break;
    case IDM_MANUAL: OpenManual(); break;
    case IDM_MPAL: ShowPalette(); break;
    case IDM_CALL: OpenCallsignWindow(false); break;
    case IDM_LOG: ShowLogWindow(); break;
    case IDM_OPTIONS: ShowOptions(); break;
    case IDM_ABOUT: ShowAboutBox(instance_, hwnd_); break;
    case IDM_HOMEPAGE: OpenDocument(kHomePage); break;
    case IDM_EMAIL: OpenDocument(kSupportMail); break;
    default: break;
  }
}

void Form1::OnInitMenuPopup(HMENU menu) {
  if (GetMenuState(menu, IDM_LOG, MF_BYCOMMAND) != static_cast<UINT>(-1))
    EnableMenuItem(menu, IDM_LOG, MF_BYCOMMAND | (model_->LogMenuEnabled() ? MF_ENABLED : MF_GRAYED));
  // The Edit menu: Copy only with a selection.
  if (GetMenuState(menu, IDM_COPY, MF_BYCOMMAND) != static_cast<UINT>(-1)) {
    DWORD start = 0, end = 0;
    SendMessageW(text1_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EnableMenuItem(menu, IDM_COPY, MF_BYCOMMAND | (start != end ? MF_ENABLED : MF_GRAYED));
    const std::optional<std::string> clip = ClipboardText();
    EnableMenuItem(menu, IDM_PASTE,
                   MF_BYCOMMAND | (clip && !clip->empty() ? MF_ENABLED : MF_GRAYED));
  }
}

void Form1::ShowTypingAreaMenu(LPARAM at) {
  ReleaseCapture();
  HMENU popup = GetSubMenu(context_.get(), 0);
  DWORD start = 0, end = 0;
  SendMessageW(text1_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EnableMenuItem(popup, IDM_COPY1, MF_BYCOMMAND | (start != end ? MF_ENABLED : MF_GRAYED));
  const std::optional<std::string> clip = ClipboardText();
  EnableMenuItem(popup, IDM_PASTE1,
                 MF_BYCOMMAND | (clip && !clip->empty() ? MF_ENABLED : MF_GRAYED));
  POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  if (at == -1) {
    RECT r;
    GetWindowRect(text1_, &r);
    p = {r.left + 8, r.top + 8};
  }
  TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, p.x, p.y, 0, hwnd_, nullptr);
}

LRESULT CALLBACK Form1::ButtonProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                   UINT_PTR id, DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<Form1*>(data);
  return Guarded("Command_MouseDown", LRESULT{0}, [&]() -> LRESULT {
    const bool right = message == WM_RBUTTONDOWN;
    const bool shift_left = message == WM_LBUTTONDOWN && KeyDown(VK_SHIFT);
    if ((right || shift_left) && IsWindowEnabled(hwnd)) {
      self->model_->OnButtonRightClick(static_cast<int>(id));
      return 0;
    }
    return DefSubclassProc(hwnd, message, wparam, lparam);
  });
}

LRESULT CALLBACK Form1::TypingAreaProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR data) noexcept {
  (void)id;
  auto* self = reinterpret_cast<Form1*>(data);
  return Guarded("Text1", LRESULT{0}, [&]() -> LRESULT {
    if (message == WM_CONTEXTMENU) {
      self->ShowTypingAreaMenu(lparam);
      return 0;
    }
    if (message == WM_CHAR) return self->OnTypingAreaChar(wparam, lparam);
    // Cut, paste and undo would change the text behind the queue's back.
    if (message == WM_CUT || message == WM_PASTE || message == WM_CLEAR || message == WM_UNDO ||
        message == EM_UNDO)
      return 0;
    return DefSubclassProc(hwnd, message, wparam, lparam);
  });
}

LRESULT Form1::OnTypingAreaChar(WPARAM wparam, LPARAM lparam) {
  // The key rules work on ANSI bytes; the edit control on UTF-16.
  const wchar_t wide = static_cast<wchar_t>(wparam);
  char byte = '?';
  if (WideCharToMultiByte(CP_ACP, 0, &wide, 1, &byte, 1, nullptr, nullptr) != 1) byte = '?';
  const int shown = model_->OnKeyPress(static_cast<unsigned char>(byte));
  // Only what a text shows goes on: other control characters are queued for the PSK31
  // program but would make the edit control cut, paste or undo.
  if (shown == 0 || (shown < 32 && shown != '\b' && shown != '\t' && shown != '\r')) return 0;
  wchar_t out = wide;
  if (shown != static_cast<unsigned char>(byte)) {
    const char b = static_cast<char>(shown);
    MultiByteToWideChar(CP_ACP, 0, &b, 1, &out, 1);
  }
  return DefSubclassProc(text1_, WM_CHAR, out, lparam);
}

void Form1::CopySelection() {
  DWORD start = 0, end = 0;
  SendMessageW(text1_, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  if (start == end) return;
  SendMessageW(text1_, WM_COPY, 0, 0);
}

LRESULT Form1::OnCtlColor(HDC dc, HWND control) {
  if (control != text1_ || !custom_colors_)
    return DefWindowProcW(hwnd_, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                          reinterpret_cast<LPARAM>(control));
  SetTextColor(dc, text_color_);
  SetBkColor(dc, back_color_);
  return reinterpret_cast<LRESULT>(back_brush_.get());
}

void Form1::OnClose() {
  StopTimer();
  model_->Unload();
  DestroyWindow(hwnd_);
}

void Form1::OnEndSession() {
  // The session ends without closing the window: the shutdown runs here, and only once
  // should a close still follow.
  StopTimer();
  model_->Unload();
}

void Form1::StopTimer() {
  if (hwnd_) KillTimer(hwnd_, kTimer1);
}

void Form1::OnDestroy() {
  // Both "&PSK31" menus stay ours: take them off the bar before it is destroyed with the
  // window, so that each is destroyed once.
  DetachPskMenus();
  PostQuitMessage(0);
}

void Form1::DetachPskMenus() {
  for (int pos = GetMenuItemCount(menubar_) - 1; pos >= 0; --pos) {
    const HMENU sub = GetSubMenu(menubar_, pos);
    if (sub && (sub == psk31_.get() || sub == psk31a_.get()))
      RemoveMenu(menubar_, static_cast<UINT>(pos), MF_BYPOSITION);
  }
}

void Form1::RefreshPskMenus() {
  DetachPskMenus();
  int position = kPskMenuPosition;
  for (int i = 0; i < 2; ++i) {
    if (!psk_visible_[i]) continue;
    HMENU popup = i == 0 ? psk31_.get() : psk31a_.get();
    InsertMenuW(menubar_, static_cast<UINT>(position++),
                MF_BYPOSITION | MF_POPUP | MF_STRING | (psk_enabled_[i] ? 0 : MF_GRAYED),
                reinterpret_cast<UINT_PTR>(popup), L"&PSK31");
  }
  if (hwnd_) DrawMenuBar(hwnd_);
}

void Form1::SetMenuVisible(Menu menu, bool visible) {
  const int i = menu == Menu::kPsk31 ? 0 : 1;
  if (psk_visible_[i] == visible) return;
  psk_visible_[i] = visible;
  RefreshPskMenus();
}

void Form1::SetMenuEnabled(Menu menu, bool enabled) {
  const int i = menu == Menu::kPsk31 ? 0 : 1;
  if (psk_enabled_[i] == enabled) return;
  psk_enabled_[i] = enabled;
  RefreshPskMenus();
}

void Form1::SetFindWindowEnabled(bool enabled) {
  if (find_enabled_ == enabled) return;
  find_enabled_ = enabled;
  EnableMenuItem(menubar_, IDM_FINDWIN, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void Form1::SetStationKey(int key, bool offered, const std::string& why) {
  if (key < 1 || key > 8) return;
  for (const int base : {IDM_PSK_1, IDM_PSKA_1}) {
    const HMENU menu = base == IDM_PSK_1 ? psk31_.get() : psk31a_.get();
    const UINT id = static_cast<UINT>(base + key - 1);
    wchar_t caption[256] = {};
    GetMenuStringW(menu, id, caption, 255, MF_BYCOMMAND);
    // The caption as the resources have it, before any reason was added: text, then the
    // shortcut after a tab.
    std::wstring text = caption, shortcut;
    if (const size_t tab = text.find(L'\t'); tab != std::wstring::npos) {
      shortcut = text.substr(tab);
      text.resize(tab);
    }
    if (const size_t reason = text.find(L" ("); reason != std::wstring::npos) text.resize(reason);
    if (!offered) text += L" (" + Widen(why) + L")";
    ModifyMenuW(menu, id, MF_BYCOMMAND | MF_STRING | (offered ? MF_ENABLED : MF_GRAYED), id,
                (text + shortcut).c_str());
  }
}

void Form1::SetStationTrouble(const std::string& text) {
  if (text == station_trouble_) return;
  station_trouble_ = text;
  // The title says why the station does not answer; so does the mode panel's tip.
  const std::wstring title = text.empty() ? kTitle : std::wstring(kTitle) + L": " + Widen(text);
  SetWindowTextW(hwnd_, title.c_str());
  status_.SetTip(kPskPanel, text);
}

void Form1::ApplyTypingFont(const FontSpec& font) {
  UniqueFont created = FontFromSpec(font);
  if (created) {
    SendMessageW(text1_, WM_SETFONT, reinterpret_cast<WPARAM>(created.get()), TRUE);
    typing_font_ = std::move(created);
  }
  text_color_ = font.color;
  back_color_ = font.back_color;
  back_brush_.reset(CreateSolidBrush(back_color_));
  custom_colors_ = true;
  InvalidateRect(text1_, nullptr, TRUE);
}

void Form1::SetButtonCaption(int button, const std::string& caption) {
  if (button < 1 || button > 6) return;
  SetWindowTextW(buttons_[button - 1], Widen(caption).c_str());
}

void Form1::SetButtonsVisible(bool visible) {
  for (HWND b : buttons_) ShowWindow(b, visible ? SW_SHOWNA : SW_HIDE);
  Layout();
}

void Form1::Show() {
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
}

void Form1::MoveTwips(long left, long top) {
  SetWindowPos(hwnd_, nullptr, TwipsToPx(left), TwipsToPx(top, true), 0, 0,
               SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Form1::ResizeTwips(long width, long height) {
  SetWindowPos(hwnd_, nullptr, 0, 0, TwipsToPx(width), TwipsToPx(height, true),
               SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

TwipsRect Form1::ScreenTwips() {
  return TwipsRect{0, 0, PxToTwips(GetSystemMetrics(SM_CXSCREEN)),
                   PxToTwips(GetSystemMetrics(SM_CYSCREEN), true)};
}

std::optional<TwipsRect> Form1::NormalPlacementTwips() {
  if (IsIconic(hwnd_) || IsZoomed(hwnd_)) return std::nullopt;
  RECT r;
  if (!GetWindowRect(hwnd_, &r)) return std::nullopt;
  return TwipsRect{PxToTwips(r.left), PxToTwips(r.top, true), PxToTwips(r.right - r.left),
                   PxToTwips(r.bottom - r.top, true)};
}

void Form1::FocusTypingArea() {
  if (text1_) ::SetFocus(text1_);
}

void Form1::ShowMessage(const std::string& text, const std::string& title) {
  MessageBoxW(hwnd_, Widen(text).c_str(), Widen(title).c_str(), MB_OK);
}

std::optional<std::string> Form1::AskText(const std::string& prompt) {
  return AskTextBox(instance_, hwnd_, prompt);
}

void Form1::AppendTypingText(const std::string& text) {
  MoveTypingCaretToEnd();
  const std::wstring wide = Widen(text);
  SendMessageW(text1_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
  MoveTypingCaretToEnd();
}

void Form1::MoveTypingCaretToEnd() {
  const int length = GetWindowTextLengthW(text1_);
  SendMessageW(text1_, EM_SETSEL, static_cast<WPARAM>(length), length);
}

void Form1::ClearTypingText() { SetWindowTextW(text1_, L""); }

void Form1::SetSendButton(bool enabled, SendColour colour) {
  if (send_enabled_ == enabled && send_colour_ == colour) return;
  send_enabled_ = enabled;
  send_colour_ = colour;
  EnableWindow(buttons_[0], enabled);
  InvalidateRect(buttons_[0], nullptr, TRUE);
}

WindowHandle Form1::Handle() { return reinterpret_cast<WindowHandle>(hwnd_); }

Macros& Form1::Palette() {
  if (!macros_) macros_ = std::make_unique<Macros>(instance_, hwnd_, *model_);
  return *macros_;
}

void Form1::InitList() {
  // A rebuild request creates the palette hidden when it does not exist yet.
  Palette().EnsureCreated();
  Palette().InitList();
}

void Form1::ShowPalette() { Palette().Show(); }

void Form1::UnloadPalette() {
  if (macros_) macros_->Unload();
}

CallsignForm& Form1::CallsignWindow(bool namefocus) {
  if (!callsign_form_)
    callsign_form_ = std::make_unique<CallsignForm>(instance_, hwnd_, store_, *this, lookups_,
                                                    LookupResult());
  callsign_form_->EnsureCreated(namefocus);
  return *callsign_form_;
}

LUResult& Form1::LookupResult() {
  if (!lu_result_) lu_result_ = std::make_unique<LUResult>(instance_, store_);
  return *lu_result_;
}

void Form1::OpenCallsignWindow(bool name_first) { CallsignWindow(name_first).Show(name_first); }

void Form1::SetCallsignWindowCall(const std::string& call) { CallsignWindow().SetCallsign(call); }

void Form1::SetCallsignWindowName(const std::string& name) { CallsignWindow().SetName(name); }

void Form1::ShowLookupResultWindow() { LookupResult().Show(hwnd_); }

void Form1::UnloadOwnedWindows() {
  // Each window is closed even when another one fails to save its placement.
  try {
    if (callsign_form_) callsign_form_->Unload();
  } catch (...) {
  }
  try {
    if (log_) log_->Unload();
  } catch (...) {
  }
  if (lu_result_) lu_result_->Unload();
}

std::string Form1::OCall() { return model_->ocall; }

std::string Form1::NameBuf() { return model_->namebuf; }

void Form1::SetPartner(const std::string& call, const std::string& name) {
  // Copies first: SetOcall writes the call sign window's boxes, which may be where the
  // references point.
  const std::string new_call = call, new_name = name;
  model_->ocall = new_call;
  model_->namebuf = new_name;
  model_->SetOcall();
  model_->SetNamebuf();
}

void Form1::CopyText(const std::string& text) {
  const ClipboardLock clipboard(hwnd_);
  if (!clipboard || !EmptyClipboard()) return;
  // Both forms, so that a program reading either one gets the text as it is.
  const std::wstring wide = Widen(text);
  const auto put = [](UINT format, const void* bytes, size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory) return;
    void* target = GlobalLock(memory);
    if (!target) {
      GlobalFree(memory);
      return;
    }
    std::memcpy(target, bytes, size);
    GlobalUnlock(memory);
    // Once set, the clipboard owns the memory.
    if (!SetClipboardData(format, memory)) GlobalFree(memory);
  };
  put(CF_UNICODETEXT, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  put(CF_TEXT, text.c_str(), text.size() + 1);
}

void Form1::ShowLogWindow() {
  if (!log_)
    log_ = std::make_unique<Log>(instance_, hwnd_, store_, model_->adif, *model_, *this,
                                 log_files_);
  log_->Show();
}

void Form1::ShowOptions() {
  frmOptions dialog(instance_, store_, *this, model_->adif, model_->DefMacros);
  dialog.ShowModal(hwnd_);
  model_->ReapplyOptions();
  FocusTypingArea();
}

void Form1::SetRegFont() { model_->SetRegFont(); }

void Form1::Buttons(bool visible) { SetButtonsVisible(visible); }

void Form1::SetElapsedTime(bool on) { model_->ElapsedTime = on; }

void Form1::SetMyCall(const std::string& call) { model_->mycall = call; }

void Form1::SetNoPosSave() { model_->nopossave = true; }

void Form1::SetPaletteAutoShow(bool on) {
  if (Palette().EnsureCreated()) Palette().SetAutoShow(on);
}

void Form1::SetCallsignPaletteMode() { CallsignWindow().SetPaletteMode(true); }

bool Form1::Confirm(const std::string& text) {
  return MessageBoxW(GetActiveWindow(), Widen(text).c_str(), L"QSOPAD", MB_OKCANCEL) == IDOK;
}

// The call sign window's boxes; while it is not loaded, what loading it would show.
std::string Form1::CallsignText() {
  return callsign_form_ && callsign_form_->Window() ? callsign_form_->CallsignText()
                                                    : model_->ocall;
}

std::string Form1::NameFieldText() {
  return callsign_form_ && callsign_form_->Window() ? callsign_form_->NameText()
                                                    : model_->namebuf;
}

std::optional<std::string> Form1::AskOpenFile(const std::string& title,
                                              const std::string& filter) {
  // "Text Files|*.txt" becomes the dialog's double-NUL-terminated pairs.
  std::wstring pairs = Widen(filter);
  for (wchar_t& c : pairs)
    if (c == L'|') c = L'\0';
  pairs.push_back(L'\0');
  pairs.push_back(L'\0');
  const std::wstring caption = Widen(title);
  wchar_t file[MAX_PATH * 4] = {};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = pairs.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = static_cast<DWORD>(std::size(file));
  ofn.lpstrTitle = caption.c_str();
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return std::nullopt;
  return Narrow(file);
}

LocalTime Form1::Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::string Form1::MonthAbbreviation(int month) {
  wchar_t name[32] = {};
  if (month < 1 || month > 12 ||
      !GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SABBREVMONTHNAME1 + static_cast<LCTYPE>(month - 1),
                      name, 32))
    return {};
  return Narrow(name);
}

void Form1::Beep() { MessageBeep(MB_OK); }

std::optional<std::string> Form1::ClipboardText() {
  if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) return std::nullopt;
  const ClipboardLock clipboard(hwnd_);
  if (!clipboard) return std::nullopt;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const auto* wide = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
  if (!wide) return std::nullopt;
  // Unlocked even when the conversion throws.
  const std::unique_ptr<void, decltype(&GlobalUnlock)> unlock(data, &GlobalUnlock);
  return Narrow(wide);
}

void Form1::OpenManual() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n);
  folder.erase(folder.find_last_of(L"\\/") + 1);
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  const std::wstring manual = folder + L"manual.htm";
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(hwnd_, L"open", manual.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL));
  if (result < 33) MessageBoxW(hwnd_, L"Can't start manual", kTitle, MB_OK);
}

void Form1::OpenDocument(const wchar_t* target) {
  ShellExecuteW(hwnd_, L"open", target, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace qsopad
