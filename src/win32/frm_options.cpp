#include "frm_options.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cwctype>
#include <optional>

#include "common/error.h"
#include "options/options_file.h"
#include "resource.h"
#include "ui_helpers.h"
#include "win32_options_file.h"
#include "win32_text.h"

namespace qsopad {

namespace {

constexpr wchar_t kClassName[] = L"QSOPAD_frmOptions";
constexpr wchar_t kCaption[] = L"Options";
constexpr long kClientWidth = 8400, kClientHeight = 7080;  // twips
// Not clipping its children: the dialog's own background shows inside the pages' frames,
// where the tab strip (clipped by its siblings) does not paint.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

constexpr int kPages = 5;
struct Tab {
  const wchar_t* caption;
  const wchar_t* tip;
};
constexpr Tab kTabs[kPages] = {{L"&Setup", L"Main Options"},
                               {L"&Options", L"Set major options"},
                               {L"&FKeys", L"Set Normal FKeys"},
                               {L"&Macros", L"Set text for Shift+FKey"},
                               {L"&Logging", L"Sets ADIF Logging options"}};

constexpr wchar_t kMacroHelp[] =
    L"Special characters: @file, ^N (New line),  ^M (My call), ^C (other Call), ^T (Time/date), "
    L"^H (Hour), ^# (s/n), ^+ (s/n+1), ^X (Xmit), ^R (Rcv), ^^ (^), ^W (name)";

enum class Kind { kFrame, kLabel, kEdit, kButton, kDefault, kCheck, kList, kSample, kHelp, kCombo };

struct Def {
  int page;
  int id;
  Kind kind;
  const wchar_t* caption;
  const wchar_t* tip;
  long left, top, width, height;  // twips, in the dialog's client area
};

constexpr long kRow = 480, kTop = 900, kLabelX = 360, kBoxX = 1980;

// In tab order, page by page.
const std::vector<Def>& Defs() {
  static const std::vector<Def> defs = [] {
    std::vector<Def> d = {
        {0, IDC_OPT_FRAME0, Kind::kFrame, L"Main options", nullptr, 240, 540, 7920, 5520},
        {0, IDC_OPT_LABEL_FIRST, Kind::kLabel, L"PSK31 &Path:", nullptr, kLabelX, kTop + 45, 1560, 255},
        {0, IDC_OPT_PATH, Kind::kEdit, L"", L"Enter the full path to PSK31SBW.EXE", kBoxX, kTop, 5220, 315},
        {0, IDC_OPT_COMMAND2, Kind::kButton, L"...", L"Use this button to browse for the file name", 7260, kTop, 480, 315},
        {0, IDC_OPT_LABEL_FIRST + 1, Kind::kLabel, L"Launch &Delay:", nullptr, kLabelX, kTop + kRow + 45, 1560, 255},
        {0, IDC_OPT_LDELAY, Kind::kEdit, L"", L"Controls delay after launching PSK31", kBoxX, kTop + kRow, 1200, 315},
        {0, IDC_OPT_LABEL_FIRST + 2, Kind::kLabel, L"Offset to &GMT:", nullptr, kLabelX, kTop + 2 * kRow + 45, 1560, 255},
        {0, IDC_OPT_GMT, Kind::kEdit, L"", L"Offset from your local time to GMT", kBoxX, kTop + 2 * kRow, 1200, 315},
        {0, IDC_OPT_LABEL_FIRST + 3, Kind::kLabel, L"Time &Zone:", nullptr, kLabelX, kTop + 3 * kRow + 45, 1560, 255},
        {0, IDC_OPT_TZONE, Kind::kEdit, L"", L"Time zone string", kBoxX, kTop + 3 * kRow, 1200, 315},
        {0, IDC_OPT_LABEL_FIRST + 4, Kind::kLabel, L"Callsig&n:", nullptr, kLabelX, kTop + 4 * kRow + 45, 1560, 255},
        {0, IDC_OPT_CALLSIGN, Kind::kEdit, L"", L"Sets your callsign", kBoxX, kTop + 4 * kRow, 1800, 315},
        {0, IDC_OPT_LABEL_FIRST + 5, Kind::kLabel, L"Rc&v Character:", nullptr, kLabelX, kTop + 5 * kRow + 45, 1560, 255},
        {0, IDC_OPT_RXCHAR, Kind::kEdit, L"", L"Sets the character you see when switching to RX mode", kBoxX,
         kTop + 5 * kRow, 1200, 315},
        {0, IDC_OPT_LABEL_FIRST + 6, Kind::kLabel, L"&Aux Program:", nullptr, kLabelX, kTop + 6 * kRow + 45, 1560, 255},
        {0, IDC_OPT_AUXPATH, Kind::kEdit, L"", L"Enter the full path to any QSOPAD AUX program (qsolog.exe, say)",
         kBoxX, kTop + 6 * kRow, 5220, 315},
        {0, IDC_OPT_COMMAND4, Kind::kButton, L"...", L"Use this button to browse for the file name", 7260,
         kTop + 6 * kRow, 480, 315},
        {0, IDC_OPT_LABEL_FIRST + 7, Kind::kLabel, L"S&tation:", nullptr, kLabelX, kTop + 7 * kRow + 45, 1560, 255},
        {0, IDC_OPT_STATION, Kind::kCombo, L"",
         L"The program QSOPAD drives: the PSK31 program, or fldigi through its XML-RPC interface", kBoxX,
         kTop + 7 * kRow, 1800, 1200},
        {0, IDC_OPT_LABEL_FIRST + 8, Kind::kLabel, L"fld&igi at:", nullptr, 4080, kTop + 7 * kRow + 45, 900, 255},
        {0, IDC_OPT_FLDIGIADDRESS, Kind::kEdit, L"",
         L"The address of fldigi's XML-RPC interface: 127.0.0.1 when fldigi runs on this computer", 4980,
         kTop + 7 * kRow, 1560, 315},
        {0, IDC_OPT_FLDIGIPORT, Kind::kEdit, L"", L"The port of fldigi's XML-RPC interface (fldigi's default: 7362)",
         6600, kTop + 7 * kRow, 1140, 315},
        {0, IDC_OPT_LABEL26, Kind::kSample, L"Sample Text", L"Your text will appear like this", 4080, kTop + kRow,
         3660, 4 * kRow + 315},
        {0, IDC_OPT_COMMAND1, Kind::kButton, L"Set &Font", L"Sets the display font", kLabelX, kTop + 8 * kRow, 1500, 375},
        {0, IDC_OPT_COMMAND3, Kind::kButton, L"Set &Color", L"Sets the background color", 1980, kTop + 8 * kRow, 1500, 375},
        {0, IDC_OPT_COMMAND6, Kind::kButton, L"&Load Opts", L"Loads options from a previously saved file", 4680,
         kTop + 8 * kRow, 1500, 375},
        {0, IDC_OPT_COMMAND5, Kind::kButton, L"Sa&ve Opts", L"Saves options to a file for debugging or safe-keeping",
         6240, kTop + 8 * kRow, 1500, 375},
        {1, IDC_OPT_FRAME1, Kind::kFrame, L"Options", nullptr, 240, 540, 7920, 5520},
    };
    // The Options page: two columns of boxes.
    struct Box {
      int n;
      const wchar_t* caption;
      const wchar_t* tip;
    };
    static const Box boxes[] = {
        {1, L"&Remember PSK31's position", L"Remembers PSK31SBW's position"},
        {2, L"&Show elapsed time on status bar", L"Show elapsed transmit time in status bar"},
        {3, L"&Lookup callsigns", L"Look callsigns up on the web call book service (QRZ.com)"},
        {4, L"Convert &0 to \u00d8 ", L"Converts 0s you type in the main screen to \u00d8"},
        {5, L"Always use CW &ID", L"Use CW ID when switching to receive"},
        {6, L"&Close PSK31 with QSOPAD", L"Causes QSOPAD to close PSK31 automatically"},
        {8, L"Use PSK31 F&Keys", L"Swap FKey and Control+FKey definitions"},
        {9, L"Send &Arrow keys to PSK31", L"Use arrow keys for adjusting PSK31 Frequency"},
        {10, L"Show &buttons", L"Enable buttons at bottom of screen"},
        {11, L"Wor&d break mode", L"Sends only whole words"},
        {12, L"&Macro palette on start", L"Shows macro palette on startup"},
        {13, L"Calls&ign palette on start", L"Shows callsign palette on startup"},
        {14, L"CD Loo&kup window on start", L"Shows CD lookup window on startup"},
        {15, L"Use ^. for C&WID", L"Lets you use ^. for a CWID RX (prevents sending Control+A)"},
        {7, L"Clear &window positions", L"Clear stored window positions (once)"},
    };
    for (int i = 0; i < 15; ++i) {
      const long x = i < 8 ? 480 : 4320, y = kTop + (i < 8 ? i : i - 8) * 540;
      d.push_back({1, IDC_OPT_CHECK1 + boxes[i].n - 1, Kind::kCheck, boxes[i].caption, boxes[i].tip, x, y, 3720, 300});
    }
    // The two macro pages: F1..F10 beside Macro(10..19), then beside Macro(0..9).
    static const wchar_t* const fkeys[] = {L"F1", L"F2", L"F3", L"F4", L"F5", L"F6", L"F7", L"F8", L"F9", L"F10"};
    for (int page = 2; page <= 3; ++page) {
      d.push_back({page, page == 2 ? IDC_OPT_FRAME2 : IDC_OPT_FRAME3, Kind::kFrame,
                   page == 2 ? L"Set Function Keys" : L"Macros (Shift + FKey)", nullptr, 240, 540, 7920, 5520});
      for (int k = 0; k < 10; ++k) {
        const int n = page == 2 ? 10 + k : k;
        const long y = 840 + k * 405;
        d.push_back({page, IDC_OPT_FLABEL0 + n, Kind::kLabel, fkeys[k], nullptr, 480, y + 45, 480, 255});
        d.push_back({page, IDC_OPT_MACRO0 + n, Kind::kEdit, L"", nullptr, 1020, y, 6900, 315});
      }
      d.push_back({page, page == 2 ? IDC_OPT_HELP2 : IDC_OPT_HELP3, Kind::kHelp, kMacroHelp, nullptr, 480, 4980, 7440, 900});
    }
    const Def logging[] = {
        {4, IDC_OPT_FRAME4, Kind::kFrame, L"Logging", nullptr, 240, 540, 7920, 5520},
        {4, IDC_OPT_ADIFEN, Kind::kCheck, L"&Enable ADIF", L"Enables ADIF Logging", 480, kTop, 2400, 300},
        {4, IDC_OPT_LOGLABEL_FIRST, Kind::kLabel, L"&File:", nullptr, 480, kTop + kRow + 45, 600, 255},
        {4, IDC_OPT_ADIFFILE, Kind::kEdit, L"", L"Log File Name", 1140, kTop + kRow, 6060, 315},
        {4, IDC_OPT_COMMAND7, Kind::kButton, L"...", L"Browse for the log file", 7260, kTop + kRow, 480, 315},
        {4, IDC_OPT_ADIFLIST, Kind::kList, L"", L"A list of ADIF Fields", 480, kTop + 2 * kRow + 120, 3000, 3900},
        {4, IDC_OPT_ADIFFIELDEN, Kind::kCheck, L"Enable Field", L"Enable the selected field", 3780, kTop + 2 * kRow + 120,
         2400, 300},
        {4, IDC_OPT_LOGLABEL_FIRST + 1, Kind::kLabel, L"ADIF Tag:", nullptr, 3780, kTop + 3 * kRow + 165, 1080, 255},
        {4, IDC_OPT_ADIFTAG, Kind::kEdit, L"", L"The ADIF tag for this field", 4920, kTop + 3 * kRow + 120, 2820, 315},
        {4, IDC_OPT_LOGLABEL_FIRST + 2, Kind::kLabel, L"Content:", nullptr, 3780, kTop + 4 * kRow + 165, 1080, 255},
        {4, IDC_OPT_ADIFCONTENT, Kind::kEdit, L"", L"The default data for this field (leave blank for live data)", 4920,
         kTop + 4 * kRow + 120, 2820, 315},
        {4, IDC_OPT_COMMAND8, Kind::kButton, L"Add Custom", L"Add a custom field", 3780, kTop + 6 * kRow, 1500, 375},
        {4, IDC_OPT_COMMAND9, Kind::kButton, L"Reset All", L"Add a custom field", 5400, kTop + 6 * kRow, 1500, 375},
        {-1, IDOK, Kind::kDefault, L"OK", nullptr, 4320, 6540, 1215, 375},
        {-1, IDCANCEL, Kind::kButton, L"Cancel", nullptr, 5595, 6540, 1215, 375},
        {-1, IDC_OPT_APPLY, Kind::kButton, L"Apply", nullptr, 6870, 6540, 1215, 375},
    };
    d.insert(d.end(), std::begin(logging), std::end(logging));
    return d;
  }();
  return defs;
}

struct ClassAndStyle {
  const wchar_t* cls;
  DWORD style;
  DWORD ex_style;
};

ClassAndStyle StyleOf(Kind kind) {
  switch (kind) {
    case Kind::kFrame: return {L"BUTTON", BS_GROUPBOX, 0};
    case Kind::kLabel: return {L"STATIC", SS_LEFT, 0};
    case Kind::kHelp: return {L"STATIC", SS_LEFT, 0};
    case Kind::kSample: return {L"STATIC", SS_CENTER | SS_CENTERIMAGE | SS_NOTIFY, WS_EX_CLIENTEDGE};
    case Kind::kEdit: return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case Kind::kButton: return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
    case Kind::kDefault: return {L"BUTTON", WS_TABSTOP | BS_DEFPUSHBUTTON, 0};
    case Kind::kCheck: return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case Kind::kList: return {L"LISTBOX", WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, WS_EX_CLIENTEDGE};
    case Kind::kCombo: return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0};
  }
  return {L"STATIC", 0, 0};
}

// The access key of a caption ("Sa&ve Opts": v), lower case; 0 when it has none.
wchar_t AccessKey(const std::wstring& caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != L'&') continue;
    if (caption[i + 1] == L'&') {
      ++i;
      continue;
    }
    return static_cast<wchar_t>(std::towlower(caption[i + 1]));
  }
  return 0;
}

