// The FCC database, built from the FCC's EN, AM and HD files (genuine rows, the quirks of the real files, one
// licence per call sign, the index of an existing file, inputs cut short or written over, an interrupted
// replacement) and looked up (the result text and the name, the index bisection's bounds, damaged and missing
// files). Keys and their order are worked out here, not by the code under test. (The reach over every key of a
// sorted file, keys of any bytes, few or repeated lines: the fuzz target's property.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <map>
#include <sstream>

#include "common/error.h"
#include "lookup/fcc.h"
#include "lookup/fcc_build.h"
#include "lookup/fcc_files_posix.h"
#include "test_files.h"

namespace qsopad {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::ThrowsMessage;
using testing::ReadBytes;
using testing::WriteBytes;

// The text cut or padded with spaces to six, its case unchanged.
FccKey Key(std::string_view text) {
  FccKey key;
  return std::ranges::copy((std::string(text.substr(0, 6)) + "      ").substr(0, 6), key.begin()), key;
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

// A data file and its index in a folder of their own, and the rows its builds skipped.
struct Database : FccBuildListener {
  testing::TempFolder folder;
  std::string path = folder.File("APPL.DAT");
  CountingFiles files;
  FccBuildReport report;
  std::string skipped;

  void Progress(const std::string&, std::uint64_t) override {}
  void Skipped(const std::string& file, std::uint64_t line, const std::string& reason) override {
    skipped += fs::path(file).filename().string() + ":" + std::to_string(line) + " " + reason + "\n";
  }
  void Build(const std::string& en, const std::string& am, const std::string& hd) {
    report = BuildFccDatabase(en, am, hd, path, files, *this);
  }
  std::size_t Files() { return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder.File("")), {})); }

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
};

// Lines "W00000|..." to "Wnnnnn|...", one per call, sorted.
std::vector<std::string> NumberedLines(int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) lines.push_back("W" + std::to_string(100000 + i).substr(1) + "|T|A||DOE, JOHN|1 MAIN ST||TOWN|CA|90000|");
  return lines;
}

