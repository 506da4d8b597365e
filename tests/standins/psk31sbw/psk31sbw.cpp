// psk31sbw.exe: a stand-in for the PSK31 soundcard program. It offers the windows a driving program looks for,
// simulates transmitting what is typed into its memo, and journals the messages it receives so that end-to-end tests
// can see what arrived and when. It also serves as the demonstration station installed at C:\psk31\psk31sbw.exe.
//
// Environment: PSK31_JOURNAL=<file> (append the journal to it; none when unset), PSK31_CPS=<n> (transmit speed in
// characters per second, default 30), PSK31_NO_PANEL=1 (leave out the "TPanel": the controls then sit on the form),
// PSK31_HANG_ON_KEY=<vk> with PSK31_HANG_MS=<ms> (on WM_KEYDOWN with this key, to any window, the UI thread sleeps
// this long, default 2000, journaling HANG <ms> and HANGEND), PSK31_DEMO=1 (show normal even when started minimised,
// on the right half of the screen, beside QSOPAD on the left). A switch is on when set to anything but "" or "0".
//
// Journal: "<ms> <role> <event> [args...]", role one of app form panel tune memo rxbox txbox rxgroup txgroup:
//   <role> WM_CHAR <ansi byte> sent|posted   <role> WM_KEYDOWN|WM_KEYUP <vk> sent|posted
//   <role> WM_CLOSE   <role> FOCUS   app START <pid> | EXIT | TXEND | HANG <ms> | HANGEND
//   rxbox RXFREQ <hz> | RXFREQBAD
// "sent" came from another thread by SendMessage, "posted" through the queue.
//
// Behaviour: a WM_CHAR to the memo queues the character and starts a transmission (Tune disabled); F5 or F6 to the
// panel marks the end of the text, and the transmission ends (Tune enabled) once the text before the mark has gone.
// F1 toggles [BPSK]/[QPSK], F8 a tune transmission; Left/Right in the memo move the Rx frequency by 1 Hz; Enter in
// the Rx box takes its number (up to 7 digits).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <deque>
#include <string>

#include "shared/standin.h"

