// Scenarios of the real qsopad.exe against the PSK31 stand-in: launching and attaching,
// the messages that tell of missing windows, the PSK31 menu items as the stand-in receives
// them, saving and restoring the window setup, closing, a hung PSK31 program and the about
// box. Each QSOPAD runs from a folder of its own with a QSOPAD.ini the scenario writes.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "driver.h"
#include "e2e.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;
// Starting QSOPAD under Wine, possibly launching the stand-in and waiting LDelay.
constexpr int kShow = 15000;
constexpr char kDefaultPath[] = "C:\\psk31\\psk31sbw.exe";

// What KeyTrail shows for keys pressed by SendMessage: down then up for each.
std::vector<std::string> SentKeys(const std::vector<int>& vks) {
  std::vector<std::string> trail;
  for (int vk : vks) {
    trail.push_back("WM_KEYDOWN " + std::to_string(vk) + " sent");
    trail.push_back("WM_KEYUP " + std::to_string(vk) + " sent");
  }
  return trail;
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

// An "Error" box of the process appearing within timeoutMs; its text, or nullopt.
std::optional<std::string> ErrorBoxWithin(DWORD pid, int timeoutMs) {
  const MessageBoxInfo box = WaitMessageBox("Error", timeoutMs, pid);
  if (!box.hwnd) return std::nullopt;
  return box.text;
}

// Checks that the window setup saved in the settings file matches QSOPAD's outer rectangle
// (in twips) and the PSK31 form's rectangle (in pixels); false while a key is missing.
bool CheckSetup(const std::string& folder, const RECT& qsopad, const RECT& form, bool report = true) {
  const char* names[] = {"Left", "Top", "Width", "Height", "PX", "PY", "PW", "PH"};
  const long want[] = {PxToTwips(qsopad.left), PxToTwips(qsopad.top), PxToTwips(qsopad.right - qsopad.left),
                       PxToTwips(qsopad.bottom - qsopad.top), form.left, form.top, form.right - form.left,
                       form.bottom - form.top};
  bool same = true;
  for (int i = 0; i < 8; ++i) {
    const std::optional<long> v = ReadSettingNumber(folder, "Win", names[i]);
    if (!v) return false;
    if (report) CHECK_MSG(*v == want[i], names[i] << " saved as " << *v << ", expected " << want[i] << " at "
                                                  << ScreenDpi() << " dpi");
    same = same && *v == want[i];
  }
  return same;
}

// "ProductVersion" of the program file's version resource.
std::string ProductVersion(const std::string& exe) {
  DWORD ignored = 0;
  std::vector<char> block(GetFileVersionInfoSizeA(exe.c_str(), &ignored));
  char* value = nullptr;
  UINT length = 0;
  if (block.empty() || !GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
      !VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\ProductVersion", reinterpret_cast<void**>(&value),
                      &length) ||
      !value)
    return std::string();
  return std::string(value, length > 0 ? length - 1 : 0);
}

}  // namespace

E2E_SCENARIO(qsopad_launches_station_and_opens_at_default_place) {
  REQUIRE_MSG(FileExists(kDefaultPath), "the stand-in must be installed at " << kDefaultPath);
  REQUIRE_MSG(CountTopLevel("TForm1") == 0, "a PSK31 program is already running");
  RoadSession s;
  s.StartQsopad({});
  const std::optional<std::string> error = ErrorBoxWithin(s.qsopad.pid, 1500);
  CHECK_MSG(!error, "attaching to the launched station reported: " << *error);

  const Psk31Windows w = FindPsk31();
  REQUIRE_MSG(w.app && w.form, "QSOPAD launched no PSK31 program");
  CHECK_MSG(ProcessOf(w.form) != s.qsopad.pid, "the PSK31 windows belong to QSOPAD itself");
  CHECK_MSG(IsIconic(w.app) && IsIconic(w.form), "the station was not launched minimised");
  const Journal j = ReadJournal(s.psk31Journal);
  const Journal starts = Select(j, "app", "START");
  CHECK_MSG(starts.size() == 1 && starts[0].Num(0) == static_cast<long long>(ProcessOf(w.form)), Dump(j));

  // Opened at the screen's top-left with half its width and height.
  const RECT expected{0, 0, ScreenWidth() / 2, ScreenHeight() / 2};
  CHECK_MSG(SameRect(WindowRectOf(s.main), expected, 2),
            RectText(WindowRectOf(s.main)) << ", expected " << RectText(expected));
  // Attaching types nothing into the station, and leaves the keyboard in the typing area.
  for (const char* role : {"panel", "memo", "rxbox", "txbox", "form"})
    CHECK_MSG(KeyTrail(j, role).empty(), role << " received" << Joined(KeyTrail(j, role)));
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(s.main) == s.text1; }, kWait),
            "focus is on " << ClassOf(FocusOfThread(s.main)));
}

