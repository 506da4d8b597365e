// The FCC database lookup over real files: the result text and the name, the index
// bisection's reach and its bounds, damaged and missing files, and random files.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "lookup/fcc.h"
#include "lookup/fcc_build.h"
#include "lookup/fcc_files_posix.h"
#include "temp_folder.h"

namespace qsopad {
namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

FccKey Key(std::string_view text) { return FCCSearchKey(text); }

// The POSIX files, counting the bytes read from data files.
struct CountingFiles : PosixFccFiles {
  std::uint64_t data_bytes = 0;
  std::unique_ptr<FccReadFile> OpenRead(const std::string& path, bool create, std::string& error) override {
    struct Counted : FccReadFile {
      std::unique_ptr<FccReadFile> file;
      std::uint64_t& bytes;
      Counted(std::unique_ptr<FccReadFile> f, std::uint64_t& b) : file(std::move(f)), bytes(b) {}
      std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        const std::size_t got = file->ReadAt(offset, buffer, size);
        bytes += got;
        return got;
      }
    };
    auto file = PosixFccFiles::OpenRead(path, create, error);
    if (!file || path.ends_with(kFccIndexSuffix)) return file;
    return std::make_unique<Counted>(std::move(file), data_bytes);
  }
};

// A data file and its index in a folder of their own.
struct Database {
  testing::TempFolder folder;
  std::string path = folder.File("APPL.DAT");
  CountingFiles files;

  // Writes the lines, each ended by CR LF, and returns the keyed lines with their positions.
  std::vector<FccIndexedLine> WriteData(const std::vector<std::string>& lines) {
    std::string bytes;
    std::vector<FccIndexedLine> keyed;
    for (const auto& line : lines) {
      if (const auto key = FCCLineKey(line)) keyed.push_back({*key, static_cast<std::int32_t>(bytes.size() + 1)});
      bytes += line + "\r\n";
    }
    WriteBytes(path, bytes);
    return keyed;
  }
  void WriteIndex(const std::string& bytes) { WriteBytes(path + ".qpd", bytes); }
  FCCAnswer Find(std::string_view call) { return FCCFind(call, path, files); }
  bool Found(std::string_view call) { return Find(call).outcome == FCCOutcome::kFound; }
};

// Lines "W00000|..." to "Wnnnnn|...", one per call, sorted.
std::vector<std::string> NumberedLines(int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) {
    char call[16];
    std::snprintf(call, sizeof call, "W%05d", i);
    lines.push_back(std::string(call) + "|T|A||DOE, JOHN|1 MAIN ST||TOWN|CA|90000|");
  }
  return lines;
}

TEST(FccLookup, ResultTextAndFilledName) {
  Database db;
  const std::vector<std::string> lines = {
      "AA1AA |E|A||M\xDCLLER, J\xD6RG K|||BERLIN|NY|10001|",  // Latin-1 capitals become small ones
      "K1ABC |E|A||Doe, John Q|12 Elm St|55|Boston|MA|02101|",
      "K1ABCD|T|A||SMITH,JOHN|||Salem|OR|97301|",  // two characters after the comma, as specified
      "KN6DQD|G|A|08/06/2029|Downing, Zoe||370545|Montara|CA|94037|",
      "W1AW  ||A||ARRL HQ CLUB|225 MAIN ST|||CT|06111|",
      "W1XYZ |E|A||  DE LA CRUZ,   MARIA JOSE  |||||"};
  db.WriteIndex(FccIndexBytes(db.WriteData(lines)));
  const struct {
    const char* call;
    const char* text;
    const char* name;
  } rows[] = {
      {"aa1aa", "AA1AA J\xD6RG K M\xDCLLER\r\nBERLIN, NY 10001", "J\xF6rg"},
      {"K1ABC", "K1ABC John Q Doe\r\n12 Elm St\r\nBOX 55\r\nBoston, MA 02101", "John"},
      // Compared on six characters: the longer call finds the six-character one.
      {"K1ABCDE", "K1ABCD OHN SMITH\r\nSalem, OR 97301", "Ohn"},
      {"KN6DQD", "KN6DQD Zoe Downing\r\nBOX 370545\r\nMontara, CA 94037", "Zoe"},
      {"W1AW", "W1AW \r\n225 MAIN ST\r\n, CT 06111", ""},  // no comma: no name
      {"W1XYZ", "W1XYZ   MARIA JOSE DE LA CRUZ\r\n,  ", "Maria"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call);
    std::string name = "unchanged";
    const auto no_message = [](const std::string& m, const std::string& d) { ADD_FAILURE() << m << ": " << d; };
    EXPECT_EQ(FCCLookup(row.call, name, true, db.path, db.files, no_message), row.text);
    EXPECT_EQ(name, row.name);
    name = "unchanged";
    FCCLookup(row.call, name, false, db.path, db.files, no_message);
    EXPECT_EQ(name, "unchanged");
  }
  std::string name = "unchanged";
  EXPECT_EQ(FCCLookup("K1AB", name, true, db.path, db.files, {}), kFccNotFound);
  EXPECT_EQ(name, "unchanged");
}

