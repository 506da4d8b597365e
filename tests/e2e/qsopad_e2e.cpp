// Scenarios of the real qsopad.exe against the PSK31 stand-in: launching and attaching,
// the messages that tell of missing windows, the PSK31 menu items as the stand-in receives
// them, saving and restoring the window setup, closing, a hung PSK31 program, the about
// box, and a start-up time measurement. Each QSOPAD runs from a folder of its own with a
// QSOPAD.ini the scenario writes.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "driver.h"
#include "e2e.h"
#include "qsopad_driver.h"
#include "resource.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;
// Starting QSOPAD under Wine, possibly launching the stand-in and waiting LDelay.
constexpr int kShow = 15000;
constexpr char kDefaultPath[] = "C:\\psk31\\psk31sbw.exe";

EnvList JournalEnv(const std::string& journal) { return {{"PSK31_JOURNAL", journal}}; }

// What KeyTrail shows for keys pressed by SendMessage: down then up for each.
std::vector<std::string> SentKeys(const std::vector<int>& vks) {
  std::vector<std::string> trail;
  for (int vk : vks) {
    trail.push_back("WM_KEYDOWN " + std::to_string(vk) + " sent");
    trail.push_back("WM_KEYUP " + std::to_string(vk) + " sent");
  }
  return trail;
}

std::vector<std::string> SentChars(const std::string& bytes) {
  std::vector<std::string> trail;
  for (char c : bytes) trail.push_back("WM_CHAR " + std::to_string(static_cast<unsigned char>(c)) + " sent");
  return trail;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

int CountTopLevel(const char* cls) {
  int n = 0;
  for (HWND w = FindWindowExA(nullptr, nullptr, cls, nullptr); w; w = FindWindowExA(nullptr, w, cls, nullptr)) ++n;
  return n;
}

// Between rows of a scenario: the previous stand-in must be gone before the next starts,
// or QSOPAD would attach to the wrong one.
void EndAll(Programs& programs) {
  programs.KillAll();
  REQUIRE_MSG(WaitUntil([] { return CountTopLevel("TForm1") == 0; }, kWait), "a stand-in outlived its process");
}

// Starts QSOPAD and waits for its main window; ends the scenario when it does not show.
HWND OpenQsopad(Programs& programs, const TempFolder& temp, const Settings& settings, const EnvList& env,
                QsopadRun& run) {
  run = StartQsopad(programs, temp.path(), settings, env);
  HWND main = WaitMainWindow(run.pid, kShow);
  REQUIRE_MSG(main, "QSOPAD (pid " << run.pid << ") showed no main window");
  return main;
}

// An "Error" box of the process appearing within timeoutMs; its text, or nullopt.
std::optional<std::string> ErrorBoxWithin(DWORD pid, int timeoutMs) {
  const MessageBoxInfo box = WaitMessageBox("Error", timeoutMs, pid);
  if (!box.hwnd) return std::nullopt;
  return box.text;
}

struct SavedSetup {
  long left = 0, top = 0, width = 0, height = 0;  // QSOPAD, twips
  long px = 0, py = 0, pw = 0, ph = 0;            // the PSK31 form, pixels
};

// The window setup as written in the settings file; nullopt while any key is missing.
std::optional<SavedSetup> ReadSetup(const std::string& folder) {
  const char* names[] = {"Left", "Top", "Width", "Height", "PX", "PY", "PW", "PH"};
  long values[8] = {};
  for (int i = 0; i < 8; ++i) {
    const std::optional<long> v = ReadSettingNumber(folder, "Win", names[i]);
    if (!v) return std::nullopt;
    values[i] = *v;
  }
  return SavedSetup{values[0], values[1], values[2], values[3], values[4], values[5], values[6], values[7]};
}

// Checks that the setup saved matches QSOPAD's outer rectangle (in twips) and the PSK31
// form's rectangle (in pixels).
void CheckSetup(const SavedSetup& s, const RECT& qsopad, const RECT& form) {
  CHECK_MSG(s.left == PxToTwips(qsopad.left) && s.top == PxToTwips(qsopad.top) &&
                s.width == PxToTwips(qsopad.right - qsopad.left) && s.height == PxToTwips(qsopad.bottom - qsopad.top),
            "QSOPAD saved " << s.left << "," << s.top << " " << s.width << "x" << s.height << " twips for "
                            << RectText(qsopad) << " px at " << ScreenDpi() << " dpi");
  CHECK_MSG(s.px == form.left && s.py == form.top && s.pw == form.right - form.left && s.ph == form.bottom - form.top,
            "PSK31 form saved " << s.px << "," << s.py << " " << s.pw << "x" << s.ph << " for " << RectText(form));
}

// "ProductVersion" of the program file's version resource.
std::string ProductVersion(const std::string& exe) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
  if (size == 0) return std::string();
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(exe.c_str(), 0, size, block.data())) return std::string();
  char* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\ProductVersion", reinterpret_cast<void**>(&value),
                      &length) ||
      !value)
    return std::string();
  return std::string(value, length > 0 ? length - 1 : 0);
}

}  // namespace

