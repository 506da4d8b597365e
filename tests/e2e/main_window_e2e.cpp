// The main window and the transmit road on one QSOPAD that launched the PSK31 stand-in itself: the about box, the
// function keys pressed for real, "@" macros and Xmit > File, serial numbers and the own call, the time word, typing
// and backspace, the log program following the transmit state, and an unexpected error.
#include <cstdio>

#include "driver.h"

using namespace e2e;

namespace {

// " dd Mon yyyy hh:mmz ": this local time three hours on (option "GMT" 3).
std::string TimeWord(SYSTEMTIME local) {
  FILETIME ft;
  SystemTimeToFileTime(&local, &ft);
  ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
  v.QuadPart += 3 * 36000000000ULL;
  ft = {v.LowPart, v.HighPart};
  SYSTEMTIME t;
  FileTimeToSystemTime(&ft, &t);
  char month[32] = {}, word[64];
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVMONTHNAME1 + t.wMonth - 1U, month, sizeof month);
  std::snprintf(word, sizeof word, " %02u %s %04u %02u:%02uz ", t.wDay, month, t.wYear, t.wHour, t.wMinute);
  return word;
}

std::int64_t sendAt = 0;  // when Send was last clicked: nothing may reach the memo before
Step SendNow() {
  return Do([](Session& s) {
    sendAt = NowMs();
    ClickButton(s.Require(kSend));
  });
}
Step NothingBeforeSend() {
  return Do([](Session& s) {
    const Journal chars = Select(s.StationSince(), "memo", "WM_CHAR");
    CHECK_MSG(chars.empty() || chars[0].ms >= sendAt, "sent before Send" << Dump(chars));
  });
}

// Send, then Rcv queued behind the text: the station's F5 ends what went out. Each row waits
// for the end of its own transmissions, which the rows after it count.
std::vector<Step> Transmit(const std::string& memo) {
  return {SendNow(), Click(kRcv), Station("panel", "F5"), Memo(memo), NothingBeforeSend(), Logged("app", "TXEND")};
}

}  // namespace

