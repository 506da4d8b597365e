// Scenarios of the real qsopad.exe against the PSK31 stand-in: launching and attaching,
// the messages that tell of missing windows, setting the Rx frequency and the PSK31 menu
// items as the stand-in receives them, saving and restoring the window setup, closing, a hung PSK31 program and the about
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

// Whether the window setup saved in the settings file matches QSOPAD's outer rectangle
// (in twips) and the PSK31 form's rectangle (in pixels).
bool SavedSetup(const std::string& folder, const RECT& qsopad, const RECT& form) {
  const char* names[] = {"Left", "Top", "Width", "Height", "PX", "PY", "PW", "PH"};
  const long want[] = {PxToTwips(qsopad.left), PxToTwips(qsopad.top), PxToTwips(qsopad.right - qsopad.left),
                       PxToTwips(qsopad.bottom - qsopad.top), form.left, form.top, form.right - form.left,
                       form.bottom - form.top};
  for (int i = 0; i < 8; ++i)
    if (ReadSettingNumber(folder, "Win", names[i]) != want[i]) return false;
  return true;
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
  const RECT expected{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
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
  s.StartQsopad({});
  CHECK(!ErrorBoxWithin(s.qsopad.pid, 1000));
  const Journal j = ReadJournal(s.psk31Journal);
  CHECK_MSG(Count(j, "app", "START") == 1 && CountTopLevel("TForm1") == 1 && !IsIconic(s.station.form), Dump(j));

  // The about box: modal, owned by the main window, with the version of the file's resource.
  const std::string version = ProductVersion(JoinPath(s.temp().path(), "qsopad.exe"));
  REQUIRE_MSG(!version.empty(), "qsopad.exe has no product version");
  PostCommand(s.main, IDM_ABOUT);
  HWND box = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (box = FindMessageBox("About QSOPAD", s.qsopad.pid)) != nullptr; }, kWait),
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