E2E_SCENARIO(qsopad_launches_station_and_opens_at_default_place) {
  REQUIRE_MSG(FileExists(kDefaultPath), "the stand-in must be installed at " << kDefaultPath);
  REQUIRE_MSG(CountTopLevel("TForm1") == 0, "a PSK31 program is already running");
  TempFolder temp("qsopad");
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  QsopadRun run;
  HWND main = OpenQsopad(programs, temp, {}, JournalEnv(journal), run);
  Log("main window shown " + std::to_string(NowMs() - run.startedMs) + " ms after the start");

  const std::optional<std::string> error = ErrorBoxWithin(run.pid, 1500);
  CHECK_MSG(!error, "attaching to the launched station reported: " << *error);

  const Psk31Windows w = FindPsk31();
  REQUIRE_MSG(w.app && w.form, "QSOPAD launched no PSK31 program");
  CHECK_MSG(ProcessOf(w.form) != run.pid, "the PSK31 windows belong to QSOPAD itself");
  CHECK_MSG(IsIconic(w.app) && IsIconic(w.form), "the station was not launched minimised");
  Journal j = ReadJournal(journal);
  const Journal starts = Select(j, "app", "START");
  CHECK_MSG(starts.size() == 1 && starts[0].Num(0) == static_cast<long long>(ProcessOf(w.form)), Dump(j));

  // Opened at the screen's top-left with half its width and height.
  const RECT expected{0, 0, ScreenWidth() / 2, ScreenHeight() / 2};
  CHECK_MSG(SameRect(WindowRectOf(main), expected, 2),
            RectText(WindowRectOf(main)) << ", expected " << RectText(expected));

  // Attaching types nothing into the station, and leaves the keyboard in the typing area.
  for (const char* role : {"panel", "memo", "rxbox", "txbox", "form"})
    CHECK_MSG(KeyTrail(j, role).empty(), role << " received" << Joined(KeyTrail(j, role)));
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(main) == GetDlgItem(main, IDC_TEXT1); }, kWait),
            "focus is on " << FocusOfThread(main) << " (" << ClassOf(FocusOfThread(main)) << ")");
}

E2E_SCENARIO(qsopad_attaches_to_running_station_without_launching) {
  TempFolder temp("qsopad");
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  StartPsk31(programs, journal);
  const Psk31Windows w = FindPsk31();
  REQUIRE(w.form);
  const RECT before = WindowRectOf(w.form);

  // A launch would wait these 4 s before the main window shows.
  QsopadRun run;
  HWND main = OpenQsopad(programs, temp, {{"Opt", "LDelay", "4000"}}, JournalEnv(journal), run);
  const auto shownAfter = NowMs() - run.startedMs;
  Log("main window shown " + std::to_string(shownAfter) + " ms after the start");
  CHECK_MSG(shownAfter < 2500, "attaching to a running station took " << shownAfter << " ms");
  CHECK(!ErrorBoxWithin(run.pid, 1000));

  const Journal j = ReadJournal(journal);
  CHECK_MSG(Count(j, "app", "START") == 1, Dump(j));
  CHECK_MSG(CountTopLevel("TForm1") == 1, CountTopLevel("TForm1") << " PSK31 forms");
  // No position was ever saved, so the form stays where it is.
  CHECK_MSG(Count(j, "form", "MOVE") == 0 && SameRect(WindowRectOf(w.form), before), Dump(j));
  CHECK(!IsIconic(w.form));
  CHECK(main != nullptr && Answers(main));
}