// A line is read whole however long it is: a long value keeps the fields after it, and a line whose first "|"
// lies far out has the key before it. (Lines without "|": the fuzz target's.)
TEST(FccLookup, ResultTextFilledNameAndMissingFiles) {
  Database db;
  const std::string field(10 << 20, 'x');
  // Sorted by their bytes as unsigned characters: 0xC9 and 0xF7 after the letters. (A genuine row: the
  // builder's test and the end-to-end scenario.)
  db.WriteIndex(FccIndexBytes(db.WriteData({
      "AA1AA |E|A||M\xDCLLER, J\xD6RG K|||BERLIN|NY|10001|",
      "K1ABC |E|A||Doe, John Q|12 Elm St|55|Boston|MA|02101|",
      "K1ABCD|T|A||SMITH,JOHN|||Salem|OR|97301|",  // two characters after the comma
      "K1BBB |E|A||DOE, JOHN|" + field + "|55|TOWN|ST|12345|",
      "K1CCC" + std::string(70000, ' ') + "|E|A||ROE, JANE|||CITY|ST|2|",
      "W1AW  ||A||ARRL HQ CLUB|225 MAIN ST|||CT|06111|",
      "W1XYZ |E|A||  DE LA CRUZ,   MARIA JOSE  |||||",
      "\xC9X1|E|A||ROE, X\xC0\xD7\xDE\xDF\xBF|||||",
      "\xF7X1|E|A||ROE,|||||",  // nothing after the comma
  })));
  const struct { const char* call; std::string text; const char* name; } rows[] = {
      {"aa1aa", "AA1AA J\xD6RG K M\xDCLLER\r\nBERLIN, NY 10001", "J\xF6rg"},
      {"K1ABC", "K1ABC John Q Doe\r\n12 Elm St\r\nBOX 55\r\nBoston, MA 02101", "John"},
      // Compared on six characters: the longer call finds the six-character one.
      {"K1ABCDE", "K1ABCD OHN SMITH\r\nSalem, OR 97301", "Ohn"},
      {"K1BBB", "K1BBB JOHN DOE\r\n" + field + "\r\nBOX 55\r\nTOWN, ST 12345", "John"},
      {"K1CCC", "K1CCC JANE ROE\r\nCITY, ST 2", "Jane"},
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

  // A missing index is created empty: not found. An index that cannot be made, and a data file gone (with its
  // index; without, no index is made: the end-to-end scenario's): the failure and an empty result. (An index that
  // cannot be opened for writing is read all the same: the FCC end-to-end scenario holds one open under Windows.)
  std::string messages, name = "kept";
  const auto record = [&](const std::string& m, const std::string& d) { messages += m + " | " + d + "\n"; };
  fs::remove(db.path + ".qpd");
  EXPECT_EQ(FCCLookup("K1ABC", name, true, db.path, db.files, record), kFccNotFound);
  EXPECT_TRUE(fs::exists(db.path + ".qpd") && ReadBytes(db.path + ".qpd").empty() && messages.empty());
  fs::remove(db.path + ".qpd");
  fs::create_directory(db.path + ".qpd");
  EXPECT_EQ(FCCLookup("K1ABC", name, true, db.path, db.files, record), "");
  EXPECT_THAT(messages, HasSubstr("FCC Database error | Cannot open the index \"" + db.path + ".qpd\": error 21"));
  messages.clear();
  fs::remove(db.path);
  EXPECT_EQ(FCCLookup("K1ABC", name, true, db.path, db.files, record), "");
  EXPECT_EQ(messages, "FCC Database error | Cannot open the data file \"" + db.path + "\": error 2 (No such file or directory)\n");
  EXPECT_EQ(name, "kept");
}

// Entries 0 and 2048 bound the search; a short or damaged index ends as "not found".
TEST(FccLookup, IndexBoundsAndDamage) {
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
  std::vector<FccIndexedLine> beyond = keyed, below = keyed;
  beyond.back().key = Key("ZZZZZZ");
  below.front().key = Key("A");
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
      {"the first entry claims a key its line lacks", FccIndexBytes(below), data, {"0"}},
  };
  for (const auto& row : rows) {
    WriteBytes(db.path, row.data);
    db.WriteIndex(row.index);
    for (const char* call : row.calls) {
      SCOPED_TRACE(row.what + ", " + call);
      db.files.data_bytes = 0;
      const FCCAnswer answer = db.Find(call);
      EXPECT_THAT(answer.outcome == FCCOutcome::kFailure ? answer.failure : answer.text, HasSubstr("does not match the data file"));
      EXPECT_LE(db.files.data_bytes, 64u * 1024) << "of " << row.data.size();
    }
  }
}

// ---- Building the database ----

// Genuine FCC rows, kept in the repository (tests/data/fcc-uls).
const fs::path kSamples = fs::path(__FILE__).parent_path() / "../data/fcc-uls";

// Field n (from 0) of a "|"-separated row.
std::string Field(const std::string& row, int n) {
  std::size_t from = 0;
  for (; n > 0; --n) from = row.find('|', from) + 1;
  return row.substr(from, row.find('|', from) - from);
}

// Genuine rows of three downloads, a row with a "|" inside a value among them. (Their lookup texts from such lines are
// the lookup's test; KN6DQD's, built from the same rows, the end-to-end scenario's; the index over genuine rows, the
// interrupted replacement's; a name's suffix and a club's licence, the quirks' test.)
TEST(FccBuild, GenuineRowsMakeTheLinesTheRowsSay) {
  ASSERT_TRUE(fs::is_directory(kSamples)) << "no FCC sample rows at " << kSamples;
  const struct { const char *trio, *line; } rows[] = {
      {"real-rows/current", "KN6DQD|G|A|08/06/2029|Downing, Zoe||370545|Montara|CA|94037|"},
      {"real-rows/2011", "KC0YLK|E|A|08/31/2016|Fast, Adam G|1501 George Williams Way Apt. F9||Lawrence|KS|66047|"},
      // Two licences: the active vanity one, not the cancelled one with a PO box.
      {"real-rows/2011", "KG0W  |E|A|12/15/2016|KASSAWARA, MATTHEW S|1681 W Canal Cir Unit 121||Littleton|CO|80120|"},
      {"anonymized-fixture", "KD3AQ |E|C|12/02/2026|DAVIS, CHARLES S||695|SPRINGFIELD|OH|97533|"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.trio);
    Database db;
    const fs::path trio = kSamples / row.trio;
    db.Build((trio / "EN.dat").string(), (trio / "AM.dat").string(), (trio / "HD.dat").string());
    EXPECT_THAT("\n" + ReadBytes(db.path), HasSubstr("\n" + std::string(row.line) + "\r\n"));
    EXPECT_EQ(db.skipped, "");
  }
  // The application file's HD rows have no EN rows here: with KM6OXX's 60-field row
  // skipped, no licence has a name, and nothing is written.
  Database db;
  const fs::path current = kSamples / "real-rows/current";
  EXPECT_THROW(db.Build((current / "EN.dat").string(), (current / "AM.dat").string(), (current / "a_HD-excerpt.dat").string()),
               Error);
  EXPECT_THAT(db.skipped, HasSubstr("a_HD-excerpt.dat:4 more than 59 fields (a \"|\" inside a value)"));
  EXPECT_EQ(db.Files(), 0u);
}