E2E_SCENARIO(qsopad_sets_rx_frequency_and_presses_psk31_keys) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({});
  // Asks, answers as an operator would, and presses a button.
  auto ask = [&](const char* answer, int button) {
    PostCommand(s.main, IDM_SETRX);
    HWND box = nullptr;
    REQUIRE_MSG(WaitUntil([&] { return (box = FindMessageBox("QSOPAD", s.qsopad.pid)) != nullptr; }, kWait),
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

  // Cancel, and OK with nothing typed, send nothing. The menu items that follow show that
  // QSOPAD has gone past both: the PSK31 menu's eight press the program's keys F1 to F8, the
  // hidden Retro menu's item nothing, and the frequency items nudge through the memo.
  ask("99", IDCANCEL);
  ask("", IDOK);
  PostCommand(s.main, IDM_PSKA_1);
  for (int n = 0; n < 8; ++n) PostCommand(s.main, IDM_PSK_1 + n);
  PostCommand(s.main, IDM_FREQPLUS);
  PostCommand(s.main, IDM_FREQMINUS);
  CHECK(!WaitJournal(s.psk31Journal, "memo", "WM_KEYUP", kWait, [](auto& e) { return e.Num(0) == VK_LEFT; })
             .event.empty());
  j = ReadJournal(s.psk31Journal);
  CHECK_MSG(KeyTrail(j, "rxbox") == typed, "after Cancel and an empty answer:" << Joined(KeyTrail(j, "rxbox")));
  CHECK_MSG(KeyTrail(j, "panel") == SentKeys({VK_F1, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8}),
            Joined(KeyTrail(j, "panel")));
  CHECK_MSG(KeyTrail(j, "memo") == SentKeys({VK_RIGHT, VK_LEFT}), Joined(KeyTrail(j, "memo")));
  const Journal freqs = Select(j, "rxbox", "RXFREQ");
  CHECK_MSG(freqs.size() == 3 && freqs[1].Num(0) == 15 && freqs[2].Num(0) == 14, Dump(freqs));
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
  REQUIRE_MSG(WaitUntil([&] { return SavedSetup(s.temp().path(), qsopad, saved); }, kWait),
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
}

E2E_SCENARIO(qsopad_exit_closes_station_and_saves_setup) {
  // With option "Close"; without it the station is left alone, which the unit tests show.
  RoadSession s;
  s.StartStation();
  const DWORD station = ProcessOf(s.station.form);
  s.StartQsopad({{"Opt", "Close", "True"}});
  SetWindowPos(s.main, nullptr, 60, 70, 620, 480, SWP_NOZORDER | SWP_NOACTIVATE);
  MoveWindow(s.station.form, 700, 300, 560, 250, TRUE);
  const RECT qsopad = WindowRectOf(s.main);
  const RECT form = WindowRectOf(s.station.form);
  PostCommand(s.main, IDM_EXIT);
  CHECK_MSG(s.programs.WaitExit(s.qsopad.pid, 10000), "QSOPAD did not end");
  CHECK(s.programs.ExitCode(s.qsopad.pid) == 0);
  CHECK_MSG(s.programs.WaitExit(station, 10000), "the station was not closed");
  const Journal j = ReadJournal(s.psk31Journal);
  CHECK_MSG(Count(j, "form", "WM_CLOSE") == 1 && IndexOf(j, "app", "EXIT") > IndexOf(j, "form", "WM_CLOSE"), Dump(j));
  CHECK_MSG(SavedSetup(s.temp().path(), qsopad, form), "window setup on closing, QSOPAD at " << RectText(qsopad)
                                                           << ", the form at " << RectText(form) << " at "
                                                           << ScreenDpi() << " dpi:\n" << ReadSettingsFile(s.temp().path()));
}

E2E_SCENARIO(qsopad_stays_responsive_with_hung_station) {
  constexpr int kHangMs = 10000;
  RoadSession s;
  s.StartStation({{"PSK31_HANG_ON_KEY", "113"}, {"PSK31_HANG_MS", std::to_string(kHangMs)}});
  s.StartQsopad({});
  REQUIRE(!ReadSetting(s.temp().path(), "Win", "Left"));

  // A sent message to QSOPAD is answered even while it waits in a send of its own, so the
  // proof that it goes on working is a posted command queued behind the one that hangs:
  // "Save Window Setup" writes the settings file, long before the hang of 10 s ends.
  PostCommand(s.main, IDM_PSK_1 + 1);  // F2
  PostCommand(s.main, IDM_SAVEWIN);
  REQUIRE_MSG(!WaitJournal(s.psk31Journal, "app", "HANG", kWait).event.empty(),
              "the station did not hang" << Dump(ReadJournal(s.psk31Journal)));
  CHECK_MSG(WaitUntil([&] { return ReadSetting(s.temp().path(), "Win", "Left").has_value(); }, 6000),
            "QSOPAD stayed frozen behind the hung station");

  // A second command to the station that still hangs is not waited for.
  SetWindowPos(s.main, nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const long movedLeft = PxToTwips(WindowRectOf(s.main).left);
  PostCommand(s.main, IDM_PSK_1 + 2);  // F3
  PostCommand(s.main, IDM_SAVEWIN);
  CHECK_MSG(WaitUntil([&] { return ReadSettingNumber(s.temp().path(), "Win", "Left") == movedLeft; }, 6000),
            "QSOPAD stayed frozen on the second command");
  CHECK_MSG(Count(ReadJournal(s.psk31Journal), "app", "HANGEND") == 0, "the hang ended too soon to tell");

  // Once the station answers again, both keys have arrived, in the order given.
  REQUIRE(!WaitJournal(s.psk31Journal, "app", "HANGEND", kHangMs + kWait).event.empty());
  WaitJournal(s.psk31Journal, "panel", "WM_KEYUP", 2000, [](const JournalEntry& e) { return e.Num(0) == VK_F3; });
  const Journal j = ReadJournal(s.psk31Journal);
  CHECK_MSG(KeyTrail(j, "panel") == SentKeys({VK_F2, VK_F3}), Joined(KeyTrail(j, "panel")));
}