E2E_SCENARIO(qsopad_reports_missing_station_controls) {
  struct Row {
    const char* station_switch;
    std::vector<std::string> boxes;
  };
  const Row rows[] = {
      {"PSK31_NO_MEMO", {"Can't find PSK31 memo"}},
      {"PSK31_NO_TUNE", {"Can't find PSK31 tune button"}},
      {"PSK31_NO_PANEL", {"Can't find PSK31 panel", "Can't find PSK31 tune button", "Can't find PSK31 memo"}},
  };
  for (const Row& row : rows) {
    Log(row.station_switch);
    TempFolder temp("qsopad");
    Programs programs;
    StartPsk31(programs, "", {{row.station_switch, "1"}});
    const QsopadRun run = StartQsopad(programs, temp.path(), Settings{});
    std::vector<std::string> seen;
    for (size_t i = 0; i < row.boxes.size(); ++i) {
      const MessageBoxInfo box = WaitMessageBox("Error", kShow, run.pid);
      if (!box.hwnd) break;
      seen.push_back(box.text);
      CHECK_MSG(PressAndWaitClosed(box.hwnd, IDOK, kWait), row.station_switch << ": box did not close");
    }
    CHECK_MSG(seen == row.boxes, row.station_switch << " showed" << Joined(seen));
    CHECK_MSG(WaitMainWindow(run.pid, kShow), row.station_switch << ": no main window after the boxes");
    const std::optional<std::string> extra = ErrorBoxWithin(run.pid, 300);
    CHECK_MSG(!extra, row.station_switch << ": one box too many: " << *extra);
    EndAll(programs);
  }
}

E2E_SCENARIO(qsopad_reports_missing_station_program) {
  REQUIRE_MSG(CountTopLevel("TForm1") == 0, "a PSK31 program is already running");
  TempFolder temp("qsopad");
  Programs programs;
  const QsopadRun run =
      StartQsopad(programs, temp.path(), {{"Opt", "Path", temp.File("no-such-psk31.exe")}, {"Opt", "LDelay", "100"}});
  const MessageBoxInfo box = WaitMessageBox("Error", kShow, run.pid);
  REQUIRE_MSG(box.hwnd, "no message about the missing program");
  CHECK_MSG(box.text == "Can't find PSK31 window", box.text);
  CHECK(PressAndWaitClosed(box.hwnd, IDOK, kWait));
  CHECK(WaitMainWindow(run.pid, kShow));
  const std::optional<std::string> extra = ErrorBoxWithin(run.pid, 500);
  CHECK_MSG(!extra, "one box too many: " << *extra);
  CHECK(CountTopLevel("TForm1") == 0);
}

