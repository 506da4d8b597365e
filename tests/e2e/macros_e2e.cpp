// Scenarios of the macro commands in the real qsopad.exe against the PSK31 stand-in: function
// key macros (default, stored, stored empty), "@" macros that send text files, caret codes
// inside a file, Repeat Last, the serial-number codes and commands, the own-call prompt, the
// time word and the Xmit > File dialog. What the operator sees is read from the typing area,
// what went out from the stand-in's journal.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
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
// Long enough for a few timer ticks to have run.
constexpr int kSettle = 500;
constexpr char kMyCall[] = "ZX0AB";

// The file dialog's file name box: a combo box in the Explorer style, an edit in the old one.
constexpr int kFileNameCombo = 0x47c;
constexpr int kFileNameEdit = 0x480;

std::string MemoText(const RoadSession& s) { return CharsTo(ReadJournal(s.psk31Journal), "memo"); }

size_t F5Count(const RoadSession& s) {
  const Journal keys = Select(ReadJournal(s.psk31Journal), "panel", "WM_KEYDOWN");
  return static_cast<size_t>(std::count_if(keys.begin(), keys.end(), [](auto& e) { return e.Num(0) == VK_F5; }));
}

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

// The visible message box with this title that is not the program's input box.
HWND FindPlainBox(DWORD pid, const std::string& title) {
  HWND box = FindDialog(pid, title);
  return box && !GetDlgItem(box, IDC_INPUT_EDIT) ? box : nullptr;
}

HWND WaitInputBox(DWORD pid) {
  HWND box = nullptr;
  const bool up = WaitUntil([&] { return (box = FindDialog(pid, "QSOPAD")) && GetDlgItem(box, IDC_INPUT_EDIT); }, kWait);
  return up ? box : nullptr;
}

// Answers an open input box that asks `prompt` with `answer` and the button `id`.
void Answer(DWORD pid, const std::string& prompt, const std::string& answer, int id = IDOK) {
  HWND box = WaitInputBox(pid);
  REQUIRE_MSG(box, "no input box asking \"" << prompt << "\"");
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

E2E_SCENARIO(macros_function_keys_and_own_call) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Call", "MyCall", kMyCall}, {"Macro", "11", ""}});
  HWND button = GetDlgItem(s.main, IDC_COMMAND3);
  CHECK_MSG(TextOf(button) == kMyCall, TextOf(button));
  // F2 is stored empty: it sends nothing rather than its default (the own call).
  PostKey(s.text1, VK_F2);
  // F1 was never stored: its default, the partner's call (none yet), de and the own call.
  PostKey(s.text1, VK_F1);
  ExpectTyping(s, "  de ZX0AB ");
  Pause(kSettle);
  CHECK_MSG(MemoText(s).empty(), "sent before transmitting: " << Visible(MemoText(s)));

  // The right button on the own-call button asks for a new call; Cancel and an empty answer
  // keep it.
  RightClick(button);
  Answer(s.qsopad.pid, "Set your call sign", "ZX9QQ");
  CHECK_MSG(WaitUntil([&] { return Stored(s, "Call", "MyCall") == "ZX9QQ"; }, kWait), Stored(s, "Call", "MyCall"));
  RightClick(button);
  Answer(s.qsopad.pid, "Set your call sign", "ZX7XX", IDCANCEL);
  RightClick(button);
  Answer(s.qsopad.pid, "Set your call sign", "");
  Settle(s);
  CHECK_MSG(Stored(s, "Call", "MyCall") == "ZX9QQ", Stored(s, "Call", "MyCall"));

  // The new call is the one sent, by the button and by the macros; F9's default starts the
  // transmission and no receive code ends it.
  ClickButton(s.main, IDC_COMMAND3);
  PostKey(s.text1, VK_F1);
  ExpectTyping(s, "  de ZX0AB  ZX9QQ   de ZX9QQ ");
  PostKey(s.text1, VK_F9);
  ExpectMemo(s, "  de ZX0AB  ZX9QQ   de ZX9QQ ");
  CHECK_MSG(F5Count(s) == 0, "the transmission ended without a receive code");
}

