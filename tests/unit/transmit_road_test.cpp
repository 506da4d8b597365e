// The road of a character: key rules, the send queue and its pump, the transmit state and
// its announcements, the status bar, the partner state and the log program's messages; and the
// commands that fill the queue: macros and files, paste, Repeat Last, time, serial number, own call.
#include <gtest/gtest.h>

#include "common/error.h"
#include "macros/text_file.h"
#include "main_form_fixture.h"
#include "test_files.h"

namespace qsopad {
namespace {

using namespace std::string_literals;
using fakes::MainFormTest;
using TransmitRoad = MainFormTest;
using MacroCommands = MainFormTest;
using Texts = std::vector<std::string>;
using Keys = std::vector<unsigned>;
using Colour = MainView::SendColour;

// In transmit mode with word break on, a character leaves only while a word end (blank, tab, return, receive
// marker) is queued behind it; a backspace leaves at once itself. (A held word typed and edited: end to end.)
TEST_F(TransmitRoad, WordBreakHoldsAWordUntilItsEndIsQueued) {
  const struct { std::string queued, sent, left; Keys keys = {}; } rows[] = {
      {"hello", "", "hello"},   {"hello ", "hello ", ""},        {"ab\tc", "ab\t", "c"},
      {"ab\rc", "ab\r", "c"},    {"ab\0cd"s, "ab", "cd", {kVkF5}}, {"ab\x01" "cd", "ab", "cd", {kVkF6}},
      {"\bab", "\b", "ab"},      {"ab\bc", "", "ab\bc"},           {"a\nb", "", "a\nb"},
      {"\xE9t\xE9 x", "\xE9t\xE9 ", "x"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.queued));
    Reset(), Set("Opt", "WordBK", "True"), Started();
    Model().OnButtonClick(1), Model().sendbuf += row.queued, Ticks(12);
    EXPECT_EQ(std::tuple(MemoChars(), Model().sendbuf, PanelKeys()), std::tuple(row.sent, row.left, row.keys));
  }
}

// A line end goes in one backspace. Right after a receive marker has gone, a backspace on an empty
// queue would reach into the received text: it is swallowed (end to end) until more text has gone.
TEST_F(TransmitRoad, BackspaceEditsTheQueueThenTheMemoButNotTheReceivedText) {
  Started();
  const std::pair<std::string, std::string> rows[] = {{"x\r\n", "x"}, {"\n", ""}, {"ab", "a"}, {"", "\b"}};
  for (const auto& [queued, left] : rows) {
    Model().sendbuf = queued;
    EXPECT_EQ(Model().OnKeyPress('\b'), '\b');
    EXPECT_EQ(Model().sendbuf, left) << ::testing::PrintToString(queued);
  }
  Model().SendNKCharNB("^9a^0"), Ticks(3);
  ASSERT_EQ(std::pair(MemoChars(), PanelKeys()), std::pair("\ba"s, Keys{kVkF5}));
  Type("b"), Model().OnButtonClick(1), Ticks(2);
  ASSERT_EQ(MemoChars(), "\bab");
  EXPECT_EQ(Model().OnKeyPress('\b'), '\b');
  Set("Opt", "Zero", "True");
  EXPECT_EQ(Model().OnKeyPress('0'), 216) << "a typed zero shows slashed";
  EXPECT_EQ(Model().sendbuf, "\b\xD8"s) << "and is queued slashed";
  EXPECT_TRUE(reporter.reports.empty());
}

// Transmit is announced to every window before the first character, one character a tick. A receive marker ends the
// transmission in the tick after the last character before it: with TX off (F5), or CW ID (F6) for character 1 or with
// "CWID"; character 1 is a marker only while "CW1" equals 1.
TEST_F(TransmitRoad, MarkersEndTheTransmissionRightAfterTheLastCharacter) {
  const struct { const char *cwid, *cw1, *macro, *key; } rows[] = {  // key: none, character 1 went as text
      {"False", "1", "^9ab^0", "116"}, {"True", "1", "^9ab^0", "117"}, {"False", "1", "^9ab^.", "117"},
      {"False", "0", "^9ab^.", nullptr}, {"False", "2", "^9ab^.", nullptr}, {"True", "0", "^9ab^.", nullptr}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.macro) + " CWID " + row.cwid + " CW1 " + row.cw1);
    Reset(), Set("Opt", {{"CWID", row.cwid}, {"CW1", row.cw1}}), Started(), Model().SendNKCharNB(row.macro);
    EXPECT_EQ(view.text1, "ab\\");
    Ticks(3);
    Texts trace{"send app QSOPADFUNC 0 1", "send form QSOPADFUNC 0 1", "send memo char 'a'", "send memo char 'b'"};
    if (row.key) trace.insert(trace.end(), {"send panel down "s + row.key, "send panel up "s + row.key});
    if (!row.key) trace.push_back("send memo char 1");
    EXPECT_EQ(windows.Trace(), trace);
    EXPECT_EQ(std::pair(Model().txmode, view.send_colour),
              row.key ? std::pair(0, Colour::kLightRed) : std::pair(1, Colour::kRed));
  }
}