E2E_SCENARIO(qsopad_psk31_menu_items_reach_station) {
  struct Row {
    const char* retro;
    int first_key, plus, minus;  // command ids of the menu shown
    int hidden_first_key;        // first key item of the hidden menu
  };
  const Row rows[] = {
      {"False", IDM_PSK_1, IDM_FREQPLUS, IDM_FREQMINUS, IDM_PSKA_1},
      {"True", IDM_PSKA_1, IDM_FREQPLUSA, IDM_FREQMINUSA, IDM_PSK_1},
  };
  for (const Row& row : rows) {
    Log(std::string("Retro=") + row.retro);
    TempFolder temp("qsopad");
    Programs programs;
    const std::string journal = temp.File("psk31.log");
    StartPsk31(programs, journal);
    QsopadRun run;
    HWND main = OpenQsopad(programs, temp, {{"Opt", "Retro", row.retro}}, JournalEnv(journal), run);

    for (int n = 0; n < 8; ++n) PostCommand(main, row.first_key + n);
    const JournalEntry last = WaitJournal(journal, "panel", "WM_KEYUP", kWait,
                                          [](const JournalEntry& e) { return e.Num(0) == VK_F8; });
    CHECK_MSG(!last.event.empty(), "F8 never reached the panel");
    const std::vector<std::string> keys = SentKeys({112, 113, 114, 115, 116, 117, 118, 119});
    Journal j = ReadJournal(journal);
    CHECK_MSG(KeyTrail(j, "panel") == keys, "Retro=" << row.retro << ", panel got" << Joined(KeyTrail(j, "panel")));

    // The hidden menu's items do nothing; the frequency items answer after them, in order.
    const std::vector<std::string> before = KeyTrail(j, "panel");
    PostCommand(main, row.hidden_first_key);
    PostCommand(main, row.plus);
    PostCommand(main, row.minus);
    const JournalEntry down = WaitJournal(journal, "memo", "WM_KEYUP", kWait,
                                          [](const JournalEntry& e) { return e.Num(0) == VK_LEFT; });
    CHECK_MSG(!down.event.empty(), "the frequency items did not reach the memo");
    j = ReadJournal(journal);
    CHECK_MSG(KeyTrail(j, "memo") == SentKeys({VK_RIGHT, VK_LEFT}), Joined(KeyTrail(j, "memo")));
    CHECK_MSG(KeyTrail(j, "panel") == before, "a hidden menu item acted:" << Joined(KeyTrail(j, "panel")));
    const Journal freqs = Select(j, "rxbox", "RXFREQ");
    CHECK_MSG(freqs.size() == 2 && freqs[0].Num(0) == 1001 && freqs[1].Num(0) == 1000, Dump(freqs));
    EndAll(programs);
  }
}

E2E_SCENARIO(qsopad_sets_rx_frequency_through_input_box) {
  TempFolder temp("qsopad");
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  StartPsk31(programs, journal);
  const Psk31Windows w = FindPsk31();
  QsopadRun run;
  HWND main = OpenQsopad(programs, temp, {}, JournalEnv(journal), run);

  // Asks, then types the answer into the Rx box as an operator would.
  auto ask = [&]() -> HWND {
    PostCommand(main, IDM_SETRX);
    HWND box = nullptr;
    WaitUntil([&] { return (box = FindDialog(run.pid, "QSOPAD")) != nullptr; }, kWait);
    return box;
  };
  HWND box = ask();
  REQUIRE_MSG(box, "no input box");
  CHECK_MSG(TextOf(GetDlgItem(box, IDC_INPUT_PROMPT)) == "Enter new RX frequency",
            TextOf(GetDlgItem(box, IDC_INPUT_PROMPT)));
  CHECK(GetWindow(box, GW_OWNER) == main);
  HWND edit = GetDlgItem(box, IDC_INPUT_EDIT);
  REQUIRE(edit);
  SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("14"));
  REQUIRE(PressAndWaitClosed(box, IDOK, kWait));
  const JournalEntry set = WaitJournal(journal, "rxbox", "RXFREQ", kWait);
  CHECK_MSG(set.Num(0) == 14, Dump(ReadJournal(journal)));
  Journal j = ReadJournal(journal);
  const std::vector<std::string> typed = SentKeys({VK_END}) + SentChars(std::string(8, '\b') + "14\r");
  CHECK_MSG(KeyTrail(j, "rxbox") == typed, Joined(KeyTrail(j, "rxbox")));
  const int focused = IndexOf(j, "rxbox", "FOCUS");
  CHECK_MSG(focused >= 0 && focused < IndexOf(j, "rxbox", "WM_KEYDOWN"), "the Rx box was not focused first" << Dump(j));
  CHECK_MSG(TextOf(w.rxBox) == "14", TextOf(w.rxBox));
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(main) == GetDlgItem(main, IDC_TEXT1); }, kWait),
            "focus not back in the typing area");

  // Cancel, and OK with nothing typed, send nothing. The frequency nudge that follows shows
  // that QSOPAD has gone past both.
  box = ask();
  REQUIRE_MSG(box, "no input box the second time");
  SendMessageA(GetDlgItem(box, IDC_INPUT_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("99"));
  CHECK(PressAndWaitClosed(box, IDCANCEL, kWait));
  box = ask();
  REQUIRE_MSG(box, "no input box the third time");
  CHECK(PressAndWaitClosed(box, IDOK, kWait));
  PostCommand(main, IDM_FREQPLUS);
  CHECK(!WaitJournal(journal, "memo", "WM_KEYUP", kWait).event.empty());
  j = ReadJournal(journal);
  CHECK_MSG(KeyTrail(j, "rxbox") == typed, "after Cancel and an empty answer:" << Joined(KeyTrail(j, "rxbox")));
  CHECK_MSG(Count(j, "rxbox", "RXFREQ") == 2 && Select(j, "rxbox", "RXFREQ").back().Num(0) == 15, Dump(j));
}