namespace {

constexpr UINT_PTR kTxTimer = 1;

const bool noPanel = standin::Switch(L"PSK31_NO_PANEL"), demo = standin::Switch(L"PSK31_DEMO");
const int cps = standin::Number(L"PSK31_CPS", 30, 1, 100000), hangVk = standin::Number(L"PSK31_HANG_ON_KEY", 0, 0, 255);
const int hangMs = standin::Number(L"PSK31_HANG_MS", 2000, 0, 600000);
standin::Journal journal(L"PSK31_JOURNAL");
HWND app = nullptr, form = nullptr, panel = nullptr, echo = nullptr, tune = nullptr, memo = nullptr;
HWND rxGroup = nullptr, txGroup = nullptr, rxBox = nullptr, txBox = nullptr;
WNDPROC baseButton = nullptr, baseEdit = nullptr;

// The transmitter: queued characters, and kStop where a transmission ends.
constexpr int kStop = -1;
enum class Tx { kIdle, kText, kTune } tx = Tx::kIdle;
std::deque<int> queue;
double credit = 0;  // characters the transmitter may send now
std::int64_t lastPumpMs = 0;
bool qpsk = false, minimized = false;
int rxFreq = 1000;

const char* RoleOf(HWND hwnd) {
  const std::pair<HWND, const char*> roles[] = {{app, "app"},     {form, "form"},       {panel, "panel"},
                                                {tune, "tune"},   {memo, "memo"},       {rxBox, "rxbox"},
                                                {txBox, "txbox"}, {rxGroup, "rxgroup"}, {txGroup, "txgroup"}};
  for (const auto& [window, role] : roles)
    if (window == hwnd) return role;
  return "other";
}

// Characters are journaled as bytes of the ANSI code page, which is what a program sending with SendMessageA put in;
// the system widened them on the way to our Unicode windows.
unsigned AnsiByte(WPARAM wp) {
  const wchar_t wide = static_cast<wchar_t>(wp);
  char narrow[4] = {};
  BOOL lossy = FALSE;
  if (wp < 0x80 || WideCharToMultiByte(CP_ACP, 0, &wide, 1, narrow, sizeof narrow, nullptr, &lossy) != 1 || lossy)
    return static_cast<unsigned>(wp);
  return static_cast<unsigned char>(narrow[0]);
}

// Journals what came from outside and plays the hang; every window procedure calls it first.
void Incoming(HWND hwnd, UINT msg, WPARAM wp) {
  // InSendMessage tells a message sent from another thread from one taken off the queue.
  const char* how = InSendMessage() ? " sent" : " posted";
  if (msg == WM_CHAR) journal.Write(RoleOf(hwnd), "WM_CHAR " + std::to_string(AnsiByte(wp)) + how);
  if (msg == WM_KEYDOWN) journal.Write(RoleOf(hwnd), "WM_KEYDOWN " + std::to_string(wp) + how);
  if (msg == WM_KEYUP) journal.Write(RoleOf(hwnd), "WM_KEYUP " + std::to_string(wp) + how);
  if (msg == WM_CLOSE) journal.Write(RoleOf(hwnd), "WM_CLOSE");
  if (msg == WM_SETFOCUS) journal.Write(RoleOf(hwnd), "FOCUS");
  if (msg == WM_KEYDOWN && hangVk != 0 && static_cast<int>(wp) == hangVk) {
    journal.Write("app", "HANG " + std::to_string(hangMs));
    Sleep(static_cast<DWORD>(hangMs));
    journal.Write("app", "HANGEND");
  }
}

void Echo(const std::wstring& text) {
  const int len = GetWindowTextLengthW(echo);
  SendMessageW(echo, EM_SETSEL, static_cast<WPARAM>(len), len);
  SendMessageW(echo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void StartTx(Tx kind) {
  if (tx == Tx::kIdle) Echo(kind == Tx::kTune ? L"\r\n[TX tune]" : L"\r\n[TX] ");
  tx = kind;
  EnableWindow(tune, FALSE);
  if (kind == Tx::kText) {
    lastPumpMs = standin::NowMs();
    credit = 0;
    SetTimer(form, kTxTimer, 10, nullptr);
  }
}

void EndTx() {
  KillTimer(form, kTxTimer);
  tx = Tx::kIdle;
  EnableWindow(tune, TRUE);
  journal.Write("app", "TXEND");
  Echo(L" [RX]\r\n");
}

// Sends what the elapsed time allows at cps characters per second. The credit is capped while the queue is
// empty so that a pause does not let a later burst go out at once.
void Pump() {
  const std::int64_t now = standin::NowMs();
  credit += static_cast<double>(now - lastPumpMs) * cps / 1000.0;
  lastPumpMs = now;
  while (!queue.empty()) {
    const int ch = queue.front();
    if (ch == kStop) {
      queue.pop_front();
      EndTx();
      if (!queue.empty()) StartTx(Tx::kText);  // text typed after the stop is a new transmission
      continue;
    }
    if (credit < 1) break;
    credit -= 1;
    queue.pop_front();
    const char narrow = static_cast<char>(ch);
    wchar_t wide = L'?';
    MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &wide, 1);
    if (ch == '\r') Echo(L"\r\n");
    else if (ch >= 0x20) Echo(std::wstring(1, wide));
  }
  if (queue.empty() && credit > 1) credit = 1;
}

void OnFunctionKey(WPARAM vk) {
  if (vk == VK_F1) {
    qpsk = !qpsk;
    SetWindowTextW(form, qpsk ? L"PSK31 SB [QPSK]" : L"PSK31 SB [BPSK]");
  } else if ((vk == VK_F5 || vk == VK_F6) && tx == Tx::kText) {
    // The end of the text: transmission ends once what came before has gone.
    queue.push_back(kStop);
    if (queue.size() == 1) Pump();
  } else if ((vk == VK_F5 || vk == VK_F6 || vk == VK_F8) && tx == Tx::kTune) {
    EndTx();
  } else if (vk == VK_F8 && tx == Tx::kIdle) {
    StartTx(Tx::kTune);
  }
}

void OnMemoChar(WPARAM wp) {
  const int ch = static_cast<unsigned char>(AnsiByte(wp));
  // A backspace takes back a character that has not gone yet; otherwise it goes out itself.
  if (ch == '\b' && !queue.empty() && queue.back() != kStop) queue.pop_back();
  else queue.push_back(ch);
  if (tx != Tx::kText) StartTx(Tx::kText);  // typing also ends a tune
}

void ShowRxFreq() { SetWindowTextW(rxBox, std::to_wstring(rxFreq).c_str()); }

// Enter in the Rx box: "1400" or " 1400 " (up to 7 digits) is taken, anything else puts back the frequency in force.
void OnRxEnter() {
  wchar_t buffer[64] = {};
  const std::wstring text(buffer, static_cast<size_t>(GetWindowTextW(rxBox, buffer, 64)));
  const size_t b = text.find_first_not_of(L' '), e = text.find_last_not_of(L' ');
  int value = b == std::wstring::npos || e - b + 1 > 7 ? -1 : 0;
  for (size_t i = b; value >= 0 && i <= e; ++i)
    value = std::iswdigit(text[i]) ? value * 10 + (text[i] - L'0') : -1;
  if (value >= 0) rxFreq = value;
  journal.Write("rxbox", value < 0 ? "RXFREQBAD" : "RXFREQ " + std::to_string(value));
  ShowRxFreq();
  SendMessageW(rxBox, EM_SETSEL, 0, -1);
}

void Layout() {
  RECT rc;
  GetClientRect(form, &rc);
  if (panel) MoveWindow(panel, 0, 0, rc.right, rc.bottom, TRUE);
  const int m = 6, colW = 120, rightX = rc.right - m - colW, leftW = rightX - 2 * m;
  const int avail = rc.bottom - 2 * m, echoH = avail * 55 / 100;
  MoveWindow(echo, m, m, leftW, echoH, TRUE);
  MoveWindow(memo, m, m + echoH + 4, leftW, avail - echoH - 4, TRUE);
  MoveWindow(tune, rightX, m, colW, 25, TRUE);
  MoveWindow(rxGroup, rightX, m + 31, colW, 48, TRUE);
  MoveWindow(txGroup, rightX, m + 85, colW, 48, TRUE);
  MoveWindow(rxBox, 8, 18, colW - 16, 22, TRUE);
  MoveWindow(txBox, 8, 18, colW - 16, 22, TRUE);
}

LRESULT CALLBACK AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Incoming(hwnd, msg, wp);
  if (msg != WM_CLOSE) return DefWindowProcW(hwnd, msg, wp, lp);
  PostMessageW(form, WM_CLOSE, 0, 0);
  return 0;
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Incoming(hwnd, msg, wp);
  switch (msg) {
    case WM_SIZE:
      if ((wp == SIZE_MINIMIZED) != minimized) {
        minimized = wp == SIZE_MINIMIZED;
        // The application window carries the minimised state that others test with IsIconic.
        ShowWindow(app, minimized ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE);
      }
      if (!minimized) Layout();
      return 0;
    case WM_SETFOCUS:
      if (!IsIconic(hwnd)) SetFocus(memo);
      return 0;
    case WM_TIMER:
      if (wp == kTxTimer) Pump();
      return 0;
    case WM_CLOSE:
      // Ending the message loop without destroying the windows first: with no window manager, Wine stalls a thread
      // about two seconds when it destroys a top-level window. The system removes the windows with the process.
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Incoming(hwnd, msg, wp);
  if (msg != WM_KEYDOWN) return DefWindowProcW(hwnd, msg, wp, lp);
  OnFunctionKey(wp);
  return 0;
}

LRESULT Control(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, WNDPROC base) {
  Incoming(hwnd, msg, wp);
  if (hwnd == memo && msg == WM_CHAR) {
    OnMemoChar(wp);
    // Text always joins at the end, wherever the caret was left.
    const int len = GetWindowTextLengthW(hwnd);
    CallWindowProcW(base, hwnd, EM_SETSEL, static_cast<WPARAM>(len), len);
  } else if (hwnd == memo && msg == WM_KEYDOWN && (wp == VK_LEFT || wp == VK_RIGHT)) {
    // Left and Right in the transmit memo move the Rx frequency by 1 Hz.
    rxFreq = std::max(0, rxFreq + (wp == VK_LEFT ? -1 : 1));
    ShowRxFreq();
    journal.Write("rxbox", "RXFREQ " + std::to_string(rxFreq));
  } else if (hwnd == rxBox && msg == WM_CHAR && wp == '\r') {
    OnRxEnter();
    return 0;  // a single-line edit would only beep
  } else if ((hwnd == rxGroup || hwnd == txGroup) && msg == WM_ERASEBKGND) {
    // A group box paints only its frame and label; the inside is ours to fill.
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(reinterpret_cast<HDC>(wp), &rc, GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  return CallWindowProcW(base, hwnd, msg, wp, lp);
}

LRESULT CALLBACK ButtonProc(HWND h, UINT m, WPARAM w, LPARAM l) { return Control(h, m, w, l, baseButton); }
LRESULT CALLBACK EditProc(HWND h, UINT m, WPARAM w, LPARAM l) { return Control(h, m, w, l, baseEdit); }

// A class of our own, or with `system` a superclass that keeps the system control's behaviour under our class name.
bool Register(HINSTANCE instance, const wchar_t* name, WNDPROC proc, const wchar_t* system = nullptr,
              WNDPROC* base = nullptr) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (system && !GetClassInfoExW(nullptr, system, &wc)) return false;
  if (base) *base = wc.lpfnWndProc;
  wc.style &= ~CS_GLOBALCLASS;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  if (!system) wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  if (!system) wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  return RegisterClassExW(&wc) != 0;
}

bool Create(HINSTANCE instance, int nCmdShow) {
  if (!Register(instance, L"TApplication", AppProc) || !Register(instance, L"TForm1", FormProc) ||
      !Register(instance, L"TPanel", PanelProc) ||
      !Register(instance, L"TButton", ButtonProc, L"BUTTON", &baseButton) ||
      !Register(instance, L"TGroupBox", ButtonProc, L"BUTTON", &baseButton) ||
      !Register(instance, L"TMemo", EditProc, L"EDIT", &baseEdit) ||
      !Register(instance, L"TEdit", EditProc, L"EDIT", &baseEdit))
    return false;
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);

  // The application window shows nothing: it has no size, as the real program's has. It carries the caption that
  // names the soundcard version and the minimised state, and has to be "visible" for that: Wine does not let
  // SetWindowLong clear WS_MINIMIZE again, so the state follows the form through ShowWindow.
  app = CreateWindowExW(WS_EX_TOOLWINDOW, L"TApplication", L"PSK31 for Windows on the Soundcard", WS_POPUP, 0, 0, 0,
                        0, nullptr, nullptr, instance, nullptr);
  ShowWindow(app, SW_SHOWNOACTIVATE);
  form = CreateWindowExW(0, L"TForm1", L"PSK31 SB [BPSK]", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                         CW_USEDEFAULT, 640, 240, nullptr, nullptr, instance, nullptr);
  auto child = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, HWND parent) {
    HWND h = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent, nullptr,
                             instance, nullptr);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return h;
  };
  // Without the panel the controls sit on the form itself, where nobody looks for them.
  if (!noPanel) panel = child(0, L"TPanel", L"", WS_CLIPCHILDREN, form);
  HWND holder = panel ? panel : form;
  echo = child(WS_EX_CLIENTEDGE, L"EDIT", L"Stand-in PSK31 station. Transmitted text appears here.\r\n",
               ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, holder);
  tune = child(0, L"TButton", L"Tune", BS_PUSHBUTTON, holder);
  memo = child(WS_EX_CLIENTEDGE, L"TMemo", L"", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL, holder);
  SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
  rxGroup = child(0, L"TGroupBox", L"Rx Freq Hz", BS_GROUPBOX | WS_CLIPCHILDREN, holder);
  txGroup = child(0, L"TGroupBox", L"Tx Freq Hz", BS_GROUPBOX | WS_CLIPCHILDREN, holder);
  rxBox = child(WS_EX_CLIENTEDGE, L"TEdit", L"1000", ES_AUTOHSCROLL, rxGroup);
  txBox = child(WS_EX_CLIENTEDGE, L"TEdit", L"1000", ES_AUTOHSCROLL, txGroup);
  // Every window is there, but the panel when left out: the procedures need not ask.
  if (!app || !form || !echo || !tune || !memo || !rxGroup || !txGroup || !rxBox || !txBox) return false;
  Layout();
  if (demo) {
    // Beside QSOPAD (on the left half of the screen), and shown: a launch asks for a minimised window.
    const int left = GetSystemMetrics(SM_CXSCREEN) / 2 + 20;
    SetWindowPos(form, nullptr, left, 40, std::min(640, GetSystemMetrics(SM_CXSCREEN) - left - 20), 240,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    nCmdShow = SW_SHOWNORMAL;
  }
  journal.Write("app", "START " + std::to_string(GetCurrentProcessId()));
  ShowWindow(form, nCmdShow);
  UpdateWindow(form);
  if (!minimized) SetFocus(memo);
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int nCmdShow) {
  return standin::Run(journal, "app", Create(instance, nCmdShow));
}
