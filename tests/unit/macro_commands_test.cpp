// Sending macros and files, Repeat Last, time and serial-number commands, own call.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "main_form_fixture.h"
#include "temp_folder.h"

namespace qsopad {
namespace {

using fakes::MainFormTest;
using MacroCommands = MainFormTest;

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

TEST_F(MacroCommands, AtMacroSendsTheFileLineByLineOrShowsTheFileError) {
  testing::TempFolder folder;
  const std::string path = folder.File("qso.txt");
  WriteFile(path, "first\r\nsecond\nthird ^M");
  Set("Call", "MyCall", "ZX0AB");
  Started();
  Set("Macro", "10", "@" + path);
  Model().OnKeyDown(kVkF1, 0);
  EXPECT_EQ(std::tuple(Model().sendbuf, view.text1, view.messages.size()),
            std::tuple("first\rsecond\rthird ZX0AB\r", "first\r\nsecond\r\nthird ZX0AB\r\n", 0u))
      << "CR LF and LF alike";
  Model().sendbuf.clear();

  // File problems show the file error.
  Set("Macro", "10", "@");
  Model().SendMacro(10);
  EXPECT_THAT(view.messages, fakes::ElementsAre(fakes::StartsWith("Error: File Error: ")));
  Set("Macro", "11", "@" + folder.File("missing.txt"));
  Model().SendMacro(11);
  EXPECT_THAT(view.messages,
              fakes::ElementsAre(fakes::StartsWith("Error: File Error: "), fakes::HasSubstr("missing.txt")));
  EXPECT_EQ(Model().sendbuf, "");
  EXPECT_TRUE(reporter.reports.empty()) << "a file error is expected, not unexpected";

  WriteFile(folder.File("empty.txt"), "");
  Set("Macro", "12", "@" + folder.File("empty.txt"));
  Model().SendMacro(12);
  EXPECT_EQ(std::tuple(view.messages.size(), Model().sendbuf), std::tuple(2u, ""))
      << "an empty file sends nothing and says nothing";
}

TEST_F(MacroCommands, XmitFileAsksForATextFile) {
  testing::TempFolder folder;
  WriteFile(folder.File("a.txt"), "73");
  Started();
  Model().mnuXFile_Click();
  EXPECT_EQ(view.prompts, std::vector<std::string>{"Select File [Text Files|*.txt]"});
  EXPECT_EQ(Model().sendbuf, "") << "cancelled: nothing sent";
  view.open_file = folder.File("a.txt");
  Model().mnuXFile_Click();
  EXPECT_EQ(Model().sendbuf, "73\r");
}

TEST_F(MacroCommands, RepeatLastExpandsALiteralCaretCodeTheSecondTime) {
  Set("Call", "MyCall", "ZX0AB");
  Started();
  Model().SendNKCharNB("^9pse ^^M^0");
  Ticks(10);
  EXPECT_EQ(std::pair(MemoChars(), Model().lastxmit), std::pair(std::string("pse ^M"), std::string("pse ^M")));
  Model().mnuXRpt_Click();
  EXPECT_EQ(std::tuple(Model().txmode, Model().sendbuf, Model().lastxmit),
            std::tuple(1, std::string("pse ZX0AB\0", 10), ""))
      << "the transmit code empties lastxmit";
}

TEST_F(MacroCommands, SerialNumberCommandsAndCaptions) {
  Set("Opt", "SerialNo", "9");
  Started();
  Model().mnuXSerial_Click();
  EXPECT_EQ(Model().sendbuf, " 0009 ");
  Model().mnuIncr_Click();
  EXPECT_EQ(std::tuple(Get("Opt", "SerialNo"), view.caption[6], palette.rebuilds), std::tuple("10", "S/&N: 0010", 1))
      << "the menu increment puts a space after the colon";
  Model().SendNKCharNB("^+");
  EXPECT_EQ(view.caption[6], "S/&N:0011") << "the code does not";

  const struct {
    const char *answer, *caption;
    long serial;
    bool invalid;
  } rows[] = {{"12.5", "S/&N:0012", 12, false}, {"13.5", "S/&N:0014", 14, false},
              {"-7", "S/&N:-0007", -7, false},  {"abc", "S/&N:-0007", -7, true},
              {"", "S/&N:-0007", -7, false},    {"99999999999", "S/&N:-0007", -7, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answer);
    view.messages.clear();
    view.answers = {row.answer};
    Model().mnuSetSerial_Click();
    EXPECT_EQ(std::tuple(Model().serialno, view.caption[6], Get("Opt", "SerialNo")),
              std::tuple(row.serial, row.caption, std::to_string(row.serial)));
    EXPECT_EQ(view.messages, row.invalid ? std::vector<std::string>{"QSOPAD: Invalid Number"}
                                         : std::vector<std::string>{});
  }
  EXPECT_EQ(view.prompts.back(), "Serial Number?");
}

TEST_F(MacroCommands, IncrementAtTheLargestSerialIsAnErrorAndChangesNothing) {
  Set("Opt", "SerialNo", "2147483647");
  Started();
  Model().mnuIncr_Click();
  EXPECT_THAT(reporter.reports, fakes::ElementsAre(fakes::StartsWith("mnuIncr_Click: ")));
  EXPECT_EQ(std::tuple(Model().serialno, Get("Opt", "SerialNo"), view.caption[6], palette.rebuilds),
            std::tuple(2147483647L, "2147483647", "", 0));
}

TEST_F(MacroCommands, SerialAndTimeAreSentAsWords) {
  Set("Opt", {{"Zero", "True"}, {"SerialNo", "10"}});
  Started();
  Model().mnuXSerial_Click();
  EXPECT_EQ(Model().sendbuf, " \xD8\xD8" "1\xD8 ");
  Model().sendbuf.clear();
  Set("Opt", "Zero", "False");
  Model().OnButtonClick(5);
  EXPECT_EQ(Model().sendbuf, " 06 Dec 2026 10:30z ");
}

TEST_F(MacroCommands, ButtonRightClicksSetOwnCallAndSerial) {
  Started();
  view.answers = {"ZX0NEW"};
  Model().OnButtonRightClick(3);
  EXPECT_EQ(view.prompts.back(), "Set your call sign");
  EXPECT_EQ(std::tuple(Model().mycall, Get("Call", "MyCall"), view.caption[3]),
            std::tuple("ZX0NEW", "ZX0NEW", "ZX0NEW"));
  Model().OnButtonRightClick(3);  // cancelled
  EXPECT_EQ(Model().mycall, "ZX0NEW");
  view.answers = {"41"};
  Model().OnButtonRightClick(6);
  EXPECT_EQ(Model().serialno, 41);
}

}  // namespace
}  // namespace qsopad
