// Scenarios of the macro commands in the real qsopad.exe against the PSK31 stand-in: "@"
// macros that send text files, the serial-number codes and commands, the own-call prompt,
// the time word and the Xmit > File dialog. What the operator sees is read from the typing area,
// what went out from the stand-in's journal.
#include <windows.h>

#include <cstdio>
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
// Long enough for a few timer ticks to have run.
constexpr int kSettle = 500;
constexpr char kMyCall[] = "ZX0AB";

// The file dialog's file name box: a combo box in the Explorer style, an edit in the old one.

std::string MemoText(const RoadSession& s) { return CharsTo(ReadJournal(s.psk31Journal), "memo"); }

// Waits until the memo has received exactly `expected`, then gives the pump a few more ticks
// and checks that nothing followed.
void ExpectMemo(const RoadSession& s, const std::string& expected) {
  WaitUntil([&] { return MemoText(s).size() >= expected.size(); }, kWait);
  Pause(kSettle);
  const std::string memo = MemoText(s);
  CHECK_MSG(memo == expected, "the memo got \"" << Visible(memo) << "\", not \"" << Visible(expected) << "\"");
}

void ExpectTyping(const RoadSession& s, const std::string& expected) {
  CHECK_MSG(WaitText(s.text1, expected, kWait),
            "the typing area shows \"" << Visible(TextOf(s.text1)) << "\", not \"" << Visible(expected) << "\"");
}

// Closing a dialog stalls QSOPAD's thread for a while under Wine with no window manager:
// waits until it answers again, then gives its timer a few ticks.
void Settle(const RoadSession& s) {
  CHECK_MSG(WaitUntil([&] { return Answers(s.main); }, kWait), "QSOPAD does not answer");
  Pause(kSettle);
}

// Answers an open input box that asks `prompt` with `answer` and the button `id`.
void Answer(DWORD pid, const std::string& prompt, const std::string& answer, int id = IDOK) {
  HWND box = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (box = FindMessageBox("QSOPAD", pid)) && GetDlgItem(box, IDC_INPUT_EDIT); }, kWait),
              "no input box asking \"" << prompt << "\"");
  const std::string asked = TextOf(GetDlgItem(box, IDC_INPUT_PROMPT));
  CHECK_MSG(asked == prompt, "the input box asks \"" << asked << "\"");
  SendMessageA(GetDlgItem(box, IDC_INPUT_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(answer.c_str()));
  REQUIRE_MSG(PressAndWaitClosed(box, id, kWait), "the input box stayed open");
}

// A right click on one of the main window's buttons, as the mouse gives it.
void RightClick(HWND button) {
  PostMessageA(button, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
  PostMessageA(button, WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
}

std::string Stored(RoadSession& s, const char* section, const char* key) {
  return ReadSetting(s.temp().path(), section, key).value_or("<absent>");
}

// The time word for this local time shifted by `hours`: " dd Mon yyyy hh:mmz ".
std::string TimeWord(const SYSTEMTIME& local, int hours) {
  FILETIME ft;
  SystemTimeToFileTime(&local, &ft);
  ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
  v.QuadPart += static_cast<ULONGLONG>(hours * 36000000000LL);  // wraps below zero as it should
  ft = {v.LowPart, v.HighPart};
  SYSTEMTIME t;
  FileTimeToSystemTime(&ft, &t);
  char month[32] = {}, word[64];
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVMONTHNAME1 + t.wMonth - 1U, month, sizeof month);
  std::snprintf(word, sizeof word, " %02u %s %04u %02u:%02uz ", static_cast<unsigned>(t.wDay), month,
                static_cast<unsigned>(t.wYear), static_cast<unsigned>(t.wHour), static_cast<unsigned>(t.wMinute));
  return word;
}

}  // namespace

E2E_SCENARIO(macros_file_macro_sends_lines_and_reports_errors) {
  RoadSession s;
  const std::string lines = s.temp().File("lines.txt");
  // Mixed line ends, and a last line with none.
  REQUIRE(WriteFileText(lines, "cq cq\r\nde ^M\npse k"));
  s.StartStation();
  s.StartQsopad({{"Call", "MyCall", kMyCall}, {"Macro", "10", "@" + lines}, {"Macro", "11", "@"}});
  const std::string shown = "cq cq\r\nde ZX0AB\r\npse k\r\n";
  PostKey(s.text1, VK_F1);
  ExpectTyping(s, shown);
  // "@" alone names no file.
  PostKey(s.text1, VK_F2);
  const MessageBoxInfo box = WaitMessageBox("Error", kWait, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no error for a macro of \"@\" alone");
  CHECK_MSG(box.text.rfind("File Error: ", 0) == 0 && box.text.size() > 12, box.text);
  CHECK(PressAndWaitClosed(box.hwnd, IDOK, kWait));
  Settle(s);
  CHECK_MSG(TextOf(s.text1) == shown && MemoText(s).empty(), "typing area: " << Visible(TextOf(s.text1)));
  // The lines were only queued; a transmission sends each with a carriage return.
  PostKey(s.text1, VK_F9);
  ExpectMemo(s, "cq cq\rde ZX0AB\rpse k\r");
}

