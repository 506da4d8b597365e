// The FCC database lookup over real files: the result text and the name, the index bisection's reach and
// its bounds, damaged and missing files. Keys and their order are worked out here, not by the lookup's code.
// (The reach over keys of any bytes, few or repeated lines: the fuzz target's property.)
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>

#include "lookup/fcc.h"
#include "lookup/fcc_build.h"
#include "lookup/fcc_files_posix.h"
#include "temp_folder.h"
#include "test_files.h"

namespace qsopad {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

// The text cut or padded with spaces to six, its case unchanged.
std::string Padded(std::string_view text) { return (std::string(text.substr(0, 6)) + "      ").substr(0, 6); }
FccKey Key(std::string_view text) {
  FccKey key;
  return std::ranges::copy(Padded(text), key.begin()), key;
}

// The POSIX files, counting the bytes read from data files.
struct CountingFiles : PosixFccFiles {
  std::uint64_t data_bytes = 0;
  std::unique_ptr<FccReadFile> OpenRead(const std::string& path, bool create, std::string& error) override {
    struct Counted : FccReadFile {
      Counted(std::unique_ptr<FccReadFile> f, std::uint64_t& b) : file(std::move(f)), bytes(b) {}
      std::size_t ReadAt(std::uint64_t at, char* to, std::size_t n) override { return bytes += n = file->ReadAt(at, to, n), n; }
      std::unique_ptr<FccReadFile> file;
      std::uint64_t& bytes;
    };
    auto file = PosixFccFiles::OpenRead(path, create, error);
    return !file || path.ends_with(kFccIndexSuffix) ? std::move(file) : std::make_unique<Counted>(std::move(file), data_bytes);
  }
};

// A data file and its index in a folder of their own.
struct Database {
  testing::TempFolder folder;
  std::string path = folder.File("APPL.DAT");
  CountingFiles files;

