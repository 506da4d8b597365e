// The stand-in's windows: the classes and captions that a driving program searches for,
// built from the system's own controls so that they answer like real ones.
#include "station.h"

#include <algorithm>
#include <cwctype>
#include <string>

namespace psk31 {

namespace {

constexpr UINT_PTR kTxTimer = 1;
constexpr UINT kTxTimerMs = 10;
constexpr int kRxStep = 1;  // Hz per Left/Right key in the transmit memo
constexpr int kMaxFreqDigits = 7;

Station* station = nullptr;
WNDPROC baseButton = nullptr;
WNDPROC baseEdit = nullptr;

LRESULT CALLBACK AppProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return station ? station->OnApp(h, m, w, l) : DefWindowProcW(h, m, w, l);
}
LRESULT CALLBACK FormProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return station ? station->OnForm(h, m, w, l) : DefWindowProcW(h, m, w, l);
}
LRESULT CALLBACK PanelProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return station ? station->OnPanel(h, m, w, l) : DefWindowProcW(h, m, w, l);
}
LRESULT CALLBACK ButtonProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return station ? station->OnControl(h, m, w, l, baseButton) : CallWindowProcW(baseButton, h, m, w, l);
}
LRESULT CALLBACK EditProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return station ? station->OnControl(h, m, w, l, baseEdit) : CallWindowProcW(baseEdit, h, m, w, l);
}

bool RegisterOwn(HINSTANCE instance, const wchar_t* name, WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  return RegisterClassExW(&wc) != 0;
}

// A superclass keeps the system control's behaviour under a class name of our own.
bool RegisterSuper(HINSTANCE instance, const wchar_t* system, const wchar_t* name, WNDPROC proc,
                   WNDPROC* base) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (!GetClassInfoExW(nullptr, system, &wc)) return false;
  *base = wc.lpfnWndProc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.lpszClassName = name;
  wc.style &= ~CS_GLOBALCLASS;
  return RegisterClassExW(&wc) != 0;
}

// Characters are journaled as bytes of the ANSI code page, which is what a program sending
// with SendMessageA put in; the system widened them on the way to our Unicode windows.
unsigned AnsiByte(WPARAM wp) {
  if (wp < 0x80) return static_cast<unsigned>(wp);
  wchar_t wide = static_cast<wchar_t>(wp);
  char narrow[4] = {};
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_ACP, 0, &wide, 1, narrow, sizeof narrow, nullptr, &lossy);
  if (n != 1 || lossy) return static_cast<unsigned>(wp);
  return static_cast<unsigned char>(narrow[0]);
}

std::wstring WindowTextW(HWND hwnd) {
  int n = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), n + 1)));
  return text;
}

// "1400" or " 1400 " is a frequency; anything else, or nothing, is not.
int ParseFreq(const std::wstring& text) {
  size_t b = text.find_first_not_of(L' ');
  size_t e = text.find_last_not_of(L' ');
  if (b == std::wstring::npos || e - b + 1 > kMaxFreqDigits) return -1;
  int value = 0;
  for (size_t i = b; i <= e; ++i) {
    if (!std::iswdigit(text[i])) return -1;
    value = value * 10 + (text[i] - L'0');
  }
  return value;
}

void MoveTo(HWND hwnd, int x, int y, int w, int h) {
  if (hwnd) MoveWindow(hwnd, x, y, w, h, TRUE);
}

}  // namespace

Station::Station(const Config& config) : config_(config) {
  journal_.Open(config_.journal);
  station = this;
}

Station::~Station() {
  station = nullptr;
  if (font_) DeleteObject(font_);
}