E2E_SCENARIO(qsopad_attaches_to_running_station_and_shows_about_box) {
  RoadSession s;
  s.StartStation();
  const RECT before = WindowRectOf(s.station.form);
  // A launch would wait these 10 s before the main window shows.
  s.StartQsopad({{"Opt", "LDelay", "10000"}});
  const auto shownAfter = NowMs() - s.qsopad.startedMs;
  CHECK_MSG(shownAfter < 8000, "attaching to a running station took " << shownAfter << " ms");
  CHECK(!ErrorBoxWithin(s.qsopad.pid, 1000));
  const Journal j = ReadJournal(s.psk31Journal);
  CHECK_MSG(Count(j, "app", "START") == 1 && CountTopLevel("TForm1") == 1, Dump(j));
  // No position was ever saved, so the form stays where it is.
  CHECK_MSG(Count(j, "form", "MOVE") == 0 && SameRect(WindowRectOf(s.station.form), before), Dump(j));
  CHECK(!IsIconic(s.station.form));

  // The about box: modal, owned by the main window, with the version of the file's resource.
  const std::string version = ProductVersion(JoinPath(s.temp().path(), "qsopad.exe"));
  REQUIRE_MSG(!version.empty(), "qsopad.exe has no product version");
  PostCommand(s.main, IDM_ABOUT);
  HWND box = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (box = FindDialog(s.qsopad.pid, "About QSOPAD")) != nullptr; }, kWait),
              "no about box");
  CHECK(GetWindow(box, GW_OWNER) == s.main);
  CHECK_MSG(!IsWindowEnabled(s.main), "the about box is not modal");
  CHECK_MSG(TextOf(GetDlgItem(box, IDC_ABOUT_VERSION)) == "Version " + version,
            TextOf(GetDlgItem(box, IDC_ABOUT_VERSION)) << ", resource " << version);
  CHECK(PressAndWaitClosed(box, IDOK, kWait));
  CHECK(WaitUntil([&] { return IsWindowEnabled(s.main) != FALSE; }, kWait));
  // Destroying the box holds the thread up about two seconds under Wine with no window manager.
  CHECK(WaitUntil([&] { return Answers(s.main); }, kWait));
}

