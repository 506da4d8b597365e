// The options file: its bytes, files from earlier versions and by hand, damaged and failing files. (A load in
// pieces, and an export reading back to itself, awkward bytes in keys and values too, are the fuzz target's.)
#include "options/options_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

#include "common/error.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

namespace qsopad {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;
using std::string_literals::operator""s;

// A store and a view of its settings file.
struct Store { MemoryStoreFile file; SettingsStore store{std::make_unique<MemoryStoreFile>(file.SharedState())}; };

struct RecordingSink : OptionsFileSink {
  void WriteWhole(const std::string& bytes) override { writes.push_back(bytes), fail.empty() ? void() : throw Error(fail); }
  std::vector<std::string> writes;
  std::string fail;  // when set, the description to fail with
};

// Hands out its bytes 30 at a time, then fails instead of reporting the end.
struct FailingSource : OptionsFileSource {
  explicit FailingSource(std::string_view bytes) : rest(bytes) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = rest.empty() ? throw Error("a.QPD: The device is not ready. (21)") : rest.copy(buffer, std::min<std::size_t>(size, 30));
    return rest.remove_prefix(n), n;
  }
  std::string_view rest;
};

TEST(OptionsFile, SaveWritesTheSixSectionsInTheStoresOrder) {
  const std::string six = "\"*Opt\",\"*\"\r\n\"*Win\",\"*\"\r\n\"*URLS\",\"*\"\r\n\"*Macro\",\"*\"\r\n\"*Call\",\"*\"\r\n\"*ADif\",\"*\"\r\n";
  const struct { const char* what; std::vector<std::array<const char*, 3>> writes; std::string bytes; const char* fail = nullptr; } rows[] = {
      {"nothing stored, to a file that cannot be written", {}, six, "C:\\opts\\a.QPD: Access is denied. (5)"},
      {"entries in the order of first write, first spelling kept",
       {{"X", "Other", "not exported"}, {"adif", "File", "c:\\log.adi"}, {"Macro", "10", " ^3 de ^2 "},
        {"Macro", "2", "b"}, {"Opt", "WordBk", "True"}, {"Opt", "Path", "c:\\psk31\\psk31sbw.exe"},
        {"Macro", "10", "a, b\r\nc=\xE9\xD8"}, {"OPT", "wordbk", ""}},
       "\"*Opt\",\"*\"\r\n\"WordBk\",\"\"\r\n\"Path\",\"c:\\psk31\\psk31sbw.exe\"\r\n"
       "\"*Win\",\"*\"\r\n\"*URLS\",\"*\"\r\n\"*Macro\",\"*\"\r\n\"10\",\"a, b\r\nc=\xE9\xD8\"\r\n\"2\",\"b\"\r\n"
       "\"*Call\",\"*\"\r\n\"*ADif\",\"*\"\r\n\"File\",\"c:\\log.adi\"\r\n"},
      {"a quote in a key: written twice, the file saying so on its first line", {{"Call", "say \"hi\"", "x"}},
       "\"QSOPAD options\",\"quotes doubled\"\r\n\"*Opt\",\"*\"\r\n\"*Win\",\"*\"\r\n\"*URLS\",\"*\"\r\n"
       "\"*Macro\",\"*\"\r\n\"*Call\",\"*\"\r\n\"say \"\"hi\"\"\",\"x\"\r\n\"*ADif\",\"*\"\r\n"},
      {"an entry (from a hand-edited settings file) that would read as a section line", {{"Opt", "Zone", "z"}, {"Opt", "*Win", "*"}},
       "\"*Opt\",\"*\"\r\n\"Zone\",\"z\"\r\n" + six.substr(12)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Store s;
    for (const auto& [section, key, value] : row.writes) s.store.WriteSetting(section, key, value);
    RecordingSink sink;
    sink.fail = row.fail ? row.fail : "";
    EXPECT_EQ(SaveOptionsFile(s.store, sink), row.fail ? std::optional("File error: "s + row.fail) : std::nullopt);
    EXPECT_EQ(sink.writes, std::vector<std::string>{row.bytes});
  }
}

// Hand-written, earlier and damaged files: records in an unknown section or none, with no key, too few
// or too many fields, a quote left open, are skipped or stored line by line.
TEST(OptionsFile, ReadsHandWrittenEarlierAndDamagedFilesLineByLine) {
  const std::string file =
      "\xEF\xBB\xBF\"*Opt\",\"*\"\r\n\"Zone\",\"z\"\r\n\r\n\"Lonely\"\r\n"  // saved as UTF-8 by Notepad
      "\tAux ,\t c:\\aux.exe \t\n"     // unquoted (blanks and tabs around), LF alone
      "\"GMT\" , \"-5\"\r"             // blanks around quoted fields, CR alone
      // Earlier versions wrote quotes as they were and, as their reader did, a quote ends the field and the rest
      // of the line goes: one quote, one at the end, a quoted path, one before a line break (the rest a line).
      "\"Path\",\"a\"b\"\r\n\"RXCHAR\",\"\"\"\r\n\"12\",\"5 ft\"\"\r\n\"Cmd\",\"\"c:\\a b.exe\" -x\"\r\n"
      "\"Say\",\"say \"hi\"\r\nnext\"\r\n\"FontName\",\"\"\r\n\"\",\"no key\"\r\n\"Note\",\"5\",\"extra\",x\r\n"
      "\"Text\",\"first\r\n\"Lost\",\"a\"\r\n"  // a quote left open runs into the next line
      "\"*ADif\",\"*\"\r\n\"File\",\"c:\\log.adi\"\r\n\"*X\",\"*\"\r\n\"Never\",\"used\"\r\n"
      "\"*\",\"*\"\r\n\"Orphan\",\"no section\"\r\n"
      "*Call,*\r\nMyCall,K1ABC\r\n\"Retro\",\"never closed\r\n";  // unquoted section line; a quote open at the end
  Store s;
  const OptionsLoadResult r = LoadOptionsFile(s.store, file);
  EXPECT_EQ(s.store.ListSection("Opt"), (Pairs{{"Zone", "z"}, {"Aux", "c:\\aux.exe"}, {"GMT", "-5"}, {"Path", "a"}, {"RXCHAR", ""},
                                               {"12", "5 ft"}, {"Cmd", ""}, {"Say", "say "}, {"FontName", ""}, {"Note", "5"}, {"Text", "first\r\n"}}));
  EXPECT_EQ(std::tuple(s.store.ReadSetting("ADIF", "File", "-"), s.store.ListSection("X"), s.store.ListSection("Call")),
            std::tuple("c:\\log.adi"s, Pairs{{"Never", "used"}}, Pairs{{"MyCall", "K1ABC"}}));
  EXPECT_EQ(std::to_string(r.stored) + " " + std::to_string(r.skipped), "14 5");  // skipped: Lonely, next", no key, no section, Retro
  EXPECT_FALSE(r.error_text);
  EXPECT_EQ(s.file.ReplaceCount(), 1) << "the whole load in one write of the settings file";
  // Bytes that only begin like the mark are text, so this is no section line: Zone comes before any.
  Store partial, late, big;
  EXPECT_EQ(LoadOptionsFile(partial.store, "\xEF\xBB*Opt,*\r\nZone,z").stored, 0u);
  // Only a file that says so before its first section line doubles its quotes. (Such files read back: the fuzz
  // target reads every export back, whose bytes the save table above fixes.)
  const std::string mark = "\"QSOPAD options\",\"quotes doubled\"\r\n";
  LoadOptionsFile(late.store, "\"*Opt\",\"*\"\r\n" + mark + "\"Aux\",\"\"\"\"\r\n");
  EXPECT_EQ(late.store.ListSection("Opt"), (Pairs{{"QSOPAD options", "quotes doubled"}, {"Aux", ""}}));
  // A field of 16 MiB and one byte skips its record alone.
  const std::string mb(1 << 20, 'm');
  EXPECT_EQ(LoadOptionsFile(big.store, "\"*Macro\",\"*\"\r\n\"1\",\"" + mb + "\"\r\n2," + std::string((16 << 20) + 1, 'e') +
                                           "\r\n3,after\r\n").skipped, 1u);
  EXPECT_TRUE(big.store.ListSection("Macro") == (Pairs{{"1", mb}, {"3", "after"}}));
}

// A value the program cannot convert refuses the whole file, naming line, key and value; a failing file or store.
TEST(OptionsFile, AFileWithAValueTheProgramCannotReadStoresNothingAndAFailingOneEndsTheLoad) {
  // The entry comes after "Zone","utc" and any lines `before`; why "": stored.
  struct Row { const char *key, *value, *why, *before = ""; int line = 3; const char* section = "Opt"; };
  const char *range = "outside the range of a 32-bit whole number",
             *state = "not a check box state (a whole number from -32768 to 32767)";
  const Row rows[] = {
      {"FontSize", "big", "not a number"}, {"MPAL", "True", "not a number"}, {"retro", "yes", "not True, False or a number"},
      {"FontColor", "2147483648", range}, {"FontColor", "-2147483649", range}, {"FontColor", "2147483647", ""},
      {"FontColor", "-2147483648", ""}, {"CW1", "32768", state}, {"CW1", "-32769", state},
      {"CW1", "-32768", ""}, {"CW1", "32767", ""}, {"FontSize", " 9.75 ", ""}, {"Retro", "-1", ""},
      {"LDelay", "soon", ""},  // its reader falls back on the default
      {"En", "on", "not True, False or a number", "\"*ADif\",\"*\"\r\n", 4, "ADif"},
      {"FontSize", "big", "not a number", "\"Aux\",\"x\ry\nz\"\r\n", 6},  // CR, LF and CR LF end lines, in quotes too
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key + ": "s + row.value);
    Store s;
    s.store.WriteSetting("Opt", "Zone", "z");
    const OptionsLoadResult r = LoadOptionsFile(
        s.store, "\"*Opt\",\"*\"\r\n\"Zone\",\"utc\"\r\n"s + row.before + "\"" + row.key + "\",\"" + row.value + "\"\r\n");
    EXPECT_EQ(s.store.ReadSetting("Opt", "Zone", "-"), *row.why ? "z" : "utc");
    EXPECT_EQ(r.error_text.value_or("stored"),
              *row.why ? "File error: line " + std::to_string(row.line) + ": Setting [" + row.section + "] \"" + row.key +
                             "\" holds \"" + row.value + "\", which is " + row.why + ". Nothing was loaded."
                       : "stored");
    EXPECT_EQ(r.stored > 0, !*row.why);
  }
  // A failed read ends the load keeping what was stored; a failed store stores nothing.
  Store s, full;
  const std::string text = "\"*Opt\",\"*\"\r\n\"Zone\",\"z\"\r\n\"GMT\",\"5\"\r\n\"Aux\",\"a";
  FailingSource source(text);
  EXPECT_EQ(LoadOptionsFile(s.store, source).error_text, "File error: a.QPD: The device is not ready. (21)");
  EXPECT_EQ(s.store.ListSection("Opt"), (Pairs{{"Zone", "z"}, {"GMT", "5"}}));
  full.store.WriteSetting("Opt", "Zone", "old");
  full.file.SetFailReplace(true);
  const OptionsLoadResult f = LoadOptionsFile(full.store, text);
  EXPECT_THAT(f.error_text.value_or(""), ::testing::AllOf(::testing::StartsWith("File error: "),
                                                         ::testing::HasSubstr(full.file.Describe())));
  EXPECT_EQ(std::pair(f.stored, full.store.ReadSetting("Opt", "Zone", "-")), std::pair(std::size_t{0}, "old"s));
}

}  // namespace
}  // namespace qsopad