// Rows in the current layouts, fields at the FCC's positions (counted from 1).
std::string Row(const char* type, std::size_t fields, const std::map<std::size_t, std::string>& values) {
  std::string row = type;
  for (std::size_t pos = 2; pos <= fields; ++pos) row += "|" + (values.count(pos) ? values.at(pos) : "");
  return row + "\r\n";
}
std::string Hd(const char* usi, const char* call, const char* status = "A", const char* grant = "01/02/2020") {
  return Row("HD", 59, {{2, usi}, {5, call}, {6, status}, {7, "HA"}, {8, grant}, {9, "01/01/2030"}});
}
// An EN row of licence `usi`: the licensee's own (entity type "L") in TOWN, OH, unless the values say otherwise.
std::string En(const char* usi, std::map<std::size_t, std::string> values) {
  values.insert({{2, usi}, {6, "L"}, {17, "TOWN"}, {18, "OH"}});  // keeps the values given
  return Row("EN", 30, values);
}

// The data file's bytes, and the index, from rows with the quirks of the real files: one
// licence kept per call sign (active, then the latest grant, then the newest identifier),
// the licensee's first EN row, the boundaries of the call sign and the identifier, rows of
// too many fields, blank lines, another line end. (Rows of the 2011 layout: the genuine rows.)
TEST(FccBuild, DataFileBytesFromRowsWithTheQuirksOfTheRealFiles) {
  Database db;
  const std::string en = db.folder.File("EN.dat"), am = db.folder.File("AM.dat"), hd = db.folder.File("HD.dat");
  std::string club = En("2", {{8, "RIVER CITY ARC, INC."}, {16, " 12 ELM ST "}, {19, "45501"}});
  club.erase(club.size() - 2, 1);  // LF alone
  WriteBytes(en, En("1", {{9, "J\xD6RG"}, {11, "M\xDCLLER"}, {19, "100010001"}}) + club + En("3", {}) +
                     En("4", {{9, "JOHN"}, {11, "DOE"}, {16, "12 | A ST"}}) +  // 31 fields
                     "a value broken over two lines\r\n" + En("5", {{9, "FIVE"}, {11, "CANCELLED"}}) +
                     En("6", {{9, "SIX"}, {11, "ACTIVE"}}) + En("7", {{9, "SEVEN"}, {11, "EXPIRED"}}) +
                     En("8", {{9, "EIGHT"}, {11, "OLDER"}}) + En("9", {{9, "NINE"}, {11, "NEWER"}}) + "\r\n" +
                     En("11", {{9, "E"}, {11, "ELEVEN"}}) + En("12", {{9, "T"}, {11, "TWELVE"}}) +
                     En("13", {{9, "FIRST"}, {11, "ROW"}}) + En("13", {{9, "SECOND"}, {11, "ROW"}}) +
                     En("14", {{6, "CE"}, {9, "CONTACT"}, {11, "PERSON"}}) +  // not the licensee
                     En("14", {{9, "LICENSEE"}, {11, "NAME"}, {16, "5\rELM"}}) +
                     En("123456789", {{9, "JOHN"}, {10, "Q"}, {11, "DOE"}, {12, "JR"}, {19, "12345678"}}));
  std::string am_rows = Row("AM", 18, {{2, "1"}, {6, "E"}});
  for (const char* usi : {"2", "3", "4", "5", "6", "7", "8", "9", "11", "12", "13", "14", "123456789"})
    am_rows += Row("AM", 18, {{2, usi}});
  WriteBytes(am, am_rows);
  WriteBytes(hd, Hd("1", "K1AAA") + Hd("2", "k1bbb") + Hd("3", "K1CCC", "A", "") + Hd("4", "K1DDD") +
                     Hd("5", "K1EEE", "C", "06/01/2021") + Hd("6", "K1EEE", "A", "06/01/2010") +
                     Hd("7", "K1EEE", "E", "06/01/2022") + Hd("8", "K1FFF", "E", "12/31/2015") +
                     Hd("9", "K1FFF", "C", "01/01/2016") + "\r\n" + Hd("12", "K1HHH", "A", "03/03/2021") +
                     Hd("11", "K1HHH", "A", "03/03/2021") + Hd("13", "K1III") + Hd("14", "K1JJJ") +
                     Hd("123456789", "K1KKKK") + Hd("15", "K1LLLLL") + Hd("16", "K1-MM") + Hd("1234567890", "K1NNN"));
  db.Build(en, am, hd);

  const std::string data =
      "K1AAA |E|A|01/01/2030|M\xDCLLER, J\xD6RG|||TOWN|OH|10001-0001|\r\n"
      "K1BBB ||A|01/01/2030|RIVER CITY ARC INC.|RIVER CITY ARC, INC., 12 ELM ST||TOWN|OH|45501|\r\n"
      "K1CCC ||A|01/01/2030||||TOWN|OH||\r\n"
      "K1EEE ||A|01/01/2030|ACTIVE, SIX|||TOWN|OH||\r\n"
      "K1FFF ||C|01/01/2030|NEWER, NINE|||TOWN|OH||\r\n"
      "K1HHH ||A|01/01/2030|TWELVE, T|||TOWN|OH||\r\n"
      "K1III ||A|01/01/2030|ROW, FIRST|||TOWN|OH||\r\n"
      "K1JJJ ||A|01/01/2030|NAME, LICENSEE|5 ELM||TOWN|OH||\r\n"
      "K1KKKK||A|01/01/2030|DOE JR, JOHN Q|||TOWN|OH|12345678|\r\n";
  EXPECT_EQ(ReadBytes(db.path), data);
  EXPECT_EQ(db.skipped,
            "HD.dat:16 call sign longer than 6 characters\nHD.dat:17 call sign not letters and digits\n"
            "HD.dat:18 no unique system identifier\nEN.dat:4 more than 30 fields (a \"|\" inside a value)\n"
            "EN.dat:5 not an EN row\nHD.dat:4 no EN row (name and address) for the licence\n");
  EXPECT_EQ(std::to_string(db.report.licences_read) + " " + std::to_string(db.report.call_signs_written) + " " +
                std::to_string(db.report.SkippedRows()) + " " + std::to_string(db.report.bytes_written),
            "14 9 6 " + std::to_string(data.size()));

  // The index: entry 0 names the first line and entry 2048 the last, counted from 1.
  const std::string index = ReadBytes(db.path + ".qpd");
  ASSERT_EQ(index.size(), 20490u);
  EXPECT_EQ(index.substr(0, 10), std::string("K1AAA \x01\0\0\0", 10));
  const auto last = static_cast<std::uint32_t>(data.find("K1KKKK") + 1);
  EXPECT_EQ(index.substr(20480), "K1KKKK" + std::string({char(last & 255), char(last >> 8), '\0', '\0'}));
  // The index verb gives the builder's index, and refuses an unsorted file.
  fs::remove(db.path + ".qpd");
  EXPECT_EQ(BuildFccIndex(db.path, db.files, db), 9u);
  EXPECT_EQ(ReadBytes(db.path + ".qpd"), index);
  const std::string unsorted = db.folder.File("UNSORTED.DAT");
  WriteBytes(unsorted, "K1AAA|\r\nno key\r\nK1CCC|\r\nK1BBB|\r\n");
  EXPECT_THAT([&] { BuildFccIndex(unsorted, db.files, db); }, ThrowsMessage<Error>(HasSubstr("Line 4 of \"" + unsorted +
      "\" has the key \"K1BBB \", which sorts before the key \"K1CCC \" of line 3")));
  EXPECT_FALSE(fs::exists(unsorted + ".qpd"));
}

