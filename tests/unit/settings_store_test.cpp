// The settings store: exact file text, names, order, merging, failed and refused writes; and the typed reads
// and writes over it: the conversion rules, defaults, write spellings, error texts.
#include "options/settings_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "common/error.h"
#include "options/memory_store_file.h"
#include "options/settings_values.h"
#include "options/store_file_posix.h"
#include "test_files.h"

namespace qsopad {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;
using ::testing::HasSubstr;
using std::string_literals::operator""s;

// Names and values a naive INI writer would mangle, written to a real file: the file holds
// exactly this text (hand-editable, one entry a line, CRLF) and reads back as written.
TEST(SettingsStore, AwkwardNamesAndValuesAreWrittenAsThisTextAndReadBack) {
  testing::TempFolder dir;
  const std::string path = dir.File("QSOPAD.ini");
  const Pairs opt{{"Path", "c:\\psk31\\psk31sbw.exe"}, {"a=b", "=x="}, {"[x]", "[Opt]"}, {"x[y]", "v"},
                  {"; k", "; v"},   {" lead", "trail "}, {"tab", "\tx\t"}, {"crlf", "a\r\nb"},
                  {"nul", "\0"s},  {"bs", "\\n\\"}, {"high", "\xE9\xD8\xFF"}, {"mid", "a  b"},
                  {"blank", " "},   {"empty", ""}};
  SettingsStore store(std::make_unique<PosixStoreFile>(path));
  for (const auto& [key, value] : opt) store.WriteSetting("Opt", key, value);
  store.WriteSetting("W]in ", "Top", "1");
  EXPECT_EQ(testing::ReadBytes(path),
            "; QSOPAD settings\r\n\r\n[Opt]\r\nPath=c:\\\\psk31\\\\psk31sbw.exe\r\na\\=b==x=\r\n\\[x]=[Opt]\r\n"
            "x[y]=v\r\n\\; k=; v\r\n\\slead=trail\\s\r\ntab=\\tx\\t\r\ncrlf=a\\r\\nb\r\nnul=\\0\r\n"
            "bs=\\\\n\\\\\r\nhigh=\xE9\xD8\xFF\r\nmid=a  b\r\nblank=\\s\r\nempty=\r\n\r\n[W\\]in\\s]\r\nTop=1\r\n");
  SettingsStore reloaded(std::make_unique<PosixStoreFile>(path));
  EXPECT_EQ(std::pair(reloaded.ListSection("Opt"), reloaded.ReadSetting("W]in ", "Top", "-")), std::pair(opt, "1"s));
}

// A file edited by hand: byte-order mark, LF line ends, blanks around names and values, blank lines, a section that
// comes twice. Lines that are not entries (a stray line, a comment, a torn header, a second entry for a key) are
// invisible to readers but written back where they stood, so that the next write costs no text.
TEST(SettingsStore, HandEditedFilesAreReadAndTheirOtherLinesKept) {
  MemoryStoreFile file;
  file.SetBytes("\xEF\xBB\xBFstray before sections\n[Opt]\nPath = c:\\\\psk\\\\x.exe \n\n  [ Win ]  \r\nTop=\t5\r\n"
                "Zone=\\q\\\n\n[opt]\nno equals sign here\nPath=second\n; a comment\n[broken header\nZone=z\n");
  SettingsStore store(std::make_unique<MemoryStoreFile>(file.SharedState()));
  EXPECT_EQ(store.ListSection("Opt"), (Pairs{{"Path", "c:\\psk\\x.exe"}, {"Zone", "z"}}));
  EXPECT_EQ(store.ListSection("Win"), (Pairs{{"Top", "5"}, {"Zone", "\\q\\"}})) << "an escape not ours is kept";
  store.WriteSetting("Opt", "Retro", "True");
  EXPECT_EQ(*file.Bytes(),
            "; QSOPAD settings\r\nstray before sections\r\n\r\n[Opt]\r\nPath=c:\\\\psk\\\\x.exe\r\nZone=z\r\n"
            "Retro=True\r\nno equals sign here\r\nPath=second\r\n; a comment\r\n[broken header\r\n\r\n[Win]\r\n"
            "Top=5\r\nZone=\\\\q\\\\\r\n");
  SettingsStore reloaded(std::make_unique<MemoryStoreFile>(file.SharedState()));
  EXPECT_EQ(reloaded.ReadSetting("Opt", "Path", ""), "c:\\psk\\x.exe") << "the kept duplicate never takes over";
}

// Names meet whatever the case of their ASCII letters and keep their first spelling and the order of their first
// write; a batch writes what single writes would, in one write of the file, all or nothing.
TEST(SettingsStore, NamesDifferingInCaseMeetAndABatchWritesWhatSingleWritesWouldAllOrNothing) {
  const std::vector<SettingWrite> writes = {{"OPT", "WORDBK", "False"}, {"ADIF", "File", "a"}, {"Opt", "luname", "0"},
                                            {"Adif", "En", "1"}, {"ADif", "EN", "0"}, {"Opt", "\xC4", "upper"},
                                            {"Opt", "\xE4", "lower"}, {"Win", "Top", "0"}};
  MemoryStoreFile singly, batched;
  SettingsStore one(std::make_unique<MemoryStoreFile>(singly.SharedState()));
  SettingsStore all(std::make_unique<MemoryStoreFile>(batched.SharedState()));
  for (SettingsStore* store : {&one, &all}) store->WriteSetting("Opt", "WordBk", "True");
  EXPECT_EQ(all.ReadSetting("opt", "WordBK", "False"), "True");
  for (const SettingWrite& w : writes) one.WriteSetting(w.section, w.key, w.value);
  all.WriteSettings(writes);
  all.WriteSettings({{"opt", "wordbk", "False"}, {"adif", "FILE", "a"}});  // nothing new: no write
  EXPECT_EQ(std::pair(batched.Bytes(), batched.ReplaceCount()), std::pair(singly.Bytes(), 2));
  EXPECT_EQ(batched.Bytes(), "; QSOPAD settings\r\n\r\n[Opt]\r\nWordBk=False\r\nluname=0\r\n\xC4=upper\r\n"
                             "\xE4=lower\r\n\r\n[ADIF]\r\nFile=a\r\nEn=0\r\n\r\n[Win]\r\nTop=0\r\n");
  EXPECT_EQ(std::pair(all.ListSection("adif"), all.ReadSetting("OPT", "WORDBK", "")),
            std::pair(Pairs{{"File", "a"}, {"En", "0"}}, "False"s));
  batched.SetFailReplace(true);
  EXPECT_THROW(all.WriteSettings({{"Opt", "Zone", "lost"}, {"Call", "MyCall", "K1ABC"}}), Error);
  EXPECT_EQ(std::tuple(all.ReadSetting("Opt", "Zone", "-"), all.ListSection("Call"), batched.Bytes()),
            std::tuple("-", Pairs{}, singly.Bytes()));
}

TEST(SettingsStore, DeleteSectionRemovesAllKeysAndAFailedWriteChangesNothing) {
  MemoryStoreFile file;
  SettingsStore store(std::make_unique<MemoryStoreFile>(file.SharedState()));
  store.WriteSettings({{"Win", "Top", "1"}, {"Win", "Left", "2"}, {"Opt", "Zone", "z"}});
  const auto before = file.Bytes();
  store.DeleteSection("ADIF");
  store.WriteSetting("OPT", "zone", "z");  // the value it already has
  EXPECT_EQ(std::pair(file.Bytes(), file.ReplaceCount()), std::pair(before, 1)) << "a change of nothing: no rewrite";
  store.DeleteSection("WIN");
  EXPECT_EQ(std::pair(store.ListSection("Win"), store.ReadSetting("Win", "Top", "def")), std::pair(Pairs{}, "def"s));
  // A section created again is new: its new spelling and its keys start afresh.
  store.WriteSetting("win", "Left", "5");
  const std::string bytes = "; QSOPAD settings\r\n\r\n[Opt]\r\nZone=z\r\n\r\n[win]\r\nLeft=5\r\n";
  EXPECT_EQ(file.Bytes(), bytes);
  // A failed write changes neither file nor memory, and the next one works.
  file.SetFailReplace(true);
  EXPECT_THROW(store.WriteSetting("win", "Left", "6"), Error);
  EXPECT_THROW(store.WriteSetting("New", "Key", "x"), Error);
  EXPECT_THROW(store.DeleteSection("Win"), Error);
  EXPECT_EQ(std::tuple(store.ReadSetting("Win", "Left", ""), store.ListSection("New"), file.Bytes()),
            std::tuple("5", Pairs{}, bytes));
  file.SetFailReplace(false), store.WriteSetting("Win", "Left", "7");
  EXPECT_EQ(store.ReadSetting("Win", "Left", ""), "7");
}

// A file the operator can mark read-only.
struct ReadOnlyMemoryFile : MemoryStoreFile {
  using MemoryStoreFile::MemoryStoreFile;
  bool read_only = false;
  void ReplaceAll(const std::string& bytes) override {
    if (read_only) throw ReadOnlyStoreFile("The settings file \"x.ini\" is read-only");
    MemoryStoreFile::ReplaceAll(bytes);
  }
};

// (Told once, file untouched, kept writes saved once writable: end to end on a real file.)
TEST(SettingsStore, AReadOnlyFileKeepsWritesInMemoryOnTopOfOtherCopiesChanges) {
  MemoryStoreFile disk;
  auto owned = std::make_unique<ReadOnlyMemoryFile>(disk.SharedState());
  ReadOnlyMemoryFile& file = *owned;
  SettingsStore store(std::move(owned));
  std::vector<std::string> notices;
  store.OnReadOnly([&](const std::string& message) {
    // Another thread could take the writers' lock now: the notice does not hold other copies up.
    const auto lock_free = [&] { return std::unique_lock(disk.SharedState()->lock, std::try_to_lock).owns_lock(); };
    EXPECT_TRUE(std::async(std::launch::async, lock_free).get());
    notices.push_back(message);
  });
  store.WriteSettings({{"Opt", "Zone", "old"}, {"Gone", "k", "v"}}), file.read_only = true;
  store.WriteSettings({{"Opt", "Zone", "new"}, {"Opt", "Path", "p"}});
  store.DeleteSection("Gone");
  EXPECT_THAT(notices, ::testing::ElementsAre(HasSubstr("\"x.ini\" is read-only")));
  // Another copy's change (the flag was cleared, it wrote, the flag came back): reloaded, with our writes still on top.
  SettingsStore(std::make_unique<MemoryStoreFile>(disk.SharedState()))
      .WriteSettings({{"Opt", "Zone", "theirs"}, {"Opt", "Other", "x"}});
  EXPECT_TRUE(store.Refresh());
  const Pairs ours{{"Zone", "new"}, {"Other", "x"}, {"Path", "p"}};
  EXPECT_EQ(std::pair(store.ListSection("Opt"), store.ListSection("Gone")), std::pair(ours, Pairs{}));
  file.read_only = false, store.WriteSetting("Win", "Top", "1");
  EXPECT_EQ(SettingsStore(std::make_unique<MemoryStoreFile>(disk.SharedState())).ListSection("Opt"), ours);
  // Nothing kept any more: a reload shows the file alone; a new spell is told again.
  SettingsStore(std::make_unique<MemoryStoreFile>(disk.SharedState())).WriteSetting("Opt", "Zone", "later");
  EXPECT_TRUE(store.Refresh());
  EXPECT_EQ(store.ReadSetting("Opt", "Zone", ""), "later");
  file.read_only = true, store.WriteSetting("Opt", "Zone", "again");
  EXPECT_EQ(notices.size(), 2u);
}

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

// Writers use their own spelling of a key and form of a boolean; every reader meets every writer.
TEST(SettingsValues, DefaultsAndWritersOfDifferentSpellingsAndFormsMeetTheReaders) {
  MemoryStoreFile file;
  SettingsStore store(std::make_unique<MemoryStoreFile>(file.SharedState()));
  EXPECT_EQ(std::tuple(ReadLong(store, keys::kWinWidth, -7200), ReadBool(store, keys::kLookup, true),
                       file.ReplaceCount()), std::tuple(-7200, true, 0)) << "defaults, and reading writes nothing";
  store.WriteSetting("Win", "Top", "3000000000");  // an error names section, key and value
  EXPECT_THAT([&] { ReadLong(store, keys::kWinTop); }, ::testing::ThrowsMessage<Error>(::testing::StrEq(
      "Setting [Win] \"Top\" holds \"3000000000\", which is outside the range of a 32-bit whole number")));
  WriteBool(store, keys::kWordBk, true), WriteLong(store, keys::kLuName, 1), WriteText(store, keys::kLookup, "1");
  EXPECT_TRUE(ReadBool(store, keys::kWordBk) && ReadBool(store, keys::kLuName) && ReadBool(store, keys::kLookup));
  WriteBool(store, keys::kLookup, false), WriteLong(store, keys::kSerialNo, -2147483647L - 1);  // options dialog
  EXPECT_EQ(store.ListSection("Opt"),
            (Pairs{{"WordBk", "True"}, {"luname", "1"}, {"Lookup", "False"}, {"SerialNo", "-2147483648"}}));
}

}  // namespace
}  // namespace qsopad
