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

// Settings file text in the program's format; no settings gives an empty file, which the
// program reads as a fresh store.
std::string SettingsFileText(const Settings& settings);
// A value from settings file text (sections and keys compare without letter case);
// nullopt when the key is not there.
std::optional<std::string> SettingValue(const std::string& fileText, const std::string& section,
                                        const std::string& key);

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

// The process's main window ("QSOPAD_Form1"), shown or not; null when there is none.
HWND MainWindowOf(DWORD pid);
// Waits for the main window to be visible; null when it was not in time.
HWND WaitMainWindow(DWORD pid, int timeoutMs);

// The settings file as the program left it, and one value of it.
std::string ReadSettingsFile(const std::string& folder);
std::optional<std::string> ReadSetting(const std::string& folder, const std::string& section,
                                       const std::string& key);
// The value as a whole number; nullopt when missing or not a number.
std::optional<long> ReadSettingNumber(const std::string& folder, const std::string& section,
                                      const std::string& key);

// ---- Screen and windows ----

int ScreenWidth();
int ScreenHeight();
// Pixels per logical inch across, as the program converts its twips with.
int ScreenDpi();
long PxToTwips(int px);

RECT WindowRectOf(HWND hwnd);
std::string RectText(const RECT& r);  // "left,top widthxheight" for messages
// Whether two rectangles agree edge by edge within `slack` pixels.
bool SameRect(const RECT& a, const RECT& b, int slack = 0);
// The window that has the keyboard focus in the thread that owns `hwnd`.
HWND FocusOfThread(HWND hwnd);

// A visible "#32770" dialog of the process with this caption; null when none.
HWND FindDialog(DWORD pid, const std::string& caption);

// The key and character messages that reached `role` in the journal, one per entry, as
// "WM_KEYDOWN 112 sent"; focus, move and program events are left out.
std::vector<std::string> KeyTrail(const Journal& journal, const std::string& role);
std::string Joined(const std::vector<std::string>& lines);

}  // namespace e2e