E2E_SCENARIO(qsopad_reports_missing_station_windows) {
  struct Row {
    const char* station_switch;  // nullptr: no station, and the launch path names no file
    std::vector<std::string> boxes;
  };
  const Row rows[] = {
      {"PSK31_NO_MEMO", {"Can't find PSK31 memo"}},
      {"PSK31_NO_TUNE", {"Can't find PSK31 tune button"}},
      {"PSK31_NO_PANEL", {"Can't find PSK31 panel", "Can't find PSK31 tune button", "Can't find PSK31 memo"}},
      {nullptr, {"Can't find PSK31 window"}},
  };
  for (const Row& row : rows) {
    const std::string name = row.station_switch ? row.station_switch : "no station";
    Log(name);
    TempFolder temp("qsopad");
    Programs programs;
    Settings settings;
    if (row.station_switch) StartPsk31(programs, "", {{row.station_switch, "1"}});
    else settings = {{"Opt", "Path", temp.File("no-such-psk31.exe")}, {"Opt", "LDelay", "100"}};
    const QsopadRun run = StartQsopad(programs, temp.path(), settings);
    std::vector<std::string> seen;
    for (size_t i = 0; i < row.boxes.size(); ++i) {
      const MessageBoxInfo box = WaitMessageBox("Error", kShow, run.pid);
      if (!box.hwnd) break;
      seen.push_back(box.text);
      CHECK_MSG(PressAndWaitClosed(box.hwnd, IDOK, kWait), name << ": box did not close");
    }
    CHECK_MSG(seen == row.boxes, name << " showed" << Joined(seen));
    CHECK_MSG(WaitMainWindow(run.pid, kShow), name << ": no main window after the boxes");
    const std::optional<std::string> extra = ErrorBoxWithin(run.pid, 500);
    CHECK_MSG(!extra, name << ": one box too many: " << *extra);
    if (!row.station_switch) CHECK_MSG(CountTopLevel("TForm1") == 0, "a station was launched after all");
    EndAll(programs);
  }
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
    RoadSession s;
    s.StartStation();
    s.StartQsopad({{"Opt", "Retro", row.retro}});
    for (int n = 0; n < 8; ++n) PostCommand(s.main, row.first_key + n);
    CHECK_MSG(!WaitJournal(s.psk31Journal, "panel", "WM_KEYUP", kWait,
                           [](const JournalEntry& e) { return e.Num(0) == VK_F8; }).event.empty(),
              "F8 never reached the panel");
    Journal j = ReadJournal(s.psk31Journal);
    const std::vector<std::string> keys = KeyTrail(j, "panel");
    CHECK_MSG(keys == SentKeys({112, 113, 114, 115, 116, 117, 118, 119}), row.retro << ", panel got" << Joined(keys));

    // The hidden menu's items do nothing; the frequency items answer after them, in order.
    PostCommand(s.main, row.hidden_first_key);
    PostCommand(s.main, row.plus);
    PostCommand(s.main, row.minus);
    CHECK_MSG(!WaitJournal(s.psk31Journal, "memo", "WM_KEYUP", kWait,
                           [](const JournalEntry& e) { return e.Num(0) == VK_LEFT; }).event.empty(),
              "the frequency items did not reach the memo");
    j = ReadJournal(s.psk31Journal);
    CHECK_MSG(KeyTrail(j, "memo") == SentKeys({VK_RIGHT, VK_LEFT}), Joined(KeyTrail(j, "memo")));
    CHECK_MSG(KeyTrail(j, "panel") == keys, "a hidden menu item acted:" << Joined(KeyTrail(j, "panel")));
    const Journal freqs = Select(j, "rxbox", "RXFREQ");
    CHECK_MSG(freqs.size() == 2 && freqs[0].Num(0) == 1001 && freqs[1].Num(0) == 1000, Dump(freqs));
    EndAll(s.programs);
  }
}

E2E_SCENARIO(qsopad_sets_rx_frequency_through_input_box) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({});
  // Asks, answers as an operator would, and presses a button.
  auto ask = [&](const char* answer, int button) {
    PostCommand(s.main, IDM_SETRX);
    HWND box = nullptr;
    REQUIRE_MSG(WaitUntil([&] { return (box = FindDialog(s.qsopad.pid, "QSOPAD")) != nullptr; }, kWait),
                "no input box");
    CHECK_MSG(TextOf(GetDlgItem(box, IDC_INPUT_PROMPT)) == "Enter new RX frequency",
              TextOf(GetDlgItem(box, IDC_INPUT_PROMPT)));
    CHECK(GetWindow(box, GW_OWNER) == s.main);
    SendMessageA(GetDlgItem(box, IDC_INPUT_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(answer));
    REQUIRE(PressAndWaitClosed(box, button, kWait));
  };
  ask("14", IDOK);
  const JournalEntry set = WaitJournal(s.psk31Journal, "rxbox", "RXFREQ", kWait);
  CHECK_MSG(set.Num(0) == 14, Dump(ReadJournal(s.psk31Journal)));
  Journal j = ReadJournal(s.psk31Journal);
  // The Rx box is focused first, then End, eight backspaces, the number and Enter.
  std::vector<std::string> typed = SentKeys({VK_END});
  for (char c : std::string(8, '\b') + "14\r") typed.push_back("WM_CHAR " + std::to_string(c) + " sent");
  CHECK_MSG(KeyTrail(j, "rxbox") == typed, Joined(KeyTrail(j, "rxbox")));
  const int focused = IndexOf(j, "rxbox", "FOCUS");
  CHECK_MSG(focused >= 0 && focused < IndexOf(j, "rxbox", "WM_KEYDOWN"), "the Rx box was not focused first" << Dump(j));
  CHECK_MSG(TextOf(s.station.rxBox) == "14", TextOf(s.station.rxBox));
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(s.main) == s.text1; }, kWait), "focus not back in the typing area");

  // Cancel, and OK with nothing typed, send nothing. The frequency nudge that follows shows
  // that QSOPAD has gone past both.
  ask("99", IDCANCEL);
  ask("", IDOK);
  PostCommand(s.main, IDM_FREQPLUS);
  CHECK(!WaitJournal(s.psk31Journal, "memo", "WM_KEYUP", kWait).event.empty());
  j = ReadJournal(s.psk31Journal);
  CHECK_MSG(KeyTrail(j, "rxbox") == typed, "after Cancel and an empty answer:" << Joined(KeyTrail(j, "rxbox")));
  CHECK_MSG(Count(j, "rxbox", "RXFREQ") == 2 && Select(j, "rxbox", "RXFREQ").back().Num(0) == 15, Dump(j));
}