E2E_SCENARIO(qsopad_saves_and_restores_window_setup) {
  TempFolder temp("qsopad");
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  StartPsk31(programs, journal);
  const Psk31Windows w = FindPsk31();
  REQUIRE(w.form);
  QsopadRun run;
  HWND main = OpenQsopad(programs, temp, {}, JournalEnv(journal), run);

  SetWindowPos(main, nullptr, 30, 40, 700, 500, SWP_NOZORDER | SWP_NOACTIVATE);
  MoveWindow(w.form, 100, 520, 600, 260, TRUE);
  const RECT qsopad = WindowRectOf(main);
  const RECT saved = WindowRectOf(w.form);
  REQUIRE_MSG(SameRect(saved, RECT{100, 520, 700, 780}), RectText(saved));
  PostCommand(main, IDM_SAVEWIN);
  std::optional<SavedSetup> setup;
  REQUIRE_MSG(WaitUntil([&] { return (setup = ReadSetup(temp.path())).has_value(); }, kWait),
              "no window setup saved:\n" << ReadSettingsFile(temp.path()));
  CheckSetup(*setup, qsopad, saved);

  // Started again with the form elsewhere: attaching moves it back, and QSOPAD reopens where it was.
  KillTree(run.pid);
  MoveWindow(w.form, 400, 100, 500, 200, TRUE);
  run = StartQsopad(programs, temp.path(), JournalEnv(journal));
  main = WaitMainWindow(run.pid, kShow);
  REQUIRE(main);
  CHECK_MSG(WaitUntil([&] { return SameRect(WindowRectOf(w.form), saved); }, kWait),
            "form at " << RectText(WindowRectOf(w.form)) << ", saved " << RectText(saved));
  // The window shows first and is placed after, as start-up runs.
  CHECK_MSG(WaitUntil([&] { return SameRect(WindowRectOf(main), qsopad, 1); }, kWait),
            RectText(WindowRectOf(main)) << ", saved " << RectText(qsopad));

  // With SavePos off the saved position is not applied.
  KillTree(run.pid);
  MoveWindow(w.form, 400, 100, 500, 200, TRUE);
  const RECT moved = WindowRectOf(w.form);
  PrepareQsopad(temp.path(), {{"Win", "PX", std::to_string(setup->px)},
                              {"Win", "PY", std::to_string(setup->py)},
                              {"Win", "PW", std::to_string(setup->pw)},
                              {"Win", "PH", std::to_string(setup->ph)},
                              {"Opt", "SavePos", "False"}});
  const std::int64_t restarted = NowMs();
  run = StartQsopad(programs, temp.path(), JournalEnv(journal));
  REQUIRE(WaitMainWindow(run.pid, kShow));
  Pause(1000);
  CHECK_MSG(SameRect(WindowRectOf(w.form), moved), "SavePos False moved the form to " << RectText(WindowRectOf(w.form)));
  for (const auto& e : Select(ReadJournal(journal), "form", "MOVE"))
    CHECK_MSG(e.ms < restarted, "form moved with SavePos False: " << e.line);
}