// (Full stop while nothing is transmitted: end to end.)
TEST_F(TransmitRoad, FullStopEmptiesEverythingAndPressesTxOffTwice) {
  Started(), Model().OnButtonClick(1), Type("long text"), Model().Tick(), Model().FullStop();
  EXPECT_EQ(std::tuple(Model().sendbuf, view.text1, Model().txmode, Model().lastxmit, PanelKeys()),
            std::tuple("", "", 0, "l", Keys{kVkF5, kVkF5}));
  Ticks(3);
  EXPECT_EQ(MemoChars(), "l");
}

// The status-bar panels "Xmit" and "PSK" are shortcuts, the same with Shift held.
TEST_F(TransmitRoad, XmitAndPskPanelsActAsSendRcvAndTheModeKey) {
  for (const bool shift : {false, true}) {
    SCOPED_TRACE(shift ? "Shift held" : "plain click");
    Reset(), Started(), Model().OnPanelClick(MainView::Panel::kXmit, shift);
    EXPECT_EQ(std::pair(Model().txmode, Model().sendbuf), std::pair(1, ""s)) << "in receive: Send";
    Model().OnPanelClick(MainView::Panel::kXmit, shift), Model().OnPanelClick(MainView::Panel::kPsk, shift);
    EXPECT_EQ(std::pair(Model().sendbuf, PanelKeys()), std::pair("\0"s, Keys{kVkF1})) << "transmitting: Rcv; the mode key";
  }
}

// The end of transmitting is announced once the PSK31 program has stopped (Tune enabled
// again), or at once when its form closes; a missing Tune button leaves the state on.
TEST_F(TransmitRoad, TransmitStateFollowsTheProgramsWindows) {
  Started(), Type("ab"), Ticks(3);
  EXPECT_EQ(windows.Trace(), Texts{}) << "receiving: nothing goes, nothing is announced";
  Model().OnButtonClick(1), Model().SendNKCharNB("^0"), windows.Window(tune).enabled = false, Ticks(5);
  EXPECT_EQ(std::pair(Model().txmode, windows.Trace().back()), std::pair(0, "send panel up 116"s)) << "still transmitting";
  windows.journal.clear(), windows.Window(tune).enabled = true, Ticks(3);
  EXPECT_EQ(windows.Trace(), (Texts{"send app QSOPADFUNC 0", "send form QSOPADFUNC 0"}));
  Model().OnButtonClick(1), Ticks(2), windows.journal.clear(), windows.Window(form).alive = false, Ticks(5);
  EXPECT_EQ(std::tuple(windows.Trace(), Model().txmode, Model().txon), std::tuple(Texts{"send app QSOPADFUNC 0"}, 0, false));
  Reset(), AddPsk31(), windows.Window(tune).alive = false, Model().Load(), Ticks(2);
  EXPECT_TRUE(Model().txon);
}

TEST_F(TransmitRoad, StatusBarShowsTimeModeAndElapsedTimeEvery21Ticks) {
  for (const bool tod : {true, false}) {
    SCOPED_TRACE(tod ? "TOD True" : "TOD False");
    Reset(), Set("Opt", "TOD", tod ? "True" : "False"), desktop.now = {2026, 12, 6, 10, 30, 0};
    Started(), Model().Tick(), windows.Window(form).caption = "PSK31 SB [QPSK]", Ticks(20);
    EXPECT_EQ(view.panels[4], "BPSK") << "no refresh for 20 ticks";
    Model().Tick();
    EXPECT_EQ(std::tuple(view.panels[0], view.panels[4]), std::tuple(" 06 Dec 2026 10:30z ", "QPSK"));
    EXPECT_EQ(std::pair(view.panel_enabled[3], view.panel_enabled[5]), std::pair(false, false));
    Model().OnButtonClick(1), desktop.now.minute = 31, desktop.now.second = 5, Ticks(21);
    EXPECT_EQ(std::pair(view.panel_enabled[3], view.panel_enabled[5]), std::pair(true, true));
    EXPECT_EQ(view.panels[5], tod ? " 00:01:05 " : "") << "with TOD off the text stays";
  }
  windows.Window(form).caption = "PSK31 SB [QPSK]x", Model().txmode = 0, Ticks(21);
  EXPECT_EQ(std::tuple(view.panels[4], view.panel_enabled[5], view.send_colour, view.send_enabled),
            std::tuple("BPSK", false, Colour::kNormal, true));
}

