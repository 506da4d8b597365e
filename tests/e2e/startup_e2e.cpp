// QSOPAD at the edges: a station with windows missing, or none at all; a settings file made read-only and a log file
// that cannot be written; and partners that hang, a PSK31 program and a log program, which must not freeze it.
#include "driver.h"

using namespace e2e;

E2E_SCENARIO(startup_reports_missing_station_windows) {
  struct Case { const char* stationSwitch; std::vector<std::string> boxes; };  // nullptr: no station, no file to start
  for (const Case& c : {Case{"PSK31_NO_PANEL", {"Can't find PSK31 panel", "Can't find PSK31 tune button", "Can't find PSK31 memo"}},
                        Case{nullptr, {"Can't find PSK31 window"}}}) {
    const std::string name = c.stationSwitch ? c.stationSwitch : "no station";
    Log(name);
    Session s("missing");
    if (c.stationSwitch) s.StartStation({{c.stationSwitch, "1"}});
    s.StartQsopad(c.stationSwitch ? Settings{} : Settings{{"Opt", "Path", s.File("none.exe")}, {"Opt", "LDelay", "100"}},
                  false);
    for (const std::string& text : c.boxes) {
      const MessageBoxInfo box = WaitMessageBox("Error", s.pid);
      REQUIRE_MSG(box.text == text, name << " showed \"" << box.text << "\", not \"" << text << "\"");
      CHECK_MSG(PressAndWaitClosed(box.hwnd, IDOK), name << ": the box did not close");
    }
    // The messages come before the window shows: once it has, there is none to follow.
    WaitShown(s.pid, kForm, 2 * kWaitMs);
    CHECK_MSG(!FindMessageBox("Error", s.pid), name << ": one box too many");
    if (!c.stationSwitch) CHECK_MSG(!FindPsk31().form, "a station was launched after all");
  }
}

E2E_SCENARIO(hung_partners_and_unwritable_files) {
  Session s("hung");
  // The station sleeps 10 s on F2; the log file is a folder.
  s.StartStation({{"PSK31_HANG_ON_KEY", "113"}, {"PSK31_HANG_MS", "10000"}});
  s.StartQsopad({{"Opt", "SerialNo", "9"}, {"ADIF", "En", "True"}, {"ADIF", "File", s.folder()}});
  const std::string ini = s.File("QSOPAD.ini");
  std::string before;
  RunRows(s, {
      {"a read-only settings file: told once, the values kept in memory, the file untouched until writable",
       {Do([&](Session&) {
          before = ReadFileText(ini);
          REQUIRE(SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY));
        }),
        Menu(IDM_INCR), Box("QSOPAD", "*\"" + ini + "\" is read-only*"), Text(kSerial, "S/&N: 0010"), Menu(IDM_INCR),
        Text(kSerial, "S/&N: 0011"), Do([&](Session&) {
          CHECK_MSG(ReadFileText(ini) == before, "the read-only file was changed");
          CHECK_MSG(GetFileAttributesA(ini.c_str()) & FILE_ATTRIBUTE_READONLY, "the read-only flag is gone");
          REQUIRE(SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL));
        }), Menu(IDM_INCR), Text(kSerial, "S/&N: 0012"), Stored("Opt/SerialNo", "12")}},
      {"a log file that cannot be written: nothing written, the operator told, QSOPAD goes on",
       {Menu(IDM_LOG), IsShown(kLogWindow), Click({kLg, IDOK, "OK"}), Box("QSOPAD", "Log file error*" + s.folder() + "*"),
        IsGone(kLogWindow), IsShown(kMain)}},
      // A sent message to QSOPAD is answered even while it waits in a send of its own: the sign that it goes on is
      // "Save Window Setup" queued behind the key that hangs, done before the hang ends.
      {"a hung PSK31 program: QSOPAD goes on working, and the keys arrive in order afterwards",
       {Stored("Win/Left", "<absent>"), Menu(IDM_PSK_2), Menu(IDM_SAVEWIN), Logged("app", "HANG"), Do([](Session& s) {
          Expect("the window setup", [&] { return ReadSetting(s.folder(), "Win", "Left") ? "saved" : "not saved"; }, "saved");
          SetWindowPos(s.main, nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }),
        // A second command to the station that still hangs is not waited for either.
        Menu(IDM_PSK_3), Menu(IDM_SAVEWIN), Stored("Win/Left", std::to_string(PxToTwips(50))), Logged("app", "HANGEND", 0),
        Logged("app", "HANGEND"), Station("panel", "F2 F3")}},
      {"a log program that hangs on every announcement does not hold the pump up",
       {Do([](Session& s) { s.StartLog(false, {{"QSOLOG_HANG_ON_FUNC", "8000"}}); }), Type("abcdefghij"),
        Text(kText1, "abcdefghij"), Click(kSend), Do([](Session& s) {
          REQUIRE(!WaitJournal(s.logJournal, "log", "HANG").event.empty());
          CHECK_MSG(Answers(s.main, 2000), "QSOPAD did not answer within 2 s of the hang");
        }), Memo("abcdefghij"), Do([](Session& s) {
          CHECK_MSG(Select(s.LogSince(), "log", "HANGEND").empty(), "the hang ended before the text was out");
        })}},
  });
}