E2E_SCENARIO(qsopad_closes_station_only_when_asked) {
  struct Row {
    const char* close;
    bool by_menu;  // "E&xit" rather than closing the window
  };
  for (const Row& row : {Row{"True", false}, Row{"False", true}}) {
    Log(std::string("Close=") + row.close + (row.by_menu ? ", Exit" : ", WM_CLOSE"));
    TempFolder temp("qsopad");
    Programs programs;
    const std::string journal = temp.File("psk31.log");
    const DWORD station = StartPsk31(programs, journal);
    const Psk31Windows w = FindPsk31();
    QsopadRun run;
    HWND main = OpenQsopad(programs, temp, {{"Opt", "Close", row.close}}, JournalEnv(journal), run);
    SetWindowPos(main, nullptr, 60, 70, 620, 480, SWP_NOZORDER | SWP_NOACTIVATE);
    MoveWindow(w.form, 700, 300, 560, 250, TRUE);
    const RECT qsopad = WindowRectOf(main);
    const RECT form = WindowRectOf(w.form);

    if (row.by_menu) PostCommand(main, IDM_EXIT);
    else PostMessageA(main, WM_CLOSE, 0, 0);
    CHECK_MSG(programs.WaitExit(run.pid, 10000), "QSOPAD did not end");
    CHECK(programs.ExitCode(run.pid) == 0);
    const bool closes = std::string(row.close) == "True";
    if (closes) {
      CHECK_MSG(programs.WaitExit(station, 10000), "the station was not closed");
    } else {
      Pause(500);
      CHECK_MSG(ProcessAlive(station) && Answers(w.form), "the station did not keep running");
    }
    const Journal j = ReadJournal(journal);
    CHECK_MSG(Count(j, "form", "WM_CLOSE") == (closes ? 1u : 0u), Dump(j));
    if (closes) CHECK_MSG(IndexOf(j, "app", "EXIT") > IndexOf(j, "form", "WM_CLOSE"), Dump(j));
    const std::optional<SavedSetup> setup = ReadSetup(temp.path());
    CHECK_MSG(setup, "no window setup saved on closing:\n" << ReadSettingsFile(temp.path()));
    if (setup) CheckSetup(*setup, qsopad, form);
    EndAll(programs);
  }
}