// Macro n holds "m<n>", so what is queued names the macro a key ran. (Plain and Shift F1
// and F10, Insert and Delete: end to end.)
TEST_F(TransmitRoad, KeyRulesRouteFunctionKeysAndFrequencyKeys) {
  constexpr unsigned kF1 = kVkF1, kF10 = kVkF10, kF11 = kVkF10 + 1, kHome = 36;
  constexpr int kShift = kShiftBit, kCtrl = kCtrlBit;
  const struct { unsigned vk; int shift; bool retro, retro_a, swallowed; const char* queued; const char* memo = nullptr; } rows[] = {
      {kF11, 0, false, false, false, ""},            {kF1, kCtrl, false, false, false, ""},
      {kF1, kAltBit, false, false, false, ""},       {kF1, kShift | kCtrl, false, false, false, ""},
      {kF1, kCtrl, true, false, true, "m10"},        {kF10, kCtrl, true, false, true, "m19"},
      {kF1, kShift, true, false, true, "m0"},        {kF1, kShift | kCtrl, true, false, false, ""},
      {'A', 0, false, false, false, ""},             {kVkLeft, 0, false, false, false, ""},
      {kVkLeft, 0, false, true, true, "", "37"},     {kVkDown, 0, false, true, true, "", "40"},
      {kHome, 0, false, true, false, ""},            {kVkDown + 1, 0, false, true, false, ""},
      {kVkUp, kShift, false, true, false, ""},       {kVkInsert, kShift, false, false, true, ""},
      {kVkDelete, kCtrl, false, false, true, ""},    {kVkInsert, kShift | kCtrl, false, false, true, ""},
  };
  Started();
  for (int n = 0; n < 20; ++n) Set("Macro", std::to_string(n), "m" + std::to_string(n));
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.vk << " shift " << row.shift << " Retro " << row.retro << row.retro_a);
    Set("Opt", {{"Retro", row.retro ? "True" : "False"}, {"RetroA", row.retro_a ? "True" : "False"}});
    Model().sendbuf.clear(), windows.journal.clear(), view.menu_visible[0] = true, view.menu_visible[1] = false;
    EXPECT_EQ(Model().OnKeyDown(row.vk, row.shift), row.swallowed);
    // A key left to the typing area puts the focus there.
    const Texts calls = row.memo ? Texts{"send memo down "s + row.memo, "send memo up "s + row.memo}
                                 : row.swallowed ? Texts{} : Texts{"focus"};
    EXPECT_EQ(std::tuple(Model().sendbuf, windows.Trace(), view.menu_visible[1]), std::tuple(row.queued, calls, row.retro));
  }
}

TEST_F(TransmitRoad, LogProgramPairsAndExchangesThePartner) {
  Set("Opt", "Zero", "True"), AddPsk31();
  Model().OnCopyData(1, "EARLY"), Model().OnRegisteredMessage(0xC001, 0, 0x5000);  // before start-up has ended
  EXPECT_EQ(std::pair(Model().ocall, Model().logwnd), std::pair(""s, WindowHandle{0}));
  Model().Load(), windows.journal.clear();
  const unsigned logmsg = Model().logmsg;
  Model().OnRegisteredMessage(logmsg, 255, 0x5000), Model().OnRegisteredMessage(logmsg + 1, 0, 0x5000);
  EXPECT_EQ(Model().logwnd, 0u) << "our own answer coming back, and another registered message, are ignored";
  Model().OnRegisteredMessage(logmsg, 0, 0x5000), Model().OnCopyData(1, "ZX0CALL");  // paired: end to end
  EXPECT_EQ(std::tuple(view.caption[4], view.panels[1]), std::tuple("ZX\xD8" "CALL", " ZX\xD8" "CALL"));
  Model().OnCopyData(2, "Ann"), Model().OnCopyData(3, "ignored");
  EXPECT_EQ(std::pair(view.panels[2], Model().namebuf), std::pair(" Ann"s, "Ann"s));
  EXPECT_EQ(palette.seen, (std::vector<std::string>{"ZX\xD8" "CALL||1", "ZX\xD8" "CALL|Ann|1"}))
      << "the palette rebuilds from the published values";
  Model().ocall = "ZX0NEW", Model().SetOcall(), Model().OnPanelClick(MainView::Panel::kOcall, true);
  for (const std::size_t size : {255u, 256u}) Model().namebuf = std::string(size - 1, 'n') + "\xE9", Model().SetNamebuf();
  EXPECT_EQ(windows.Trace(), (Texts{"post 0x5000 QSOPADLOG 255 28672", "copydata 0x5000 1 ZX0NEW", "copydata 0x5000 1 ",
                                    "copydata 0x5000 2 ", "copydata 0x5000 2 " + std::string(254, 'n') + "\xE9",
                                    "copydata 0x5000 2 " + std::string(255, 'n')}))
      << "answered to the log window (our window 0x7000); incoming values are not echoed; slashed zeros undone "
         "for the log program; Shift+click clears call and name; 255 bytes at most";
}

