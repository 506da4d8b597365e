// The settings store over real and in-memory files: round trips, names, order, merging
// between processes, interrupted and failed writes, damaged content.
#include "options/settings_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/error.h"
#include "options/memory_store_file.h"
#include "options/store_file_posix.h"
#include "temp_folder.h"

namespace qsopad {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;
using ::testing::HasSubstr;
using ::testing::Not;
using std::string_literals::operator""s;

std::unique_ptr<StoreFile> OnDisk(const std::string& path) { return std::make_unique<PosixStoreFile>(path); }

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Spit(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Texts that a naive INI writer would mangle.
const std::string kAwkward[] = {
    "", "plain", "\"quoted\"", "a=b=c", "=", "[Opt]", "]x[", "; not a comment", "cr\rin",
    "lf\nin", "crlf\r\n", "\r\n[Opt]\r\nPath=evil", "nul\0in"s, "\0"s, "back\\slash",
    "ends with \\", "\\n is not a line feed", "\\s\\0\\=", "tab\there", "\ttab first",
    "  two leading", "trailing  ", " ", "\xB0\xE4\xFF\x80 high bytes"};

TEST(SettingsStore, AwkwardValuesKeysAndSectionsRoundTripThroughAFile) {
  testing::TempFolder dir;
  const std::string path = dir.File("QSOPAD.ini");
  Pairs expected;
  {
    SettingsStore store(OnDisk(path));
    for (std::size_t i = 0; i < std::size(kAwkward); ++i) {
      const std::string& text = kAwkward[i];
      store.WriteSetting("Values", expected.emplace_back("k" + std::to_string(i) + text, text).first, text);
      store.WriteSetting(text + "sect" + std::to_string(i), text, "v");
    }
  }
  SettingsStore reloaded(OnDisk(path));
  EXPECT_EQ(reloaded.ListSection("Values"), expected);
  for (std::size_t i = 0; i < std::size(kAwkward); ++i)
    EXPECT_EQ(reloaded.ReadSetting(kAwkward[i] + "sect" + std::to_string(i), kAwkward[i], "-"), "v") << "text #" << i;

  // Every line of the file is plain text: no raw CR, LF or NUL except the line ends.
  const std::string bytes = Slurp(path);
  EXPECT_EQ(bytes.rfind("; QSOPAD settings\r\n", 0), 0u);
  for (std::size_t start = 0, end; start < bytes.size(); start = end + 2) {
    ASSERT_NE(end = bytes.find("\r\n", start), std::string::npos) << "last line without CRLF";
    EXPECT_EQ(bytes.substr(start, end - start).find_first_of("\r\n\0"s), std::string::npos) << start;
  }
}

TEST(SettingsStore, ReadsHandWrittenFilesWithLfAndBlanks) {
  MemoryStoreFile file;
  file.SetBytes("\xEF\xBB\xBF[Opt]\nPath = c:\\\\psk31\\\\x.exe \n\n  [ Win ]  \r\nTop=\t5\r\n"
                "Zone=\\q\\\n");
  SettingsStore store(std::make_unique<MemoryStoreFile>(file.SharedState()));
  EXPECT_EQ(store.ReadSetting("Opt", "Path", ""), "c:\\psk31\\x.exe");
  EXPECT_EQ(store.ReadSetting("Win", "Top", ""), "5");
  // An escape that is not ours, and a backslash at the end, are read as written.
  EXPECT_EQ(store.ReadSetting("Win", "Zone", ""), "\\q\\");
}

// Keys are listed in the order of their first write, also after a reload.
TEST(SettingsStore, NamesDifferingInCaseMeetAndKeepTheirFirstSpellingAndOrder) {
  testing::TempFolder dir;
  const std::string path = dir.File("QSOPAD.ini");
  {
    SettingsStore store(OnDisk(path));
    store.WriteSetting("Opt", "WordBk", "True");
    EXPECT_EQ(store.ReadSetting("Opt", "WordBK", "False"), "True");
    store.WriteSetting("OPT", "WORDBK", "False");
    store.WriteSetting("Opt", "luname", "0");
    store.WriteSetting("ADIF", "File", "log.adi");
    store.WriteSetting("Adif", "En", "1");
    store.WriteSetting("ADif", "EN", "0");
    // Folding covers ASCII letters only; other bytes are distinct names.
    store.WriteSetting("Opt", "\xC4", "upper");
    store.WriteSetting("Opt", "\xE4", "lower");
  }
  SettingsStore store(OnDisk(path));
  EXPECT_EQ(store.ListSection("opt"),
            (Pairs{{"WordBk", "False"}, {"luname", "0"}, {"\xC4", "upper"}, {"\xE4", "lower"}}));
  EXPECT_EQ(store.ListSection("Adif"), (Pairs{{"File", "log.adi"}, {"En", "0"}}));
  EXPECT_EQ(store.ReadSetting("adif", "FILE", ""), "log.adi");
  EXPECT_EQ(Slurp(path).find("[Adif]"), std::string::npos) << "one section, first spelling";
}

TEST(SettingsStore, DeleteSectionRemovesAllKeysAndAFailedWriteChangesNothing) {
  MemoryStoreFile file;
  SettingsStore store(std::make_unique<MemoryStoreFile>(file.SharedState()));
  store.WriteSetting("Win", "Top", "1");
  store.WriteSetting("Win", "Left", "2");
  store.WriteSetting("Opt", "Zone", "z");

  const auto before = file.Bytes();
  const int writes = file.ReplaceCount();
  store.DeleteSection("ADIF");
  store.WriteSetting("OPT", "zone", "z");  // the value it already has
  EXPECT_EQ(file.Bytes(), before);
  EXPECT_EQ(file.ReplaceCount(), writes) << "a change of nothing must not rewrite the file";

  store.DeleteSection("WIN");
  EXPECT_TRUE(store.ListSection("Win").empty());
  EXPECT_EQ(store.ReadSetting("Win", "Top", "def"), "def");
  EXPECT_EQ(store.ReadSetting("Opt", "Zone", ""), "z");
  // A section created again is new: its new spelling and its keys start afresh.
  store.WriteSetting("win", "Left", "5");
  SettingsStore reloaded(std::make_unique<MemoryStoreFile>(file.SharedState()));
  EXPECT_EQ(reloaded.ListSection("Win"), (Pairs{{"Left", "5"}}));
  EXPECT_NE(file.Bytes()->find("[win]"), std::string::npos);

  // A failed write changes neither file nor memory.
  store.WriteSetting("Win", "Top", "1");
  const auto unchanged = file.Bytes();
  file.SetFailReplace(true);
  EXPECT_THROW(store.WriteSetting("Win", "Top", "2"), Error);
  EXPECT_THROW(store.WriteSetting("New", "Key", "x"), Error);
  EXPECT_THROW(store.DeleteSection("Win"), Error);
  EXPECT_EQ(store.ReadSetting("Win", "Top", ""), "1");
  EXPECT_TRUE(store.ListSection("New").empty());
  EXPECT_EQ(file.Bytes(), unchanged);
  file.SetFailReplace(false);
  store.WriteSetting("Win", "Top", "3");
  EXPECT_EQ(store.ReadSetting("Win", "Top", ""), "3");
}

TEST(SettingsStore, WriteSettingsGivesWhatSingleWritesWouldInOneWriteOfTheFile) {
  const std::vector<SettingWrite> writes = {
      {"Opt", "Zone", "z"}, {"ADIF", "File", "a"}, {"opt", "ZONE", "second wins"},
      {"ADif", "Count", "12"}, {"Opt", "Path", "p"}, {"Win", "Top", "0"}};
  MemoryStoreFile singly, batched;
  SettingsStore one(std::make_unique<MemoryStoreFile>(singly.SharedState()));
  SettingsStore all(std::make_unique<MemoryStoreFile>(batched.SharedState()));
  for (SettingsStore* store : {&one, &all}) store->WriteSetting("Opt", "Path", "p");
  for (const SettingWrite& w : writes) one.WriteSetting(w.section, w.key, w.value);
  const int before = batched.ReplaceCount();
  all.WriteSettings(writes);
  EXPECT_EQ(batched.ReplaceCount(), before + 1);
  EXPECT_EQ(batched.Bytes(), singly.Bytes());
  all.WriteSettings({{"OPT", "zone", "second wins"}, {"adif", "FILE", "a"}});
  EXPECT_EQ(batched.ReplaceCount(), before + 1) << "a change of nothing must not rewrite the file";

  // All or nothing.
  batched.SetFailReplace(true);
  EXPECT_THROW(all.WriteSettings({{"Opt", "Zone", "lost"}, {"Call", "MyCall", "K1ABC"}}), Error);
  EXPECT_EQ(all.ReadSetting("Opt", "Zone", ""), "second wins");
  EXPECT_TRUE(all.ListSection("Call").empty());
  EXPECT_EQ(batched.Bytes(), singly.Bytes());
}

TEST(SettingsStore, TwoStoresOnOneFileInterleavingWritesLoseNothing) {
  testing::TempFolder dir;
  const std::string path = dir.File("QSOPAD.ini");
  SettingsStore a(OnDisk(path));
  SettingsStore b(OnDisk(path));
  Pairs all;
  for (int i = 0; i < 100; ++i) {
    const std::string n = std::to_string(i);
    a.WriteSetting("Shared", "a" + n, n);
    b.WriteSetting("Shared", "b" + n, n);
    // Both sometimes write the same key: the later write wins.
    (i % 2 ? b : a).WriteSetting("Shared", "last", n);
    all.insert(all.end(), {{"a" + n, n}, {"b" + n, n}});
    if (i == 0) all.emplace_back("last", "99");
  }
  SettingsStore c(OnDisk(path));
  EXPECT_EQ(c.ListSection("Shared"), all);

  // b wrote last, so a has not seen b's last key until it refreshes.
  EXPECT_EQ(a.ReadSetting("Shared", "b99", "unseen"), "unseen");
  EXPECT_TRUE(a.Refresh());
  EXPECT_EQ(a.ListSection("Shared"), all);
  EXPECT_FALSE(a.Refresh());
  EXPECT_FALSE(b.Refresh());
  EXPECT_EQ(b.ListSection("Shared"), all);
}

TEST(SettingsStore, RefreshReloadsOnlyWhenTheFileChanged) {
  MemoryStoreFile file;
  SettingsStore store(std::make_unique<MemoryStoreFile>(file.SharedState()));
  store.WriteSetting("Opt", "Zone", "z");
  const int reads = file.ReadCount();
  EXPECT_FALSE(store.Refresh());
  EXPECT_FALSE(store.Refresh());
  EXPECT_EQ(file.ReadCount(), reads);

  file.SetBytes("[Opt]\r\nZone=utc\r\n");
  EXPECT_EQ(store.ReadSetting("Opt", "Zone", ""), "z") << "reads come from memory";
  EXPECT_TRUE(store.Refresh());
  EXPECT_EQ(store.ReadSetting("Opt", "Zone", ""), "utc");

  file.SetBytes(std::nullopt);  // the file was deleted
  EXPECT_TRUE(store.Refresh());
  EXPECT_EQ(store.ReadSetting("Opt", "Zone", "gone"), "gone");
}

TEST(SettingsStore, ARealFileEditedOutsideIsSeenByRefresh) {
  testing::TempFolder dir;
  const std::string path = dir.File("QSOPAD.ini");
  SettingsStore store(OnDisk(path));
  store.WriteSetting("Opt", "Zone", "z");
  EXPECT_FALSE(store.Refresh());
  // Same size as before, written at once: the stamp still differs (new file identity).
  std::string edited = Slurp(path);
  edited.replace(edited.find("Zone=z"), 6, "Zone=q");
  Spit(path + ".new", edited);
  std::filesystem::rename(path + ".new", path);
  EXPECT_TRUE(store.Refresh());
  EXPECT_EQ(store.ReadSetting("Opt", "Zone", ""), "q");
}

// Plays a power cut between writing the temporary file and renaming it over the real one.
class CutBeforeRename : public StoreFile {
 public:
  explicit CutBeforeRename(const std::string& path) : real_(path) {}
  std::unique_ptr<Lock> LockExclusive() override { return real_.LockExclusive(); }
  std::optional<std::string> ReadAll() override { return real_.ReadAll(); }
  void ReplaceAll(const std::string& bytes) override {
    Spit(real_.TempPath(), bytes.substr(0, bytes.size() / 2));
    throw Error("power cut");
  }
  Stamp CurrentStamp() override { return real_.CurrentStamp(); }
  std::string Describe() const override { return real_.Describe(); }

 private:
  PosixStoreFile real_;
};

TEST(SettingsStore, AnInterruptedWriteLeavesTheOldContentAndALaterWriteWorks) {
  testing::TempFolder dir;
  const std::string path = dir.File("QSOPAD.ini");
  {
    SettingsStore store(OnDisk(path));
    store.WriteSetting("Opt", "Zone", "old");
  }
  {
    SettingsStore cut(std::make_unique<CutBeforeRename>(path));
    EXPECT_THROW(cut.WriteSetting("Opt", "Zone", "new"), Error);
  }
  ASSERT_TRUE(std::filesystem::exists(path + ".tmp"));
  SettingsStore store(OnDisk(path));
  EXPECT_EQ(store.ReadSetting("Opt", "Zone", ""), "old");
  store.WriteSetting("Opt", "Zone", "newer");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
  SettingsStore reloaded(OnDisk(path));
  EXPECT_EQ(reloaded.ListSection("Opt"), (Pairs{{"Zone", "newer"}}));
}

TEST(SettingsStore, AMissingFolderIsReportedAsTheSettingsFilesNotTheLockFiles) {
  testing::TempFolder dir;
  const std::string path = dir.File("missing-folder/QSOPAD.ini");
  SettingsStore store(OnDisk(path));  // absent file: an empty store
  try {
    store.WriteSetting("Opt", "Zone", "z");
    ADD_FAILURE() << "a write into a missing folder succeeded";
  } catch (const Error& e) {
    const std::string text = e.what();
    EXPECT_THAT(text, HasSubstr("\"" + path + "\""));
    EXPECT_THAT(text, HasSubstr("\"" + dir.File("missing-folder") + "\" does not exist"));
    EXPECT_THAT(text, Not(HasSubstr(".lock")));
  }
}

// A file the operator can mark read-only, which says whether the store holds its lock.
class ReadOnlyMemoryFile : public StoreFile {
 public:
  explicit ReadOnlyMemoryFile(MemoryStoreFile& file) : real_(file.SharedState()) {}
  bool read_only = false;
  bool locked = false;
  std::unique_ptr<Lock> LockExclusive() override {
    struct Held : Lock {
      std::unique_ptr<Lock> real;
      bool& locked;
      Held(std::unique_ptr<Lock> r, bool& l) : real(std::move(r)), locked(l) { locked = true; }
      ~Held() override { locked = false; }
    };
    return std::make_unique<Held>(real_.LockExclusive(), locked);
  }
  std::optional<std::string> ReadAll() override { return real_.ReadAll(); }
  void ReplaceAll(const std::string& bytes) override {
    if (read_only) throw ReadOnlyStoreFile("The settings file \"x.ini\" is read-only");
    real_.ReplaceAll(bytes);
  }
  Stamp CurrentStamp() override { return real_.CurrentStamp(); }
  std::string Describe() const override { return "x.ini"; }

 private:
  MemoryStoreFile real_;
};

TEST(SettingsStore, AReadOnlyFileKeepsItsBytesWhileWritesLiveInMemoryUntilItMayBeWritten) {
  MemoryStoreFile disk;
  auto owned = std::make_unique<ReadOnlyMemoryFile>(disk);
  ReadOnlyMemoryFile& file = *owned;
  SettingsStore store(std::move(owned));
  std::vector<std::string> notices;
  store.OnReadOnly([&](const std::string& message) {
    EXPECT_FALSE(file.locked) << "the notice came while the lock was held";
    notices.push_back(message);
  });
  store.WriteSettings({{"Opt", "Zone", "old"}, {"Gone", "k", "v"}});
  const auto bytes = disk.Bytes();

  file.read_only = true;
  store.WriteSetting("Opt", "Zone", "new");
  store.WriteSettings({{"Opt", "Path", "p"}, {"Win", "Top", "1"}});
  store.DeleteSection("Gone");
  EXPECT_EQ(disk.Bytes(), bytes) << "a read-only file was written";
  ASSERT_EQ(notices.size(), 1u) << "one notice for the whole spell";
  EXPECT_THAT(notices[0], HasSubstr("\"x.ini\" is read-only"));
  EXPECT_EQ(store.ReadSetting("Opt", "Zone", ""), "new");
  EXPECT_EQ(store.ReadSetting("Win", "Top", ""), "1");
  EXPECT_TRUE(store.ListSection("Gone").empty());

  // Another copy's change (the operator cleared the flag, it wrote, the flag came back):
  // reloaded, with our writes still on top.
  SettingsStore other(std::make_unique<MemoryStoreFile>(disk.SharedState()));
  other.WriteSettings({{"Opt", "Zone", "theirs"}, {"Opt", "Other", "x"}});
  EXPECT_TRUE(store.Refresh());
  EXPECT_EQ(store.ReadSetting("Opt", "Zone", ""), "new");
  EXPECT_EQ(store.ReadSetting("Opt", "Other", ""), "x");
  EXPECT_EQ(store.ReadSetting("Opt", "Path", ""), "p");
  EXPECT_TRUE(store.ListSection("Gone").empty());

  // Writable again: the next write saves everything kept, in its order.
  file.read_only = false;
  store.WriteSetting("Opt", "Later", "1");
  SettingsStore reloaded(std::make_unique<MemoryStoreFile>(disk.SharedState()));
  EXPECT_EQ(reloaded.ListSection("Opt"),
            (Pairs{{"Zone", "new"}, {"Other", "x"}, {"Path", "p"}, {"Later", "1"}}));
  EXPECT_EQ(reloaded.ListSection("Win"), (Pairs{{"Top", "1"}}));
  EXPECT_TRUE(reloaded.ListSection("Gone").empty());
  EXPECT_EQ(notices.size(), 1u);
  // Nothing kept any more: a reload shows the file alone.
  other.WriteSetting("Win", "Top", "2");
  EXPECT_TRUE(store.Refresh());
  EXPECT_EQ(store.ReadSetting("Win", "Top", ""), "2");

  // A new spell is told again.
  file.read_only = true;
  store.WriteSetting("Opt", "Zone", "again");
  EXPECT_EQ(notices.size(), 2u);
}

TEST(SettingsStore, AFileWithoutWritePermissionIsLeftAsItWas) {
  testing::TempFolder dir;
  const std::string path = dir.File("QSOPAD.ini");
  SettingsStore store(OnDisk(path));
  store.WriteSetting("Opt", "Zone", "old");
  const std::string before = Slurp(path);
  namespace fs = std::filesystem;
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  std::string notice;
  store.OnReadOnly([&](const std::string& message) { notice = message; });
  store.WriteSetting("Opt", "Zone", "new");
  EXPECT_THAT(notice, HasSubstr("\"" + path + "\" is read-only"));
  EXPECT_EQ(Slurp(path), before);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_FALSE(fs::exists(path + ".tmp"));
  EXPECT_EQ(store.ReadSetting("Opt", "Zone", ""), "new");
}

TEST(SettingsStore, LinesItCannotPlaceAreKeptVerbatimAndNeverCrash) {
  MemoryStoreFile file;
  file.SetBytes("stray before sections\r\n[Opt]\r\nPath=first\r\nno equals sign here\r\nPath=second\r\n"
                "; a comment\r\n[broken header\r\nZone=z\r\n");
  SettingsStore store(std::make_unique<MemoryStoreFile>(file.SharedState()));
  EXPECT_EQ(store.ListSection("Opt"), (Pairs{{"Path", "first"}, {"Zone", "z"}}));
  store.WriteSetting("Opt", "Retro", "True");
  const std::string written = *file.Bytes();
  for (const char* line : {"stray before sections\r\n", "no equals sign here\r\n", "Path=second\r\n",
                           "; a comment\r\n", "[broken header\r\n"})
    EXPECT_NE(written.find(line), std::string::npos) << line;
  // The kept duplicate stays behind the real entry, so it never takes over.
  SettingsStore reloaded(std::make_unique<MemoryStoreFile>(file.SharedState()));
  EXPECT_EQ(reloaded.ReadSetting("Opt", "Path", ""), "first");
}

}  // namespace
}  // namespace qsopad