E2E_SCENARIO(macros_serial_number_and_own_call_commands) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "SerialNo", "9"}, {"Call", "MyCall", kMyCall}, {"Macro", "10", "^#^+^#"}});
  HWND button = GetDlgItem(s.main, IDC_COMMAND6);
  CHECK_MSG(TextOf(button) == "S/&N ", TextOf(button));
  auto expectSerial = [&](const char* caption, const char* stored) {
    CHECK_MSG(WaitText(button, caption, kWait), TextOf(button) << ", expected " << caption);
    CHECK_MSG(WaitUntil([&] { return Stored(s, "Opt", "SerialNo") == stored; }, kWait), Stored(s, "Opt", "SerialNo"));
  };
  // The menu increment: a space after the colon.
  PostCommand(s.main, IDM_INCR);
  expectSerial("S/&N: 0010", "10");
  // The macro sends the number, increments it and sends the next: no space in the caption.
  PostKey(s.text1, VK_F1);
  ExpectTyping(s, "00100011");
  expectSerial("S/&N:0011", "11");
  // Set Serial from the menu, and from the right button on the serial-number button.
  PostCommand(s.main, IDM_SETSERIAL);
  Answer(s.qsopad.pid, "Serial Number?", "12");
  expectSerial("S/&N:0012", "12");
  RightClick(button);
  Answer(s.qsopad.pid, "Serial Number?", "13.5");
  expectSerial("S/&N:0014", "14");
  // Xmit > Serial Number sends the number in use as a word.
  PostCommand(s.main, IDM_XSERIAL);
  ExpectTyping(s, "00100011 0014 ");

  // The right button on the own-call button asks for a new call, which the button then sends.
  HWND call = GetDlgItem(s.main, IDC_COMMAND3);
  RightClick(call);
  Answer(s.qsopad.pid, "Set your call sign", "ZX9QQ");
  CHECK_MSG(WaitText(call, "ZX9QQ", kWait) && Stored(s, "Call", "MyCall") == "ZX9QQ", TextOf(call));
  ClickButton(s.main, IDC_COMMAND3);
  ExpectTyping(s, "00100011 0014  ZX9QQ ");
  PostKey(s.text1, VK_F9);
  ExpectMemo(s, "00100011 0014  ZX9QQ ");
}

E2E_SCENARIO(macros_time_and_date_word) {
  RoadSession s;
  s.StartStation();
  // Three hours added to local time make "GMT".
  constexpr int kGmt = 3;
  s.StartQsopad({{"Opt", "GMT", std::to_string(kGmt)}});
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  PostCommand(s.main, IDM_XTIME);
  const bool shown = WaitUntil([&] { return TextOf(s.text1).size() >= 20; }, kWait);
  GetLocalTime(&after);
  REQUIRE_MSG(shown, "Xmit > Time and Date added no time word: \"" << Visible(TextOf(s.text1)) << "\"");
  // The minute may turn between the two readings of the clock.
  const std::string word = TextOf(s.text1);
  CHECK_MSG(word == TimeWord(before, kGmt) || word == TimeWord(after, kGmt),
            "\"" << Visible(word) << "\", expected \"" << TimeWord(after, kGmt) << "\"");
  PostKey(s.text1, VK_F9);
  ExpectMemo(s, word);
}

E2E_SCENARIO(macros_xmit_file_dialog_cancel_and_pick) {
  RoadSession s;
  const std::string file = s.temp().File("qso.txt");
  REQUIRE(WriteFileText(file, "name ^M\r\nqth here\r\n"));
  s.StartStation();
  s.StartQsopad({{"Call", "MyCall", kMyCall}});

  auto open = [&]() -> HWND {
    PostCommand(s.main, IDM_XFILE);
    HWND dialog = nullptr;
    WaitUntil([&] { return (dialog = FindMessageBox("Select File", s.qsopad.pid)) != nullptr; }, kWait);
    return dialog;
  };
  HWND dialog = open();
  REQUIRE_MSG(dialog, "no \"Select File\" dialog");
  CHECK(GetWindow(dialog, GW_OWNER) == s.main);
  REQUIRE(PressAndWaitClosed(dialog, IDCANCEL, kWait));
  Settle(s);
  CHECK_MSG(TextOf(s.text1).empty(), "cancelling queued \"" << Visible(TextOf(s.text1)) << "\"");
  CHECK(!FindMessageBox("Error", s.qsopad.pid));

  // Picking a file by typing its full name sends its lines like an "@" macro.
  PostCommand(s.main, IDM_XFILE);
  REQUIRE_MSG(PickFile("Select File", file, s.qsopad.pid, kWait), "no \"Select File\" dialog the second time");
  ExpectTyping(s, "name ZX0AB\r\nqth here\r\n");
  PostKey(s.text1, VK_F9);
  ExpectMemo(s, "name ZX0AB\rqth here\r");
}