bool Station::Create(HINSTANCE instance, int nCmdShow) {
  if (!RegisterOwn(instance, L"TApplication", AppProc) || !RegisterOwn(instance, L"TForm1", FormProc) ||
      !RegisterOwn(instance, L"TPanel", PanelProc) ||
      !RegisterSuper(instance, L"BUTTON", L"TButton", ButtonProc, &baseButton) ||
      !RegisterSuper(instance, L"BUTTON", L"TGroupBox", ButtonProc, &baseButton) ||
      !RegisterSuper(instance, L"EDIT", L"TMemo", EditProc, &baseEdit) ||
      !RegisterSuper(instance, L"EDIT", L"TEdit", EditProc, &baseEdit))
    return false;

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);

  // The application window shows nothing: it has no size, as the real program's has. It
  // only carries the caption that tells the soundcard and EVM versions apart and the
  // minimised state. It has to be "visible" for that: Wine does not let SetWindowLong clear
  // WS_MINIMIZE again, so the state follows the form through ShowWindow.
  app_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"TApplication",
                         config_.evm ? L"PSK31 for Windows on the EVM" : L"PSK31 for Windows on the Soundcard",
                         WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
  if (app_) ShowWindow(app_, SW_SHOWNOACTIVATE);
  form_ = CreateWindowExW(0, L"TForm1", L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                          CW_USEDEFAULT, 640, 240, nullptr, nullptr, instance, nullptr);
  if (!app_ || !form_) return false;
  SetCaption();

  // Without the panel the controls sit on the form itself, where nobody looks for them.
  HWND holder = form_;
  if (!config_.noPanel) {
    panel_ = CreateWindowExW(0, L"TPanel", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, form_,
                             nullptr, instance, nullptr);
    holder = panel_;
  }
  auto child = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, HWND parent) {
    HWND h = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent, nullptr,
                             instance, nullptr);
    if (h && font_) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return h;
  };
  status_ = child(0, L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, holder);
  echo_ = child(WS_EX_CLIENTEDGE, L"EDIT",
                L"Stand-in PSK31 station. Received and transmitted text appears here.\r\n",
                ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, holder);
  if (!config_.noTune) tune_ = child(0, L"TButton", L"Tune", BS_PUSHBUTTON, holder);
  if (!config_.noMemo) {
    memo_ = child(WS_EX_CLIENTEDGE, L"TMemo", L"", ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL,
                  holder);
    SendMessageW(memo_, EM_SETLIMITTEXT, 0, 0);
  }
  if (!config_.noFreq) {
    rxGroup_ = child(0, L"TGroupBox", L"Rx Freq Hz", BS_GROUPBOX | WS_CLIPCHILDREN, holder);
    txGroup_ = child(0, L"TGroupBox", L"Tx Freq Hz", BS_GROUPBOX | WS_CLIPCHILDREN, holder);
    rxBox_ = child(WS_EX_CLIENTEDGE, L"TEdit", std::to_wstring(rxFreq_).c_str(), ES_AUTOHSCROLL, rxGroup_);
    txBox_ = child(WS_EX_CLIENTEDGE, L"TEdit", std::to_wstring(txFreq_).c_str(), ES_AUTOHSCROLL, txGroup_);
  }
  Layout();
  UpdateStatus();
  if (config_.demo) {
    // Beside QSOPAD, which opens on the left half of the screen; a launch asks for a
    // minimised window, which a screenshot would not show.
    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    const int left = screenW / 2 + 20;
    const int width = std::min(640, screenW - left - 20);
    SetWindowPos(form_, nullptr, left, 40, width, 240, SWP_NOZORDER | SWP_NOACTIVATE);
    nCmdShow = SW_SHOWNORMAL;
  }
  journal_.Write("app", "START " + std::to_string(GetCurrentProcessId()));
  ShowWindow(form_, nCmdShow);
  UpdateWindow(form_);
  if (memo_ && !minimized_) SetFocus(memo_);
  return true;
}

const char* Station::RoleOf(HWND hwnd) const {
  if (hwnd == app_) return "app";
  if (hwnd == form_) return "form";
  if (hwnd == panel_) return "panel";
  if (hwnd == tune_) return "tune";
  if (hwnd == memo_) return "memo";
  if (hwnd == rxBox_) return "rxbox";
  if (hwnd == txBox_) return "txbox";
  if (hwnd == rxGroup_) return "rxgroup";
  if (hwnd == txGroup_) return "txgroup";
  return "other";
}

