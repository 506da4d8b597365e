// The windows that start-up opens and their places, the call sign window in palette mode, the lookup source dialog and
// the lookups: call-book libraries the 64-bit program cannot load, an FCC database that qsopad-fcc.exe built from
// genuine FCC rows, and the 32-bit program with the call-book stand-ins. Then exit, start again and the session ending.
#include <cstdlib>

#include "driver.h"

using namespace e2e;

namespace {

// The 32-bit build: "win32" beside this driver's build.
std::string Build32Dir() { return JoinPath(BuildDir(), "..\\win32"); }

// This build of qsopad.exe, with the three 32-bit call-book stand-ins beside it.
void Install(const Session& s, const std::string& exe) {
  REQUIRE_MSG(CopyFileA(exe.c_str(), s.File("qsopad.exe").c_str(), FALSE), "cannot copy " << exe);
  for (const char* dll : {"qrz32.dll", "raccd32a.dll", "hamcal32.dll"}) {
    const std::string from = JoinPath(Build32Dir(), std::string("tests\\standins\\") + dll);
    REQUIRE_MSG(CopyFileA(from.c_str(), s.File(dll).c_str(), FALSE), "cannot copy " << from);
  }
}

// The lookup source typed into the Lookup Data dialog.
std::vector<Step> Source(const std::string& source) {
  return {Click(kCallsignData), SetText(kSource, source), Click(kDialogOk), IsGone(kSource),
          Stored("URLS/CSLOOKUP", source)};
}

// Lookup Now for `call` ("Fill in name" on): the message answered when there is one, then
// what the result window (a pattern) and the name box show.
Row LookUp(const std::string& call, const std::string& message, const std::string& text, const std::string& title,
           const std::string& name) {
  // The text of an earlier lookup cannot pass for this one's.
  const auto reset = [](Session& s) {
    SendMessageA(s.Find(kResultText), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("<not yet>"));
  };
  Row row{"look up \"" + call + "\"", {Do(reset), SetText(kCallsignCall, call), Click(kCallsignNow)}};
  if (!message.empty()) row.steps.push_back(Box("QSOPAD", message));
  return row + std::vector<Step>{TextLike(kResultText, text), Text(kResult, title), Text(kCallsignName, name)};
}

std::string Twips(int px) { return std::to_string(PxToTwips(px)); }

// A window's place: any height it has where the bottom is kAnyHeight.
constexpr LONG kAnyHeight = -1;

// A place stored in twips, in pixels as the program converts it.
RECT AtTwips(int left, int top, int width, int height) {
  const LONG bottom = height == kAnyHeight ? kAnyHeight : TwipsToPx(top) + TwipsToPx(height);
  return {TwipsToPx(left), TwipsToPx(top), TwipsToPx(left) + TwipsToPx(width), bottom};
}

// The window stands at `want`, each edge within `slack` pixels.
Step Placed(const Target& at, RECT want, int slack = 1) {
  return Do([=](Session& s) {
    Expect(at.name, [&] {
      const RECT r = WindowRectOf(s.Find(at));
      const RECT w{want.left, want.top, want.right, want.bottom == kAnyHeight ? r.bottom : want.bottom};
      return SameRect(r, w, slack) ? "placed" : RectText(r) + ", not " + RectText(w);
    }, "placed");
  });
}

// Rows of the FCC's l_amat.zip: a current licence (CR LF, as the FCC writes them), one of the anonymised fixture (LF).
const char kEn[] =
    "EN|4186771|||KN6DQD|L|L02283715|Downing, Zoe|Zoe||Downing||||||Montara|CA|94037|370545||000|0028710390|I||||||\r\n"
    "EN|254305|||KK9HIU|L|L00142682|MILLER, LINDA Q|LINDA|Q|MILLER|||||885 MAIN ST|RIVERSIDE|OH|91474||Randall "
    "Thompson|000|0004144385|I||||||\n";
const char kAm[] = "AM|4186771|||KN6DQD|G|D|6|||||||||T|\r\nAM|254305|||KK9HIU|E|A|8||Y||||||||\n";
const char kHd[] =
    "HD|4186771|0011303942||KN6DQD|A|HA|08/06/2019|08/06/2029||||||||||N||||||||||N||Zoe||Downing||||||||||"
    "10/30/2024|10/30/2024|||||||||||||||\r\n"
    "HD|254305|9400375236||KK9HIU|A|HA|01/31/2023|04/27/2033||||||||||||||||||||||||||||||||||05/09/2025|"
    "05/09/2025|||||||||||||||\n";

// Runs qsopad-fcc.exe with these arguments; its exit code, what it printed in `output`.
DWORD RunTool(Session& s, const std::string& arguments, const std::string& folder, std::string& output) {
  static int runs = 0;  // a log of its own for each run: Wine may still hold the last one
  const std::string log = JoinPath(folder, "qsopad-fcc-" + std::to_string(++runs) + ".log");
  const DWORD pid = s.programs.Start({JoinPath(BuildDir(), "tools\\qsopad-fcc.exe"), {}, "", arguments, log});
  const DWORD code = s.programs.WaitExit(pid, 60000) ? s.programs.ExitCode(pid) : static_cast<DWORD>(-1);
  output = ReadFileText(log);
  return code;
}

// The FCC database in a folder whose name has a blank: qsopad-fcc builds it, and refuses a
// build into one of its inputs spelt another way and a lookup in a data file not there.
std::string BuildFccDatabase(Session& s) {
  const std::string folder = s.File("FCC data");
  REQUIRE(CreateDirectoryA(folder.c_str(), nullptr));
  for (const auto& [name, rows] : {std::pair{"EN.dat", kEn}, {"AM.dat", kAm}, {"HD.dat", kHd}})
    REQUIRE(WriteFileText(JoinPath(folder, name), rows));
  const auto quoted = [&](const std::string& name) { return std::string("\"").append(JoinPath(folder, name)).append("\""); };
  const std::string inputs = quoted("EN.dat") + " " + quoted("AM.dat") + " " + quoted("HD.dat") + " ";
  std::string output;
  REQUIRE_MSG(RunTool(s, "build " + inputs + quoted("APPL.DAT"), folder, output) == 0, output);
  CHECK_MSG(output.find("call signs written: 2") != std::string::npos, output);
  for (const auto& [arguments, named] : {std::pair{"build " + inputs + quoted("en.DAT"), std::string("is the input")},
                                         {"lookup " + quoted("MISSING.DAT") + " KN6DQD", std::string("MISSING.DAT")}}) {
    const DWORD code = RunTool(s, arguments, folder, output);
    CHECK_MSG(code == 2 && output.find(named) != std::string::npos, arguments << ": " << code << ": " << output);
  }
  CHECK(ReadFileText(JoinPath(folder, "EN.dat")) == kEn && !FileExists(JoinPath(folder, "MISSING.DAT.qpd")));
  return JoinPath(folder, "APPL.DAT");
}

}  // namespace

