// psk31sbw.exe: a stand-in for the PSK31 soundcard program. It offers the windows a driving
// program looks for, simulates transmitting what is typed into its memo, and journals every
// message it receives so that end-to-end tests can see what arrived and when. It also serves
// as the demonstration station installed at C:\psk31\psk31sbw.exe.
//
// Environment switches:
//   PSK31_JOURNAL=<file>   append the journal to this file (no journal when unset)
//   PSK31_EVM=1            EVM captions: "PSK31 for Windows on the EVM", "PSK31 EVM [BPSK]"
//   PSK31_CPS=<n>          transmit speed in characters per second (default 30, 1..100000)
//   PSK31_NO_PANEL=1       no "TPanel"; the controls sit directly on the form instead
//   PSK31_NO_TUNE=1        no "Tune" button
//   PSK31_NO_MEMO=1        no "TMemo"
//   PSK31_NO_FREQ=1        neither frequency group box nor their edits
//   PSK31_HANG_ON_KEY=<vk> on WM_KEYDOWN with this virtual key (to any window) the UI thread
//   PSK31_HANG_MS=<ms>       sleeps this long (default 2000), journaling HANG <ms> and HANGEND
//   PSK31_DEMO=1           demonstration: shows normal even when started minimised, with the
//                          form on the right half of the screen (left = half the width + 20,
//                          top = 40), beside a QSOPAD that opens on the left half
// A switch is on when set to anything but "" or "0".
//
// Journal lines: "<ms> <role> <event> [args...]", ms on the performance counter (comparable
// between processes), role one of app form panel tune memo rxbox txbox rxgroup txgroup:
//   <role> WM_CHAR <ansi byte> sent|posted      <role> WM_KEYDOWN <vk> sent|posted
//   <role> WM_KEYUP <vk> sent|posted            <role> WM_CLOSE
//   <role> FOCUS | KILLFOCUS                     form ACTIVATE <0|1|2>
//   form MOVE <left> <top> <width> <height>      form MINIMIZE | RESTORE
// and the program's own events:
//   app START <pid>   app EXIT   app MODE BPSK|QPSK   app TXSTART [tune]   app TXCHAR <byte>
//   app CWID   app TXEND   app HANG <ms>   app HANGEND
//   rxbox RXFREQ <hz> | RXFREQBAD   txbox TXFREQ <hz> | TXFREQBAD
// "sent" means the message came from another thread by SendMessage, "posted" through the queue.
//
// Behaviour: a WM_CHAR to the memo queues the character and starts a transmission (Tune
// disabled); characters go out at PSK31_CPS; F5 or F6 (WM_KEYDOWN to the panel) marks the end
// of the text, and the transmission ends (Tune enabled) when the text up to that mark has
// gone, at once when nothing is pending. F1 toggles [BPSK]/[QPSK], F8 or a click on Tune
// toggles a tune transmission. Left/Right in the memo move the Rx frequency by 1 Hz.
// Enter (WM_CHAR 13) in a frequency box takes its number, 0 to 7 digits, as the frequency.
#include <windows.h>

#include <string>

#include "shared/env.h"
#include "station.h"

namespace {

using standin::Env;
using standin::Number;
using standin::Switch;

psk31::Config ReadConfig() {
  psk31::Config c;
  c.noPanel = Switch(L"PSK31_NO_PANEL");
  c.noTune = Switch(L"PSK31_NO_TUNE");
  c.noMemo = Switch(L"PSK31_NO_MEMO");
  c.noFreq = Switch(L"PSK31_NO_FREQ");
  c.evm = Switch(L"PSK31_EVM");
  c.demo = Switch(L"PSK31_DEMO");
  c.cps = Number(L"PSK31_CPS", 30, 1, 100000);
  c.hangVk = Number(L"PSK31_HANG_ON_KEY", 0, 0, 255);
  c.hangMs = Number(L"PSK31_HANG_MS", 2000, 0, 600000);
  c.journal = Env(L"PSK31_JOURNAL");
  return c;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int nCmdShow) {
  psk31::Station station(ReadConfig());
  if (!station.Create(instance, nCmdShow)) {
    MessageBoxW(nullptr, L"The PSK31 stand-in could not create its windows.", L"psk31sbw", MB_OK | MB_ICONERROR);
    return 1;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  station.journal().Write("app", "EXIT");
  return static_cast<int>(msg.wParam);
}