std::wstring WindowTextW(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The Win32 file dialogs' filter: "QPD Files|*.QPD" becomes double-NUL-terminated pairs.
std::wstring FilterPairs(const wchar_t* filter) {
  std::wstring pairs = filter;
  for (wchar_t& c : pairs)
    if (c == L'|') c = L'\0';
  pairs.push_back(L'\0');
  return pairs;
}

}  // namespace

frmOptions::frmOptions(HINSTANCE instance, SettingsStore& store, OptionsHost& host,
                       AdifTable& table, const std::array<std::string, 20>& defaults)
    : instance_(instance),
      store_(store),
      table_(table),
      model_(store, defaults, host),
      logging_(store, table, *this) {}

frmOptions::~frmOptions() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void frmOptions::ShowModal(HWND owner) {
  if (!RegisterWindowClass(instance_, kClassName)) return;
  RECT frame{0, 0, TwipsToPx(kClientWidth), TwipsToPx(kClientHeight, true)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  if (!CreateWindowExW(kExStyle, kClassName, kCaption, kStyle,
                       (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                       (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, owner, nullptr,
                       instance_, this))
    return;
  // Every other window of ours takes no input while the dialog is open.
  ThreadWindowsDisabled others(hwnd_);
  Guarded("Form_Load", 0, [&] { return Load(), 0; });
  ShowWindow(hwnd_, SW_SHOW);
  SetFocus(Item(IDC_OPT_PATH));
  NameDamaged();
  MSG msg{};
  bool quit = false;
  while (!closing_ && hwnd_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      quit = got == 0;
      break;
    }
    if (Guarded("PreTranslate", false, [&] { return DialogKey(msg); })) continue;
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The other windows first, so that the owner is the one activated when the dialog goes.
  others.Restore();
  if (hwnd_) DestroyWindow(hwnd_);
  if (owner) SetActiveWindow(owner);
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
}

LRESULT frmOptions::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: return OnCreate();
    case WM_COMMAND: OnCommand(LOWORD(wparam), HIWORD(wparam)); return 0;
    case WM_NOTIFY: return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_CTLCOLORSTATIC: return OnCtlColorStatic(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case DM_GETDEFID: return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CLOSE: Close(); return 0;
    default: return Default(message, wparam, lparam);
  }
}

LRESULT frmOptions::OnCreate() {
  ui_font_ = MessageFont();
  const auto font = reinterpret_cast<WPARAM>(ui_font_.get());
  tooltip_ = CreateToolTips(hwnd_, instance_);
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
  for (const Def& d : Defs()) {
    const ClassAndStyle cs = StyleOf(d.kind);
    HWND control = CreateWindowExW(cs.ex_style, cs.cls, d.caption, WS_CHILD | cs.style, TwipsToPx(d.left),
                                   TwipsToPx(d.top, true), TwipsToPx(d.width), TwipsToPx(d.height, true), hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(d.id)), instance_, nullptr);
    SendMessageW(control, WM_SETFONT, font, FALSE);
    if (d.tip) AddToolTip(tooltip_, hwnd_, control, d.tip);
    const bool captioned = d.kind == Kind::kLabel || d.kind == Kind::kButton || d.kind == Kind::kDefault ||
                           d.kind == Kind::kCheck;
    controls_.push_back({control, d.page, true, captioned});
  }
  // The tab strip last: below the pages' controls, which take the clicks over it, and
  // last in the tab order.
  tabs_ = CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | TCS_TOOLTIPS, TwipsToPx(120),
                          TwipsToPx(120, true), TwipsToPx(8160), TwipsToPx(6300, true), hwnd_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_OPT_TABS)), instance_, nullptr);
  SendMessageW(tabs_, WM_SETFONT, font, FALSE);
  for (int i = 0; i < kPages; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(kTabs[i].caption);
    SendMessageW(tabs_, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  SetWindowSubclass(Item(IDC_OPT_GMT), &frmOptions::GmtProc, 1, reinterpret_cast<DWORD_PTR>(this));
  for (const wchar_t* station : {L"PSK31 program", L"fldigi"})
    SendMessageW(Item(IDC_OPT_STATION), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(station));
  ShowPage(0);
  return 0;
}

void frmOptions::ShowPage(int page) {
  page_ = page;
  SendMessageW(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  for (const Control& c : controls_) {
    const bool here = c.page < 0 || c.page == page;
    ShowWindow(c.hwnd, here ? SW_SHOWNA : SW_HIDE);
    EnableWindow(c.hwnd, here && c.enabled);
  }
}

bool frmOptions::DialogKey(const MSG& msg) {
  if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && GetKeyState(VK_CONTROL) < 0) {
    const bool back = GetKeyState(VK_SHIFT) < 0;
    ShowPage((page_ + (back ? kPages - 1 : 1)) % kPages);
    SetFocus(tabs_);
    return true;
  }
  if (msg.message != WM_SYSCHAR) return false;
  const wchar_t key = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(msg.wParam)));
  // Access keys are ours to route, the same under Wine as on Windows: a control of the
  // page shown first (a label hands the keyboard to its box; a button or box shared by
  // no other control is clicked, otherwise each press moves on to the next one), then a
  // tab.
  std::vector<std::size_t> matches;
  std::optional<std::size_t> focused;
  HWND focus = GetFocus();
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const Control& c = controls_[i];
    if (c.hwnd == focus) focused = i;
    if (c.captioned && IsWindowVisible(c.hwnd) && IsWindowEnabled(c.hwnd) && AccessKey(WindowTextW(c.hwnd)) == key)
      matches.push_back(i);
  }
  if (!matches.empty()) {
    // The first match after the control with the keyboard, in the tab order, wrapping.
    std::size_t pick = matches.front();
    for (std::size_t i : matches)
      if (focused && i > *focused) {
        pick = i;
        break;
      }
    const Control& c = controls_[pick];
    wchar_t cls[16] = {};
    GetClassNameW(c.hwnd, cls, 16);
    if (lstrcmpiW(cls, L"Static") == 0) {
      HWND box = GetNextDlgTabItem(hwnd_, c.hwnd, FALSE);
      if (box) {
        SetFocus(box);
        SendMessageW(box, EM_SETSEL, 0, -1);
      }
    } else {
      SetFocus(c.hwnd);
      if (matches.size() == 1) SendMessageW(c.hwnd, BM_CLICK, 0, 0);
    }
    return true;
  }
  for (int i = 0; i < kPages; ++i) {
    wchar_t caption[32] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption;
    item.cchTextMax = 32;
    SendMessageW(tabs_, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    if (AccessKey(caption) == key) {
      ShowPage(i);
      SetFocus(tabs_);
      return true;
    }
  }
  return false;
}

