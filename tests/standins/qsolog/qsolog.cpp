// qsolog.exe: a stand-in for the log program that pairs with QSOPAD. It offers one small
// window (class "QSOLOG_Standin", caption "QSO Log stand-in") showing the last call and name
// received, pairs through the registered message "QSOPADLOG", journals every "QSOPADFUNC"
// announcement and every record QSOPAD sends, and sends records when the test driver says so.
//
// Environment:
//   QSOLOG_JOURNAL=<file>      append the journal to this file (no journal when unset)
//   QSOLOG_NO_PAIR=1           do not broadcast the handshake at start
//   QSOLOG_HANG_ON_FUNC=<ms>   sleep this long in the UI thread on every "QSOPADFUNC"
// A switch is on when set to anything but "" or "0".
//
// Pairing: at start (and on command) the stand-in posts "QSOPADLOG" wParam 0, lParam = its
// window to HWND_BROADCAST. A "QSOPADLOG" with wParam 255 and a window in lParam makes that
// window the partner; a later one replaces it, a record of code 0 from the partner drops it.
//
// Commands: WM_COPYDATA whose dwData is 0x51000 or above comes from the test driver (records
// carry codes 0, 1, 2; any dwData below 0x51000 is taken as a record). The command returns 1
// when the record reached the partner's window procedure, else 0.
//   0x51000 + c (c 0..0xFFF)  send a record of code c whose bytes are the command's bytes
//   0x52000                   send code 1 with 300 bytes "ABC...ZABC..." (letters cycling)
//   0x52001                   send code 1 with lpData NULL and cbData 10
//   0x52002                   send code 2 with cbData 0 (lpData a zeroed buffer)
//   0x53000                   broadcast the handshake again
// Records go to the partner by SendMessageTimeout (5 s, abort if hung) with wParam = the
// stand-in's window.
//
// Journal lines: "<ms> log <event> [args...]", ms on the performance counter (comparable
// between processes), handles and lParam in lower-case hex without prefix:
//   START <pid> <hwnd>           FUNC <wparam> <lparam>       (decimal)
//   LOGMSG <wparam> <lparam>     PAIRREQ <1 posted|0 failed>  PAIRED <partner>
//   RECORD <code> <cbData> <sender> [<text>]   text: the bytes with those below 33, above 126
//                                              and '%' as %XX; absent when empty
//   UNPAIRED <partner>           SENT <code> <result|failed:<error>>   NOPARTNER <code>
//   BADCMD <dwData>              HANG <ms>   HANGEND                   EXIT
#include <windows.h>

#include <string>

#include "shared/env.h"
#include "logbook.h"

namespace {

using standin::Env;
using standin::Number;
using standin::Switch;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int nCmdShow) {
  qsolog::Config config;
  config.journal = Env(L"QSOLOG_JOURNAL");
  config.pairAtStart = !Switch(L"QSOLOG_NO_PAIR");
  config.hangMs = Number(L"QSOLOG_HANG_ON_FUNC", 0, 0, 600000);

  qsolog::Logbook logbook(config);
  if (!logbook.Create(instance, nCmdShow)) {
    MessageBoxW(nullptr, L"The log stand-in could not create its window.", L"qsolog", MB_OK | MB_ICONERROR);
    return 1;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  logbook.journal().Write("log", "EXIT");
  return static_cast<int>(msg.wParam);
}