E2E_SCENARIO(macros_file_macros_send_lines_and_report_errors) {
  RoadSession s;
  const std::string lines = s.temp().File("lines.txt");
  const std::string empty = s.temp().File("empty.txt");
  const std::string over = s.temp().File("over.txt");
  // Mixed line ends, and a last line with none.
  REQUIRE(WriteFileText(lines, "cq cq\r\nde zx0ab\npse k"));
  REQUIRE(WriteFileText(empty, ""));
  REQUIRE(WriteFileText(over, "^Xhello^R\r\n"));
  s.StartStation();
  s.StartQsopad({{"Call", "MyCall", kMyCall},
                 {"Macro", "10", "@" + lines},
                 {"Macro", "11", "@"},
                 {"Macro", "12", "@" + empty},
                 {"Macro", "13", "@" + over}});
  // No Send: the line's own codes start and end the transmission.
  PostKey(s.text1, VK_F4);
  const JournalEntry f5 = WaitJournal(s.psk31Journal, "panel", "WM_KEYDOWN", kWait,
                                      [](const JournalEntry& e) { return e.Num(0) == VK_F5; });
  REQUIRE_MSG(!f5.event.empty(), "no F5" << Dump(ReadJournal(s.psk31Journal)));
  Pause(kSettle);
  const std::vector<StampedChar> chars = MemoChars(ReadJournal(s.psk31Journal));
  // The line's carriage return stands behind the receive marker: it waits for the next
  // transmission.
  CHECK_MSG(MemoText(s) == "hello", "the memo got \"" << Visible(MemoText(s)) << "\"");
  CHECK_MSG(!chars.empty() && f5.ms >= chars.back().ms, "F5 came before the last character");
  CHECK_MSG(F5Count(s) == 1, Dump(ReadJournal(s.psk31Journal)));
  const std::string shown = "hello\\\r\ncq cq\r\nde zx0ab\r\npse k\r\n";
  PostKey(s.text1, VK_F1);
  ExpectTyping(s, shown);

  // An empty file sends nothing and says nothing.
  PostKey(s.text1, VK_F3);
  Pause(kSettle);
  CHECK_MSG(!FindPlainBox(s.qsopad.pid, "Error"), "an empty file was reported");
  // "@" alone names no file.
  PostKey(s.text1, VK_F2);
  const MessageBoxInfo box = WaitMessageBox("Error", kWait, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no error for a macro of \"@\" alone");
  CHECK_MSG(box.text.rfind("File Error: ", 0) == 0 && box.text.size() > 12, box.text);
  CHECK(PressAndWaitClosed(box.hwnd, IDOK, kWait));
  CHECK(WaitUntil([&] { return Answers(s.main); }, kWait));
  CHECK_MSG(TextOf(s.text1) == shown, "typing area: " << Visible(TextOf(s.text1)));

  // The lines were only queued; a transmission sends each with a carriage return.
  CHECK_MSG(MemoText(s) == "hello", "sent before transmitting: " << Visible(MemoText(s)));
  PostKey(s.text1, VK_F9);
  ExpectMemo(s, "hello\rcq cq\rde zx0ab\rpse k\r");
}

E2E_SCENARIO(macros_repeat_last_expands_literal_code_again) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Call", "MyCall", kMyCall}, {"Macro", "10", "^9pse ^^M^0"}});
  PostKey(s.text1, VK_F1);
  REQUIRE_MSG(WaitUntil([&] { return F5Count(s) == 1; }, kWait), "no F5" << Dump(ReadJournal(s.psk31Journal)));
  CHECK_MSG(MemoText(s) == "pse ^M", "the memo got \"" << Visible(MemoText(s)) << "\"");
  PostCommand(s.main, IDM_XRPT);
  // What went out the first time is expanded on the way out again.
  REQUIRE_MSG(WaitUntil([&] { return F5Count(s) == 2; }, kWait), "no second F5" << Dump(ReadJournal(s.psk31Journal)));
  Pause(kSettle);
  const Journal j = ReadJournal(s.psk31Journal);
  CHECK_MSG(CharsTo(j, "memo") == "pse ^Mpse ZX0AB", "the memo got \"" << Visible(CharsTo(j, "memo")) << "\"");
  CHECK_MSG(F5Count(s) == 2, Dump(j));
  // The second F5 follows the repeated text.
  const std::vector<StampedChar> chars = MemoChars(j);
  const std::int64_t secondF5 = FirstAt(j, "panel", "WM_KEYDOWN", VK_F5, FirstAt(j, "panel", "WM_KEYDOWN", VK_F5) + 1);
  CHECK_MSG(!chars.empty() && secondF5 >= chars.back().ms, Dump(j));
  CHECK_MSG(TextOf(s.text1) == "pse ^M\\pse ZX0AB\\", "typing area: " << Visible(TextOf(s.text1)));
}

