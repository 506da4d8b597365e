// Helpers for scenarios that drive qsopad.exe itself: a copy of the program in a folder of
// its own beside a settings file the scenario writes (the portable install), its main
// window, the settings it writes back, and the screen measures its placement is made of.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "driver.h"

namespace e2e {

struct Setting {
  std::string section;
  std::string key;
  std::string value;
};
using Settings = std::vector<Setting>;

struct QsopadRun {
  DWORD pid = 0;
  std::int64_t startedMs = 0;  // NowMs() just before the process was created
};

// Puts qsopad.exe (copied once) and a QSOPAD.ini with these settings into `folder`;
// an existing QSOPAD.ini is replaced.
void PrepareQsopad(const std::string& folder, const Settings& settings);
// Starts the copy in `folder`, which is also its working folder. The environment changes
// reach a PSK31 program that QSOPAD launches, since it inherits them.
QsopadRun StartQsopad(Programs& programs, const std::string& folder, const EnvList& env = {});
// Both steps at once.
QsopadRun StartQsopad(Programs& programs, const std::string& folder, const Settings& settings,
                      const EnvList& env = {});

// Waits for the process's main window ("QSOPAD_Form1") to be visible; null when it was not in time.
HWND WaitMainWindow(DWORD pid, int timeoutMs);

// The settings file as the program left it, and one value of it (nullopt when absent).
std::string ReadSettingsFile(const std::string& folder);
std::optional<std::string> ReadSetting(const std::string& folder, const std::string& section,
                                       const std::string& key);
// Writes one value while the program runs, as another copy of it would: the program sees
// it at its next look at the file.
void WriteSetting(const std::string& folder, const std::string& section, const std::string& key,
                  const std::string& value);
// The value as a whole number; nullopt when missing or not a number.
std::optional<long> ReadSettingNumber(const std::string& folder, const std::string& section,
                                      const std::string& key);

// ---- Screen and windows ----

// Pixels per logical inch across, as the program converts its twips with.
int ScreenDpi();
long PxToTwips(int px);

RECT WindowRectOf(HWND hwnd);
std::string RectText(const RECT& r);  // "left,top widthxheight" for messages
// Whether two rectangles agree edge by edge within `slack` pixels.
bool SameRect(const RECT& a, const RECT& b, int slack = 0);
// The window that has the keyboard focus in the thread that owns `hwnd`.
HWND FocusOfThread(HWND hwnd);

// The key and character messages that reached `role` in the journal, one per entry, as
// "WM_KEYDOWN 112 sent"; focus, move and program events are left out.
std::vector<std::string> KeyTrail(const Journal& journal, const std::string& role);
// What KeyTrail shows for keys a program pressed by SendMessage: down then up for each.
std::vector<std::string> SentKeys(const std::vector<int>& vks);
std::string Joined(const std::vector<std::string>& lines);

}  // namespace e2e