E2E_SCENARIO(qsopad_saves_and_restores_window_setup) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({});
  HWND form = s.station.form;
  SetWindowPos(s.main, nullptr, 30, 40, 700, 500, SWP_NOZORDER | SWP_NOACTIVATE);
  MoveWindow(form, 100, 520, 600, 260, TRUE);
  const RECT qsopad = WindowRectOf(s.main);
  const RECT saved = WindowRectOf(form);
  REQUIRE_MSG(SameRect(saved, RECT{100, 520, 700, 780}), RectText(saved));
  PostCommand(s.main, IDM_SAVEWIN);
  REQUIRE_MSG(WaitUntil([&] { return CheckSetup(s.temp().path(), qsopad, saved, false); }, kWait),
              "window setup not saved:\n" << ReadSettingsFile(s.temp().path()));

  // Started again with the form elsewhere: attaching moves it back, and QSOPAD reopens where it was.
  KillTree(s.qsopad.pid);
  MoveWindow(form, 400, 100, 500, 200, TRUE);
  s.RestartQsopad();
  CHECK_MSG(WaitUntil([&] { return SameRect(WindowRectOf(form), saved); }, kWait),
            "form at " << RectText(WindowRectOf(form)) << ", saved " << RectText(saved));
  // The window shows first and is placed after, as start-up runs.
  CHECK_MSG(WaitUntil([&] { return SameRect(WindowRectOf(s.main), qsopad, 1); }, kWait),
            RectText(WindowRectOf(s.main)) << ", saved " << RectText(qsopad));

  // With SavePos off the saved position is not applied.
  KillTree(s.qsopad.pid);
  MoveWindow(form, 400, 100, 500, 200, TRUE);
  const RECT moved = WindowRectOf(form);
  const std::int64_t restarted = NowMs();
  s.StartQsopad({{"Win", "PX", std::to_string(saved.left)}, {"Win", "PY", std::to_string(saved.top)},
                 {"Win", "PW", "600"}, {"Win", "PH", "260"}, {"Opt", "SavePos", "False"}});
  Pause(1000);
  CHECK_MSG(SameRect(WindowRectOf(form), moved), "SavePos False moved the form to " << RectText(WindowRectOf(form)));
  for (const auto& e : Select(ReadJournal(s.psk31Journal), "form", "MOVE"))
    CHECK_MSG(e.ms < restarted, "form moved with SavePos False: " << e.line);
}

