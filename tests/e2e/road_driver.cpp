// Helpers for the transmit-road scenarios.
#include "road_driver.h"

#include <stdexcept>

#include "qsolog_driver.h"
#include "resource.h"

namespace e2e {

namespace {

// Starting QSOPAD under Wine and attaching to a running station.
constexpr int kShowMs = 15000;

}  // namespace

RoadSession::RoadSession() : temp_("road") {
  psk31Journal = temp_.File("psk31.log");
  logJournal = temp_.File("qsolog.log");
}

void RoadSession::StartStation(const EnvList& extra) {
  StartPsk31(programs, psk31Journal, extra);
  station = FindPsk31();
  if (!station.form || !station.memo || !station.panel)
    throw std::runtime_error("the PSK31 stand-in's windows were not found");
}

HWND RoadSession::StartLog(const EnvList& extra, bool pair) {
  const DWORD pid = StartQsolog(programs, logJournal, extra, pair);
  return FindQsolog(pid);
}

void RoadSession::StartQsopad(const Settings& settings) {
  PrepareQsopad(temp_.path(), settings);
  RestartQsopad();
}

void RoadSession::RestartQsopad() {
  qsopad = e2e::StartQsopad(programs, temp_.path(), EnvList{{"PSK31_JOURNAL", psk31Journal}});
  main = WaitMainWindow(qsopad.pid, kShowMs);
  if (!main) throw std::runtime_error("QSOPAD (pid " + std::to_string(qsopad.pid) + ") showed no main window");
  text1 = GetDlgItem(main, IDC_TEXT1);
  if (!text1) throw std::runtime_error("QSOPAD's main window has no typing area");
}

// ---- Typing and buttons ----

void TypeKeys(HWND target, const std::string& text) {
  for (const char c : text) {
    int vk = 0;
    if (c >= 'a' && c <= 'z') vk = c - 'a' + 'A';
    else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) vk = c;
    else if (c == ' ') vk = VK_SPACE;
    else if (c == '\b') vk = VK_BACK;
    else throw std::invalid_argument("TypeKeys cannot type byte " + std::to_string(static_cast<unsigned char>(c)));
    PostKey(target, vk);
  }
}

void ClickButton(HWND main, int id) {
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(main, id)));
}

bool WaitText(HWND hwnd, const std::string& expected, int timeoutMs) {
  return WaitUntil([&] { return TextOf(hwnd) == expected; }, timeoutMs);
}

// ---- What reached the memo ----

std::vector<StampedChar> MemoChars(const Journal& journal) {
  std::vector<StampedChar> chars;
  for (const auto& e : Select(journal, "memo", "WM_CHAR")) {
    const long long n = e.Num(0);
    if (n >= 0 && n < 256) chars.push_back({e.ms, static_cast<unsigned char>(n)});
  }
  return chars;
}

std::vector<StampedChar> WaitMemoChars(const std::string& journalPath, size_t count, int timeoutMs) {
  std::vector<StampedChar> chars;
  WaitUntil([&] { return (chars = MemoChars(ReadJournal(journalPath))).size() >= count; }, timeoutMs);
  return chars;
}

std::int64_t FirstAt(const Journal& journal, const std::string& role, const std::string& event, long long arg,
                     std::int64_t fromMs) {
  for (const auto& e : Select(journal, role, event))
    if (e.ms >= fromMs && e.Num(0) == arg) return e.ms;
  return -1;
}

std::string Visible(const std::string& bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 32 && b < 127) out += c;
    else {
      // Appended piecewise: GCC 12 warns falsely on "literal" + string.
      out += '<';
      out += std::to_string(b);
      out += '>';
    }
  }
  return out;
}

}  // namespace e2e
