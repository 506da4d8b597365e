// The road of a character: key rules, the send queue and its pump, the timer's transmit
// state and announcements, the status bar, the partner state and the log program's
// messages.
#include <gtest/gtest.h>

#include <tuple>

#include "main_form_fixture.h"

namespace qsopad {
namespace {

using fakes::Call;
using fakes::MainFormTest;
using TransmitRoad = MainFormTest;
using Announced = std::vector<std::pair<std::uintptr_t, std::intptr_t>>;
using Keys = std::vector<unsigned>;
using Colour = MainView::SendColour;

// A slashed zero shows as 216 and leaves as zero.
TEST_F(TransmitRoad, TypedTextWaitsForSendThenGoesOutOnePerTick) {
  Set("Opt", {{"SendCR", "1"}, {"Zero", "True"}});
  Started();
  Type("cq c");
  EXPECT_EQ(Model().OnKeyPress('0'), 216);
  Ticks(5);
  EXPECT_EQ(MemoChars(), "") << "nothing leaves in receive mode";
  Model().OnButtonClick(1);
  EXPECT_EQ(std::tuple(Model().txmode, view.send_colour, view.send_enabled), std::tuple(1, Colour::kRed, false));
  for (std::size_t i = 1; i <= 6; ++i) {
    Model().Tick();
    EXPECT_EQ(MemoChars().size(), i) << "one character per tick";
  }
  Ticks(3);
  EXPECT_EQ(std::pair(MemoChars(), Model().lastxmit), std::pair(std::string("cq c0\r"), std::string("cq c0\r")))
      << "the carriage return of SendCR follows the queue";
}

TEST_F(TransmitRoad, WordBreakHoldsAWordUntilItsEndIsQueued) {
  Set("Opt", "WordBK", "True");
  Started();
  Model().OnButtonClick(1);
  Type("hello");
  Ticks(10);
  EXPECT_EQ(MemoChars(), "");
  Type("\b");
  EXPECT_EQ(Model().sendbuf, "hell") << "the held word stays editable";
  Type(" ");
  Ticks(4);
  EXPECT_EQ(MemoChars(), "hell");
  Model().Tick();
  EXPECT_EQ(MemoChars(), "hell ");
  // Either receive marker ends a word too.
  Model().SendNKCharNB("ab^.");
  Ticks(3);
  Model().SendNKCharNB("^9cd^0");
  Ticks(3);
  EXPECT_EQ(MemoChars(), "hell abcd");
  EXPECT_EQ(PanelKeys(), (Keys{kVkF6, kVkF5}));
}

// Right after a receive marker has gone, a backspace on an empty queue would reach into
// the received text: it is swallowed. Once more text has gone, it is queued again.
TEST_F(TransmitRoad, BackspaceEditsTheQueueThenTheMemoButNotTheReceivedText) {
  Started();
  Type("ab");
  EXPECT_EQ(Model().OnKeyPress('\b'), '\b') << "the typing area deletes the shown letter";
  EXPECT_EQ(Model().sendbuf, "a");
  Model().OnKeyPress('\b');
  // Nothing queued and no receive marker processed: the backspace is queued for the memo.
  EXPECT_EQ(Model().OnKeyPress('\b'), '\b');
  EXPECT_EQ(Model().sendbuf, "\b");
  Model().sendbuf = "x\r\n";
  Model().OnKeyPress('\b');
  EXPECT_EQ(Model().sendbuf, "x") << "a line end goes in one backspace";
  Model().sendbuf = "\n";
  Model().OnKeyPress('\b');
  EXPECT_EQ(Model().sendbuf, "") << "a lone line feed must not underflow";
  EXPECT_TRUE(reporter.reports.empty());

  Model().SendNKCharNB("^9a^0");
  Ticks(2);
  ASSERT_EQ(PanelKeys(), Keys{kVkF5});
  EXPECT_EQ(Model().OnKeyPress('\b'), 0);
  EXPECT_EQ(Model().sendbuf, "");
  Type("b");
  Model().OnButtonClick(1);
  Ticks(2);
  ASSERT_EQ(MemoChars(), "ab");
  EXPECT_EQ(Model().OnKeyPress('\b'), '\b');
  EXPECT_EQ(Model().sendbuf, "\b");
}

TEST_F(TransmitRoad, ReceiveCodePressesF5RightAfterTheLastCharacter) {
  Started();
  Model().SendNKCharNB("^9ab^0");
  EXPECT_EQ(view.text1, "ab\\");
  Ticks(2);
  EXPECT_TRUE(PanelKeys().empty()) << "not before the last character has gone";
  Model().Tick();
  EXPECT_EQ(std::pair(Model().txmode, view.send_colour), std::pair(0, Colour::kLightRed));
  // The key-down follows the last character directly in what the PSK31 program sees.
  std::vector<unsigned> seen;
  for (const Call& c : windows.CallsOf(Call::Kind::kSend))
    if (c.window == memo || c.window == panel) seen.push_back(c.message);
  EXPECT_EQ(seen, (std::vector<unsigned>{kWmChar, kWmChar, kWmKeyDown, kWmKeyUp}));
  EXPECT_EQ(PanelKeys(), Keys{kVkF5});
}

TEST_F(TransmitRoad, MarkersChooseTxOffOrCwId) {
  const struct { const char *cwid, *cw1, *macro; Keys keys; std::string memo; } rows[] = {
      {"False", "1", "^9a^0", {kVkF5}, "a"},
      {"True", "1", "^9a^0", {kVkF6}, "a"},
      {"False", "1", "^9a^.", {kVkF6}, "a"},
      {"False", "0", "^9a^.", {}, std::string("a\x01", 2)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.macro) + " CWID " + row.cwid + " CW1 " + row.cw1);
    Reset();
    Set("Opt", "CWID", row.cwid);
    Set("Opt", "CW1", row.cw1);
    Started();
    Model().SendNKCharNB(row.macro);
    Ticks(4);
    EXPECT_EQ(PanelKeys(), row.keys);
    EXPECT_EQ(MemoChars(), row.memo);
  }
}

TEST_F(TransmitRoad, FullStopEmptiesEverythingAndPressesTxOffTwice) {
  Started();
  Model().OnButtonClick(1);
  Type("long text");
  Model().Tick();
  Model().FullStop();
  EXPECT_EQ(std::tuple(Model().sendbuf, view.text1, Model().txmode), std::tuple("", "", 0));
  EXPECT_EQ(PanelKeys(), (Keys{kVkF5, kVkF5}));
  Ticks(3);
  EXPECT_EQ(MemoChars(), "l");
}

// The status-bar panels "Xmit" and "PSK" are shortcuts, the same with Shift held.
TEST_F(TransmitRoad, XmitAndPskPanelsActAsSendRcvAndTheModeKey) {
  for (const bool shift : {false, true}) {
    SCOPED_TRACE(shift ? "Shift held" : "plain click");
    Reset();
    Started();
    Model().OnPanelClick(MainView::Panel::kXmit, shift);
    EXPECT_EQ(std::pair(Model().txmode, Model().sendbuf), std::pair(1, std::string())) << "in receive: Send";
    Model().OnPanelClick(MainView::Panel::kXmit, shift);
    EXPECT_EQ(Model().sendbuf, std::string(1, '\0')) << "transmitting: Rcv";
    Model().OnPanelClick(MainView::Panel::kPsk, shift);
    EXPECT_EQ(PanelKeys(), Keys{kVkF1});
  }
}

TEST_F(TransmitRoad, TransmitStateIsAnnouncedOnceEachWay) {
  Started();
  Ticks(3);
  EXPECT_TRUE(Announcements().empty());
  Model().OnButtonClick(1);  // empty queue: the command alone counts as transmitting
  Model().Tick();
  EXPECT_EQ(Announcements(), (Announced{{0, 1}}));
  // The PSK31 program transmits (Tune disabled) after our receive marker went out.
  Model().SendNKCharNB("^0");
  windows.Window(tune).enabled = false;
  Ticks(5);
  EXPECT_EQ(Model().txmode, 0);
  EXPECT_EQ(Announcements(), (Announced{{0, 1}})) << "still transmitting";
  windows.Window(tune).enabled = true;
  Ticks(3);
  EXPECT_EQ(Announcements(), (Announced{{0, 1}, {0, 0}}));
}

TEST_F(TransmitRoad, AHungProgramOnTheDesktopCostsOneWaitNotOneEachAnnouncement) {
  const WindowHandle hung = windows.AddTopLevel("Hung", "not answering");
  windows.Window(hung).hang_sends = 1000;
  Started();
  Model().OnButtonClick(1);
  Model().Tick();
  Model().FullStop();
  Ticks(2);
  EXPECT_EQ(Announcements().size(), 2u) << "the others still hear every change";
  unsigned waited = 0;
  int notified = 0;
  for (const Call& c : windows.journal) {
    if (c.window != hung) continue;
    if (c.kind == Call::Kind::kSend) waited += c.wait_ms;
    if (c.kind == Call::Kind::kNotify && c.message == Model().funcmsg) ++notified;
  }
  EXPECT_EQ(waited, 2 * GuardedSender::kHungWaitMs) << "only probes: the full wait was at start-up";
  EXPECT_EQ(notified, 2) << "handed over, to arrive when it answers again";
}

// A form that closes ends the transmit state with one announcement; a missing Tune button
// leaves it on.
TEST_F(TransmitRoad, TransmitStateFollowsTheProgramsWindows) {
  Started();
  Model().OnButtonClick(1);
  Ticks(2);
  windows.journal.clear();
  windows.Window(form).alive = false;
  Ticks(5);
  EXPECT_EQ(Announcements(), (Announced{{0, 0}}));
  EXPECT_EQ(std::pair(Model().txmode, Model().txon), std::pair(0, false));

  Reset();
  AddPsk31();
  windows.Window(tune).alive = false;
  Model().Load();
  Ticks(2);
  EXPECT_TRUE(Model().txon);
}

TEST_F(TransmitRoad, StatusBarShowsTimeModeAndElapsedTime) {
  for (const bool tod : {true, false}) {
    SCOPED_TRACE(tod ? "TOD True" : "TOD False");
    Reset();
    Set("Opt", "TOD", tod ? "True" : "False");
    desktop.now = {2026, 12, 6, 10, 30, 0};
    Started();
    windows.Window(form).caption = "PSK31 SB [QPSK]";
    Model().Tick();
    EXPECT_EQ(std::tuple(view.panels[0], view.panels[4]), std::tuple(" 06 Dec 2026 10:30z ", "QPSK"));
    EXPECT_EQ(std::pair(view.panel_enabled[3], view.panel_enabled[5]), std::pair(false, false));
    Model().OnButtonClick(1);
    desktop.now.minute = 31, desktop.now.second = 5;
    Ticks(21);
    EXPECT_EQ(std::pair(view.panel_enabled[3], view.panel_enabled[5]), std::pair(true, true));
    EXPECT_EQ(view.panels[5], tod ? " 00:01:05 " : "") << "with TOD off the text stays";
  }
  windows.Window(form).caption = "PSK31 SB [BPSK]";
  Model().txmode = 0;
  Ticks(21);
  EXPECT_EQ(std::tuple(view.panels[4], view.panel_enabled[5], view.send_colour, view.send_enabled),
            std::tuple("BPSK", false, Colour::kNormal, true));
}

// Insert and Delete are checked with their modifiers among the faults found in use.
TEST_F(TransmitRoad, KeyRulesRouteFunctionKeysAndFrequencyKeys) {
  Set("Call", "MyCall", "ZX0AB");
  Started();
  Model().ocall = "ZX9YZ";
  EXPECT_TRUE(Model().OnKeyDown(kVkF1, 0));
  EXPECT_EQ(Model().sendbuf, " ZX9YZ de ZX0AB ");
  Model().sendbuf.clear();
  EXPECT_TRUE(Model().OnKeyDown(kVkF1, kShiftBit)) << "Shift+F1: macro 0, empty by default";
  EXPECT_EQ(Model().sendbuf, "");
  EXPECT_FALSE(Model().OnKeyDown(kVkF1, kCtrlBit)) << "Ctrl+F1 is the menu's without Retro";
  EXPECT_FALSE(Model().OnKeyDown('A', 0));
  EXPECT_FALSE(Model().OnKeyDown(kVkLeft, 0)) << "arrows stay in the typing area";
  Set("Opt", "RetroA", "True");
  EXPECT_TRUE(Model().OnKeyDown(kVkUp, 0));
  EXPECT_EQ(windows.MessagesTo(memo).back().second, kVkUp);
  Set("Opt", "Retro", "True");
  EXPECT_TRUE(Model().OnKeyDown(kVkF1, kCtrlBit)) << "with Retro Ctrl+F1 runs macro 10";
  EXPECT_EQ(Model().sendbuf, " ZX9YZ de ZX0AB ");
  EXPECT_EQ(std::pair(view.menu_visible[0], view.menu_visible[1]), std::pair(false, true));
}

TEST_F(TransmitRoad, StoredMacrosWinOverDefaultsAndPasteIsExpanded) {
  Set("Call", "MyCall", "ZX0AB");
  Started();
  Set("Macro", "10", "");
  EXPECT_TRUE(Model().OnKeyDown(kVkF1, 0));
  EXPECT_EQ(Model().sendbuf, "") << "a stored empty macro sends nothing";
  desktop.clipboard = "de ^M";
  Model().PasteText();
  desktop.clipboard.reset();
  Model().PasteText();
  EXPECT_EQ(Model().sendbuf, "de ZX0AB");
  Model().sendbuf.clear();
  Set("Opt", "Zero", "True");
  Set("Macro", "12", "rst 509 ^0");
  Model().OnKeyDown(kVkF1 + 2, 0);
  // Zeros are slashed before expansion: the text keeps its slashed zero, and ^0 becomes
  // the slashed-zero receive code.
  EXPECT_EQ(Model().sendbuf, std::string("rst 5\xD8" "9 \0", 9));
}

TEST_F(TransmitRoad, LogProgramPairsAndExchangesThePartner) {
  Set("Opt", "Zero", "True");
  AddPsk31();
  Model().OnCopyData(1, "EARLY");  // before start-up has ended: left alone
  Model().OnRegisteredMessage(0xC001, 0, 0x5000);
  EXPECT_EQ(std::pair(Model().ocall, Model().logwnd), std::pair(std::string(), WindowHandle{0}));
  Model().Load();
  windows.journal.clear();
  const unsigned logmsg = Model().logmsg;
  Model().OnRegisteredMessage(logmsg, 255, 0x5000);
  EXPECT_EQ(Model().logwnd, 0u) << "our own answer coming back is ignored";
  Model().OnRegisteredMessage(logmsg, 0, 0x5000);
  EXPECT_EQ(Model().logwnd, 0x5000u);
  const auto posts = windows.CallsOf(Call::Kind::kPost);
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(std::tuple(posts[0].window, posts[0].message, posts[0].wparam, posts[0].lparam),
            std::tuple(WindowHandle{0x5000}, logmsg, std::uintptr_t{255}, std::intptr_t{0x7000}));

  Model().OnCopyData(1, "ZX0CALL");
  EXPECT_EQ(std::tuple(view.caption[4], view.panels[1]), std::tuple("ZX\xD8" "CALL", " ZX\xD8" "CALL"));
  Model().OnCopyData(2, "Ann");
  EXPECT_EQ(view.panels[2], " Ann");
  EXPECT_EQ(palette.rebuilds, 2);
  Model().OnCopyData(3, "ignored");
  EXPECT_EQ(Model().namebuf, "Ann");
  EXPECT_TRUE(windows.CallsOf(Call::Kind::kCopyData).empty()) << "incoming values are not echoed";

  Model().ocall = "ZX0NEW";
  Model().SetOcall();
  Model().OnPanelClick(MainView::Panel::kOcall, true);
  std::vector<std::pair<std::intptr_t, std::string>> records;
  for (const Call& c : windows.CallsOf(Call::Kind::kCopyData)) records.emplace_back(c.lparam, c.text);
  EXPECT_EQ(records, (std::vector<std::pair<std::intptr_t, std::string>>{{1, "ZX0NEW"}, {1, ""}, {2, ""}}))
      << "slashed zeros undone for the log program; Shift+click clears call and name";

  Model().namebuf = std::string(300, 'n');
  Model().SetNamebuf();
  EXPECT_EQ(windows.CallsOf(Call::Kind::kCopyData).back().text.size(), 255u) << "long texts are cut";
}

TEST(LogRecords, DecodeCutsAt255BytesOrTheFirstNul) {
  const std::string big(300, 'a');
  EXPECT_EQ(DecodeRecordText(big.data(), big.size()).size(), 255u);
  EXPECT_EQ(DecodeRecordText(nullptr, 10), "");
  EXPECT_EQ(DecodeRecordText("ab\0cd", 5), "ab");
}

TEST(Elapsed, FormatsWithinOneDay) {
  EXPECT_EQ(FormatElapsed(3725.9), " 01:02:05 ");
  EXPECT_EQ(FormatElapsed(86400 + 61), " 00:01:01 ");
  EXPECT_DOUBLE_EQ(LocalSeconds({2027, 1, 1, 0, 0, 0}) - LocalSeconds({2026, 12, 31, 23, 59, 59}), 1.0);
}

}  // namespace
}  // namespace qsopad