void Station::JournalIncoming(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  // InSendMessage tells a message sent from another thread from one taken off the queue.
  const char* how = InSendMessage() ? " sent" : " posted";
  switch (msg) {
    case WM_CHAR:
      journal_.Write(RoleOf(hwnd), "WM_CHAR " + std::to_string(AnsiByte(wp)) + how);
      break;
    case WM_KEYDOWN:
      journal_.Write(RoleOf(hwnd), "WM_KEYDOWN " + std::to_string(wp) + how);
      break;
    case WM_KEYUP:
      journal_.Write(RoleOf(hwnd), "WM_KEYUP " + std::to_string(wp) + how);
      break;
    case WM_CLOSE:
      journal_.Write(RoleOf(hwnd), "WM_CLOSE");
      break;
    case WM_SETFOCUS:
      journal_.Write(RoleOf(hwnd), "FOCUS");
      break;
    case WM_KILLFOCUS:
      journal_.Write(RoleOf(hwnd), "KILLFOCUS");
      break;
    case WM_ACTIVATE:
      journal_.Write(RoleOf(hwnd), "ACTIVATE " + std::to_string(LOWORD(wp)));
      break;
    default:
      break;
  }
  (void)lp;
}

void Station::MaybeHang(UINT msg, WPARAM wp) {
  if (msg != WM_KEYDOWN || config_.hangVk == 0 || static_cast<int>(wp) != config_.hangVk) return;
  journal_.Write("app", "HANG " + std::to_string(config_.hangMs));
  Sleep(static_cast<DWORD>(config_.hangMs));
  journal_.Write("app", "HANGEND");
}