E2E_SCENARIO(macros_serial_number_codes_and_commands) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "SerialNo", "9"}, {"Macro", "10", "^#^+^#"}});
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
  // Xmit > Serial Number sends the current number as a word.
  PostCommand(s.main, IDM_XSERIAL);
  ExpectTyping(s, "00100011 0011 ");

  // Set Serial: a half goes to the even neighbour, both ways; the right button on the
  // serial-number button asks the same.
  PostCommand(s.main, IDM_SETSERIAL);
  Answer(s.qsopad.pid, "Serial Number?", "12.5");
  expectSerial("S/&N:0012", "12");
  RightClick(button);
  Answer(s.qsopad.pid, "Serial Number?", "13.5");
  expectSerial("S/&N:0014", "14");
  // Not a number: reported, nothing changes.
  PostCommand(s.main, IDM_SETSERIAL);
  Answer(s.qsopad.pid, "Serial Number?", "abc");
  HWND box = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (box = FindPlainBox(s.qsopad.pid, "QSOPAD")) != nullptr; }, kWait),
              "no message for \"abc\"");
  CHECK_MSG(MessageBoxText(box) == "Invalid Number", MessageBoxText(box));
  CHECK(PressAndWaitClosed(box, IDOK, kWait));
  // Cancel and an empty answer do nothing either.
  PostCommand(s.main, IDM_SETSERIAL);
  Answer(s.qsopad.pid, "Serial Number?", "77", IDCANCEL);
  PostCommand(s.main, IDM_SETSERIAL);
  Answer(s.qsopad.pid, "Serial Number?", "");
  Settle(s);
  CHECK_MSG(!FindPlainBox(s.qsopad.pid, "QSOPAD"), "a message for Cancel or an empty answer");
  CHECK_MSG(TextOf(button) == "S/&N:0014" && Stored(s, "Opt", "SerialNo") == "14", TextOf(button));
  // The number in use is the one kept, and all of it goes out.
  PostCommand(s.main, IDM_XSERIAL);
  ExpectTyping(s, "00100011 0011  0014 ");
  PostKey(s.text1, VK_F9);
  ExpectMemo(s, "00100011 0011  0014 ");
}

E2E_SCENARIO(macros_time_and_date_word) {
  RoadSession s;
  s.StartStation();
  // Three hours added to local time make "GMT".
  constexpr int kGmt = 3;
  s.StartQsopad({{"Opt", "GMT", std::to_string(kGmt)}});
  // Runs the action and checks the word it appends to the typing area.
  auto sends_time = [&](const char* what, const std::function<void()>& action) {
    const std::string earlier = TextOf(s.text1);
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    action();
    const bool grew = WaitUntil([&] { return TextOf(s.text1).size() >= earlier.size() + 20; }, kWait);
    GetLocalTime(&after);
    REQUIRE_MSG(grew, what << " added no time word: \"" << Visible(TextOf(s.text1)) << "\"");
    const std::string word = TextOf(s.text1).substr(earlier.size());
    // The minute may turn between the two readings of the clock.
    CHECK_MSG(word == TimeWord(before, kGmt) || word == TimeWord(after, kGmt),
              what << ": \"" << Visible(word) << "\", expected \"" << TimeWord(after, kGmt) << "\"");
  };
  sends_time("Xmit > Time and Date", [&] { PostCommand(s.main, IDM_XTIME); });
  sends_time("Time/Date button", [&] { ClickButton(s.main, IDC_COMMAND5); });
  const std::string both = TextOf(s.text1);
  PostKey(s.text1, VK_F9);
  ExpectMemo(s, both);
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
    WaitUntil([&] { return (dialog = FindDialog(s.qsopad.pid, "Select File")) != nullptr; }, kWait);
    return dialog;
  };
  HWND dialog = open();
  REQUIRE_MSG(dialog, "no \"Select File\" dialog");
  CHECK(GetWindow(dialog, GW_OWNER) == s.main);
  REQUIRE(PressAndWaitClosed(dialog, IDCANCEL, kWait));
  Settle(s);
  CHECK_MSG(TextOf(s.text1).empty(), "cancelling queued \"" << Visible(TextOf(s.text1)) << "\"");
  CHECK(!FindPlainBox(s.qsopad.pid, "Error"));

  // Picking a file by typing its full name sends its lines like an "@" macro.
  dialog = open();
  REQUIRE_MSG(dialog, "no \"Select File\" dialog the second time");
  HWND name = GetDlgItem(dialog, kFileNameCombo);
  if (!name) name = GetDlgItem(dialog, kFileNameEdit);
  REQUIRE_MSG(name, "the dialog has no file name box");
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.c_str()));
  REQUIRE(PressAndWaitClosed(dialog, IDOK, kWait));
  ExpectTyping(s, "name ZX0AB\r\nqth here\r\n");
  PostKey(s.text1, VK_F9);
  ExpectMemo(s, "name ZX0AB\rqth here\r");
}
