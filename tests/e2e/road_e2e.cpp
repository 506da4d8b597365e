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

E2E_SCENARIO(road_receive_mode_holds_text_until_send) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "SendCR", "1"}, {"Opt", "Zero", "True"}});
  // The zero is shown slashed but sent plain.
  const std::string shown = std::string("cq 1") + static_cast<char>(216);
  TypeAndSee(s, "cq 10", shown);
  Pause(kSettle);
  CHECK_MSG(MemoText(s.psk31Journal).empty(), "sent in receive mode: " << Visible(MemoText(s.psk31Journal)));

  ClickButton(s.main, IDC_COMMAND1);
  const std::vector<StampedChar> chars = WaitMemoChars(s.psk31Journal, 6, kWait);
  Pause(kSettle);
  const std::string memo = MemoText(s.psk31Journal);
  // The carriage return of the transmit command joins the queue behind what waits there.
  CHECK_MSG(memo == "cq 10\r", "the memo got \"" << Visible(memo) << "\"");
  // One character per timer tick, not all at once (the pace itself is measured in bench/).
  CHECK_MSG(SpacingOf(chars).median >= 15, "characters in a burst: median gap " << SpacingOf(chars).median << " ms");
  CHECK_MSG(TextOf(s.text1) == shown + "\r\n", "typing area: " << Visible(TextOf(s.text1)));
  CHECK_MSG(!IsWindowEnabled(GetDlgItem(s.main, IDC_COMMAND1)), "Send stays enabled while transmitting");
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
  if (!chars.empty()) {
    const Spacing gaps = SpacingOf(chars);
    CHECK_MSG(chars.front().ms >= blank, "the word left before the blank was typed");
    CHECK_MSG(gaps.span >= 4 * 15, "five characters within " << gaps.span << " ms");
  }
  // The next word waits again.
  TypeAndSee(s, "me", "help me");
  Pause(kSettle);
  CHECK_MSG(MemoText(s.psk31Journal) == "help ", "the memo got \"" << Visible(MemoText(s.psk31Journal)) << "\"");
}

E2E_SCENARIO(road_backspace_edits_queue_or_memo) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({});
  // Nothing queued and no transmission ended yet: the backspace is queued for the memo.
  TypeKeys(s.text1, "\b");
  // Two letters queued, the second taken back on screen and in the queue.
  TypeAndSee(s, "ab\b", "a");
  ClickButton(s.main, IDC_COMMAND1);
  WaitMemoChars(s.psk31Journal, 2, kWait);
  Pause(kSettle);
  CHECK_MSG(MemoText(s.psk31Journal) == "\ba", "the memo got \"" << Visible(MemoText(s.psk31Journal)) << "\"");

  // Back to receive: the marker ends the transmission with F5.
  const std::int64_t rcv = NowMs();
  ClickButton(s.main, IDC_COMMAND2);
  REQUIRE_MSG(!WaitJournal(s.psk31Journal, "panel", "WM_KEYDOWN", kWait,
                           [&](const JournalEntry& e) { return e.Num(0) == VK_F5 && e.ms >= rcv; })
                   .event.empty(),
              "no F5 after Rcv" << Dump(ReadJournal(s.psk31Journal)));
  REQUIRE_MSG(WaitText(s.text1, "a\\", kWait), "typing area: " << Visible(TextOf(s.text1)));
  // Right after a receive marker, a backspace on an empty queue is swallowed: it neither
  // deletes the receive character shown nor reaches the memo later.
  TypeKeys(s.text1, "\b");
  Pause(kSettle);
  CHECK_MSG(TextOf(s.text1) == "a\\", "typing area: " << Visible(TextOf(s.text1)));
  ClickButton(s.main, IDC_COMMAND1);
  TypeAndSee(s, "y", "a\\y");
  WaitMemoChars(s.psk31Journal, 3, kWait);
  Pause(kSettle);
  CHECK_MSG(MemoText(s.psk31Journal) == "\bay", "the memo got \"" << Visible(MemoText(s.psk31Journal)) << "\"");
}

