// Scenarios of the transmit road: typed keys, buttons and macros queue text in QSOPAD, its
// timer types the queue into the PSK31 stand-in's memo one character per tick while
// transmitting, and the transmit state is announced to other programs. What arrived, and
// when, is read from the stand-ins' journals, which share the driver's clock.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver.h"
#include "e2e.h"
#include "qsolog_driver.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;
// Long enough for a few timer ticks to have run.
constexpr int kSettle = 500;

std::string MemoText(const std::string& journalPath) { return CharsTo(ReadJournal(journalPath), "memo"); }

std::string CharsOf(const std::vector<StampedChar>& chars) {
  std::string bytes;
  for (const auto& c : chars) bytes.push_back(static_cast<char>(c.c));
  return bytes;
}

// Waits until the memo has received `expected`, then gives the pump a few more ticks and
// checks that nothing followed.
void ExpectMemo(const RoadSession& s, const std::string& expected) {
  WaitUntil([&] { return MemoText(s.psk31Journal).size() >= expected.size(); }, kWait);
  Pause(kSettle);
  CHECK_MSG(MemoText(s.psk31Journal) == expected, "the memo got \"" << Visible(MemoText(s.psk31Journal)) << "\"");
}

// Types the text into the typing area and waits until it shows `shown`.
void TypeAndSee(RoadSession& s, const std::string& keys, const std::string& shown) {
  TypeKeys(s.text1, keys);
  REQUIRE_MSG(WaitText(s.text1, shown, kWait),
              "the typing area shows \"" << Visible(TextOf(s.text1)) << "\", not \"" << Visible(shown) << "\"");
}

std::vector<LogFunc> FuncsSince(const std::string& logJournal, std::int64_t fromMs) {
  std::vector<LogFunc> funcs;
  for (const auto& f : LogFuncs(ReadJournal(logJournal)))
    if (f.ms >= fromMs) funcs.push_back(f);
  return funcs;
}

std::string FuncsText(const std::vector<LogFunc>& funcs) {
  std::string text;
  for (const auto& f : funcs) text += " [" + std::to_string(f.wparam) + " " + std::to_string(f.lparam) + "]";
  return text;
}

bool WaitFunc(const std::string& logJournal, unsigned long long wparam, long long lparam, std::int64_t fromMs,
              int timeoutMs) {
  return WaitUntil(
      [&] {
        for (const auto& f : FuncsSince(logJournal, fromMs))
          if (f.wparam == wparam && f.lparam == lparam) return true;
        return false;
      },
      timeoutMs);
}

}  // namespace

E2E_SCENARIO(road_typed_text_waits_for_send_and_backspace_edits) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "SendCR", "1"}, {"Opt", "Zero", "True"}});
  // Nothing queued and no transmission ended yet: the backspace is queued for the memo. A
  // letter typed and taken back goes from the screen and the queue; the zero is shown
  // slashed but sent plain.
  TypeKeys(s.text1, "\b");
  const std::string shown = std::string("cq 1") + static_cast<char>(216);
  TypeAndSee(s, "cq 10x\b", shown);
  Pause(kSettle);
  CHECK_MSG(MemoText(s.psk31Journal).empty(), "sent in receive mode: " << Visible(MemoText(s.psk31Journal)));
  // The carriage return of the transmit command joins the queue behind what waits there.
  ClickButton(s.main, IDC_COMMAND1);
  ExpectMemo(s, "\bcq 10\r");
  CHECK_MSG(TextOf(s.text1) == shown + "\r\n", "typing area: " << Visible(TextOf(s.text1)));
  CHECK_MSG(!IsWindowEnabled(GetDlgItem(s.main, IDC_COMMAND1)), "Send stays enabled while transmitting");

  // Back to receive: the marker ends the transmission with F5. Right after it, a backspace
  // on an empty queue is swallowed: it neither deletes the marker shown nor reaches the memo.
  ClickButton(s.main, IDC_COMMAND2);
  REQUIRE_MSG(WaitText(s.text1, shown + "\r\n\\", kWait), "typing area: " << Visible(TextOf(s.text1)));
  REQUIRE_MSG(!WaitJournal(s.psk31Journal, "panel", "WM_KEYDOWN", kWait).event.empty(), "no F5 after Rcv");
  TypeKeys(s.text1, "\b");
  Pause(kSettle);
  CHECK_MSG(TextOf(s.text1) == shown + "\r\n\\", "typing area: " << Visible(TextOf(s.text1)));
  ClickButton(s.main, IDC_COMMAND1);
  TypeAndSee(s, "y", shown + "\r\n\\\r\ny");
  ExpectMemo(s, "\bcq 10\r\ry");
}