LRESULT frmOptions::OnNotify(const NMHDR& header) {
  if (header.hwndFrom == tabs_ && header.code == TCN_SELCHANGE) {
    ShowPage(static_cast<int>(SendMessageW(tabs_, TCM_GETCURSEL, 0, 0)));
    return 0;
  }
  if (header.code == TTN_GETDISPINFOW && header.hwndFrom == reinterpret_cast<HWND>(SendMessageW(tabs_, TCM_GETTOOLTIPS, 0, 0))) {
    auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
    if (header.idFrom < static_cast<UINT_PTR>(kPages)) info.lpszText = const_cast<wchar_t*>(kTabs[header.idFrom].tip);
    return 0;
  }
  return 0;
}

LRESULT frmOptions::OnCtlColorStatic(HDC dc, HWND control) {
  if (control != Item(IDC_OPT_LABEL26) || !sample_brush_)
    return Default(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  SetTextColor(dc, sample_.color & 0xFFFFFF);
  SetBkColor(dc, sample_.back_color & 0xFFFFFF);
  return reinterpret_cast<LRESULT>(sample_brush_.get());
}

void frmOptions::OnCommand(int id, int code) {
  if (id == IDC_OPT_GMT) {
    if (code == EN_KILLFOCUS) CheckGmt();
    return;
  }
  if (id == IDC_OPT_ADIFLIST) {
    if (code == LBN_SELCHANGE)
      Guarded("ADIFList_Click", 0, [&] {
        return logging_.Select(static_cast<int>(SendMessageW(Item(IDC_OPT_ADIFLIST), LB_GETCURSEL, 0, 0))), 0;
      });
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDOK:
      Guarded("cmdOK_Click", 0, [&] {
        if (Apply()) Close();
        return 0;
      });
      break;
    case IDCANCEL: Close(); break;
    case IDC_OPT_APPLY: Guarded("cmdApply_Click", 0, [&] { return Apply(), 0; }); break;
    case IDC_OPT_COMMAND1: SetFont(); break;
    case IDC_OPT_COMMAND3: SetColor(); break;
    case IDC_OPT_COMMAND2:
      Browse(IDC_OPT_PATH, L"Select PSK31 program", L"Exe Files | *.exe", L"exe", true);
      break;
    case IDC_OPT_COMMAND4:
      Browse(IDC_OPT_AUXPATH, L"Select Aux Program", L"Exe Files | *.exe", L"exe", true);
      break;
    case IDC_OPT_COMMAND7:
      Browse(IDC_OPT_ADIFFILE, L"Select ADIF log file", L"ADIF File (*.ADI)|*.ADI|All Files (*.*)|*.*", L"ADI",
             false);
      break;
    case IDC_OPT_COMMAND5: Guarded("Command5_Click", 0, [&] { return SaveOpts(), 0; }); break;
    case IDC_OPT_COMMAND6: Guarded("Command6_Click", 0, [&] { return LoadOpts(), 0; }); break;
    case IDC_OPT_ADIFEN:
      Guarded("ADifEn_Click", 0, [&] { return logging_.OnAdifEnabledClick(IsChecked(IDC_OPT_ADIFEN)), 0; });
      break;
    case IDC_OPT_COMMAND8: Guarded("Command8_Click", 0, [&] { return logging_.AddCustom(), 0; }); break;
    case IDC_OPT_COMMAND9: Guarded("Command9_Click", 0, [&] { return logging_.ResetAll(), 0; }); break;
    default: break;
  }
}

void frmOptions::Load() {
  ShowCaptions();
  LOGFONTW current{};
  GetObjectW(ui_font_.get(), sizeof current, &current);
  OptionsControls c = model_.Load(Narrow(current.lfFaceName));
  SetText(IDC_OPT_LDELAY, c.LDelay);
  SetText(IDC_OPT_AUXPATH, c.AuxPath);
  sample_ = c.sample;
  ShowSample();
  SetText(IDC_OPT_PATH, c.Path);
  SetText(IDC_OPT_GMT, c.GMT);
  for (int n = 0; n < 20; ++n) SetText(IDC_OPT_MACRO0 + n, c.Macro[static_cast<std::size_t>(n)]);
  SetText(IDC_OPT_TZONE, c.TZone);
  for (int n = 1; n <= kOptionBoxes; ++n)
    SendMessageW(Item(IDC_OPT_CHECK1 + n - 1), BM_SETCHECK, static_cast<WPARAM>(c.checks[static_cast<std::size_t>(n)]), 0);
  SetText(IDC_OPT_CALLSIGN, c.Callsign);
  SetText(IDC_OPT_RXCHAR, c.RxChar);
  SendMessageW(Item(IDC_OPT_STATION), CB_SETCURSEL, static_cast<WPARAM>(c.Station), 0);
  SetText(IDC_OPT_FLDIGIADDRESS, c.FldigiAddress);
  SetText(IDC_OPT_FLDIGIPORT, c.FldigiPort);
  logging_.Fill();
}

void frmOptions::ShowCaptions() {
  const FKeysCaptions captions = model_.Captions();
  std::wstring tab = Widen(captions.tab);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = tab.data();
  SendMessageW(tabs_, TCM_SETITEMW, 2, reinterpret_cast<LPARAM>(&item));
  SetText(IDC_OPT_FRAME2, captions.frame);
}

void frmOptions::ShowSample() {
  sample_font_ = FontFromSpec(sample_);
  sample_brush_.reset(CreateSolidBrush(sample_.back_color & 0xFFFFFF));
  SendMessageW(Item(IDC_OPT_LABEL26), WM_SETFONT, reinterpret_cast<WPARAM>(sample_font_.get()), TRUE);
  InvalidateRect(Item(IDC_OPT_LABEL26), nullptr, TRUE);
}

bool frmOptions::CheckGmt() {
  if (checking_gmt_ || closing_) return true;
  // Only when the keyboard moves on inside the dialog, and not to Cancel: switching to
  // another program or cancelling the dialog needs no number.
  HWND next = GetFocus();
  if (next == Item(IDCANCEL) || (next && next != hwnd_ && !IsChild(hwnd_, next))) return true;
  if (GmtTextValid(TextOf(IDC_OPT_GMT))) return true;
  checking_gmt_ = true;
  Message(kGmtRefusedText);
  checking_gmt_ = false;
  if (page_ != 0) ShowPage(0);
  SetFocus(Item(IDC_OPT_GMT));
  return false;
}

bool frmOptions::Apply() {
  // A refused GMT is not stored: Enter reaches OK without leaving the box.
  if (!GmtTextValid(TextOf(IDC_OPT_GMT))) {
    checking_gmt_ = true;
    Message(kGmtRefusedText);
    checking_gmt_ = false;
    ShowPage(0);
    SetFocus(Item(IDC_OPT_GMT));
    return false;
  }
  // A refused ADIF tag stores nothing either; the Logging page shows the field.
  if (!logging_.CommitShown()) {
    ShowPage(4);
    SetFocus(Item(IDC_OPT_ADIFTAG));
    return false;
  }
  OptionsControls c;
  c.Path = TextOf(IDC_OPT_PATH);
  c.LDelay = TextOf(IDC_OPT_LDELAY);
  c.GMT = TextOf(IDC_OPT_GMT);
  c.TZone = TextOf(IDC_OPT_TZONE);
  c.Callsign = TextOf(IDC_OPT_CALLSIGN);
  c.RxChar = TextOf(IDC_OPT_RXCHAR);
  c.AuxPath = TextOf(IDC_OPT_AUXPATH);
  c.Station = SendMessageW(Item(IDC_OPT_STATION), CB_GETCURSEL, 0, 0) == 1 ? 1 : 0;
  c.FldigiAddress = TextOf(IDC_OPT_FLDIGIADDRESS);
  c.FldigiPort = TextOf(IDC_OPT_FLDIGIPORT);
  c.sample = sample_;
  for (int n = 1; n <= kOptionBoxes; ++n)
    c.checks[static_cast<std::size_t>(n)] =
        static_cast<int>(SendMessageW(Item(IDC_OPT_CHECK1 + n - 1), BM_GETCHECK, 0, 0));
  for (int n = 0; n < 20; ++n) c.Macro[static_cast<std::size_t>(n)] = TextOf(IDC_OPT_MACRO0 + n);
  model_.Apply(c);
  SendMessageW(Item(IDC_OPT_CHECK1 + 6), BM_SETCHECK, static_cast<WPARAM>(c.checks[7]), 0);
  logging_.CommitAndStore(IsChecked(IDC_OPT_ADIFEN), TextOf(IDC_OPT_ADIFFILE));
  ShowCaptions();
  return true;
}

void frmOptions::Close() { closing_ = true; }

void frmOptions::SetFont() {
  LOGFONTW lf{};
  {
    UniqueFont shown = FontFromSpec(sample_);
    GetObjectW(shown.get(), sizeof lf, &lf);
  }
  CHOOSEFONTW cf{};
  cf.lStructSize = sizeof cf;
  cf.hwndOwner = hwnd_;
  cf.lpLogFont = &lf;
  cf.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
  cf.rgbColors = sample_.color & 0xFFFFFF;
  if (!ChooseFontW(&cf)) return;
  sample_.name = Narrow(lf.lfFaceName);
  sample_.size = cf.iPointSize / 10.0;
  sample_.bold = lf.lfWeight >= FW_SEMIBOLD;
  sample_.italic = lf.lfItalic != 0;
  sample_.strikethru = lf.lfStrikeOut != 0;
  sample_.underline = lf.lfUnderline != 0;
  sample_.color = cf.rgbColors;
  ShowSample();
}

void frmOptions::SetColor() {
  static COLORREF custom[16] = {};
  CHOOSECOLORW cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = hwnd_;
  cc.rgbResult = sample_.back_color & 0xFFFFFF;
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorW(&cc)) return;
  sample_.back_color = cc.rgbResult;
  ShowSample();
}

