// qsolog.exe: a stand-in for the log program that pairs with QSOPAD. Its window (class
// "QSOLOG_Standin", caption "QSO Log stand-in") pairs through the registered message
// "QSOPADLOG", journals every "QSOPADFUNC" announcement and every record it receives, and
// sends records when the test driver says so.
//
// Environment: QSOLOG_JOURNAL=<file> (the journal; none when unset), QSOLOG_NO_PAIR=1 (no
// handshake at start), QSOLOG_HANG_ON_FUNC=<ms> (sleep this long on every "QSOPADFUNC").
//
// Pairing: at start (and on command) it posts "QSOPADLOG" wParam 0, lParam = its window to
// HWND_BROADCAST. A "QSOPADLOG" with wParam 255 and a window in lParam makes that window the
// partner; a later one replaces it.
//
// Commands: a WM_COPYDATA whose dwData is 0x51000 or above comes from the test driver (below
// is a record). It returns 1 when its record reached the partner's window procedure
// (SendMessageTimeout, 5 s, wParam = the stand-in's window), else 0.
//   0x51000 + c (c 0..0xFFF)  a record of code c with the command's bytes
//   0x52000  code 1, 300 bytes "ABC...ZABC..."      0x52001  code 1, lpData NULL, cbData 10
//   0x52002  code 2, cbData 0 (a zeroed buffer)      0x53000  broadcast the handshake again
//
// Journal lines: "<ms> log <event> [args...]", ms on the performance counter (comparable
// between processes), handles in lower-case hex:
//   START <pid> <hwnd>   FUNC <wparam> <lparam>   PAIRED <partner>
//   RECORD <code> <cbData> <sender> [<text>]   (text: bytes below 33, above 126 and '%' as
//   %XX; absent when empty)   HANG <ms>   HANGEND   EXIT
#include <windows.h>

#include <cstdint>
#include <string>

#include "shared/standin.h"

namespace {

constexpr ULONG_PTR kCommandSend = 0x51000;
constexpr ULONG_PTR kCommandSendLast = 0x51FFF;
constexpr ULONG_PTR kCommandSendLong = 0x52000;
constexpr ULONG_PTR kCommandSendNull = 0x52001;
constexpr ULONG_PTR kCommandSendEmpty = 0x52002;
constexpr ULONG_PTR kCommandPair = 0x53000;
constexpr ULONG_PTR kCodeCall = 1;
constexpr ULONG_PTR kCodeName = 2;

standin::Journal journal;
HWND self = nullptr;
HWND partner = nullptr;
UINT funcMsg = 0;
UINT logMsg = 0;
int hangMs = 0;

std::string Hex(HWND hwnd) {
  std::string text;
  for (auto value = reinterpret_cast<std::uintptr_t>(hwnd); text.empty() || value != 0; value >>= 4)
    text.insert(text.begin(), "0123456789abcdef"[value & 15]);
  return text;
}

// Bytes as one blank-free journal word.
std::string Escape(const std::string& bytes) {
  std::string word;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 33 || b > 126 || b == '%') {
      word += '%';
      word += "0123456789ABCDEF"[b >> 4];
      word += "0123456789ABCDEF"[b & 15];
    } else {
      word += c;
    }
  }
  return word;
}

void Pair() { PostMessageW(HWND_BROADCAST, logMsg, 0, reinterpret_cast<LPARAM>(self)); }

LRESULT SendRecord(ULONG_PTR code, const void* data, DWORD size) {
  if (!partner) return FALSE;
  COPYDATASTRUCT record{code, size, const_cast<void*>(data)};
  DWORD_PTR result = 0;
  // SMTO_NORMAL lets a driver that waits in its own send to us handle a record meanwhile.
  return SendMessageTimeoutW(partner, WM_COPYDATA, reinterpret_cast<WPARAM>(self), reinterpret_cast<LPARAM>(&record),
                             SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

LRESULT OnCommand(const COPYDATASTRUCT& command) {
  const ULONG_PTR what = command.dwData;
  if (what >= kCommandSend && what <= kCommandSendLast)
    return SendRecord(what - kCommandSend, command.cbData ? command.lpData : nullptr, command.cbData);
  if (what == kCommandSendLong) {
    std::string text(300, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 26);
    return SendRecord(kCodeCall, text.data(), 300);
  }
  if (what == kCommandSendNull) return SendRecord(kCodeCall, nullptr, 10);
  if (what == kCommandSendEmpty) {
    // A real buffer, as a sender that fills its buffer but counts no bytes would pass.
    const char empty[16] = {};
    return SendRecord(kCodeName, empty, 0);
  }
  if (what == kCommandPair) Pair();
  return what == kCommandPair;
}

void OnRecord(HWND sender, const COPYDATASTRUCT& record) {
  const std::string bytes =
      record.lpData ? std::string(static_cast<const char*>(record.lpData), record.cbData) : std::string();
  journal.Write("log", "RECORD " + std::to_string(record.dwData) + " " + std::to_string(record.cbData) + " " +
                           Hex(sender) + " " + Escape(bytes));
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  // Registered message ids are only known at run time, so they cannot be switch cases.
  if (msg == funcMsg && funcMsg) {
    journal.Write("log", "FUNC " + std::to_string(wp) + " " + std::to_string(lp));
    if (hangMs > 0) {
      // Plays a program that stops answering while QSOPAD announces to it.
      journal.Write("log", "HANG " + std::to_string(hangMs));
      Sleep(static_cast<DWORD>(hangMs));
      journal.Write("log", "HANGEND");
    }
    return 0;
  }
  if (msg == logMsg && logMsg) {
    // Our own broadcast comes back here too, with wParam 0.
    if (wp == 255 && lp != 0) {
      partner = reinterpret_cast<HWND>(lp);
      journal.Write("log", "PAIRED " + Hex(partner));
    }
    return 0;
  }
  if (msg == WM_COPYDATA && lp) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lp);
    if (data->dwData >= kCommandSend) return OnCommand(*data);
    OnRecord(reinterpret_cast<HWND>(wp), *data);
    return TRUE;
  }
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int nCmdShow) {
  journal.Open(standin::Env(L"QSOLOG_JOURNAL"));
  hangMs = standin::Number(L"QSOLOG_HANG_ON_FUNC", 0, 0, 600000);
  funcMsg = RegisterWindowMessageW(L"QSOPADFUNC");
  logMsg = RegisterWindowMessageW(L"QSOPADLOG");
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"QSOLOG_Standin";
  if (funcMsg && logMsg && RegisterClassExW(&wc))
    self = CreateWindowExW(0, L"QSOLOG_Standin", L"QSO Log stand-in", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 340, 140, nullptr, nullptr, instance, nullptr);
  if (!self) {
    MessageBoxW(nullptr, L"The log stand-in could not create its window.", L"qsolog", MB_OK | MB_ICONERROR);
    return 1;
  }
  journal.Write("log", "START " + std::to_string(GetCurrentProcessId()) + " " + Hex(self));
  ShowWindow(self, nCmdShow);
  if (!standin::Switch(L"QSOLOG_NO_PAIR")) Pair();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  journal.Write("log", "EXIT");
  return static_cast<int>(msg.wParam);
}