E2E_SCENARIO(qsopad_stays_responsive_with_hung_station) {
  constexpr int kHangMs = 10000;
  TempFolder temp("qsopad");
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  StartPsk31(programs, journal, {{"PSK31_HANG_ON_KEY", "113"}, {"PSK31_HANG_MS", std::to_string(kHangMs)}});
  QsopadRun run;
  HWND main = OpenQsopad(programs, temp, {}, JournalEnv(journal), run);
  REQUIRE(!ReadSetting(temp.path(), "Win", "Left"));

  // A sent message to QSOPAD is answered even while it waits in a send of its own, so the
  // proof that it goes on working is a posted command queued behind the one that hangs:
  // "Save Window Setup" writes the settings file.
  std::int64_t posted = NowMs();
  PostCommand(main, IDM_PSK_1 + 1);  // F2
  PostCommand(main, IDM_SAVEWIN);
  const JournalEntry hang = WaitJournal(journal, "app", "HANG", kWait);
  REQUIRE_MSG(!hang.event.empty(), "the station did not hang" << Dump(ReadJournal(journal)));
  CHECK_MSG(WaitUntil([&] { return ReadSetting(temp.path(), "Win", "Left").has_value(); }, 6000),
            "QSOPAD stayed frozen behind the hung station");
  const auto first = NowMs() - posted;
  Log("first command done " + std::to_string(first) + " ms after the post");
  CHECK_MSG(first <= 3000, "QSOPAD was held up " << first << " ms");
  CHECK(Answers(main, 200));

  // A second command to the station that still hangs is not waited for.
  SetWindowPos(main, nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const long movedLeft = PxToTwips(WindowRectOf(main).left);
  posted = NowMs();
  PostCommand(main, IDM_PSK_1 + 2);  // F3
  PostCommand(main, IDM_SAVEWIN);
  CHECK_MSG(WaitUntil([&] { return ReadSettingNumber(temp.path(), "Win", "Left") == movedLeft; }, 6000),
            "QSOPAD stayed frozen on the second command");
  const auto second = NowMs() - posted;
  Log("second command done " + std::to_string(second) + " ms after the post");
  CHECK_MSG(second <= 1000, "QSOPAD was held up " << second << " ms");
  CHECK(Answers(main, 200));
  CHECK_MSG(Count(ReadJournal(journal), "app", "HANGEND") == 0, "the hang ended too soon to tell");
}

E2E_SCENARIO(qsopad_keys_for_hung_station_arrive_in_order) {
  // Long enough for QSOPAD to give up waiting on the first key (2 s) and send the rest
  // while the station still does not answer.
  constexpr int kHangMs = 3500;
  TempFolder temp("qsopad");
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  StartPsk31(programs, journal, {{"PSK31_HANG_ON_KEY", "113"}, {"PSK31_HANG_MS", std::to_string(kHangMs)}});
  QsopadRun run;
  HWND main = OpenQsopad(programs, temp, {}, JournalEnv(journal), run);
  PostCommand(main, IDM_PSK_1 + 1);  // F2
  PostCommand(main, IDM_PSK_1 + 2);  // F3
  REQUIRE(!WaitJournal(journal, "app", "HANG", kWait).event.empty());
  REQUIRE(!WaitJournal(journal, "app", "HANGEND", kHangMs + kWait).event.empty());
  WaitJournal(journal, "panel", "WM_KEYUP", 2000, [](const JournalEntry& e) { return e.Num(0) == VK_F3; });
  const Journal j = ReadJournal(journal);
  CHECK_MSG(KeyTrail(j, "panel") == SentKeys({VK_F2, VK_F3}), Joined(KeyTrail(j, "panel")));
}

E2E_SCENARIO(qsopad_about_box_shows_version) {
  TempFolder temp("qsopad");
  Programs programs;
  StartPsk31(programs, "");
  QsopadRun run;
  HWND main = OpenQsopad(programs, temp, {}, {}, run);
  const std::string version = ProductVersion(JoinPath(temp.path(), "qsopad.exe"));
  REQUIRE_MSG(!version.empty(), "qsopad.exe has no product version");

  PostCommand(main, IDM_ABOUT);
  HWND box = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (box = FindDialog(run.pid, "About QSOPAD")) != nullptr; }, kWait),
              "no about box");
  CHECK(GetWindow(box, GW_OWNER) == main);
  CHECK_MSG(!IsWindowEnabled(main), "the about box is not modal");
  const std::string shown = TextOf(GetDlgItem(box, IDC_ABOUT_VERSION));
  CHECK_MSG(shown == "Version " + version, shown << ", resource " << version);
  CHECK(PressAndWaitClosed(box, IDOK, kWait));
  CHECK(WaitUntil([&] { return IsWindowEnabled(main) != FALSE; }, kWait));
  // Destroying the box holds the thread up about two seconds under Wine with no window manager.
  CHECK(WaitUntil([&] { return Answers(main); }, kWait));
}

// Not a test of behaviour: prints how long QSOPAD takes from process creation to a visible
// main window when the station is already running. Fails only when it does not show.
E2E_SCENARIO(qsopad_startup_time) {
  constexpr int kRuns = 7;
  TempFolder temp("qsopad");
  Programs programs;
  StartPsk31(programs, "");
  std::vector<long long> times;
  for (int i = 0; i < kRuns; ++i) {
    const QsopadRun run = StartQsopad(programs, temp.path(), Settings{});
    HWND main = WaitMainWindow(run.pid, 10000);
    REQUIRE_MSG(main, "run " << i + 1 << ": no main window within 10 s");
    times.push_back(NowMs() - run.startedMs);
    Log("run " + std::to_string(i + 1) + ": " + std::to_string(times.back()) + " ms");
    KillTree(run.pid);
    programs.WaitExit(run.pid, kWait);
  }
  std::sort(times.begin(), times.end());
  Log("median start-up time " + std::to_string(times[kRuns / 2]) + " ms (min " + std::to_string(times.front()) +
      ", max " + std::to_string(times.back()) + ")");
}