E2E_SCENARIO(road_word_break_holds_word_until_blank) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "WordBK", "True"}});
  ClickButton(s.main, IDC_COMMAND1);
  Pause(kSettle);
  TypeAndSee(s, "hello", "hello");
  Pause(kSettle);
  CHECK_MSG(MemoText(s.psk31Journal).empty(), "a held word went out: " << Visible(MemoText(s.psk31Journal)));

  // The held word is still editable.
  TypeAndSee(s, "\b\bp", "help");
  Pause(kSettle);
  CHECK_MSG(MemoText(s.psk31Journal).empty(), "a held word went out: " << Visible(MemoText(s.psk31Journal)));

  const std::int64_t blank = NowMs();
  TypeAndSee(s, " ", "help ");
  const std::vector<StampedChar> chars = WaitMemoChars(s.psk31Journal, 5, kWait);
  CHECK_MSG(CharsOf(chars) == "help ", "the memo got \"" << Visible(CharsOf(chars)) << "\"");
  CHECK_MSG(chars.empty() || chars.front().ms >= blank, "the word left before the blank was typed");
  // The next word waits again.
  TypeAndSee(s, "me", "help me");
  Pause(kSettle);
  CHECK_MSG(MemoText(s.psk31Journal) == "help ", "the memo got \"" << Visible(MemoText(s.psk31Journal)) << "\"");
}

E2E_SCENARIO(road_log_program_follows_transmit_state) {
  RoadSession s;
  s.StartStation();
  // Running before QSOPAD, the log program hears its start-up announcement.
  HWND log = s.StartLog();
  REQUIRE(log);
  s.StartQsopad({});
  CHECK_MSG(WaitFunc(s.logJournal, 0, 0, 0, kWait), "no start-up announcement:" << FuncsText(FuncsSince(s.logJournal, 0)));
  REQUIRE(LogPair(log));
  REQUIRE_MSG(!WaitJournal(s.logJournal, "log", "PAIRED", kWait).event.empty(), Dump(ReadJournal(s.logJournal)));
  TypeAndSee(s, "hi", "hi");
  Pause(kSettle);
  const std::int64_t send = NowMs();
  ClickButton(s.main, IDC_COMMAND1);
  CHECK(WaitFunc(s.logJournal, 0, 1, send, kWait));
  ClickButton(s.main, IDC_COMMAND2);
  CHECK_MSG(WaitFunc(s.logJournal, 0, 0, send, kWait), FuncsText(FuncsSince(s.logJournal, send)));
  Pause(kSettle);

  const Journal station = ReadJournal(s.psk31Journal);
  const std::vector<StampedChar> chars = MemoChars(station);
  CHECK_MSG(CharsOf(chars) == "hi", Visible(CharsOf(chars)));
  const std::vector<LogFunc> funcs = FuncsSince(s.logJournal, send);
  REQUIRE_MSG(funcs.size() == 2 && funcs[0].lparam == 1 && funcs[1].lparam == 0,
              "announcements after Send:" << FuncsText(funcs));
  // Transmit is announced before the first character; the end once the station has sent
  // the text after F5 and enabled Tune (TXEND, which has no argument).
  const std::int64_t f5 = FirstAt(station, "panel", "WM_KEYDOWN", VK_F5, send);
  const std::int64_t txEnd = FirstAt(station, "app", "TXEND", -1, send);
  CHECK_MSG(!chars.empty() && funcs[0].ms <= chars.front().ms && f5 >= 0 && txEnd >= f5 && funcs[1].ms >= txEnd,
            Dump(station) << "\nannounced" << FuncsText(funcs));

  const std::int64_t closing = NowMs();
  PostMessageA(s.main, WM_CLOSE, 0, 0);
  CHECK(s.programs.WaitExit(s.qsopad.pid, kWait));
  CHECK(WaitFunc(s.logJournal, 1, 0, closing, kWait));
  // The closing is announced, then the partner is told with a record of code 0.
  const std::vector<LogRecord> records = LogRecords(ReadJournal(s.logJournal));
  const std::vector<LogFunc> last = FuncsSince(s.logJournal, closing);
  CHECK_MSG(records.size() == 1 && records[0].code == 0 && records[0].text == "x" && records[0].size == 1 &&
                records[0].sender == s.main && !last.empty() && last.front().ms <= records[0].ms,
            Dump(ReadJournal(s.logJournal)));
}