// Whatever the number of lines, the index the builder writes lets the bisection reach
// every call sign, and no other.
TEST(FccLookup, BuiltIndexReachesEveryCallAndOnlyThose) {
  std::mt19937 rng(11);
  const std::string alphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (const int n : {1, 2, 3, 2047, 2048, 2049, 2050, 6000}) {
    SCOPED_TRACE("lines: " + std::to_string(n));
    std::set<std::string> calls;  // 3 to 6 characters, so 5- and 6-character calls interleave
    while (calls.size() < static_cast<std::size_t>(n)) {
      std::string call(3 + rng() % 4, ' ');
      for (char& c : call) c = alphabet[rng() % alphabet.size()];
      calls.insert(call);
    }
    std::vector<std::string> sorted(calls.begin(), calls.end());
    std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
      return CompareFccKeys(Key(a), Key(b)) < 0;
    });
    std::vector<std::string> lines;
    for (const auto& call : sorted) lines.push_back(call + "|T|A||DOE, JOHN||||||");
    Database db;
    db.WriteIndex(FccIndexBytes(db.WriteData(lines)));
    int missed = 0;
    for (const auto& call : sorted) {
      const FCCAnswer answer = db.Find(call);
      if (answer.outcome != FCCOutcome::kFound || answer.text.rfind(call + " JOHN DOE", 0) != 0) {
        if (++missed <= 5) ADD_FAILURE() << call << " not found";
      }
    }
    EXPECT_EQ(missed, 0);
    // Keys between and around the calls.
    for (const auto& call : {sorted.front() + "!", sorted.back() + "Z", std::string("0"), std::string("ZZZZZZ")}) {
      if (!calls.count(call.substr(0, 6))) {
        EXPECT_FALSE(db.Found(call)) << call;
      }
    }
  }
}

TEST(FccLookup, EntriesZeroAndLastBoundTheSearch) {
  Database db;
  const auto keyed = db.WriteData(NumberedLines(10000));
  // The index leaves out the first line and everything after line 8000; entry 1 is W00004.
  db.WriteIndex(FccIndexBytes({keyed.begin() + 1, keyed.begin() + 8001}));
  EXPECT_FALSE(db.Found("W00000"));  // below entry 0
  EXPECT_TRUE(db.Found("W00001"));   // entry 0
  EXPECT_TRUE(db.Found("W00002"));   // between entries 0 and 1, read from entry 0
  EXPECT_TRUE(db.Found("W08000"));   // the last entry
  EXPECT_FALSE(db.Found("W08001"));  // above the last reachable key
}

