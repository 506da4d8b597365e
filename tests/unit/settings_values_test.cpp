// Typed reads and writes: the conversion rules, defaults, write spellings, error texts.
#include "options/settings_values.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "options/memory_store_file.h"

namespace qsopad {
namespace {

TEST(SettingsValues, BooleansNumbersAndWholeNumbers) {
  const std::pair<const char*, bool> bools[] = {{" tRUe\t", true}, {"  false ", false}, {"-0", false}, {" 000 ", false},
                                                {"0.0", false},     {"-1", true},        {".001", true}, {"+7", true}};
  for (const auto& [text, value] : bools) EXPECT_EQ(ParseBool(text), value) << text;
  for (const char* bad : {"", " ", "yes", "T", "True1", "--1", ".", "0x1", "1e3", "1,0", "Tru\xC9", "\xA0" "1"})
    EXPECT_THROW(ParseBool(bad), Error) << bad;
  const std::pair<const char*, double> numbers[] = {{"8.25", 8.25}, {" -3 ", -3}, {"+4", 4}, {".5", 0.5}, {"1.", 1}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(ParseNumber(text), value) << text;
  for (const char* bad : {"", "-", "1 2", "1..2", "1e3", "0x10", "1,5", "- 1", "True", "\n1", "1\r", "\xB9"})
    EXPECT_THROW(ParseNumber(bad), Error) << bad;
  // Whole numbers round half to even and must fit 32 bits.
  const std::pair<const char*, long> longs[] = {{"1.5", 2}, {"2.5", 2}, {"-0.5", 0}, {"-2.5", -2}, {"2.5001", 3},
                                                {"2147483647.4", 2147483647}, {"-2147483648.5", -2147483647L - 1}};
  for (const auto& [text, value] : longs) EXPECT_EQ(ParseLong(text), value) << text;
  for (const char* bad : {"2147483647.5", "2147483648", "-2147483649", "-2147483648.51", "x"})
    EXPECT_THROW(ParseLong(bad), Error) << bad;
}

TEST(SettingsValues, ErrorTextsNameSectionKeyAndValue) {
  SettingsStore store(std::make_unique<MemoryStoreFile>());
  store.WriteSetting("Win", "Top", "3000000000");
  try {
    ReadLong(store, keys::kWinTop), ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Setting [Win] \"Top\" holds \"3000000000\", which is outside the range of a 32-bit whole number");
  }
}

// Writers use their own spelling of a key and form of a boolean; every reader meets every writer.
TEST(SettingsValues, DefaultsAndWritersOfDifferentSpellingsAndFormsMeetTheReaders) {
  MemoryStoreFile file;
  SettingsStore store(std::make_unique<MemoryStoreFile>(file.SharedState()));
  EXPECT_EQ(std::tuple(ReadLong(store, keys::kWinWidth, -7200), ReadBool(store, keys::kLookup, true)), std::tuple(-7200, true));
  EXPECT_EQ(file.ReplaceCount(), 0) << "reading writes nothing";
  WriteBool(store, keys::kWordBk, true), WriteLong(store, keys::kLuName, 1), WriteText(store, keys::kLookup, "1");
  EXPECT_TRUE(ReadBool(store, keys::kWordBk) && ReadBool(store, keys::kLuName) && ReadBool(store, keys::kLookup));
  WriteBool(store, keys::kLookup, false), WriteLong(store, keys::kSerialNo, -2147483647L - 1);  // options dialog
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(store.ListSection("Opt"),
            (Pairs{{"WordBk", "True"}, {"luname", "1"}, {"Lookup", "False"}, {"SerialNo", "-2147483648"}}));
}

}  // namespace
}  // namespace qsopad