E2E_SCENARIO(road_full_stop_empties_queue_and_typing_area) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({});
  const std::string text = "the quick brown fox jumps over the lazy dog";
  TypeAndSee(s, text, text);
  ClickButton(s.main, IDC_COMMAND1);
  REQUIRE(!WaitMemoChars(s.psk31Journal, 1, kWait).empty());
  PostCommand(s.main, IDM_FULLSTOP);
  REQUIRE_MSG(WaitText(s.text1, "", kWait), "typing area: " << Visible(TextOf(s.text1)));
  Pause(kSettle);
  const size_t sent = MemoText(s.psk31Journal).size();
  Pause(kSettle);
  const Journal j = ReadJournal(s.psk31Journal);
  CHECK_MSG(CharsTo(j, "memo").size() == sent, "characters went on after the full stop");
  CHECK_MSG(sent < text.size(), "the whole text went out before the full stop (" << sent << ")");
  CHECK_MSG(text.compare(0, sent, CharsTo(j, "memo")) == 0, Visible(CharsTo(j, "memo")));
  CHECK_MSG(KeyTrail(j, "panel") == (std::vector<std::string>{"WM_KEYDOWN 116 sent", "WM_KEYUP 116 sent",
                                                              "WM_KEYDOWN 116 sent", "WM_KEYUP 116 sent"}),
            Joined(KeyTrail(j, "panel")));
  // Receive mode again: new text is held.
  TypeAndSee(s, "xy", "xy");
  Pause(kSettle);
  CHECK_MSG(MemoText(s.psk31Journal).size() == sent, "sent after the full stop: " << Visible(MemoText(s.psk31Journal)));

  // Insert and Delete nudge the frequency only: with the caret at the start, a Delete
  // reaching the typing area would take the "x".
  SendMessageA(s.text1, EM_SETSEL, 0, 0);
  const std::int64_t from = NowMs();
  PostKey(s.text1, VK_INSERT);
  PostKey(s.text1, VK_DELETE);
  WaitJournal(s.psk31Journal, "memo", "WM_KEYUP", kWait,
              [&](const JournalEntry& e) { return e.Num(0) == VK_LEFT && e.ms >= from; });
  Pause(kSettle);
  Journal later;
  for (const auto& e : ReadJournal(s.psk31Journal))
    if (e.ms >= from) later.push_back(e);
  const std::vector<std::string> trail = KeyTrail(later, "memo");
  CHECK_MSG(trail == (std::vector<std::string>{"WM_KEYDOWN 39 sent", "WM_KEYUP 39 sent", "WM_KEYDOWN 37 sent",
                                               "WM_KEYUP 37 sent"}),
            Joined(trail));
  CHECK_MSG(TextOf(s.text1) == "xy", "typing area: " << Visible(TextOf(s.text1)));
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
  REQUIRE(!chars.empty());
  CHECK_MSG(funcs[0].ms <= chars.front().ms, "transmit announced " << funcs[0].ms - chars.front().ms
                                                                   << " ms after the first character");
  // The end is announced once the station has sent the text after F5 and enabled Tune.
  const std::int64_t f5 = FirstAt(station, "panel", "WM_KEYDOWN", VK_F5, send);
  const std::int64_t txEnd = [&] {
    for (const auto& e : Select(station, "app", "TXEND"))
      if (e.ms >= send) return e.ms;
    return std::int64_t{-1};
  }();
  CHECK_MSG(f5 >= 0 && txEnd >= f5 && funcs[1].ms >= txEnd,
            "F5 " << f5 << ", TXEND " << txEnd << ", receive announced " << funcs[1].ms);

  // The station goes away while transmitting: receive is announced and Send comes back;
  // text typed then waits in the queue.
  const std::int64_t again = NowMs();
  ClickButton(s.main, IDC_COMMAND1);
  REQUIRE(WaitFunc(s.logJournal, 0, 1, again, kWait));
  CHECK(!IsWindowEnabled(GetDlgItem(s.main, IDC_COMMAND1)));
  const std::int64_t gone = NowMs();
  PostMessageA(s.station.form, WM_CLOSE, 0, 0);
  CHECK_MSG(WaitFunc(s.logJournal, 0, 0, gone, kWait), FuncsText(FuncsSince(s.logJournal, again)));
  CHECK(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(s.main, IDC_COMMAND1)) != FALSE; }, 3000));
  const std::string shown = TextOf(s.text1);
  TypeAndSee(s, "ab", shown + "ab");
  CHECK_MSG(FuncsSince(s.logJournal, again).size() == 2, "announcements:" << FuncsText(FuncsSince(s.logJournal, again)));

  const std::int64_t closing = NowMs();
  PostMessageA(s.main, WM_CLOSE, 0, 0);
  CHECK(s.programs.WaitExit(s.qsopad.pid, kWait));
  CHECK(WaitFunc(s.logJournal, 1, 0, closing, kWait));
  const std::vector<LogRecord> records = LogRecords(ReadJournal(s.logJournal));
  REQUIRE_MSG(records.size() == 1, records.size() << " records" << Dump(ReadJournal(s.logJournal)));
  CHECK_MSG(records[0].code == 0 && records[0].text == "x" && records[0].size == 1 && records[0].sender == s.main,
            "record " << records[0].code << " " << records[0].size << " " << Visible(records[0].text));
  const std::vector<LogFunc> last = FuncsSince(s.logJournal, closing);
  CHECK_MSG(!last.empty() && last.front().wparam == 1 && last.front().ms <= records[0].ms,
            "closing announced after the record:" << FuncsText(last));
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
  CHECK(LogSend(log, 2, "Hans"));
  CHECK(LogSend(log, 3, "ZZ9ZZ"));
  Pause(kSettle);
  CHECK_MSG(TextOf(command4) == "DL1ABC", "a code-3 record changed the call: " << Visible(TextOf(command4)));

  CHECK(LogSendLong(log));
  const std::string first255 = LogLongText().substr(0, 255);
  CHECK_MSG(WaitText(command4, first255, kWait), "Command4 shows " << TextOf(command4).size() << " bytes");
  CHECK(LogSendNull(log));
  CHECK(LogSendEmpty(log));
  CHECK_MSG(Answers(s.main, 2000), "QSOPAD stopped answering");
  CHECK(ProcessAlive(s.qsopad.pid));
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
  const std::int64_t send = NowMs();
  ClickButton(s.main, IDC_COMMAND1);
  REQUIRE_MSG(!WaitJournal(s.logJournal, "log", "HANG", kWait).event.empty(), Dump(ReadJournal(s.logJournal)));
  CHECK_MSG(Answers(s.main, 2000), "QSOPAD did not answer within 2 s of the hang");
  const std::vector<StampedChar> chars = WaitMemoChars(s.psk31Journal, text.size(), 4000);
  CHECK_MSG(CharsOf(chars) == text, "the memo got \"" << Visible(CharsOf(chars)) << "\"");
  // The hang lasts 8 s; a pump that waited for it would be done long after this.
  if (!chars.empty()) CHECK_MSG(chars.back().ms - send <= 3500, "the pump was held up: " << chars.back().ms - send << " ms");
  CHECK_MSG(Count(ReadJournal(s.logJournal), "log", "HANGEND") == 0, "the hang ended too soon to tell");
}