E2E_SCENARIO(main_window_session) {
  Session s("main");
  REQUIRE_MSG(!FindPsk31().form, "a PSK31 program is already running");
  REQUIRE(WriteFileText(s.File("lines.txt"), "cq cq\r\nde ^M\npse k"));  // mixed line ends, none at the end
  REQUIRE(WriteFileText(s.File("qso.txt"), "name ^M\r\nqth here\r\n"));
  s.StartLog(false);  // hears the start-up announcement
  // No station runs: QSOPAD launches it from its default path.
  s.StartQsopad({{"Call", "MyCall", "ZX0AB"}, {"Opt", "SerialNo", "9"}, {"Opt", "GMT", "3"},
                 // Each macro that a function key runs names the key.
                 {"Macro", "10", "<F1>"}, {"Macro", "18", "<F9>"}, {"Macro", "19", "<F10>"},
                 {"Macro", "0", "<SF1>"}, {"Macro", "9", "<SF10>"}, {"Macro", "11", "@"},
                 {"Macro", "12", "^#^+^#"}, {"Macro", "13", std::string("@").append(s.File("lines.txt"))}});
  std::string word;
  RunRows(s, {
      {"QSOPAD launches the station minimised, types nothing into it and opens at the default place",
       {HasFocus(kText1), Do([](Session& s) {
          const Psk31Windows w = FindPsk31();
          REQUIRE_MSG(w.app && w.form && ProcessOf(w.form) != s.pid, "QSOPAD launched no PSK31 program");
          CHECK_MSG(IsIconic(w.app) && IsIconic(w.form), "the station was not launched minimised");
          const Journal j = ReadJournal(s.psk31Journal);
          const Journal starts = Select(j, "app", "START");
          CHECK_MSG(starts.size() == 1 && starts[0].Num(0) == ProcessOf(w.form), Dump(j));
          for (const char* role : {"app", "form", "panel", "memo", "rxbox", "txbox"}) CHECK_MSG(Trail(j, role).empty(), role);
          const RECT half{0, 0, GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2};
          Expect("QSOPAD's place", [&] { return RectText(WindowRectOf(s.main)); }, RectText(half));
        })}},
      {"the about box is modal, owned by the main window and shows the file's version",
       {Menu(IDM_ABOUT), Text({"#32770", IDC_ABOUT_VERSION, "version"}, "Version " QSOPAD_VERSION_TEXT),
        IsEnabled(kMain, false), Do([](Session& s) { CHECK(GetWindow(GetParent(s.Find(kDialogOk)), GW_OWNER) == s.main); }),
        Click(kDialogOk), IsEnabled(kMain, true)}},
      // F10 and Shift+F10 are system keys: the "q" after them shows no menu took the keyboard.
      {"function keys with Retro off run macros, press the station's keys and the program's commands",
       {Keys(kMain, "F1"), Text(kText1, "<F1>"), Keys(kMain, "F9"), Text(kText1, "<F1><F9>"), Keys(kMain, "F10 q"),
        Text(kText1, "<F1><F9><F10>q"), Keys(kMain, "shift+F1 shift+F10 q"), Text(kText1, "<F1><F9><F10>q<SF1><SF10>q"),
        Keys(kMain, "ctrl+F1 ctrl+F1 Insert Delete"), Station("panel", "F1 F1"), Station("memo", "Right Left"),
        Keys(kMain, "q"), Text(kText1, "<F1><F9><F10>q<SF1><SF10>qq"),
        // Clear Buffer, then only what follows goes out; Repeat Last sends it again.
        Keys(kMain, "ctrl+F9"), Text(kText1, ""), Keys(kMain, "h i alt+s"), Memo("hi"), Keys(kMain, "alt+r"),
        Text(kText1, "hi\\"), Station("panel", "F1 F1 F5"), Logged("app", "TXEND"), Keys(kMain, "ctrl+F12"),
        Text(kText1, "hi\\hi\\"), Memo("hihi"), Station("panel", "F1 F1 F5 F5"), Logged("app", "TXEND", 2), Do([](Session& s) {
          const Journal j = s.StationSince();
          const Journal chars = Select(j, "memo", "WM_CHAR"), keys = Select(j, "panel", "WM_KEYDOWN");
          CHECK_MSG(keys[2].ms > chars[1].ms, "alt+r: F5 before the text" << Dump(j));
        }), Keys(kMain, "F11"), Answer("Enter new RX frequency", "", IDCANCEL),
        // F12: the call sign window with the keyboard in its call box; Esc closes it.
        Keys(kMain, "F12"), HasFocus(kCallsignCall), Keys(kCallsign, "Escape"), IsGone(kCallsign),
        Keys(kMain, "q"), Text(kText1, "hi\\hi\\q"),
        // Shift+F12 shows the palette and leaves the keyboard here; Alt+Backspace stops all.
        Keys(kMain, "shift+F12"), IsShown(kPalette), Keys(kMain, "z z"), Text(kText1, "hi\\hi\\qzz"),
        Keys(kMain, "alt+BackSpace"), Text(kText1, ""), Station("panel", "F1 F1 F5 F5 F5 F5"), Memo("hihi"),
        Keys(kMain, "q"), Text(kText1, "q"), Close(kPalette), IsGone(kPalette)}},
      Row{"an \"@\" macro queues a file's lines, sent with a return each; \"@\" alone names no file",
          {Menu(IDM_CLEAR), PostKeyTo(kText1, VK_F4), Text(kText1, "cq cq\r\nde ZX0AB\r\npse k\r\n"),
           PostKeyTo(kText1, VK_F2), Box("Error", "File Error: *"), Text(kText1, "cq cq\r\nde ZX0AB\r\npse k\r\n")}} +
          Transmit("cq cq\rde ZX0AB\rpse k\r"),
      Row{"serial numbers: the menu, a macro, Set Serial and a right click; the own call set by a right click",
          {Text(kSerial, "S/&N "), Menu(IDM_INCR), Text(kSerial, "S/&N: 0010"), Stored("Opt/SerialNo", "10"),
           Menu(IDM_CLEAR), PostKeyTo(kText1, VK_F3), Text(kText1, "00100011"), Text(kSerial, "S/&N:0011"),
           Stored("Opt/SerialNo", "11"), Menu(IDM_SETSERIAL), Answer("Serial Number?", "12"),
           Text(kSerial, "S/&N:0012"), RightClick(kSerial), Answer("Serial Number?", "13.5"),
           Text(kSerial, "S/&N:0014"), Stored("Opt/SerialNo", "14"), Menu(IDM_XSERIAL),
           Text(kText1, "00100011 0014 "), RightClick(kOwnCall), Answer("Set your call sign", "ZX9QQ"),
           Text(kOwnCall, "ZX9QQ"), Stored("Call/MyCall", "ZX9QQ"), Click(kOwnCall),
           Text(kText1, "00100011 0014  ZX9QQ ")}} + Transmit("00100011 0014  ZX9QQ "),
      {"Xmit > Time and Date sends the time three hours on", {Menu(IDM_CLEAR), Text(kText1, ""), Do([&](Session& s) {
          SYSTEMTIME before, after;
          GetLocalTime(&before);
          PostCommand(s.main, IDM_XTIME);
          WaitUntil([&] { return (word = TextOf(s.text1)).size() >= 20; });
          GetLocalTime(&after);
          CHECK_MSG(word == TimeWord(before) || word == TimeWord(after), Visible(word) << ", not " << TimeWord(after));
        }), Click(kSend), Click(kRcv), Station("panel", "F5"),
        Do([&](Session& s) { Expect("the memo", [&] { return CharsTo(s.StationSince(), "memo"); }, word); }),
        Logged("app", "TXEND")}},
      Row{"Xmit > File: Cancel queues nothing, a file picked by name goes like an \"@\" macro",
          {Menu(IDM_CLEAR), Menu(IDM_XFILE), Do([](Session& s) {
             const MessageBoxInfo dialog = WaitMessageBox("Select File", s.pid);
             REQUIRE_MSG(dialog.hwnd && GetWindow(dialog.hwnd, GW_OWNER) == s.main, "no \"Select File\" dialog");
             REQUIRE(PressAndWaitClosed(dialog.hwnd, IDCANCEL));
             PostCommand(s.main, IDM_XFILE);
             REQUIRE(PickFile("Select File", s.File("qso.txt"), s.pid));
           }), Text(kText1, "name ZX9QQ\r\nqth here\r\n")}} +
          Transmit("name ZX9QQ\rqth here\r"),
      // After a transmission a backspace on an empty queue is swallowed; a letter typed and
      // taken back goes from the screen and the queue.
      {"typed text waits for Send, and backspace edits what has not gone",
       {Menu(IDM_CLEAR), Type("\b"), Type("cq 10x\b"), Text(kText1, "cq 10"), SendNow(), IsEnabled(kSend, false),
        Memo("cq 10"), NothingBeforeSend(), Click(kRcv), Text(kText1, "cq 10\\"), Station("panel", "F5"), Type("\b"), Click(kSend),
        Type("y"), Text(kText1, "cq 10\\y"), Click(kRcv), Station("panel", "F5 F5"), Memo("cq 10y"),
        Logged("app", "TXEND", 2)}},
      {"the log program hears the start-up and follows the transmit state; its records set the partner",
       {Do([](Session& s) {
          CHECK_MSG(Announcements(ReadJournal(s.logJournal)).rfind(" f:0,0", 0) == 0, Dump(ReadJournal(s.logJournal)));
          REQUIRE(LogDo(s.log, LogCommand::kPair));
          REQUIRE(!WaitJournal(s.logJournal, "log", "PAIRED").event.empty());
          // The end of the last transmission announced, this row's announcements start here.
          Expect("the last announcement", [&] { return Announcements(ReadJournal(s.logJournal)); }, "* f:0,0", true);
          s.Mark();
        }), Menu(IDM_CLEAR), Type("hi"), Text(kText1, "hi"), Click(kSend), Click(kRcv), Logged("app", "TXEND"),
        Do([](Session& s) {
          Expect("the announcements", [&] { return Announcements(s.LogSince()); }, " f:0,1 f:0,0");
          // Transmit before the first character; receive once the station has sent the text after F5 and enabled Tune.
          const Journal j = s.StationSince(), funcs = Select(s.LogSince(), "log", "FUNC");
          const Journal chars = Select(j, "memo", "WM_CHAR"), keys = Select(j, "panel", "WM_KEYDOWN"),
                        ends = Select(j, "app", "TXEND");
          CHECK_MSG(funcs.size() == 2 && !chars.empty() && !keys.empty() && ends.size() == 1 &&
                        funcs[0].ms <= chars[0].ms && keys[0].ms <= ends[0].ms && ends[0].ms <= funcs[1].ms,
                    Dump(j) << Dump(funcs));
        }),
        LogSends(1, "DL1ABC"), Text(kPartner, "DL1ABC"), Do([](Session& s) { REQUIRE(LogDo(s.log, LogCommand::kLong)); }),
        Text(kPartner, "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOP"
                       "QRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCD"
                       "EFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTU"),
        Do([](Session& s) { REQUIRE(LogDo(s.log, LogCommand::kNull) && LogDo(s.log, LogCommand::kEmpty)); }),
        Text(kPartner, ""), LogSends(1, "K1XYZ"), Text(kPartner, "K1XYZ"), Menu(IDM_CLEAR), Click(kPartner),
        Text(kText1, " K1XYZ "), LogGot("")}},
      {"an unexpected error while transmitting is reported once, the station released, the program ended",
       {Click(kSend), IsEnabled(kSend, false), Do([](Session& s) {
          // A time offset that is no number, as another program stores it in one step.
          REQUIRE(WriteFileText(s.File("QSOPAD.new"), "[Opt]\r\nGMT=abc\r\n"));
          REQUIRE(MoveFileExA(s.File("QSOPAD.new").c_str(), s.File("QSOPAD.ini").c_str(), MOVEFILE_REPLACE_EXISTING));
          const MessageBoxInfo box = WaitMessageBox("QSOPAD", s.pid);
          Expect("the message", [&] { return box.text; }, "Unexpected error. Please report the following:\r\n*: *", true);
          const std::string name = box.text.substr(48, box.text.find(": ", 48) - 48);
          CHECK_MSG(name == "Timer1_Timer" || name == "SExpand" || name == "XTime", name);
          PostMessageA(box.hwnd, WM_COMMAND, IDOK, 0);
          // A second report would hold the program up in its own box.
          CHECK_MSG(s.programs.WaitExit(s.pid), "QSOPAD did not end after OK");
        }), Station("panel", "F5")}},
  });
}
