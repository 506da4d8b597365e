// Helpers for the scenarios of the transmit road: one QSOPAD attached to the PSK31 stand-in
// (and, when asked, the log stand-in), typing into its typing area with posted keys, its
// buttons, and the characters that reached the stand-in's memo with their times.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver.h"
#include "qsopad_driver.h"

namespace e2e {

// The programs of one scenario and the folder of their files and journals. The folder is
// the first member, so it is removed only after the programs have ended.
class RoadSession {
 private:
  TempFolder temp_;

 public:
  RoadSession();
  RoadSession(const RoadSession&) = delete;
  RoadSession& operator=(const RoadSession&) = delete;

  // Starts the PSK31 stand-in with its journal in the session folder.
  void StartStation(const EnvList& extra = {});
  // Starts the log stand-in with its journal in the session folder; returns its window.
  HWND StartLog(const EnvList& extra = {}, bool pair = false);
  // Starts QSOPAD with these settings and waits for its main window and typing area.
  // Throws std::runtime_error when they do not show.
  void StartQsopad(const Settings& settings);
  // Starts QSOPAD again with the settings file as the last run left it, and waits as above.
  void RestartQsopad();

  Programs programs;
  TempFolder& temp() { return temp_; }
  std::string psk31Journal;
  std::string logJournal;
  QsopadRun qsopad;
  HWND main = nullptr;
  HWND text1 = nullptr;
  Psk31Windows station;
};

// ---- Typing and buttons ----

// Posts WM_KEYDOWN and WM_KEYUP to `target` for each character: letters (typed lower
// case, as no Shift is down), digits, blank and backspace. Throws std::invalid_argument
// for any other character.
void TypeKeys(HWND target, const std::string& text);
// Clicks a button of the main window as the button itself reports it (WM_COMMAND with
// BN_CLICKED and the button's handle), queued behind earlier posted keys.
void ClickButton(HWND main, int id);
// Waits until the window's text (ANSI) equals `expected`; true when it did.
bool WaitText(HWND hwnd, const std::string& expected, int timeoutMs);

// ---- What reached the memo ----

struct StampedChar {
  std::int64_t ms = 0;
  unsigned char c = 0;
};
// The WM_CHAR messages to the stand-in's memo, in order, with their journal times.
std::vector<StampedChar> MemoChars(const Journal& journal);
// Waits until the memo has received at least `count` characters; returns them all.
std::vector<StampedChar> WaitMemoChars(const std::string& journalPath, size_t count, int timeoutMs);
// The journal time of the first entry with this role and event whose first argument is
// `arg`, at or after `fromMs`; -1 when there is none.
std::int64_t FirstAt(const Journal& journal, const std::string& role, const std::string& event, long long arg,
                     std::int64_t fromMs = 0);

// Bytes with control and non-ASCII characters as <n>, for failure messages.
std::string Visible(const std::string& bytes);

}  // namespace e2e