E2E_SCENARIO(road_log_records_set_partner_call) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({});
  HWND log = s.StartLog({}, true);
  REQUIRE(log);
  REQUIRE_MSG(!WaitJournal(s.logJournal, "log", "PAIRED", kWait).event.empty(), Dump(ReadJournal(s.logJournal)));
  HWND command4 = GetDlgItem(s.main, IDC_COMMAND4);

  CHECK(LogSend(log, 1, "DL1ABC"));
  CHECK_MSG(WaitText(command4, "DL1ABC", kWait), "Command4: " << Visible(TextOf(command4)));

  CHECK(LogSendLong(log));
  const std::string first255 = LogLongText().substr(0, 255);
  CHECK_MSG(WaitText(command4, first255, kWait), "Command4 shows " << TextOf(command4).size() << " bytes");
  CHECK(LogSendNull(log));
  CHECK(LogSendEmpty(log));
  CHECK_MSG(Answers(s.main, 2000), "QSOPAD stopped answering");
  // A record without data carries an empty call.
  CHECK_MSG(WaitText(command4, "", kWait), "Command4: " << Visible(TextOf(command4)));

  // Values from the log program are not echoed back to it.
  Pause(kSettle);
  const Journal j = ReadJournal(s.logJournal);
  CHECK_MSG(LogRecords(j).empty(), "QSOPAD sent records back" << Dump(j));
  // Typing a queued call still works after all that.
  CHECK(LogSend(log, 1, "K1XYZ"));
  CHECK(WaitText(command4, "K1XYZ", kWait));
  ClickButton(s.main, IDC_COMMAND4);
  CHECK_MSG(WaitText(s.text1, " K1XYZ ", kWait), "typing area: " << Visible(TextOf(s.text1)));
}

E2E_SCENARIO(road_hung_log_program_does_not_freeze_pump) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({});
  s.StartLog({{"QSOLOG_HANG_ON_FUNC", "8000"}});
  const std::string text = "abcdefghij";
  TypeAndSee(s, text, text);
  ClickButton(s.main, IDC_COMMAND1);
  REQUIRE_MSG(!WaitJournal(s.logJournal, "log", "HANG", kWait).event.empty(), Dump(ReadJournal(s.logJournal)));
  CHECK_MSG(Answers(s.main, 2000), "QSOPAD did not answer within 2 s of the hang");
  // The hang lasts 8 s; a pump that waited for it would not be done within 4.
  const std::vector<StampedChar> chars = WaitMemoChars(s.psk31Journal, text.size(), 4000);
  CHECK_MSG(CharsOf(chars) == text, "the memo got \"" << Visible(CharsOf(chars)) << "\"");
  CHECK_MSG(Count(ReadJournal(s.logJournal), "log", "HANGEND") == 0, "the hang ended too soon to tell");
}