E2E_SCENARIO(windows_and_lookups_session) {
  Session s("windows");
  // The 32-bit call-book libraries beside the 64-bit program, which cannot load them.
  Install(s, QsopadExe());
  const std::string fcc = BuildFccDatabase(s);
  s.StartStation();
  s.StartQsopad({{"Opt", "MPAL", "1"}, {"Win", "MPX", "1500"}, {"Win", "MPY", "750"}, {"Win", "MPW", "6000"},
                 {"Win", "MPH", "4800"}, {"Opt", "CSPAL", "1"}, {"Opt", "callpal", "1"}, {"Opt", "Lookup", "True"},
                 {"Win", "CPT", "1500"}, {"Win", "CPL", "2250"}, {"Opt", "LPAL", "1"}, {"Win", "LUTop", "750"},
                 {"Win", "LULeft", "1500"}, {"Win", "LUWidth", "4500"}, {"Win", "LUHeight", "tall"},
                 {"Opt", "LUName", "1"}, {"Opt", "Close", "True"}, {"URLS", "CSLOOKUP", "http://old/?c="},
                 {"Macro", "12", "keep"}});
  DWORD station = 0;
  std::vector<Row> rows = {
      {"QSOPAD attached to the running station and launched no other", {Do([&](Session& s) {
          // A station QSOPAD launched would journal its start too.
          const Journal j = ReadJournal(s.psk31Journal);
          CHECK_MSG(Select(j, "app", "START").size() == 1 && !IsIconic(FindPsk31().form), Dump(j));
          station = ProcessOf(FindPsk31().form);
        })}},
      // The result window's height is no number: the default, a sixth of the screen, and no message.
      {"start-up shows the palette, the call sign window and the result window where they were left",
       {IsShown(kPalette), IsChecked(kPaletteAuto, true), IsShown(kCallsign), Text(kCallsignOk, "Apply"),
        Text(kCallsignCancel, "Close"), Stored("Opt/Lookup", "1"), IsChecked(kCallsignLookup, true),
        Text(kResult, "Callsign Lookup"), Placed(kPalette, AtTwips(1500, 750, 6000, 4800), 0),
        Placed(kCallsign, AtTwips(2250, 1500, 4560, kAnyHeight)),
        Placed(kResult, AtTwips(1500, 750, 4500, PxToTwips(GetSystemMetrics(SM_CYSCREEN)) / 6)), Do([](Session& s) {
          for (const Target& t : {kPalette, kCallsign, kResult}) CHECK_MSG(GetWindow(s.Find(t), GW_OWNER) == s.main, t.name);
          // The text box fills the client area, also after a resize.
          SetWindowPos(s.Find(kResult), nullptr, 50, 70, 400, 260, SWP_NOZORDER | SWP_NOACTIVATE);
          Expect("the result text box", [&] {
            RECT box = WindowRectOf(s.Find(kResultText)), client{};
            GetClientRect(s.Find(kResult), &client);
            MapWindowPoints(s.Find(kResult), nullptr, reinterpret_cast<POINT*>(&client), 2);
            return SameRect(box, client, 0) ? "fills" : RectText(box) + " in " + RectText(client);
          }, "fills");
        })}},
      {"the call sign window in palette mode: More widens it, a box is stored at once, Apply hands over and stays",
       {Click(kCallsignMore), Text(kCallsignMore, "&<<<Less"), IsEnabled(kCallsignData, true), Do([](Session& s) {
          HWND w = s.Find(kCallsign);
          CHECK_MSG(WindowRectOf(w).right - WindowRectOf(w).left >= TwipsToPx(5875) - 1, RectText(WindowRectOf(w)));
          RECT client{};  // wider still where the column's captions need it: no box cut off
          GetClientRect(w, &client);
          MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&client), 2);
          for (int id = IDC_CSF_CHECK2; id <= IDC_CSF_CHECK5; ++id)
            CHECK_MSG(IsWindowEnabled(GetDlgItem(w, id)) && WindowRectOf(GetDlgItem(w, id)).right <= client.right,
                      TextOf(GetDlgItem(w, id)) << " ends at " << WindowRectOf(GetDlgItem(w, id)).right);
        }), Tick(kCallsignLookup, false), Stored("Opt/Lookup", "0"), SetText(kCallsignCall, "W1AW"), Click(kCallsignOk),
        Text(kPartner, "W1AW"), HasFocus(kText1), IsShown(kCallsign)}},
      {"the lookup source dialog: a row puts its source in, OK stores the text as it stands, Cancel nothing",
       {Click(kCallsignData), Text(kSource, "http://old/?c="),
        Do([](Session& s) { CHECK(SendMessageA(s.Find(kSourceList), LB_GETCOUNT, 0, 0) == 10); }), Choose(kSourceList, 2), Text(kSource, "*FLY DRIVE=D:\\"), SetText(kSource, "*FLY DRIVE=E:\\"), Click(kDialogOk),
        IsGone(kSource), Stored("URLS/CSLOOKUP", "*FLY DRIVE=E:\\"), Click(kCallsignData), SetText(kSource, "http://new/"),
        Click(kDialogCancel), IsGone(kSource), Stored("URLS/CSLOOKUP", "*FLY DRIVE=E:\\"),
        Do([](Session& s) { SetWindowPos(s.Find(kResult), nullptr, 30, 40, 320, 200, SWP_NOZORDER | SWP_NOACTIVATE); })}},
  };
  // A library that cannot be loaded: one message, then "Error!" in a result window that the
  // lookup shows with no owner, where it was.
  for (const auto& [source, message] : {std::pair{"*QRZ", "QRZ32.DLL not found or QRZ error"},
                                        {"*FLY DRIVE=Q:\\", "Flying Horse DLL not found"},
                                        {"*BUCK DRIVE=Q:\\HAM0\\", "HamCal32.DLL not found or Buck error"}})
    rows.push_back(Row{source, Source(source)} + LookUp("W1AW", message, "Error!", "Callsign Lookup: ", "").steps);
  rows.push_back({"the result window after a lookup", {Placed(kResult, {30, 40, 350, 240}),
                   Do([](Session& s) { CHECK(GetWindow(s.Find(kResult), GW_OWNER) == nullptr); })}});
  // The FCC database: a portable suffix cut, case ignored, the first name filled in.
  rows.push_back(Row{"the FCC database", Source("*FCC PATH=" + fcc)} +
                 LookUp("kn6dqd/p", "", "KN6DQD Zoe Downing\r\nBOX 370545\r\nMontara, CA 94037", "Callsign Lookup: KN6DQD",
                        "Zoe").steps);
  rows.push_back(LookUp("W1AW", "", "{NOT FOUND}", "Callsign Lookup", ""));
  // An index that cannot be opened for writing, as on a CD-ROM, is read all the same. (Wine running as root opens a
  // read-only file for writing; one held open sharing reading only it cannot.)
  HANDLE held = INVALID_HANDLE_VALUE;
  rows.push_back(Row{"an index held open by another program", {Do([&](Session&) {
                       held = CreateFileA((fcc + ".qpd").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
                       REQUIRE(held != INVALID_HANDLE_VALUE);
                     })}} +
                 LookUp("KK9HIU", "", "KK9HIU LINDA Q MILLER\r\n885 MAIN ST\r\nRIVERSIDE, OH 91474", "Callsign Lookup: KK9HIU",
                        "Linda").steps);
  rows.push_back(Row{"the data file gone", {Do([&](Session&) {
                       CloseHandle(held);
                       REQUIRE(DeleteFileA(fcc.c_str()));
                     })}} + LookUp("KN6DQD", "FCC Database error", "", "Callsign Lookup: ", "").steps);
  rows.push_back(
      {"moved, Auto Show unticked, an edit pending, Exit: the station closed and every place saved, not the edit",
       {Do([](Session& s) {
          SetWindowPos(s.main, nullptr, 60, 70, 620, 480, SWP_NOZORDER | SWP_NOACTIVATE);
          MoveWindow(FindPsk31().form, 700, 300, 560, 250, TRUE);
          SetWindowPos(s.Find(kPalette), nullptr, 200, 120, 330, 260, SWP_NOZORDER | SWP_NOACTIVATE);
          SetWindowPos(s.Find(kCallsign), nullptr, TwipsToPx(3000), TwipsToPx(2400), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }), Tick(kPaletteAuto, false), Choose(kPaletteList, 2), Text(kPaletteEdit, "keep"),
        ClickInto(kPaletteEdit), HasFocus(kPaletteEdit), Keys(kPalette, "z z"), Text(kPaletteEdit, "zzkeep"),
        Menu(IDM_EXIT), Do([&](Session& s) {
          CHECK_MSG(s.programs.WaitExit(s.pid) && s.programs.ExitCode(s.pid) == 0, "QSOPAD did not end well");
          CHECK_MSG(s.programs.WaitExit(station), "the station was not closed");
          const Journal j = s.StationSince();
          CHECK_MSG(Select(j, "form", "WM_CLOSE").size() == 1 && Select(j, "app", "EXIT").size() == 1, Dump(j));
          const auto cpl = ReadSetting(s.folder(), "Win", "CPL"), cpt = ReadSetting(s.folder(), "Win", "CPT");
          CHECK_MSG(cpl && cpt && std::abs(std::atoi(cpl->c_str()) - 3000) <= 15 && std::abs(std::atoi(cpt->c_str()) - 2400) <= 15,
                    cpl.value_or("-") << ", " << cpt.value_or("-"));
        }), Stored("Win/Left", Twips(60)), Stored("Win/Top", Twips(70)), Stored("Win/Width", Twips(620)),
        Stored("Win/Height", Twips(480)), Stored("Win/PX", "700"), Stored("Win/PY", "300"), Stored("Win/PW", "560"),
        Stored("Win/PH", "250"), Stored("Win/MPX", Twips(200)), Stored("Win/MPY", Twips(120)), Stored("Win/MPW", Twips(330)),
        Stored("Win/MPH", Twips(260)), Stored("Win/LULeft", Twips(30)), Stored("Win/LUTop", Twips(40)),
        Stored("Win/LUWidth", Twips(320)), Stored("Win/LUHeight", Twips(200)), Stored("Opt/MPAL", "0"),
        Stored("Macro/12", "keep")}});
  rows.push_back({"started again: the station moved back, QSOPAD where it was, the palette not shown until asked for",
       {Do([](Session& s) {
          s.StartStation();  // at its own default place
          s.Restart();
          Expect("the station's place", [] { return RectText(WindowRectOf(FindPsk31().form)); }, "700,300 560x250");
        }), Placed(kMain, {60, 70, 680, 550}, 0),
        // The call sign window opens after the palette would have.
        IsShown(kCallsign), IsGone(kPalette), Text(kCallsignMore, "More&>>>"), Menu(IDM_MPAL), IsShown(kPalette),
        Placed(kPalette, {200, 120, 530, 380}, 0), Placed(kCallsign, AtTwips(3000, 2400, 4560, kAnyHeight))}});
  rows.push_back({"the session ends: shutdown runs once, the log program told once, a later close runs nothing",
       {Do([](Session& s) {
          s.StartLog(true);
          SetWindowPos(s.main, nullptr, 40, 50, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE);
          DWORD_PTR answer = 0;
          CHECK_MSG(SendMessageTimeoutA(s.main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, kWaitMs, &answer) &&
                        answer != 0, "QSOPAD refused to let the session end");
          SendMessageTimeoutA(s.main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, kWaitMs, &answer);
        }), Logged("form", "WM_CLOSE"), Stored("Win/Left", Twips(40)), Stored("Win/PX", "700"), LogGot(" 0:x"),
        Do([](Session& s) {
          if (IsWindow(s.main)) {
            SetWindowPos(s.main, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            PostMessageA(s.main, WM_CLOSE, 0, 0);
          }
          REQUIRE_MSG(s.programs.WaitExit(s.pid), "QSOPAD did not end");
          // The closing announced, then the partner told by QSOPAD's window with a record of code 0.
          const Journal j = s.LogSince();
          const Journal funcs = Select(j, "log", "FUNC"), records = Select(j, "log", "RECORD");
          const auto sender = std::strtoull(records.empty() ? "" : records[0].Arg(2).c_str(), nullptr, 16);
          CHECK_MSG(Announcements(j) == " f:1,0" && records.size() == 1 && funcs[0].ms <= records[0].ms &&
                        records[0].Arg(1) == "1" && sender == reinterpret_cast<std::uintptr_t>(s.main), Dump(j));
        }), LogGot(" 0:x"), Stored("Win/Left", Twips(40))}});
  RunRows(s, rows);
}

E2E_SCENARIO(callbook_lookups_in_32bit_build) {
  Session s("callbook");
  Install(s, JoinPath(Build32Dir(), "src\\win32\\qsopad.exe"));
  s.StartStation();
  s.StartQsopad({{"URLS", "CSLOOKUP", "*QRZ"}, {"Opt", "LUName", "1"}});
  std::vector<Row> rows = {
      // (The 64-bit build cannot load the libraries: the lookups show that this is the 32-bit one.)
      {"the 32-bit program, its call sign window opened out with \"Fill in name\" on",
       {Menu(IDM_CALL), IsChecked({kCsf, IDC_CSF_CHECK5, "Fill in name"}, true), Click(kCallsignMore),
        IsEnabled(kCallsignData, true)}},
      LookUp("W1AW", "", "W1AW HIRAM PERCY MAXIM\r\n225 Main St\r\nNewington, CT 06111", "Callsign Lookup: W1AW", "Hiram"),
      // An answer that fills the buffer with no NUL is all of the buffer and nothing past it.
      LookUp("K2FULL", "", "K2FULL JANE DOE ....*!", "Callsign Lookup: K2FULL", "Jane") + std::vector<Step>{Do([](Session& s) {
        CHECK_MSG(TextOf(s.Find(kResultText)).size() == 1024, TextOf(s.Find(kResultText)).size() << " bytes");
      })},
      LookUp("N0CALL", "", "{NOT FOUND}", "Callsign Lookup", ""),
      // A library that faults is a failed call; the next lookup works again.
      LookUp("CRASH", "QRZ32.DLL not found or QRZ error", "Error!", "Callsign Lookup: ", ""),
      LookUp("W1AW", "", "W1AW HIRAM PERCY MAXIM\r\n225 Main St\r\nNewington, CT 06111", "Callsign Lookup: W1AW", "Hiram"),
      // Flying Horse: the call trimmed and in lower case, to the CD-ROM in drive Q:.
      Row{"Flying Horse", Source("*FLY DRIVE=Q:\\")} +
          LookUp(" W1AW ", "", "W1AW MAXIM\r\nHIRAM PERCY ,NEWINGTON CT (HARTFORD County)\r\nLong=-72.72, Lat=41.71\r\nARRL HQ",
                 "Callsign Lookup: W1AW", "Hiram").steps,
      LookUp("K2ABC", "", "K2ABC JANE DOE\r\n12 Elm St\r\nAlbany NY\r\nvia W2XYZ", "Callsign Lookup: K2ABC", "JANE"),
      LookUp("N0CALL", "", "{Not Found}", "Callsign Lookup", ""),
      Row{"Flying Horse in drive d:, where there is no CD-ROM", Source("*FLY")} +
          LookUp("W1AW", "Flying Horse CD error", "Error!", "Callsign Lookup: ", "").steps,
      // Buckmaster: "\" appended to the folder, the call in upper case.
      Row{"Buckmaster", Source("*BUCK DRIVE=Q:\\HAM0")} +
          LookUp("w1aw", "", "W1AW HIRAM P MAXIM\r\n225 Main St\r\nNEWINGTON, CT 06111\r\nCounty: HARTFORD\r\n"
                             "Lat: 41.71 Long: -72.72 (FN31)\r\nClass A   Exp 2030", "Callsign Lookup: W1AW", "HIRAM").steps,
      LookUp("N0CALL", "", "{NOT FOUND}", "Callsign Lookup", ""),
  };
  RunRows(s, rows);
}
