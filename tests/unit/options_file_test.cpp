// The options file: its exact bytes, awkward values through a save and a load, files from
// earlier versions and by hand, damaged files, and failing files and stores. (A load in
// pieces storing what a whole load does, and an export reading back to itself from any
// file, are the fuzz target's.)
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

const char* const kSix[] = {"Opt", "Win", "URLS", "Macro", "Call", "ADIF"};

struct Store {
  MemoryStoreFile file;
  SettingsStore store{std::make_unique<MemoryStoreFile>(file.SharedState())};
};

std::vector<Pairs> SixSections(const SettingsStore& store) {
  std::vector<Pairs> all;
  for (const char* name : kSix) all.push_back(store.ListSection(name));
  return all;
}

class RecordingSink : public OptionsFileSink {
 public:
  void WriteWhole(const std::string& bytes) override {
    writes.push_back(bytes);
    if (!fail.empty()) throw Error(fail);
  }
  std::vector<std::string> writes;
  std::string fail;  // when set, the description to fail with
};

// Hands out its bytes `chunk` at a time, then fails instead of reporting the end when
// `fail` is set.
class ChunkedSource : public OptionsFileSource {
 public:
  ChunkedSource(std::string_view bytes, std::size_t chunk, std::string fail = {})
      : rest_(bytes), chunk_(chunk), fail_(std::move(fail)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    if (rest_.empty() && !fail_.empty()) throw Error(fail_);
    const std::size_t n = rest_.copy(buffer, std::min(size, chunk_));
    rest_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view rest_;
  std::size_t chunk_;
  std::string fail_;
};

// What Save Opts hands the file, byte for byte.
TEST(OptionsFile, SaveWritesTheSixSectionsInOrderInTheStoresOrderAndNothingElse) {
  using Writes = std::vector<std::array<const char*, 3>>;
  const std::string six =
      "\"*Opt\",\"*\"\r\n\"*Win\",\"*\"\r\n\"*URLS\",\"*\"\r\n\"*Macro\",\"*\"\r\n\"*Call\",\"*\"\r\n\"*ADif\",\"*\"\r\n";
  const struct {
    const char* what;
    Writes writes;
    std::string bytes;
  } rows[] = {
      {"nothing stored", {}, six},
      {"entries in the order of first write, first spelling kept",
       {{"X", "Other", "not exported"}, {"adif", "File", "c:\\log.adi"}, {"Macro", "10", " ^3 de ^2 "},
        {"Macro", "2", "b"}, {"Opt", "WordBk", "True"}, {"Opt", "Path", "c:\\psk31\\psk31sbw.exe"},
        {"Macro", "10", "a, b\r\nc=\xE9\xD8"}, {"OPT", "wordbk", ""}},
       "\"*Opt\",\"*\"\r\n\"WordBk\",\"\"\r\n\"Path\",\"c:\\psk31\\psk31sbw.exe\"\r\n"
       "\"*Win\",\"*\"\r\n\"*URLS\",\"*\"\r\n"
       "\"*Macro\",\"*\"\r\n\"10\",\"a, b\r\nc=\xE9\xD8\"\r\n\"2\",\"b\"\r\n"
       "\"*Call\",\"*\"\r\n\"*ADif\",\"*\"\r\n\"File\",\"c:\\log.adi\"\r\n"},
      // A double quote is written twice, the file saying so on its first line.
      {"a quote in a key", {{"Call", "say \"hi\"", "x"}},
       "\"QSOPAD options\",\"quotes doubled\"\r\n\"*Opt\",\"*\"\r\n\"*Win\",\"*\"\r\n\"*URLS\",\"*\"\r\n"
       "\"*Macro\",\"*\"\r\n\"*Call\",\"*\"\r\n\"say \"\"hi\"\"\",\"x\"\r\n\"*ADif\",\"*\"\r\n"},
      // Only a hand-edited settings file holds such an entry: it would read as a section line.
      {"an entry that reads as a section line", {{"Opt", "Zone", "z"}, {"Opt", "*Win", "*"}},
       "\"*Opt\",\"*\"\r\n\"Zone\",\"z\"\r\n" + six.substr(12)},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Store s;
    for (const auto& [section, key, value] : row.writes) s.store.WriteSetting(section, key, value);
    RecordingSink sink;
    EXPECT_EQ(SaveOptionsFile(s.store, sink), std::nullopt);
    EXPECT_EQ(sink.writes, std::vector<std::string>{row.bytes});
  }
  Store s;
  RecordingSink sink;
  sink.fail = "C:\\opts\\a.QPD: Access is denied. (5)";
  EXPECT_EQ(SaveOptionsFile(s.store, sink), "File error: C:\\opts\\a.QPD: Access is denied. (5)");
  EXPECT_EQ(sink.writes, std::vector<std::string>{six});
}

TEST(OptionsFile, AwkwardKeysAndValuesSurviveASaveAndALoadByteForByte) {
  const std::string awkward[] = {
      "", "a, b", "say \"hi\"", "\"", "\"\"", "ends in \"", "\",\"", "cr lf\r\nin", "lf\nonly",
      "cr\ronly", "\r\n\"*Opt\",\"*\"\r\n\"Path\",\"evil\"\r\n", "  blanks  ", "\ttab\t", "*",
      "nul\0in"s, "\xB0\xD8\xFF high", "c:\\psk31\\"};
  Store from;
  for (std::size_t i = 0; i < std::size(awkward); ++i) {
    from.store.WriteSetting(kSix[i % 6], "k" + std::to_string(i), awkward[i]);
    from.store.WriteSetting(kSix[i % 6], awkward[i] + "key" + std::to_string(i), "v");
  }
  const std::string text = OptionsFileText(from.store);
  Store to;
  const OptionsLoadResult loaded = LoadOptionsFile(to.store, text);
  EXPECT_EQ(SixSections(to.store), SixSections(from.store));
  EXPECT_EQ(loaded.stored, 2 * std::size(awkward));
  EXPECT_EQ(to.file.ReplaceCount(), 1) << "one write of the settings file for the whole load";
}

TEST(OptionsFile, ReadsEarlierAndHandWrittenFilesByTheRecordRules) {
  const std::string file =
      "\xEF\xBB\xBF\"*Opt\",\"*\"\r\n\"Zone\",\"z\"\r\n\r\n"  // saved as UTF-8 by Notepad
      "\tAux ,\t c:\\aux.exe \t\n"     // unquoted (blanks and tabs around), LF alone
      "\"GMT\" , \"-5\"\r"             // blanks around quoted fields, CR alone
      "\"Path\",\"a\"b\"\r\n"          // an earlier writer's quote in a value: cut as before
      "\"FontName\",\"\"\r\n"          // an empty value
      "\"\",\"no key\"\r\n"
      "\"*ADif\",\"*\"\r\n\"File\",\"c:\\log.adi\"\r\n"
      "\"*X\",\"*\"\r\n\"Never\",\"used\"\r\n"
      "\"*\",\"*\"\r\n\"Orphan\",\"no section\"\r\n"
      "*Call,*\r\nMyCall,K1ABC";      // unquoted section line, no final line end
  Store s;
  const OptionsLoadResult r = LoadOptionsFile(s.store, file);
  EXPECT_EQ(s.store.ListSection("Opt"),
            (Pairs{{"Zone", "z"}, {"Aux", "c:\\aux.exe"}, {"GMT", "-5"}, {"Path", "a"}, {"FontName", ""}}));
  EXPECT_EQ(s.store.ReadSetting("ADIF", "File", "-"), "c:\\log.adi");
  EXPECT_EQ(s.store.ListSection("X"), (Pairs{{"Never", "used"}}));
  EXPECT_EQ(s.store.ReadSetting("Call", "MyCall", "-"), "K1ABC");
  EXPECT_EQ(r.stored, 8u);
  EXPECT_EQ(r.skipped, 2u);  // no key, no section
  // The unknown section stays in the store but is not exported again.
  EXPECT_EQ(OptionsFileText(s.store).find("Never"), std::string::npos);
  // Bytes that only begin like the mark are text, so this is no section line.
  Store partial;
  EXPECT_EQ(LoadOptionsFile(partial.store, "\xEF\xBB*Opt,*\r\nZone,z").stored, 0u);
}

// Files as earlier versions wrote them, quotes unescaped, read as their reader read them: a
// quote ends the field, and the rest of the line is dropped. Only a file that says it
// doubles its quotes is read the other way.
TEST(OptionsFile, QuotesOfEarlierFilesEndTheirFieldAndOnlyAMarkedFileDoublesThem) {
  const std::string mark = "\"QSOPAD options\",\"quotes doubled\"\r\n";
  const struct {
    const char* name;
    std::string file;
    Pairs opt;
  } rows[] = {
      {"a value that is one quote", "\"*Opt\",\"*\"\r\n\"RXCHAR\",\"\"\"\r\n\"Zone\",\"z\"\r\n",
       {{"RXCHAR", ""}, {"Zone", "z"}}},
      {"a value ending in a quote", "\"*Opt\",\"*\"\r\n\"12\",\"5 ft\"\"\r\n\"13\",\"x\"\r\n",
       {{"12", "5 ft"}, {"13", "x"}}},
      {"two quotes", "\"*Opt\",\"*\"\r\n\"Aux\",\"\"\"\"\r\n\"Zone\",\"z\"\r\n", {{"Aux", ""}, {"Zone", "z"}}},
      {"a quoted path", "\"*Opt\",\"*\"\r\n\"Aux\",\"\"c:\\a b.exe\" -x\"\r\n\"Zone\",\"z\"\r\n",
       {{"Aux", ""}, {"Zone", "z"}}},
      {"a quote, then a line break", "\"*Opt\",\"*\"\r\n\"Path\",\"say \"hi\"\r\nnext\"\r\n\"Zone\",\"z\"\r\n",
       {{"Path", "say "}, {"Zone", "z"}}},
      {"marked", mark + "\"*Opt\",\"*\"\r\n\"RXCHAR\",\"\"\"\"\r\n\"Path\",\"a \"\"b\"\"\r\nc\"\"\"\r\n",
       {{"RXCHAR", "\""}, {"Path", "a \"b\"\r\nc\""}}},
      {"marked after a section line", "\"*Opt\",\"*\"\r\n" + mark + "\"Aux\",\"\"\"\"\r\n",
       {{"QSOPAD options", "quotes doubled"}, {"Aux", ""}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Store s;
    const OptionsLoadResult r = LoadOptionsFile(s.store, row.file);
    EXPECT_EQ(s.store.ListSection("Opt"), row.opt);
    EXPECT_EQ(r.skipped, std::string_view(row.name) == "a quote, then a line break" ? 1u : 0u);
  }
}

// A value the program cannot convert refuses the whole file, naming line, key and value.
TEST(OptionsFile, AFileWithAValueTheProgramCannotReadStoresNothing) {
  const struct {
    const char* entry;  // on line 3, after "Zone","utc" and in section ADif for "En"
    const char* error;  // "" when the file is stored
  } rows[] = {
      {"\"FontSize\",\"big\"", "line 3: Setting [Opt] \"FontSize\" holds \"big\", which is not a number"},
      {"\"MPAL\",\"True\"", "line 3: Setting [Opt] \"MPAL\" holds \"True\", which is not a number"},
      {"\"retro\",\"yes\"", "line 3: Setting [Opt] \"retro\" holds \"yes\", which is not True, False or a number"},
      {"\"FontColor\",\"red\"", "line 3: Setting [Opt] \"FontColor\" holds \"red\", which is not a number"},
      {"\"FontColor\",\"2147483648\"", "line 3: Setting [Opt] \"FontColor\" holds \"2147483648\", which is outside"},
      {"\"FontColor\",\"-2147483649\"", "line 3: Setting [Opt] \"FontColor\" holds \"-2147483649\", which is outside"},
      {"\"FontColor\",\"2147483647\"", ""},
      {"\"CW1\",\"32768\"", "line 3: Setting [Opt] \"CW1\" holds \"32768\", which is not a check box state"},
      {"\"CW1\",\"-32769\"", "line 3: Setting [Opt] \"CW1\" holds \"-32769\", which is not a check box state"},
      {"\"CW1\",\"-32768\"", ""},
      {"\"CW1\",\"32767\"", ""},
      {"\"FontSize\",\" 9.75 \"", ""},
      {"\"Retro\",\"-1\"", ""},
      {"\"LDelay\",\"soon\"", ""},  // its reader falls back on the default
      {"\"*ADif\",\"*\"\r\n\"En\",\"on\"", "line 4: Setting [ADif] \"En\" holds \"on\""},
      // CR, LF and CR LF each end a line, inside quotes too.
      {"\"Aux\",\"x\ry\nz\"\r\n\"FontSize\",\"big\"", "line 6: Setting [Opt] \"FontSize\" holds \"big\""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.entry);
    Store s;
    s.store.WriteSetting("Opt", "Zone", "z");
    const OptionsLoadResult r =
        LoadOptionsFile(s.store, std::string("\"*Opt\",\"*\"\r\n\"Zone\",\"utc\"\r\n") + row.entry + "\r\n");
    if (*row.error == '\0') {
      EXPECT_FALSE(r.error_text);
      EXPECT_EQ(s.store.ReadSetting("Opt", "Zone", "-"), "utc");
      continue;
    }
    ASSERT_TRUE(r.error_text);
    EXPECT_THAT(*r.error_text, ::testing::StartsWith(std::string("File error: ") + row.error));
    EXPECT_THAT(*r.error_text, ::testing::EndsWith("Nothing was loaded."));
    EXPECT_EQ(r.stored, 0u);
    EXPECT_EQ(s.store.ReadSetting("Opt", "Zone", "-"), "z");
  }
}

TEST(OptionsFile, RecordsBeforeAnySectionAndDamagedLinesAreSkippedLineByLine) {
  Store s;
  const OptionsLoadResult r = LoadOptionsFile(
      s.store,
      "\"Zone\",\"before any section\"\r\n"
      "\"*Opt\",\"*\"\r\n\"Lonely\"\r\n\"Zone\",\"z\"\r\n\"GMT\",\"5\",\"extra\",x\r\n"
      "\"Path\",\"first\r\n\"Aux\",\"a\"\r\n"  // a quote left open runs into the next line
      "\"Close\",\"True\"\r\n\"Retro\",\"never closed\r\n");
  EXPECT_EQ(s.store.ListSection("Opt"), (Pairs{{"Zone", "z"}, {"GMT", "5"}, {"Path", "first\r\n"}, {"Close", "True"}}));
  EXPECT_EQ(r.skipped, 3u);
  EXPECT_FALSE(r.error_text);
}

// A field of 16 MiB and one byte skips its record alone.
TEST(OptionsFile, ALongLineIsReadAndAFieldPastTheLimitIsSkippedAlone) {
  Store s;
  const std::string mb(1 << 20, 'm');
  const std::string endless((16 << 20) + 1, 'e');
  const OptionsLoadResult r = LoadOptionsFile(
      s.store, "\"*Macro\",\"*\"\r\n\"1\",\"" + mb + "\"\r\n2," + endless + "\r\n3,after\r\n");
  EXPECT_EQ(s.store.ReadSetting("Macro", "1", "-"), mb);
  EXPECT_EQ(s.store.ReadSetting("Macro", "2", "-"), "-");
  EXPECT_EQ(s.store.ReadSetting("Macro", "3", "-"), "after");
  EXPECT_EQ(r.skipped, 1u);
}

TEST(OptionsFile, AFailedReadOrStoreEndsTheLoadKeepingWhatWasStored) {
  const std::string text = "\"*Opt\",\"*\"\r\n\"Zone\",\"z\"\r\n\"GMT\",\"5\"\r\n\"Aux\",\"a";
  Store s;
  ChunkedSource source(text, 30, "a.QPD: The device is not ready. (21)");
  const OptionsLoadResult r = LoadOptionsFile(s.store, source);
  EXPECT_EQ(r.error_text, "File error: a.QPD: The device is not ready. (21)");
  EXPECT_EQ(s.store.ListSection("Opt"), (Pairs{{"Zone", "z"}, {"GMT", "5"}}));

  Store full;
  full.store.WriteSetting("Opt", "Zone", "old");
  full.file.SetFailReplace(true);
  const OptionsLoadResult f = LoadOptionsFile(full.store, text);
  ASSERT_TRUE(f.error_text);
  EXPECT_THAT(*f.error_text, ::testing::StartsWith("File error: "));
  EXPECT_THAT(*f.error_text, ::testing::HasSubstr(full.file.Describe()));
  EXPECT_EQ(f.stored, 0u);
  EXPECT_EQ(full.store.ReadSetting("Opt", "Zone", "-"), "old");
}

}  // namespace
}  // namespace qsopad