void frmOptions::Browse(int box, const wchar_t* title, const wchar_t* filter, const wchar_t* ext, bool must_exist) {
  const std::optional<std::wstring> file =
      AskFileName(false, title, filter, ext, Widen(TextOf(box)), must_exist ? OFN_FILEMUSTEXIST : 0);
  if (!file) return;
  SetWindowTextW(Item(box), file->c_str());
  if (box == IDC_OPT_ADIFFILE) SetFocus(Item(box));
}

std::optional<std::wstring> frmOptions::AskFileName(bool save, const wchar_t* title, const wchar_t* filter,
                                                    const wchar_t* ext, const std::wstring& initial, DWORD flags) {
  const std::wstring pairs = FilterPairs(filter);
  wchar_t file[MAX_PATH] = {};
  lstrcpynW(file, initial.c_str(), MAX_PATH);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = pairs.c_str();
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrTitle = title;
  ofn.lpstrDefExt = ext;
  ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | flags;
  if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return std::nullopt;
  return std::wstring(file);
}

constexpr wchar_t kOptionsFilter[] = L"QPD Files|*.QPD|All Files|*.*";

void frmOptions::SaveOpts() {
  const std::optional<std::wstring> file =
      AskFileName(true, L"Select Save File", kOptionsFilter, L"QPD", L"", OFN_OVERWRITEPROMPT);
  if (!file) return;
  Win32OptionsFileSink sink(*file);
  if (const std::optional<std::string> error = SaveOptionsFile(store_, sink)) Message(*error);
}