TEST(Elapsed, FormatsWithinOneDay) {
  const std::pair<double, const char*> rows[] = {
      {0, " 00:00:00 "}, {3725.9, " 01:02:05 "}, {86399.99, " 23:59:59 "}, {86400 + 61, " 00:01:01 "}};
  for (const auto& [seconds, text] : rows) EXPECT_EQ(FormatElapsed(seconds), text) << seconds;
  EXPECT_DOUBLE_EQ(LocalSeconds({2027, 1, 1, 0, 0, 0}) - LocalSeconds({2026, 12, 31, 23, 59, 59}), 1.0);
  EXPECT_DOUBLE_EQ(LocalSeconds({2024, 3, 1, 0, 0, 0}) - LocalSeconds({2024, 2, 28, 0, 0, 0}), 2 * 86400.0);
}

// ---- The commands that fill the queue ----

// Each line is expanded and queued with a carriage return; blank lines too.
TEST_F(MacroCommands, AtMacroSendsTheFileLineByLineOrShowsTheFileError) {
  testing::TempFolder folder;
  testing::WriteBytes(folder.File("qso.txt"), "first\r\n\r\nsecond\n\nd\xE9j\xE0 ^M");
  testing::WriteBytes(folder.File("empty.txt"), ""), Set("Call", "MyCall", "ZX0AB"), Started();
  const struct { std::string macro, queued; const char* message; } rows[] = {
      {"@" + folder.File("qso.txt"), "first\r\rsecond\r\rd\xE9j\xE0 ZX0AB\r", nullptr},
      {"@" + folder.File("empty.txt"), "", nullptr},
      {"@" + folder.File("missing.txt"), "", "Error: File Error: cannot open \""},
      {"@" + folder.File(""), "", "Error: File Error: cannot read \""},  // a folder
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.macro);
    Model().sendbuf.clear(), view.messages.clear(), Set("Macro", "10", row.macro), Model().OnKeyDown(kVkF1, 0);
    EXPECT_EQ(std::pair(Model().sendbuf, view.messages.size()), std::pair(row.queued, std::size_t{row.message ? 1u : 0u}));
    EXPECT_THAT(view.messages, ::testing::Each(fakes::StartsWith(row.message ? row.message : "")));
  }
  EXPECT_TRUE(reporter.reports.empty()) << "a file error is expected, not unexpected";
}

TEST(TextFile, LinesReadBeforeAFailureAreKept) {
  int calls = 0;
  const TextLines out = SplitLines([&](char* buffer, std::size_t size) -> std::size_t {
    if (++calls == 2) throw Error("cannot read \"x.txt\": Input/output error");
    EXPECT_GE(size, 12u);
    return "one\r\ntwo\nthr"s.copy(buffer, 12);
  });
  EXPECT_EQ(std::pair(out.lines, out.error), std::pair(Texts{"one", "two"}, "cannot read \"x.txt\": Input/output error"s));
  const std::pair<std::string, Texts> rows[] = {{"a\r\n\r\nb", {"a", "", "b"}}, {"a\n", {"a"}}, {"\n", {""}},
                                                {"", {}}, {"a\rb\r", {"a\rb"}}, {"\r\n\r\n", {"", ""}}};
  for (const auto& [bytes, lines] : rows) {
    const TextLines whole = SplitLines([&, done = false](char* buffer, std::size_t) mutable {
      return std::exchange(done, true) ? 0 : bytes.copy(buffer, bytes.size());
    });
    EXPECT_EQ(std::pair(whole.lines, whole.error), std::pair(lines, ""s)) << ::testing::PrintToString(bytes);
  }
}

