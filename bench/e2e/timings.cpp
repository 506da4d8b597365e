// Measurements of the real qsopad.exe under Wine, built into the end-to-end driver and run
// by bench/e2e_timings.sh (never by test.sh). Each run prints "RESULT <figure> <value>"
// lines; the script takes the medians over several runs.
#include <algorithm>
#include <cstdio>

#include "driver.h"

using namespace e2e;

namespace {

struct Spacing {
  std::int64_t span = 0;     // first to last character, ms
  std::int64_t largest = 0;  // largest gap between two neighbours, ms
  std::int64_t median = 0;   // median gap, ms
};

Spacing SpacingOf(const Journal& chars) {
  Spacing s;
  if (chars.size() < 2) return s;
  std::vector<std::int64_t> gaps;
  for (size_t i = 1; i < chars.size(); ++i) gaps.push_back(chars[i].ms - chars[i - 1].ms);
  s.span = chars.back().ms - chars.front().ms;
  s.largest = *std::max_element(gaps.begin(), gaps.end());
  std::nth_element(gaps.begin(), gaps.begin() + static_cast<long>(gaps.size() / 2), gaps.end());
  s.median = gaps[gaps.size() / 2];
  return s;
}

// Puts the text (ANSI) on the clipboard as Unicode text; false when the clipboard refused.
bool PutClipboardText(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (static_cast<size_t>(n) + 1) * sizeof(wchar_t));
  if (!memory) return false;
  auto* wide = static_cast<wchar_t*>(GlobalLock(memory));
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide, n);
  wide[n] = L'\0';
  GlobalUnlock(memory);
  // The clipboard needs an owner window: with none, SetClipboardData is refused.
  HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  bool done = false;
  if (OpenClipboard(owner)) {
    done = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
  }
  if (!done) GlobalFree(memory);
  if (owner) DestroyWindow(owner);
  return done;
}

// Kernel plus user CPU time of the process in 100 ns units; -1 when it cannot be read.
std::int64_t CpuTime(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  FILETIME created, ended, kernel, user;
  const bool ok = process && GetProcessTimes(process, &created, &ended, &kernel, &user);
  if (process) CloseHandle(process);
  auto value = [](const FILETIME& t) { return static_cast<std::int64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime; };
  return ok ? value(kernel) + value(user) : -1;
}

void Result(const char* figure, double value) {
  std::printf("RESULT %s %.2f\n", figure, value);
  std::fflush(stdout);
}

}  // namespace

// From process creation to a visible main window, with the station already running.
E2E_BENCHMARK(startup) {
  Session s("bench");
  s.StartStation();
  s.StartQsopad({});
  Result("startup_ms", static_cast<double>(NowMs() - s.startedMs));
}

// 400 characters pasted and sent to a fast station, then back to receive: the pace of the
// pump, the spread of the intervals, and how soon F5 follows the last character.
E2E_BENCHMARK(pump) {
  constexpr size_t kCount = 400;
  Session s("bench");
  s.StartStation({{"PSK31_CPS", "1000"}});
  s.StartQsopad({});
  std::string text;
  for (size_t i = 0; i < kCount; ++i) text.push_back(static_cast<char>('a' + i % 26));
  REQUIRE_MSG(PutClipboardText(text), "the clipboard refused the text");
  PostCommand(s.main, IDM_PASTE);
  REQUIRE_MSG(WaitUntil([&] { return TextOf(s.text1) == text; }), "the paste did not fill the typing area");
  const std::int64_t cpu0 = CpuTime(s.pid);
  ClickButton(GetDlgItem(s.main, IDC_COMMAND1));
  ClickButton(GetDlgItem(s.main, IDC_COMMAND2));  // queued behind the text
  Journal chars;
  WaitUntil([&] { return (chars = Select(ReadJournal(s.psk31Journal), "memo", "WM_CHAR")).size() >= kCount; }, 60000);
  REQUIRE_MSG(chars.size() == kCount, chars.size() << " of " << kCount << " characters arrived");
  const JournalEntry f5 = WaitJournal(s.psk31Journal, "panel", "WM_KEYDOWN",
                                      [](const JournalEntry& e) { return e.Num(0) == VK_F5; });
  REQUIRE_MSG(!f5.event.empty(), "no F5 after the text");
  const std::int64_t cpu1 = CpuTime(s.pid);

  std::vector<std::int64_t> gaps;
  for (size_t i = 1; i < chars.size(); ++i) gaps.push_back(chars[i].ms - chars[i - 1].ms);
  std::sort(gaps.begin(), gaps.end());
  const Spacing spacing = SpacingOf(chars);
  Result("pump_ms_per_char", static_cast<double>(spacing.span) / static_cast<double>(kCount - 1));
  Result("pump_gap_median_ms", static_cast<double>(spacing.median));
  Result("pump_gap_p90_ms", static_cast<double>(gaps[gaps.size() * 9 / 10]));
  Result("pump_gap_max_ms", static_cast<double>(spacing.largest));
  Result("f5_after_last_char_ms", static_cast<double>(f5.ms - chars.back().ms));
  // Wine answers GetProcessTimes for another process coarsely; a rough figure only.
  if (cpu0 >= 0 && cpu1 >= cpu0)
    Result("pump_cpu_percent", static_cast<double>(cpu1 - cpu0) / 100.0 / static_cast<double>(spacing.span));
}