void frmOptions::LoadOpts() {
  const std::optional<std::wstring> file =
      AskFileName(false, L"Select Load File", kOptionsFilter, L"QPD", L"", OFN_FILEMUSTEXIST);
  if (!file) return;
  std::unique_ptr<Win32OptionsFileSource> source;
  try {
    source = std::make_unique<Win32OptionsFileSource>(*file);
  } catch (const Error& e) {
    Message(OptionsFileErrorText(e.what()));
    return;
  }
  const OptionsLoadResult result = LoadOptionsFile(store_, *source);
  source.reset();
  if (result.error_text) Message(*result.error_text);
  Load();
  NameDamaged();
}

void frmOptions::NameDamaged() {
  if (const std::optional<std::string> text = model_.DamagedValuesText()) Message(*text);
}

void frmOptions::Message(const std::string& text) {
  MessageBoxW(hwnd_, Widen(text).c_str(), L"QSOPAD", MB_OK);
}

std::string frmOptions::TextOf(int id) const { return GetWindowAnsiText(Item(id)); }

void frmOptions::SetText(int id, const std::string& text) { SetWindowTextW(Item(id), Widen(text).c_str()); }

bool frmOptions::IsChecked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

LRESULT CALLBACK frmOptions::GmtProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                     DWORD_PTR) noexcept {
  return Guarded("GMT_KeyPress", LRESULT{0}, [&]() -> LRESULT {
    if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &frmOptions::GmtProc, 1);
    if (message == WM_CHAR && wparam < 0x80) {
      DWORD start = 0;
      SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
      if (!GmtKeyAllowed(static_cast<char>(wparam), static_cast<int>(start))) return 0;
    } else if (message == WM_CHAR) {
      return 0;  // no letter of another alphabet is a digit either
    }
    return DefSubclassProc(hwnd, message, wparam, lparam);
  });
}