TEST(FccLookup, DamagedIndexEndsAsNotFound) {
  Database db;
  const auto keyed = db.WriteData(NumberedLines(4097));  // entry i holds line 2i
  const std::string index = FccIndexBytes(keyed);
  std::string absent = index;
  absent[1536 * kFccEntrySize] = '\0';  // a probe of the upper half meets it
  const struct {
    const char* what;
    std::string bytes;
    const char* call;
    bool found;
  } rows[] = {
      {"empty index", "", "W00002", false},
      {"100 entries: the first probe is past the end", index.substr(0, 1000), "W00002", false},
      {"cut inside entry 1024", index.substr(0, 1024 * kFccEntrySize + 7), "W00002", false},
      {"cut after entry 1024", index.substr(0, 1025 * kFccEntrySize), "W02048", true},
      {"absent entry 1536, lower half", absent, "W01000", true},
      {"absent entry 1536, upper half", absent, "W03000", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    db.WriteIndex(row.bytes);
    const FCCAnswer answer = db.Find(row.call);
    EXPECT_EQ(answer.outcome, row.found ? FCCOutcome::kFound : FCCOutcome::kNotFound) << answer.failure;
  }
}

// An index whose entries do not name lines of the data file with their keys (an index of
// another data file, a damaged file) is a failure for every call, whether the bisection
// reaches a stretch or not; the read never runs far past the entry it starts from.
TEST(FccLookup, IndexThatDoesNotMatchItsDataIsAnError) {
  Database db;
  const std::vector<std::string> lines = NumberedLines(4097);
  const auto keyed = db.WriteData(lines);  // entry i holds line 2i
  const std::string data = ReadBytes(db.path);
  const auto size = static_cast<std::int32_t>(data.size());
  const auto moved = [&](std::int64_t by, bool to = false) {
    std::vector<FccIndexedLine> copy = keyed;
    for (auto& line : copy) line.position = static_cast<std::int32_t>(to ? by : line.position + by);
    return FccIndexBytes(copy);
  };
  std::string reversed;  // the same lines from the last to the first
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) reversed += *it + "\r\n";
  std::vector<FccIndexedLine> beyond = keyed;
  beyond.back().key = Key("ZZZZZZ");
  // W02046, entry 1023, is met below the first probe: the bisection carries its key into
  // the stretch.
  const std::vector<const char*> calls = {"W00000", "W02046", "W02048", "W02049", "W04096", "W09999", "A"};
  const struct {
    std::string what, index, data;
    std::vector<const char*> calls;
  } rows[] = {
      {"positions 0", moved(0, true), data, calls},
      {"positions -1", moved(-1, true), data, calls},
      {"positions INT_MIN", moved(INT_MIN, true), data, calls},
      {"positions one past the end", moved(size + 1, true), data, calls},
      {"positions INT_MAX", moved(INT_MAX, true), data, calls},
      {"positions 2 bytes early", moved(-2), data, calls},
      {"positions 1 byte early", moved(-1), data, calls},
      {"positions 1 byte late", moved(1), data, calls},
      {"positions 3 bytes late", moved(3), data, calls},
      // (but for the middle line, W02048, which stays where it was)
      {"the lines in reverse order", FccIndexBytes(keyed), reversed, {"W00000", "W02046", "W02049", "W04096", "W09999", "A"}},
      {"the last entry claims keys the file lacks", FccIndexBytes(beyond), data, {"X1", "ZZZZZZ"}},
  };
  for (const auto& row : rows) {
    WriteBytes(db.path, row.data);
    db.WriteIndex(row.index);
    for (const char* call : row.calls) {
      SCOPED_TRACE(row.what + ", " + call);
      db.files.data_bytes = 0;
      const FCCAnswer answer = db.Find(call);
      EXPECT_EQ(answer.outcome, FCCOutcome::kFailure) << answer.text;
      EXPECT_NE(answer.failure.find("does not match the data file"), std::string::npos) << answer.failure;
      EXPECT_LE(db.files.data_bytes, 64u * 1024) << "of " << row.data.size();
    }
  }
  // A last line without a line end is read.
  WriteBytes(db.path, data + "X1|E|A||ROE, JANE||||||");
  std::vector<FccIndexedLine> with_last = keyed;
  with_last.push_back({Key("X1"), size + 1});
  db.WriteIndex(FccIndexBytes(with_last));
  EXPECT_TRUE(db.Found("X1"));
}

