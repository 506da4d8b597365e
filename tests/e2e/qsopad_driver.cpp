// Helpers for the scenarios that drive qsopad.exe.
#include "qsopad_driver.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace e2e {

namespace {

constexpr char kMainClass[] = "QSOPAD_Form1";
constexpr char kSettingsName[] = "QSOPAD.ini";

std::string Lower(std::string s) {
  for (char& c : s) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return s;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  return b == std::string::npos ? std::string() : s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The file's escapes: a backslash, CR, LF, tab and blanks at either end of a value.
std::string EscapeValue(const std::string& value) {
  std::string out;
  const size_t lead = std::min(value.find_first_not_of(' '), value.size());
  const size_t last = value.find_last_not_of(' ');
  const size_t trail = last == std::string::npos ? value.size() : last + 1;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\') out += "\\\\";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == ' ' && (i < lead || i >= trail)) out += "\\s";
    else out += c;
  }
  return out;
}

std::string UnescapeValue(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char n = text[++i];
    switch (n) {
      case 'r': out += '\r'; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 's': out += ' '; break;
      case '0': out += '\0'; break;
      case '\\': case '=': case '[': case ']': case ';': out += n; break;
      default: out += '\\'; out += n; break;
    }
  }
  return out;
}

}  // namespace

std::string SettingsFileText(const Settings& settings) {
  if (settings.empty()) return std::string();
  std::vector<std::string> sections;
  for (const auto& s : settings)
    if (std::find(sections.begin(), sections.end(), s.section) == sections.end()) sections.push_back(s.section);
  std::string text = "; QSOPAD settings\r\n";
  for (const auto& section : sections) {
    text += "[" + section + "]\r\n";
    for (const auto& s : settings)
      if (s.section == section) text += s.key + "=" + EscapeValue(s.value) + "\r\n";
  }
  return text;
}

std::optional<std::string> SettingValue(const std::string& fileText, const std::string& section,
                                        const std::string& key) {
  std::string current;
  size_t pos = 0;
  while (pos < fileText.size()) {
    size_t end = fileText.find('\n', pos);
    if (end == std::string::npos) end = fileText.size();
    std::string line = fileText.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == ';') continue;
    if (trimmed.front() == '[' && trimmed.back() == ']') {
      current = Lower(UnescapeValue(Trim(trimmed.substr(1, trimmed.size() - 2))));
      continue;
    }
    // The first '=' that no backslash escapes ends the key.
    size_t eq = std::string::npos;
    for (size_t i = 0; i < trimmed.size(); ++i) {
      if (trimmed[i] == '\\') ++i;
      else if (trimmed[i] == '=') { eq = i; break; }
    }
    if (eq == std::string::npos || current != Lower(section)) continue;
    if (Lower(UnescapeValue(Trim(trimmed.substr(0, eq)))) == Lower(key))
      return UnescapeValue(Trim(trimmed.substr(eq + 1)));
  }
  return std::nullopt;
}

void PrepareQsopad(const std::string& folder, const Settings& settings) {
  const std::string exe = JoinPath(folder, "qsopad.exe");
  if (!FileExists(exe) && !CopyFileA(QsopadExe().c_str(), exe.c_str(), FALSE))
    throw std::runtime_error("cannot copy " + QsopadExe() + " to " + exe + ": error " +
                             std::to_string(GetLastError()));
  if (!WriteFileText(JoinPath(folder, kSettingsName), SettingsFileText(settings)))
    throw std::runtime_error("cannot write the settings file in " + folder);
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

HWND MainWindowOf(DWORD pid) {
  for (HWND w : TopWindowsOf(pid))
    if (ClassOf(w) == kMainClass) return w;
  return nullptr;
}

HWND WaitMainWindow(DWORD pid, int timeoutMs) {
  HWND main = nullptr;
  return WaitUntil([&] { return (main = MainWindowOf(pid)) && IsWindowVisible(main); }, timeoutMs, 5) ? main : nullptr;
}

std::string ReadSettingsFile(const std::string& folder) { return ReadFileText(JoinPath(folder, kSettingsName)); }

std::optional<std::string> ReadSetting(const std::string& folder, const std::string& section,
                                       const std::string& key) {
  return SettingValue(ReadSettingsFile(folder), section, key);
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

int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

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

HWND FindDialog(DWORD pid, const std::string& caption) { return FindMessageBox(caption, pid); }

std::vector<std::string> KeyTrail(const Journal& journal, const std::string& role) {
  std::vector<std::string> trail;
  for (const auto& e : journal) {
    if (e.role != role) continue;
    if (e.event != "WM_KEYDOWN" && e.event != "WM_KEYUP" && e.event != "WM_CHAR") continue;
    trail.push_back(e.event + " " + e.Arg(0) + " " + e.Arg(1));
  }
  return trail;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += "\n  " + l;
  return text;
}

}  // namespace e2e