  // Writes the lines, each ended by CR LF; returns those with a "|" (their key the text before it) and positions.
  std::vector<FccIndexedLine> WriteData(const std::vector<std::string>& lines) {
    std::string bytes;
    std::vector<FccIndexedLine> keyed;
    for (const auto& line : lines) {
      const std::size_t bar = line.find('|');
      if (bar != std::string::npos) keyed.push_back({Key(line.substr(0, bar)), static_cast<std::int32_t>(bytes.size() + 1)});
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
  for (int i = 0; i < n; ++i) lines.push_back("W" + std::to_string(100000 + i).substr(1) + "|T|A||DOE, JOHN|1 MAIN ST||TOWN|CA|90000|");
  return lines;
}

TEST(FccLookup, ResultTextAndFilledName) {
  Database db;
  // Sorted by their bytes as unsigned characters: 0xC9 and 0xF7 after the letters. (A genuine row: the
  // builder's test and the end-to-end scenario.)
  db.WriteIndex(FccIndexBytes(db.WriteData({
      "AA1AA |E|A||M\xDCLLER, J\xD6RG K|||BERLIN|NY|10001|",
      "K1ABC |E|A||Doe, John Q|12 Elm St|55|Boston|MA|02101|",
      "K1ABCD|T|A||SMITH,JOHN|||Salem|OR|97301|",  // two characters after the comma
      "W1AW  ||A||ARRL HQ CLUB|225 MAIN ST|||CT|06111|",
      "W1XYZ |E|A||  DE LA CRUZ,   MARIA JOSE  |||||",
      "\xC9X1|E|A||ROE, X\xC0\xD7\xDE\xDF\xBF|||||",
      "\xF7X1|E|A||ROE,|||||",  // nothing after the comma
  })));
  const struct { const char *call, *text, *name; } rows[] = {
      {"aa1aa", "AA1AA J\xD6RG K M\xDCLLER\r\nBERLIN, NY 10001", "J\xF6rg"},
      {"K1ABC", "K1ABC John Q Doe\r\n12 Elm St\r\nBOX 55\r\nBoston, MA 02101", "John"},
      // Compared on six characters: the longer call finds the six-character one.
      {"K1ABCDE", "K1ABCD OHN SMITH\r\nSalem, OR 97301", "Ohn"},
      {"W1AW", "W1AW \r\n225 MAIN ST\r\n, CT 06111", ""},  // no comma: no name
      {"W1XYZ", "W1XYZ   MARIA JOSE DE LA CRUZ\r\n,  ", "Maria"},
      // Windows-1252 letters change case; the multiplication sign, sharp s and 0xBF do not.
      {"\xE9x1", "\xC9X1 X\xC0\xD7\xDE\xDF\xBF ROE\r\n,  ", "X\xE0\xD7\xFE\xDF\xBF"},
      {"\xF7x1", "\xF7X1  ROE\r\n,  ", "Roe"},  // the division sign has no capital
  };
  const auto no_message = [](const std::string& m, const std::string& d) { ADD_FAILURE() << m << ": " << d; };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call);
    for (const bool fill : {true, false}) {
      std::string name = "unchanged";
      EXPECT_EQ(FCCLookup(row.call, name, fill, db.path, db.files, no_message), row.text);
      EXPECT_EQ(name, fill ? row.name : "unchanged");
    }
  }
}

// The builder's index reaches every call, with one line more than it has entries and with many
// more. Entries 0 and 2048 bound the search; a short or damaged index ends as "not found".
TEST(FccLookup, IndexReachAndBoundsAndDamage) {
  for (const int n : {2049, 10000}) {
    Database all;
    all.WriteIndex(FccIndexBytes(all.WriteData(NumberedLines(n))));
    for (int i = 0; i < n; ++i)
      EXPECT_TRUE(all.Found("W" + std::to_string(100000 + i).substr(1))) << n << " lines, line " << i;
  }
  Database db;
  const auto keyed = db.WriteData(NumberedLines(10000));  // entry i holds line i * 9999 / 2048
  const std::string index = FccIndexBytes(keyed);
  // Lines 1 to 8000 only: entry 0 is W00001, entry 1 W00004 and entry 2048 W08000.
  const std::string part = FccIndexBytes({keyed.begin() + 1, keyed.begin() + 8001});
  std::string absent = index;
  absent[1536 * kFccEntrySize] = '\0';  // entry 1536 (W07499): a probe of the upper half meets it
  const struct { const char* what; std::string bytes; const char* call; bool found; } rows[] = {
      {"below entry 0", part, "W00000", false}, {"entry 0", part, "W00001", true},
      {"between entries 0 and 1, read from entry 0", part, "W00002", true},
      {"the last entry", part, "W08000", true}, {"above the last entry", part, "W08001", false},
      {"empty index", "", "W00002", false},
      {"100 entries: the first probe is past the end", index.substr(0, 1000), "W00002", false},
      {"cut inside entry 1024", index.substr(0, 1024 * kFccEntrySize + 7), "W00002", false},
      {"cut after entry 1024", index.substr(0, 1025 * kFccEntrySize), "W04999", true},
      {"absent entry 1536, lower half", absent, "W01000", true},
      {"absent entry 1536, upper half", absent, "W06000", false},
  };
  for (const auto& row : rows) {
    db.WriteIndex(row.bytes);
    const FCCAnswer answer = db.Find(row.call);
    EXPECT_EQ(answer.outcome, row.found ? FCCOutcome::kFound : FCCOutcome::kNotFound) << row.what << ": " << answer.failure;
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
  // W02046, entry 1023, is met below the first probe: the bisection carries its key into the stretch.
  const std::vector<const char*> calls = {"W00000", "W02046", "W02048", "W02049", "W04096", "W09999", "A"};
  const struct { std::string what, index, data; std::vector<const char*> calls; } rows[] = {
      {"positions 0", moved(0, true), data, calls}, {"positions -1", moved(-1, true), data, calls},
      {"positions INT_MIN", moved(INT_MIN, true), data, calls}, {"positions one past the end", moved(size + 1, true), data, calls},
      {"positions INT_MAX", moved(INT_MAX, true), data, calls}, {"positions 2 bytes early", moved(-2), data, calls},
      {"positions 1 byte early", moved(-1), data, calls}, {"positions 1 byte late", moved(1), data, calls},
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
      EXPECT_NE((answer.outcome == FCCOutcome::kFailure ? answer.failure : answer.text).find("does not match the data file"),
                std::string::npos) << answer.text;
      EXPECT_LE(db.files.data_bytes, 64u * 1024) << "of " << row.data.size();
    }
  }
  // A last line without a line end is read.
  WriteBytes(db.path, data + "X1|E|A||ROE, JANE||||||");
  beyond.back() = {Key("X1"), size + 1};
  db.WriteIndex(FccIndexBytes(beyond));
  EXPECT_TRUE(db.Found("X1"));
}

// A line is read whole however long it is: a long value keeps the fields after it, and a
// line whose first "|" lies far out has the key before it. (Lines without "|": the fuzz target's.)
TEST(FccLookup, LongLines) {
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

// (An index that cannot be opened for writing is read all the same: the FCC end-to-end
// scenario holds one open under Windows.)
TEST(FccLookup, MissingFiles) {
  Database db;
  db.WriteData(NumberedLines(10));
  std::string messages;
  const auto record = [&](const std::string& m, const std::string& d) { messages += m + " | " + d + "\n"; };
  std::string name = "kept";
  // A missing index is created empty: not found.
  EXPECT_EQ(FCCLookup("W00001", name, true, db.path, db.files, record), kFccNotFound);
  EXPECT_TRUE(std::filesystem::exists(db.path + ".qpd") && ReadBytes(db.path + ".qpd").empty() && messages.empty());
  // No data file (with its index; without, no index is made: the end-to-end scenario's): the failure
  // and an empty result.
  std::filesystem::remove(db.path);
  EXPECT_EQ(FCCLookup("W00001", name, true, db.path, db.files, record), "");
  EXPECT_EQ(messages, "FCC Database error | Cannot open the data file \"" + db.path + "\": error 2 (No such file or directory)\n");
  EXPECT_EQ(name, "kept");
  // An index that cannot be made.
  messages.clear();
  db.WriteData(NumberedLines(10)), std::filesystem::remove(db.path + ".qpd"), std::filesystem::create_directory(db.path + ".qpd");
  EXPECT_EQ(FCCLookup("W00001", name, true, db.path, db.files, record), "");
  EXPECT_NE(messages.find("Cannot open the index \"" + db.path + ".qpd\": error 21"), std::string::npos) << messages;
}

}  // namespace
}  // namespace qsopad