// A line is read whole however long it is: a long value keeps the fields after it, and a
// line whose first "|" lies far out has the key before it.
TEST(FccLookup, LongLinesAreReadWhole) {
  Database db;
  const std::string field(10 << 20, 'x');
  const std::string spaces(70000, ' ');
  db.WriteIndex(FccIndexBytes(db.WriteData({"K1AAA |E|A||DOE, ANN|||CITY|ST|1|",
                                            "K1BBB |E|A||DOE, JOHN|" + field + "|55|TOWN|ST|12345|",
                                            "K1CCC" + spaces + "|E|A||ROE, JANE|||CITY|ST|2|",
                                            "K1DDD |E|A||DOE, DAN|||CITY|ST|3|"})));
  EXPECT_EQ(db.Find("K1BBB").text, "K1BBB JOHN DOE\r\n" + field + "\r\nBOX 55\r\nTOWN, ST 12345");
  EXPECT_EQ(db.Find("K1CCC").text, "K1CCC JANE ROE\r\nCITY, ST 2");
  EXPECT_EQ(db.Find("K1DDD").text, "K1DDD DAN DOE\r\nCITY, ST 3");
}

TEST(FccLookup, LineWithoutBarKeepsTheKeyBeforeIt) {
  Database db;
  db.WriteIndex(FccIndexBytes(db.WriteData({"K1AAA|||DOE, A||||||", "K1AAB stray text", "K1BBB|||DOE, B||||||"})));
  EXPECT_TRUE(db.Found("K1BBB"));
  EXPECT_FALSE(db.Found("K1AAB"));  // the stray line's text is no key
}

TEST(FccLookup, MissingFilesAndAReadOnlyIndex) {
  Database db;
  db.WriteData(NumberedLines(10));
  std::string messages;
  const auto record = [&](const std::string& m, const std::string& d) { messages += m + " | " + d + "\n"; };
  std::string name = "kept";
  // A missing index is created empty: not found.
  EXPECT_EQ(FCCLookup("W00001", name, true, db.path, db.files, record), kFccNotFound);
  EXPECT_EQ(std::filesystem::file_size(db.path + ".qpd"), 0u);
  EXPECT_EQ(messages, "");
  // No data file, with an index or without: the failure, an empty result, and no index
  // made for it.
  const std::string missing = "FCC Database error | Cannot open the data file \"" + db.path +
                              "\": error 2 (No such file or directory)\n";
  std::filesystem::remove(db.path);
  EXPECT_EQ(FCCLookup("W00001", name, true, db.path, db.files, record), "");
  EXPECT_EQ(messages, missing);
  std::filesystem::remove(db.path + ".qpd");
  EXPECT_EQ(FCCLookup("W00001", name, true, db.path, db.files, record), "");
  EXPECT_EQ(messages, missing + missing);
  EXPECT_FALSE(std::filesystem::exists(db.path + ".qpd"));
  EXPECT_EQ(name, "kept");
  // An index that cannot be made.
  messages.clear();
  db.WriteData(NumberedLines(10));
  std::filesystem::create_directory(db.path + ".qpd");
  EXPECT_EQ(FCCLookup("W00001", name, true, db.path, db.files, record), "");
  EXPECT_NE(messages.find("Cannot open the index \"" + db.path + ".qpd\": error 21"), std::string::npos) << messages;
  std::filesystem::remove(db.path + ".qpd");

  // An index that cannot be written, even by root (immutable), is read all the same.
  db.WriteIndex(FccIndexBytes(db.WriteData(NumberedLines(10))));
  const std::string index = db.path + ".qpd";
  ::chmod(index.c_str(), 0444);
  const int fd = ::open(index.c_str(), O_RDONLY);
  int flags = 0;
  const bool immutable = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                         ::ioctl(fd, FS_IOC_SETFLAGS, &(flags |= FS_IMMUTABLE_FL)) == 0;
  const int writable = ::open(index.c_str(), O_RDWR);
  if (writable < 0) {
    EXPECT_TRUE(db.Found("W00007"));
  }
  if (immutable) ::ioctl(fd, FS_IOC_SETFLAGS, &(flags &= ~FS_IMMUTABLE_FL));
  ::close(fd);
  if (writable >= 0) {
    ::close(writable);
    GTEST_SKIP() << "cannot make a file unwritable here (root on a file system without immutable files)";
  }
}

}  // namespace
}  // namespace qsopad
