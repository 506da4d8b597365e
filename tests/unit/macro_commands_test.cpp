// Sending macros and files, paste, Repeat Last, time and serial-number commands, own call.
#include <gtest/gtest.h>

#include "common/error.h"
#include "macros/text_file.h"
#include "main_form_fixture.h"
#include "temp_folder.h"
#include "test_files.h"

namespace qsopad {
namespace {

using namespace std::string_literals;
using fakes::MainFormTest;
using MacroCommands = MainFormTest;
using Texts = std::vector<std::string>;

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
    EXPECT_EQ(Model().sendbuf, row.queued);
    EXPECT_EQ(view.messages.size(), row.message ? 1u : 0u);
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