// LoggingPageView.

void frmOptions::SetAdifEnabled(bool checked) {
  SendMessageW(Item(IDC_OPT_ADIFEN), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void frmOptions::SetControlsEnabled(bool enabled) {
  for (Control& c : controls_) {
    const int id = GetDlgCtrlID(c.hwnd);
    if (id == IDC_OPT_ADIFFILE || id == IDC_OPT_ADIFLIST || id == IDC_OPT_ADIFFIELDEN || id == IDC_OPT_COMMAND7 ||
        id == IDC_OPT_ADIFTAG || id == IDC_OPT_ADIFCONTENT) {
      c.enabled = enabled;
      EnableWindow(c.hwnd, enabled && c.page == page_);
    }
  }
}

void frmOptions::SetFile(const std::string& path) { SetText(IDC_OPT_ADIFFILE, path); }

void frmOptions::SetList(const std::vector<std::string>& names) {
  HWND list = Item(IDC_OPT_ADIFLIST);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const std::string& name : names) AddListEntry(name);
}

void frmOptions::AddListEntry(const std::string& name) {
  HWND list = Item(IDC_OPT_ADIFLIST);
  const LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(name).c_str()));
  // Entry n shows field n: the table index as item data.
  if (at >= 0) SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), at);
}

void frmOptions::SelectListEntry(int position) {
  SendMessageW(Item(IDC_OPT_ADIFLIST), LB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

bool frmOptions::FieldEnabled() { return IsChecked(IDC_OPT_ADIFFIELDEN); }

std::string frmOptions::Tag() { return TextOf(IDC_OPT_ADIFTAG); }

std::string frmOptions::Content() { return TextOf(IDC_OPT_ADIFCONTENT); }

void frmOptions::ShowField(bool enabled, const std::string& tag, const std::string& content) {
  SendMessageW(Item(IDC_OPT_ADIFFIELDEN), BM_SETCHECK, enabled ? BST_CHECKED : BST_UNCHECKED, 0);
  SetText(IDC_OPT_ADIFTAG, tag);
  SetText(IDC_OPT_ADIFCONTENT, content);
}

void frmOptions::ShowMessage(const std::string& text) { Message(text); }

bool frmOptions::Confirm(const std::string& text) {
  return MessageBoxW(hwnd_, Widen(text).c_str(), L"QSOPAD", MB_OKCANCEL) == IDOK;
}

}  // namespace qsopad