E2E_SCENARIO(qsopad_closes_station_only_when_asked) {
  for (const bool closes : {true, false}) {
    // Closing the window with Close=True, "E&xit" with Close=False.
    Log(closes ? "Close=True, WM_CLOSE" : "Close=False, Exit");
    RoadSession s;
    s.StartStation();
    const DWORD station = ProcessOf(s.station.form);
    s.StartQsopad({{"Opt", "Close", closes ? "True" : "False"}});
    SetWindowPos(s.main, nullptr, 60, 70, 620, 480, SWP_NOZORDER | SWP_NOACTIVATE);
    MoveWindow(s.station.form, 700, 300, 560, 250, TRUE);
    const RECT qsopad = WindowRectOf(s.main);
    const RECT form = WindowRectOf(s.station.form);

    if (closes) PostMessageA(s.main, WM_CLOSE, 0, 0);
    else PostCommand(s.main, IDM_EXIT);
    CHECK_MSG(s.programs.WaitExit(s.qsopad.pid, 10000), "QSOPAD did not end");
    CHECK(s.programs.ExitCode(s.qsopad.pid) == 0);
    if (closes) {
      CHECK_MSG(s.programs.WaitExit(station, 10000), "the station was not closed");
    } else {
      Pause(500);
      CHECK_MSG(ProcessAlive(station) && Answers(s.station.form), "the station did not keep running");
    }
    const Journal j = ReadJournal(s.psk31Journal);
    CHECK_MSG(Count(j, "form", "WM_CLOSE") == (closes ? 1u : 0u), Dump(j));
    if (closes) CHECK_MSG(IndexOf(j, "app", "EXIT") > IndexOf(j, "form", "WM_CLOSE"), Dump(j));
    CHECK_MSG(CheckSetup(s.temp().path(), qsopad, form), "window setup on closing:\n"
                                                             << ReadSettingsFile(s.temp().path()));
    EndAll(s.programs);
  }
}

E2E_SCENARIO(qsopad_stays_responsive_with_hung_station) {
  constexpr int kHangMs = 10000;
  RoadSession s;
  s.StartStation({{"PSK31_HANG_ON_KEY", "113"}, {"PSK31_HANG_MS", std::to_string(kHangMs)}});
  s.StartQsopad({});
  REQUIRE(!ReadSetting(s.temp().path(), "Win", "Left"));

  // A sent message to QSOPAD is answered even while it waits in a send of its own, so the
  // proof that it goes on working is a posted command queued behind the one that hangs:
  // "Save Window Setup" writes the settings file.
  std::int64_t posted = NowMs();
  PostCommand(s.main, IDM_PSK_1 + 1);  // F2
  PostCommand(s.main, IDM_SAVEWIN);
  REQUIRE_MSG(!WaitJournal(s.psk31Journal, "app", "HANG", kWait).event.empty(),
              "the station did not hang" << Dump(ReadJournal(s.psk31Journal)));
  CHECK_MSG(WaitUntil([&] { return ReadSetting(s.temp().path(), "Win", "Left").has_value(); }, 6000),
            "QSOPAD stayed frozen behind the hung station");
  const auto first = NowMs() - posted;
  CHECK_MSG(first <= 3000, "QSOPAD was held up " << first << " ms");
  CHECK(Answers(s.main, 200));

  // A second command to the station that still hangs is not waited for.
  SetWindowPos(s.main, nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const long movedLeft = PxToTwips(WindowRectOf(s.main).left);
  posted = NowMs();
  PostCommand(s.main, IDM_PSK_1 + 2);  // F3
  PostCommand(s.main, IDM_SAVEWIN);
  CHECK_MSG(WaitUntil([&] { return ReadSettingNumber(s.temp().path(), "Win", "Left") == movedLeft; }, 6000),
            "QSOPAD stayed frozen on the second command");
  const auto second = NowMs() - posted;
  CHECK_MSG(second <= 1000, "QSOPAD was held up " << second << " ms");
  CHECK(Answers(s.main, 200));
  CHECK_MSG(Count(ReadJournal(s.psk31Journal), "app", "HANGEND") == 0, "the hang ended too soon to tell");

  // Once the station answers again, both keys have arrived, in the order given.
  REQUIRE(!WaitJournal(s.psk31Journal, "app", "HANGEND", kHangMs + kWait).event.empty());
  WaitJournal(s.psk31Journal, "panel", "WM_KEYUP", 2000, [](const JournalEntry& e) { return e.Num(0) == VK_F3; });
  const Journal j = ReadJournal(s.psk31Journal);
  CHECK_MSG(KeyTrail(j, "panel") == SentKeys({VK_F2, VK_F3}), Joined(KeyTrail(j, "panel")));
}
