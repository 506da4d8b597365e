// One report per error, named after the trap that caught it, the transmitter released first.
#include <gtest/gtest.h>

#include "main_form_fixture.h"

namespace qsopad::fakes {
namespace {

TEST_F(MainFormTest, AnErrorReleasesTheTransmitterThenIsReportedOnce) {
  Started(), Set("Opt", "GMT", "abc");
  Model().SendNKCharNB("^9"), Ticks(60);  // transmitting; the next status refresh needs the time
  EXPECT_THAT(reporter.reports, ElementsAre(::testing::AllOf(StartsWith("Timer1_Timer: "), HasSubstr("abc"))));
  EXPECT_EQ(windows.Trace(), (std::vector<std::string>{"send app QSOPADFUNC 0 1", "send form QSOPADFUNC 0 1",
                                                       "send panel down 116", "send panel up 116", "report Timer1_Timer"}))
      << "the report ends the program: the transmitter must be free before it";
  // While the message box is open nothing else is reported and no tick runs.
  Model().SendMacro(13), Type("abc "), Ticks(10);  // "^4 " needs the time too
  EXPECT_EQ(std::tuple(reporter.reports.size(), PanelKeys(), MemoChars()), std::tuple(1u, std::vector<unsigned>{kVkF5}, ""));
}

TEST_F(MainFormTest, ErrorsCarryTheNameOfTheProcedureWhoseTrapCaughtThem) {
  // The expansion traps its own errors and those of the time text it calls.
  const struct { const char *key, *value; std::function<void(MainForm&)> action; const char* procedure; } rows[] = {
      {"GMT", "abc", [](MainForm& m) { m.SendNKCharNB("at ^H"); }, "SExpand: "},
      // Called outside an expansion, the time text's error is its caller's.
      {"GMT", "abc", [](MainForm& m) { m.mnuXTime_Click(); }, "mnuXTime_Click: "},
      {"Zero", "maybe", [](MainForm& m) { m.SendMacro(11); }, "Zeros: "},
      {"SendCR", "yes", [](MainForm& m) { m.OnButtonClick(1); }, "SExpand: "},
      {"Retro", "maybe", [](MainForm& m) { m.OnKeyDown(kVkF1, 0); }, "Form_KeyDown: "},
      {"Zero", "maybe", [](MainForm& m) { m.OnKeyPress('0'); }, "Form_KeyPress: "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.procedure);
    Reset(), Set("Opt", {{"GMT", "0"}, {"Zero", "False"}, {"SendCR", "0"}, {"Retro", "False"}}), Started();
    Set("Opt", row.key, row.value), row.action(Model());
    EXPECT_THAT(reporter.reports, ElementsAre(StartsWith(row.procedure)));
  }
}

TEST(AccessKeys, FindTheButtonWhoseCaptionHasTheKey) {
  const std::array<std::string, 6> captions{"&Send", "", "K1&&X", "A&&&B", "Time/&Date", "S/&N "};
  // "&Rcv" hidden or disabled has no caption; "&&" is an ampersand, not a key.
  const std::pair<char, int> rows[] = {{'s', 1}, {'S', 1}, {'D', 5}, {'n', 6}, {'b', 4}, {'r', 0}, {'x', 0}};
  for (const auto& [letter, button] : rows) EXPECT_EQ(AccessKeyButton(captions, letter), button) << letter;
}

}  // namespace
}  // namespace qsopad::fakes
