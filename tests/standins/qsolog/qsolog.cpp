// qsolog.exe: a stand-in for the log program that pairs with QSOPAD. Its window (class "QSOLOG_Standin", caption "QSO
// Log stand-in") pairs through the registered message "QSOPADLOG", journals every "QSOPADFUNC" announcement and every
// record it receives, and sends records when the test driver says so.
//
// Environment: QSOLOG_JOURNAL=<file> (the journal; none when unset), QSOLOG_NO_PAIR=1 (no handshake at start),
// QSOLOG_HANG_ON_FUNC=<ms> (sleep this long on every "QSOPADFUNC").
//
// Pairing: at start (and on command) it posts "QSOPADLOG" wParam 0, lParam = its window to HWND_BROADCAST. A
// "QSOPADLOG" with wParam 255 and a window in lParam makes that window the partner; a later one replaces it.
//
// Commands: a WM_COPYDATA whose dwData is 0x51000 or above comes from the test driver (below is a record), answered 1
// once its record reached the partner's window procedure (SendMessageTimeout, 5 s, wParam the stand-in's window).
//   0x51000 + c (c 0..0xFFF)  a record of code c with the command's bytes
//   0x52000  code 1, 300 bytes "ABC...ZABC..."      0x52001  code 1, lpData NULL, cbData 10
//   0x52002  code 2, cbData 0 (a zeroed buffer)      0x53000  broadcast the handshake again
//
// Journal lines: "<ms> log <event> [args...]", ms on the performance counter (comparable between processes), handles
// in lower-case hex:
//   START <pid> <hwnd>   FUNC <wparam> <lparam>   PAIRED <partner>
//   RECORD <code> <cbData> <sender> [<text>]   (text: bytes below 33, above 126 and '%' as
//   %XX; absent when empty)   HANG <ms>   HANGEND   EXIT
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "shared/standin.h"

namespace {

enum : ULONG_PTR { kCommandSend = 0x51000, kCommandSendLast = 0x51FFF, kCommandSendLong = 0x52000,
                   kCommandSendNull = 0x52001, kCommandSendEmpty = 0x52002, kCommandPair = 0x53000 };

standin::Journal journal(L"QSOLOG_JOURNAL");
HWND self = nullptr, partner = nullptr;
UINT funcMsg = 0, logMsg = 0;
const int hangMs = standin::Number(L"QSOLOG_HANG_ON_FUNC", 0, 0, 600000);

std::string Hex(HWND hwnd) {
  char text[20];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(hwnd)));
  return text;
}

// Bytes as one blank-free journal word.
std::string Escape(const std::string& bytes) {
  std::string word;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    char escaped[4];
    std::snprintf(escaped, sizeof escaped, "%%%02X", b);
    word += b < 33 || b > 126 || b == '%' ? std::string(escaped) : std::string(1, c);
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
    std::string text;
    while (text.size() < 300) text += "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    return SendRecord(1, text.data(), 300);
  }
  if (what == kCommandSendNull) return SendRecord(1, nullptr, 10);
  // A real buffer, as a sender that fills its buffer but counts no bytes would pass.
  const char empty[16] = {};
  if (what == kCommandSendEmpty) return SendRecord(2, empty, 0);
  if (what == kCommandPair) Pair();
  return what == kCommandPair;
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
    const auto& data = *reinterpret_cast<const COPYDATASTRUCT*>(lp);
    if (data.dwData >= kCommandSend) return OnCommand(data);
    const std::string bytes = data.lpData ? std::string(static_cast<const char*>(data.lpData), data.cbData) : "";
    journal.Write("log", "RECORD " + std::to_string(data.dwData) + " " + std::to_string(data.cbData) + " " +
                             Hex(reinterpret_cast<HWND>(wp)) + " " + Escape(bytes));
    return TRUE;
  }
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

bool Create(HINSTANCE instance, int nCmdShow) {
  funcMsg = RegisterWindowMessageW(L"QSOPADFUNC");
  logMsg = RegisterWindowMessageW(L"QSOPADLOG");
  const WNDCLASSEXW wc{sizeof wc, 0, Proc, 0, 0, instance, nullptr, LoadCursor(nullptr, IDC_ARROW),
                       reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), nullptr, L"QSOLOG_Standin", nullptr};
  if (funcMsg && logMsg && RegisterClassExW(&wc))
    self = CreateWindowExW(0, L"QSOLOG_Standin", L"QSO Log stand-in", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 340, 140, nullptr, nullptr, instance, nullptr);
  if (!self) return false;
  journal.Write("log", "START " + std::to_string(GetCurrentProcessId()) + " " + Hex(self));
  ShowWindow(self, nCmdShow);
  if (!standin::Switch(L"QSOLOG_NO_PAIR")) Pair();
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int nCmdShow) {
  return standin::Run(journal, "log", Create(instance, nCmdShow));
}
