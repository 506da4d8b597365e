// Helpers for the scenarios that drive qsopad.exe.
#include "qsopad_driver.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "common/error.h"
#include "options/settings_store.h"
#include "win32_store_file.h"

namespace e2e {

namespace {

constexpr char kMainClass[] = "QSOPAD_Form1";
constexpr char kSettingsName[] = "QSOPAD.ini";

// The program's own store over the file: the file format has tests of its own.
std::unique_ptr<qsopad::StoreFile> StoreFileAt(const std::string& folder) {
  const std::string path = JoinPath(folder, kSettingsName);  // ASCII: the temporary folder
  return std::make_unique<qsopad::Win32StoreFile>(std::wstring(path.begin(), path.end()));
}

}  // namespace

void PrepareQsopad(const std::string& folder, const Settings& settings) {
  const std::string exe = JoinPath(folder, "qsopad.exe");
  if (!FileExists(exe) && !CopyFileA(QsopadExe().c_str(), exe.c_str(), FALSE))
    throw std::runtime_error("cannot copy " + QsopadExe() + " to " + exe + ": error " +
                             std::to_string(GetLastError()));
  // An empty file beside the program is a fresh store, and makes the copy a portable one.
  if (!WriteFileText(JoinPath(folder, kSettingsName), ""))
    throw std::runtime_error("cannot write the settings file in " + folder);
  qsopad::SettingsStore store(StoreFileAt(folder));
  for (const Setting& s : settings) store.WriteSetting(s.section, s.key, s.value);
}

QsopadRun StartQsopad(Programs& programs, const std::string& folder, const EnvList& env) {
  StartOptions options;
  options.exe = JoinPath(folder, "qsopad.exe");
  options.dir = folder;
  options.env = env;
  QsopadRun run;
  run.startedMs = NowMs();
  run.pid = programs.Start(options);
  return run;
}

QsopadRun StartQsopad(Programs& programs, const std::string& folder, const Settings& settings,
                      const EnvList& env) {
  PrepareQsopad(folder, settings);
  return StartQsopad(programs, folder, env);
}

HWND WaitMainWindow(DWORD pid, int timeoutMs) {
  HWND main = nullptr;
  auto shown = [&] {
    for (HWND w : TopWindowsOf(pid))
      if (ClassOf(w) == kMainClass && IsWindowVisible(w)) return (main = w) != nullptr;
    return false;
  };
  return WaitUntil(shown, timeoutMs, 5) ? main : nullptr;
}

std::string ReadSettingsFile(const std::string& folder) { return ReadFileText(JoinPath(folder, kSettingsName)); }

std::optional<std::string> ReadSetting(const std::string& folder, const std::string& section,
                                       const std::string& key) {
  try {
    // No value a scenario stores is "\x01": it stands for an absent key.
    const std::string value = qsopad::SettingsStore(StoreFileAt(folder)).ReadSetting(section, key, "\x01");
    return value == "\x01" ? std::nullopt : std::optional<std::string>(value);
  } catch (const qsopad::Error&) {
    return std::nullopt;  // not readable at this moment
  }
}

void WriteSetting(const std::string& folder, const std::string& section, const std::string& key,
                  const std::string& value) {
  qsopad::SettingsStore(StoreFileAt(folder)).WriteSetting(section, key, value);
}

std::optional<long> ReadSettingNumber(const std::string& folder, const std::string& section,
                                      const std::string& key) {
  const std::optional<std::string> text = ReadSetting(folder, section, key);
  char* end = nullptr;
  const long value = text ? std::strtol(text->c_str(), &end, 10) : 0;
  if (!text || text->empty() || *end != '\0') return std::nullopt;
  return value;
}

// ---- Screen and windows ----

int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

long PxToTwips(int px) { return MulDiv(px, 1440, ScreenDpi()); }

RECT WindowRectOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

bool SameRect(const RECT& a, const RECT& b, int slack) {
  auto within = [slack](LONG x, LONG y) { return x - y <= slack && y - x <= slack; };
  return within(a.left, b.left) && within(a.top, b.top) && within(a.right, b.right) && within(a.bottom, b.bottom);
}

HWND FocusOfThread(HWND hwnd) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

std::vector<std::string> KeyTrail(const Journal& journal, const std::string& role) {
  std::vector<std::string> trail;
  for (const auto& e : journal) {
    if (e.role != role) continue;
    if (e.event != "WM_KEYDOWN" && e.event != "WM_KEYUP" && e.event != "WM_CHAR") continue;
    trail.push_back(e.event + " " + e.Arg(0) + " " + e.Arg(1));
  }
  return trail;
}

std::vector<std::string> SentKeys(const std::vector<int>& vks) {
  std::vector<std::string> trail;
  for (int vk : vks) {
    trail.push_back("WM_KEYDOWN " + std::to_string(vk) + " sent");
    trail.push_back("WM_KEYUP " + std::to_string(vk) + " sent");
  }
  return trail;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += "\n  " + l;
  return text;
}

}  // namespace e2e