TEST_F(MacroCommands, StoredMacrosWinOverDefaultsAndPasteIsExpanded) {
  Set("Call", "MyCall", "ZX0AB"), Started();
  Model().ocall = "ZX9YZ", Model().SendMacro(10);
  EXPECT_EQ(Model().sendbuf, " ZX9YZ de ZX0AB ") << "the default of F1";
  Model().sendbuf.clear(), Set("Macro", "10", ""), Model().SendMacro(10);
  EXPECT_EQ(Model().sendbuf, "") << "a stored empty macro sends nothing";
  for (const auto& clip : std::vector<std::optional<std::string>>{"de ^M", "", std::nullopt})
    desktop.clipboard = clip, Model().PasteText();
  EXPECT_EQ(Model().sendbuf, "de ZX0AB");
  Model().sendbuf.clear(), Set("Opt", "Zero", "True"), Set("Macro", "12", "rst 509 ^0"), Model().SendMacro(12);
  // Zeros are slashed before expansion: the text's zero is slashed, ^0 stays the receive code.
  EXPECT_EQ(Model().sendbuf, "rst 5\xD8" "9 \0"s);
}

TEST_F(MacroCommands, RepeatLastExpandsALiteralCaretCodeTheSecondTime) {
  Set("Call", "MyCall", "ZX0AB"), Started();
  Model().SendNKCharNB("^9pse ^^M^0"), Ticks(10);
  EXPECT_EQ(std::pair(MemoChars(), Model().lastxmit), std::pair("pse ^M"s, "pse ^M"s));
  Model().mnuXRpt_Click();
  EXPECT_EQ(std::tuple(Model().txmode, Model().sendbuf, Model().lastxmit), std::tuple(1, "pse ZX0AB\0"s, ""))
      << "the transmit code empties lastxmit";
}

// (The captions after each command, the number stored, whole answers and the question asked: end to end.)
TEST_F(MacroCommands, SerialNumberCommandsAndCaptions) {
  Set("Opt", {{"SerialNo", "9"}, {"Zero", "True"}}), Started(), Model().mnuIncr_Click();
  EXPECT_EQ(std::pair(view.caption[6], palette.seen), std::pair("S/&N: 0010"s, Texts{"||10"}))
      << "the palette rebuilds with the new number; the caption has no slashed zeros";
  Model().OnButtonClick(6);  // the number as a word, zeros slashed
  EXPECT_EQ(Model().sendbuf, " \xD8\xD8" "1\xD8 ");
  const struct { const char *answer, *caption; long serial; bool invalid; } rows[] = {
      {"12.5", "S/&N:0012", 12, false}, {"-7", "S/&N:-0007", -7, false}, {"abc", "S/&N:-0007", -7, true},
      {"", "S/&N:-0007", -7, false}, {"2147483647", "S/&N:2147483647", 2147483647, false},
      {"2147483648", "S/&N:2147483647", 2147483647, true}, {"-2147483648", "S/&N:-2147483648", -2147483648L, false},
      {"-2147483649", "S/&N:-2147483648", -2147483648L, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answer);
    view.messages.clear(), view.answers = {row.answer}, Model().mnuSetSerial_Click();
    EXPECT_EQ(std::tuple(Model().serialno, view.caption[6], Get("Opt", "SerialNo")),
              std::tuple(row.serial, row.caption, std::to_string(row.serial)));
    EXPECT_EQ(view.messages, row.invalid ? Texts{"QSOPAD: Invalid Number"} : Texts{});
  }
  // An increment at the largest is an error and changes nothing.
  view.answers = {"2147483647"}, Model().mnuSetSerial_Click();
  const int rebuilds = palette.rebuilds;
  Model().mnuIncr_Click();
  EXPECT_THAT(reporter.reports, fakes::ElementsAre(fakes::StartsWith("mnuIncr_Click: ")));
  EXPECT_EQ(std::tuple(Model().serialno, Get("Opt", "SerialNo"), view.caption[6], palette.rebuilds),
            std::tuple(2147483647L, "2147483647", "S/&N:2147483647", rebuilds));
}

}  // namespace
}  // namespace qsopad
