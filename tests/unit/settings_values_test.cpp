// Typed reads and writes: the conversion rules, defaults, write spellings, error texts.
#include "options/settings_values.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/error.h"
#include "options/memory_store_file.h"

namespace qsopad {
namespace {

std::string ErrorText(const std::function<void()>& f) {
  try { f(); } catch (const Error& e) { return e.what(); }
  return "(no error)";
}

TEST(SettingsValues, BooleanRule) {
  const std::pair<const char*, bool> good[] = {{"True", true}, {" tRUe\t", true}, {"FALSE", false}, {"  false ", false},
                                              {"0", false},    {"-0", false},      {"0.0", false},   {" 000 ", false},
                                              {"-1", true},    {"2.5", true},      {".001", true},   {"+7", true}};
  for (const auto& [text, value] : good) EXPECT_EQ(ParseBool(text), value) << text;
  for (const char* bad : {"", " ", "maybe", "yes", "T", "True1", "truefalse", "1a", "--1", ".", "0x1", "1e3", "1,0",
                          "Tru\xC9", "\xA0" "1"})
    EXPECT_THROW(ParseBool(bad), Error) << bad;
}

TEST(SettingsValues, Numbers) {
  const std::pair<const char*, double> good[] = {{"10", 10}, {"8.25", 8.25}, {" -3 ", -3}, {"+4", 4},
                                                {".5", 0.5}, {"1.", 1},      {"\t16777215\t", 16777215}};
  for (const auto& [text, value] : good) EXPECT_EQ(ParseNumber(text), value) << text;
  for (const char* bad :
       {"", "-", "+", "abc", "1 2", "1..2", "1e3", "0x10", "1,5", "- 1", "True", "\n1", "1\r", "\xB9"})
    EXPECT_THROW(ParseNumber(bad), Error) << bad;
}

TEST(SettingsValues, WholeNumbersRoundHalfToEvenWithin32Bits) {
  const std::pair<const char*, long> good[] = {
      {"0.5", 0},   {"1.5", 2},   {"2.5", 2},       {"-0.5", 0},     {"-1.5", -2},       {"-2.5", -2},
      {"2.4999", 2}, {"2.5001", 3}, {"2147483647", 2147483647}, {"2147483647.4", 2147483647},
      {"-2147483648", -2147483647L - 1}, {"-2147483648.5", -2147483647L - 1}};
  for (const auto& [text, value] : good) EXPECT_EQ(ParseLong(text), value) << text;
  for (const char* bad : {"2147483647.5", "2147483648", "-2147483649", "-2147483648.51", "99999999999999999999", "x"})
    EXPECT_THROW(ParseLong(bad), Error) << bad;
}

TEST(SettingsValues, ErrorTextsNameSectionKeyAndValue) {
  SettingsStore store(std::make_unique<MemoryStoreFile>());
  store.WriteSetting("Win", "Top", "3000000000");
  EXPECT_EQ(ErrorText([&] { ReadLong(store, keys::kWinTop); }),
            "Setting [Win] \"Top\" holds \"3000000000\", which is outside the range of a 32-bit whole number");
  EXPECT_EQ(ErrorText([] { ParseBool("maybe"); }), "\"maybe\" is not True, False or a number");
  // A key whose default depends on the screen must be read with one.
  EXPECT_NE(ErrorText([&] { ReadLong(store, keys::kWinWidth); }).find("\"Width\""), std::string::npos);
}

// Readers supply defaults as text; writers use their own spelling of a key and their
// own form of a boolean, and every reader meets every writer.
TEST(SettingsValues, DefaultsAndWritersOfDifferentSpellingsAndFormsMeetTheReaders) {
  MemoryStoreFile file;
  SettingsStore store(std::make_unique<MemoryStoreFile>(file.SharedState()));
  EXPECT_EQ(std::tuple(ReadLong(store, keys::kWinWidth, -7200), ReadNumber(store, keys::kFontSize, 0.1),
                       ReadBool(store, keys::kLookup, true), ReadText(store, keys::kFontName, "Courier New")),
            std::tuple(-7200, 0.1, true, "Courier New"));
  EXPECT_EQ(file.ReplaceCount(), 0) << "reading writes nothing";
  WriteBool(store, keys::kWordBk, true);
  WriteLong(store, keys::kLuName, 1);
  WriteText(store, keys::kLookup, "1");  // the call sign window's check box
  EXPECT_TRUE(ReadBool(store, keys::kWordBk) && ReadBool(store, keys::kLuName) && ReadBool(store, keys::kLookup));
  WriteBool(store, keys::kLookup, false);  // the options dialog
  EXPECT_FALSE(ReadBool(store, keys::kLookup, true));
  WriteLong(store, keys::kSerialNo, -2147483647L - 1);
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(store.ListSection("Opt"),
            (Pairs{{"WordBk", "True"}, {"luname", "1"}, {"Lookup", "False"}, {"SerialNo", "-2147483648"}}));
}

}  // namespace
}  // namespace qsopad