LRESULT Station::OnApp(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  JournalIncoming(hwnd, msg, wp, lp);
  MaybeHang(msg, wp);
  if (msg == WM_CLOSE) {
    PostMessageW(form_, WM_CLOSE, 0, 0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Station::OnForm(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  JournalIncoming(hwnd, msg, wp, lp);
  MaybeHang(msg, wp);
  switch (msg) {
    case WM_SIZE: {
      bool minimized = wp == SIZE_MINIMIZED;
      if (minimized != minimized_) {
        minimized_ = minimized;
        // The application window carries the minimised state that others test with IsIconic.
        ShowWindow(app_, minimized ? SW_SHOWMINNOACTIVE : SW_SHOWNOACTIVATE);
        journal_.Write("form", minimized ? "MINIMIZE" : "RESTORE");
      }
      if (!minimized) Layout();
      return 0;
    }
    case WM_WINDOWPOSCHANGED: {
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
      if ((pos->flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
        RECT r;
        GetWindowRect(hwnd, &r);
        journal_.Write("form", "MOVE " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                                   std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top));
      }
      break;
    }
    case WM_SETFOCUS:
      if (memo_ && !IsIconic(hwnd)) SetFocus(memo_);
      return 0;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED && reinterpret_cast<HWND>(lp) == tune_ && tune_)
        OnFunctionKey(VK_F8);
      return 0;
    case WM_TIMER:
      if (wp == kTxTimer) Pump();
      return 0;
    case WM_CLOSE:
      // Ending the message loop without destroying the windows first: with no window
      // manager, Wine stalls a thread about two seconds when it destroys a top-level window.
      // The system removes the windows with the process.
      PostQuitMessage(0);
      return 0;
    case WM_DESTROY:
      KillTimer(hwnd, kTxTimer);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Station::OnPanel(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  JournalIncoming(hwnd, msg, wp, lp);
  MaybeHang(msg, wp);
  switch (msg) {
    case WM_KEYDOWN:
      if (wp >= VK_F1 && wp <= VK_F8) OnFunctionKey(static_cast<int>(wp));
      return 0;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED && reinterpret_cast<HWND>(lp) == tune_ && tune_)
        OnFunctionKey(VK_F8);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Station::OnControl(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, WNDPROC base) {
  JournalIncoming(hwnd, msg, wp, lp);
  MaybeHang(msg, wp);
  if (hwnd == memo_ && memo_) {
    if (msg == WM_CHAR) {
      OnMemoChar(wp);
      // Text always joins at the end, wherever the caret was left.
      int len = GetWindowTextLengthW(hwnd);
      CallWindowProcW(base, hwnd, EM_SETSEL, static_cast<WPARAM>(len), len);
    } else if (msg == WM_KEYDOWN && (wp == VK_LEFT || wp == VK_RIGHT)) {
      NudgeRx(wp == VK_LEFT ? -kRxStep : kRxStep);
    }
  } else if ((hwnd == rxBox_ || hwnd == txBox_) && hwnd && msg == WM_CHAR && wp == '\r') {
    OnFreqEnter(hwnd);
    return 0;  // a single-line edit would only beep
  } else if ((hwnd == rxGroup_ || hwnd == txGroup_) && hwnd && msg == WM_ERASEBKGND) {
    // A group box paints only its frame and label; the inside is ours to fill.
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(reinterpret_cast<HDC>(wp), &rc, GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  return CallWindowProcW(base, hwnd, msg, wp, lp);
}

void Station::Layout() {
  RECT rc;
  GetClientRect(form_, &rc);
  const int w = rc.right;
  const int h = rc.bottom;
  MoveTo(panel_, 0, 0, w, h);
  const int m = 6;
  const int colW = 120;
  const int lineH = 16;
  const int rightX = w - m - colW;
  const int leftW = rightX - 2 * m;
  const int top = m + lineH + 4;
  const int avail = h - top - m;
  const int echoH = avail * 55 / 100;
  MoveTo(status_, m, m, w - 2 * m, lineH);
  MoveTo(echo_, m, top, leftW, echoH);
  MoveTo(memo_, m, top + echoH + 4, leftW, avail - echoH - 4);
  MoveTo(tune_, rightX, top, colW, 25);
  MoveTo(rxGroup_, rightX, top + 31, colW, 48);
  MoveTo(txGroup_, rightX, top + 85, colW, 48);
  MoveTo(rxBox_, 8, 18, colW - 16, 22);
  MoveTo(txBox_, 8, 18, colW - 16, 22);
}

void Station::SetCaption() {
  std::wstring caption = config_.evm ? L"PSK31 EVM " : L"PSK31 SB ";
  caption += qpsk_ ? L"[QPSK]" : L"[BPSK]";
  SetWindowTextW(form_, caption.c_str());
}

void Station::UpdateStatus() {
  std::wstring text;
  switch (tx_) {
    case Tx::kIdle: text = L"Receiving"; break;
    case Tx::kText: text = L"Transmitting, " + std::to_wstring(queue_.size()) + L" queued"; break;
    case Tx::kTune: text = L"Tuning"; break;
  }
  text += qpsk_ ? L"   |   QPSK" : L"   |   BPSK";
  text += L"   |   Rx " + std::to_wstring(rxFreq_) + L" Hz, Tx " + std::to_wstring(txFreq_) + L" Hz";
  text += L"   |   " + std::to_wstring(config_.cps) + L" cps";
  text += squelch_ ? L"   |   SQL" : L"";
  text += afc_ ? L"  AFC" : L"";
  text += net_ ? L"  NET" : L"";
  SetWindowTextW(status_, text.c_str());
}

void Station::OnFunctionKey(int vk) {
  switch (vk) {
    case VK_F1:
      qpsk_ = !qpsk_;
      SetCaption();
      journal_.Write("app", qpsk_ ? "MODE QPSK" : "MODE BPSK");
      break;
    case VK_F2: squelch_ = !squelch_; break;
    case VK_F3: afc_ = !afc_; break;
    case VK_F4: net_ = !net_; break;
    case VK_F5: RequestStop(false); break;
    case VK_F6: RequestStop(true); break;
    case VK_F8:
      if (tx_ == Tx::kIdle) StartTx(Tx::kTune);
      else if (tx_ == Tx::kTune) EndTx(false);
      break;
    default: break;  // F7 (CQ) has nothing to simulate
  }
  UpdateStatus();
}

void Station::OnMemoChar(WPARAM wp) {
  unsigned char ch = static_cast<unsigned char>(AnsiByte(wp));
  // A backspace takes back a character that has not gone yet; otherwise it goes out itself.
  if (ch == '\b' && !queue_.empty() && !queue_.back().stop) {
    queue_.pop_back();
  } else {
    queue_.push_back(Item{ch, false, false});
  }
  if (tx_ != Tx::kText) StartTx(Tx::kText);  // typing also ends a tune
  UpdateStatus();
}

void Station::OnFreqEnter(HWND box) {
  bool rx = box == rxBox_;
  int& freq = rx ? rxFreq_ : txFreq_;
  int value = ParseFreq(WindowTextW(box));
  if (value >= 0) {
    freq = value;
    journal_.Write(rx ? "rxbox" : "txbox", (rx ? "RXFREQ " : "TXFREQ ") + std::to_string(value));
  } else {
    journal_.Write(rx ? "rxbox" : "txbox", rx ? "RXFREQBAD" : "TXFREQBAD");
  }
  SetWindowTextW(box, std::to_wstring(freq).c_str());
  SendMessageW(box, EM_SETSEL, 0, -1);
  UpdateStatus();
}

void Station::NudgeRx(int delta) {
  rxFreq_ = rxFreq_ + delta < 0 ? 0 : rxFreq_ + delta;
  if (rxBox_) SetWindowTextW(rxBox_, std::to_wstring(rxFreq_).c_str());
  journal_.Write("rxbox", "RXFREQ " + std::to_string(rxFreq_));
  UpdateStatus();
}

void Station::StartTx(Tx kind) {
  bool was = tx_ != Tx::kIdle;
  tx_ = kind;
  if (tune_) EnableWindow(tune_, FALSE);
  if (kind == Tx::kText) {
    lastPumpMs_ = NowMs();
    credit_ = 0;
    SetTimer(form_, kTxTimer, kTxTimerMs, nullptr);
  }
  if (!was) {
    journal_.Write("app", kind == Tx::kTune ? "TXSTART tune" : "TXSTART");
    EchoTransmitted(kind == Tx::kTune ? L"\r\n[TX tune]" : L"\r\n[TX] ");
  }
  UpdateStatus();
}

void Station::EndTx(bool cwid) {
  KillTimer(form_, kTxTimer);
  if (cwid) journal_.Write("app", "CWID");
  tx_ = Tx::kIdle;
  if (tune_) EnableWindow(tune_, TRUE);
  journal_.Write("app", "TXEND");
  EchoTransmitted(cwid ? L" [CW ID] [RX]\r\n" : L" [RX]\r\n");
  UpdateStatus();
}

void Station::RequestStop(bool cwid) {
  if (tx_ == Tx::kTune) {
    EndTx(cwid);
  } else if (tx_ == Tx::kText) {
    queue_.push_back(Item{0, true, cwid});
    if (queue_.size() == 1) Pump();  // nothing pending: stop at once
  }
}

// Sends what the elapsed time allows at config_.cps characters per second. The credit is
// capped while the queue is empty so that a pause does not let a later burst go out at once.
void Station::Pump() {
  std::int64_t now = NowMs();
  credit_ += static_cast<double>(now - lastPumpMs_) * config_.cps / 1000.0;
  lastPumpMs_ = now;
  while (!queue_.empty()) {
    Item item = queue_.front();
    if (item.stop) {
      queue_.pop_front();
      EndTx(item.cwid);
      if (!queue_.empty()) StartTx(Tx::kText);  // text typed after the stop is a new transmission
      continue;
    }
    if (credit_ < 1) break;
    credit_ -= 1;
    queue_.pop_front();
    journal_.Write("app", "TXCHAR " + std::to_string(item.ch));
    if (item.ch == '\r') {
      EchoTransmitted(L"\r\n");
    } else if (item.ch >= 0x20) {
      char narrow = static_cast<char>(item.ch);
      wchar_t wide = L'?';
      MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &wide, 1);
      EchoTransmitted(std::wstring(1, wide));
    }
  }
  if (queue_.empty() && credit_ > 1) credit_ = 1;
  UpdateStatus();
}

void Station::EchoTransmitted(const std::wstring& text) {
  if (!echo_) return;
  int len = GetWindowTextLengthW(echo_);
  if (len > 30000) {  // keep the scroll-back bounded
    SendMessageW(echo_, EM_SETSEL, 0, 10000);
    SendMessageW(echo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    len = GetWindowTextLengthW(echo_);
  }
  SendMessageW(echo_, EM_SETSEL, static_cast<WPARAM>(len), len);
  SendMessageW(echo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace psk31