// The genuine fixture's three files, by name.
std::map<std::string, std::string> Fixture() {
  std::map<std::string, std::string> files;
  for (const char* name : {"EN.dat", "AM.dat", "HD.dat"}) files[name] = ReadBytes((kSamples / "anonymized-fixture" / name).string());
  return files;
}

// The first `n` rows of a file.
std::string FirstRows(const std::string& bytes, int n) {
  std::size_t end = 0;
  for (int i = 0; i < n; ++i) end = bytes.find('\n', end) + 1;
  return bytes.substr(0, end);
}

TEST(FccBuild, InputsCutShortAndAnOutputThatIsAnInputAreRefused) {
  Database db;
  const std::map<std::string, std::string> good = Fixture();
  const auto path = [&](const std::string& name) { return db.folder.File(name); };
  // Writes the inputs, `changed` holding other bytes, and builds into `out`.
  const auto build = [&](const std::string& changed, const std::string& bytes, const std::string& out) {
    for (const auto& [name, rows] : good) WriteBytes(path(name), name == changed ? bytes : rows);
    return BuildFccDatabase(path("EN.dat"), path("AM.dat"), path("HD.dat"), out, db.files, db);
  };
  build("", "", db.path);
  const std::string data = ReadBytes(db.path), index = ReadBytes(db.path + ".qpd");
  fs::create_symlink(path("EN.dat"), path("symlink.dat"));
  fs::create_hard_link(path("EN.dat"), path("hardlink.dat"));
  const std::string en = good.at("EN.dat"), hd = good.at("HD.dat");
  // Three quarters of the 34 call signs is 25.5: 25 with a name is too few.
  const struct { const char *what, *file; std::string bytes, out, message; } rows[] = {
      {"EN.dat cut inside its 17th row", "EN.dat", en.substr(0, FirstRows(en, 16).size() + 40), db.path, "EN.dat\" ends in the middle of row 17"},
      {"HD.dat cut inside its last row", "HD.dat", hd.substr(0, hd.size() - 2), db.path, "HD.dat\" ends in the middle of row 34"},
      {"EN.dat cut after 25 rows", "EN.dat", FirstRows(en, 25), db.path, "Only 25 of the 34 call signs of \"" + path("HD.dat") + "\" have a name and address"},
      {"AM.dat cut after 25 rows", "AM.dat", FirstRows(good.at("AM.dat"), 25), db.path,
       "Only 25 of the 34 call signs of \"" + path("HD.dat") + "\" have an AM row"},
      {"HD.dat cut after 17 rows", "HD.dat", FirstRows(hd, 17), db.path, "Only 17 of the 34 rows of \"" + path("EN.dat") + "\" belong to a licence"},
      {"EN.dat as the output", "", "", path("EN.dat"), "is the input"},
      {"a symbolic link to EN.dat", "", "", path("symlink.dat"), "is the input"},
      {"a hard link to EN.dat", "", "", path("hardlink.dat"), "is the input"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_THAT([&] { build(row.file, row.bytes, row.out); }, ThrowsMessage<Error>(HasSubstr(row.message)));
    EXPECT_EQ(ReadBytes(db.path), data);
    EXPECT_EQ(ReadBytes(db.path + ".qpd"), index);
    EXPECT_EQ(ReadBytes(path("EN.dat")), row.file == std::string("EN.dat") ? row.bytes : en);
    EXPECT_EQ(db.Files(), 7u);  // 3 inputs, 2 links, 2 outputs
  }
  // 26 of 34 are enough.
  EXPECT_EQ(build("EN.dat", FirstRows(en, 26), db.path).call_signs_written, 26u);

  // A row of 26 fields, one fewer than the oldest layout, was cut short inside the file: it
  // is skipped, not read as an older, shorter layout.
  const std::size_t row5 = FirstRows(en, 4).size(), row6 = FirstRows(en, 5).size();
  std::size_t cut_at = row5;
  for (int bars = 0; bars < 26; ++bars) cut_at = en.find('|', cut_at) + 1;
  db.skipped.clear();
  build("EN.dat", en.substr(0, cut_at - 1) + "\n" + en.substr(row6), db.path);
  EXPECT_THAT(db.skipped, HasSubstr("EN.dat:5 fewer than 27 fields (a row cut short)\nHD.dat:"));
  EXPECT_THAT(ReadBytes(db.path), Not(HasSubstr(Field(en.substr(row5), 4) + " |")));  // KJ8ZJ
}

// The build's files, ended (as by a kill) just before their `stop`-th rename.
struct Interrupted : PosixFccFiles {
  explicit Interrupted(int s) : stop(s) {}
  int stop, renames = 0;
  void Rename() { ++renames == stop ? throw Error("killed before rename " + std::to_string(stop)) : void(); }
  std::unique_ptr<FccWriteFile> CreateReplacement(const std::string& path) override {
    struct File : FccWriteFile {
      std::unique_ptr<FccWriteFile> file;
      Interrupted& files;
      File(std::unique_ptr<FccWriteFile> f, Interrupted& i) : file(std::move(f)), files(i) {}
      void Write(const char* bytes, std::size_t size) override { file->Write(bytes, size); }
      void Commit() override { files.Rename(), file->Commit(); }
    };
    return std::make_unique<File>(PosixFccFiles::CreateReplacement(path), *this);
  }
  void Replace(const std::string& from, const std::string& to) override { Rename(), PosixFccFiles::Replace(from, to); }
};

// A build interrupted at any of its three renames (pending index, data file, index) leaves the old database whole or a
// new data file that lookups do not read through the old index ("FCC Database error", never "not found" for a call it
// holds); the next run of the tool finishes or undoes the replacement.
TEST(FccBuild, AnInterruptedReplacementIsReportedAndFinished) {
  std::map<std::string, std::string> week = Fixture(), before;
  const std::string dropped = Field(week["HD.dat"], 4);  // KK9HIU, USI 254305: the week's new call
  std::vector<std::string> calls;
  for (const auto& [name, rows] : week) {
    std::istringstream in(rows);
    for (std::string row; std::getline(in, row); name == "HD.dat" ? calls.push_back(Field(row, 4)) : void())
      before[name] += Field(row, 1) != "254305" ? row + "\n" : "";
  }
  for (const int stop : {1, 2, 3}) {
    SCOPED_TRACE("killed before rename " + std::to_string(stop));
    Database db;
    for (const auto& [name, rows] : week) WriteBytes(db.folder.File(name), rows), WriteBytes(db.folder.File(name + ".old"), before[name]);
    const auto in = [&](const char* name) { return db.folder.File(name); };
    db.Build(in("EN.dat.old"), in("AM.dat.old"), in("HD.dat.old"));
    Interrupted files(stop);
    EXPECT_THROW(BuildFccDatabase(in("EN.dat"), in("AM.dat"), in("HD.dat"), db.path, files, db), Error);
    const bool new_data = stop == 3;
    for (const std::string& call : calls) {
      const FCCAnswer answer = FCCFind(call, db.path, db.files);
      EXPECT_TRUE(new_data ? answer.outcome != FCCOutcome::kNotFound
                           : answer.outcome == (call == dropped ? FCCOutcome::kNotFound : FCCOutcome::kFound)) << call;
      EXPECT_TRUE(answer.outcome != FCCOutcome::kFound || answer.text.starts_with(call + " ")) << answer.text;
    }
    EXPECT_EQ(FinishFccReplacement(db.path, db.files).substr(0, 8), stop == 1 ? "" : stop == 2 ? "Removed " : "Finished");
    for (const std::string& call : calls)
      EXPECT_EQ(FCCFind(call, db.path, db.files).outcome == FCCOutcome::kFound, new_data || call != dropped) << call;
    EXPECT_EQ(db.Files(), 8u);  // 6 inputs, 2 outputs
  }
}

}  // namespace
}  // namespace qsopad
