// Building the FCC database from the FCC's EN, AM and HD files: the genuine sample rows
// looked up as the rows say, the quirks of the real files, choosing one licence per call
// sign, the index of an existing file, inputs cut short or written over, and a failed or
// interrupted build leaving the old database or finishing the new one.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/error.h"
#include "lookup/fcc.h"
#include "lookup/fcc_build.h"
#include "lookup/fcc_files_posix.h"
#include "temp_folder.h"

namespace qsopad {
namespace {

namespace fs = std::filesystem;

// Genuine FCC rows, kept in the repository (tests/data/fcc-uls).
const fs::path kSamples = fs::path(__FILE__).parent_path() / "../data/fcc-uls";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class Listener : public FccBuildListener {
 public:
  void Progress(const std::string&, std::uint64_t) override {}
  void Skipped(const std::string& file, std::uint64_t line, const std::string& reason) override {
    skipped += fs::path(file).filename().string() + ":" + std::to_string(line) + " " + reason + "\n";
  }
  std::string skipped;
};

struct Built {
  testing::TempFolder folder;
  std::string out = folder.File("APPL.DAT");
  PosixFccFiles files;
  Listener listener;
  FccBuildReport report;

  void Build(const std::string& en, const std::string& am, const std::string& hd) {
    report = BuildFccDatabase(en, am, hd, out, files, listener);
  }
  std::string Lookup(const std::string& call, std::string& name) {
    return FCCLookup(call, name, true, out, files, [](const std::string& m, const std::string& d) {
      ADD_FAILURE() << m << ": " << d;
    });
  }
  // Fields 1 to 3 of the call's data line: operator class, licence status, expiry date.
  std::string Licence(const std::string& call) {
    const std::string data = ReadBytes(out), key = std::string(call) + std::string(6 - call.size(), ' ') + "|";
    const std::size_t at = data.find(key);
    if (at == std::string::npos || (at > 0 && data[at - 1] != '\n')) return "no line";
    const std::string line = data.substr(at, data.find('\n', at) - at);
    return FCCField(line, 1) + "|" + FCCField(line, 2) + "|" + FCCField(line, 3);
  }
};

TEST(FccBuild, GenuineRowsLookUpAsTheRowsSay) {
  ASSERT_TRUE(fs::is_directory(kSamples)) << "no FCC sample rows at " << kSamples;
  const struct {
    const char* trio;
    const char* call;
    const char* text;
    const char* name;
    const char* licence;
  } rows[] = {
      {"real-rows/current", "KN6DQD", "KN6DQD Zoe Downing\r\nBOX 370545\r\nMontara, CA 94037", "Zoe", "G|A|08/06/2029"},
      {"real-rows/2011", "KC0YLK", "KC0YLK Adam G Fast\r\n1501 George Williams Way Apt. F9\r\nLawrence, KS 66047",
       "Adam", "E|A|08/31/2016"},
      // Two licences: the active vanity one, not the cancelled one with a PO box.
      {"real-rows/2011", "KG0W", "KG0W MATTHEW S KASSAWARA\r\n1681 W Canal Cir Unit 121\r\nLittleton, CO 80120",
       "Matthew", "E|A|12/15/2016"},
      {"anonymized-fixture", "WI7T", "WI7T CHARLES R HERNANDEZ JR\r\n4601 MAIN ST\r\nSPRINGFIELD, MI 94541", "Charles",
       "E|A|06/06/2027"},
      {"anonymized-fixture", "kd3aq", "KD3AQ CHARLES S DAVIS\r\nBOX 695\r\nSPRINGFIELD, OH 97533", "Charles",
       "E|C|12/02/2026"},
      {"anonymized-fixture", "WF4JNK", "WF4JNK PATRICIA R TAYLOR\r\n2645 MAIN ST\r\nSPRINGFIELD, CA 90685", "Patricia",
       "|A|02/26/2031"},  // the club licence has no operator class
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.trio) + " " + row.call);
    Built db;
    const fs::path trio = kSamples / row.trio;
    db.Build((trio / "EN.dat").string(), (trio / "AM.dat").string(), (trio / "HD.dat").string());
    std::string name;
    EXPECT_EQ(db.Lookup(row.call, name), row.text);
    EXPECT_EQ(name, row.name);
    std::string call = row.call;
    for (char& c : call) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(db.Licence(call), row.licence);
    EXPECT_EQ(db.listener.skipped, "");
  }

  // Every licence of the fixture is found under its call sign.
  Built db;
  const fs::path fixture = kSamples / "anonymized-fixture";
  db.Build((fixture / "EN.dat").string(), (fixture / "AM.dat").string(), (fixture / "HD.dat").string());
  EXPECT_EQ(db.report.licences_read, 34u);
  EXPECT_EQ(db.report.call_signs_written, 34u);
  std::istringstream hd(ReadBytes((fixture / "HD.dat").string()));
  int calls = 0;
  for (std::string row; std::getline(hd, row); ++calls) {
    const std::string call = FCCField(row, 4);
    std::string name;
    EXPECT_EQ(db.Lookup(call, name).rfind(call + " ", 0), 0u) << call;
  }
  EXPECT_EQ(calls, 34);
}

TEST(FccBuild, ApplicationRowWithABarInAValueIsSkippedAndCounted) {
  Built db;
  const fs::path current = kSamples / "real-rows/current";
  // The application file's HD rows have no EN rows here: with KM6OXX's 60-field row
  // skipped, no licence has a name, and nothing is written.
  EXPECT_THROW(db.Build((current / "EN.dat").string(), (current / "AM.dat").string(),
                        (current / "a_HD-excerpt.dat").string()),
               Error);
  EXPECT_NE(db.listener.skipped.find("a_HD-excerpt.dat:4 more than 59 fields (a \"|\" inside a value)"),
            std::string::npos)
      << db.listener.skipped;
  EXPECT_FALSE(fs::exists(db.out));
  EXPECT_EQ(std::distance(fs::directory_iterator(db.folder.File("")), {}), 0);
}

// Rows in the current layouts, fields at the FCC's positions (counted from 1).
std::string Row(const char* type, std::size_t fields, std::vector<std::pair<std::size_t, std::string>> values) {
  std::vector<std::string> f(fields);
  f[0] = type;
  for (auto& [pos, value] : values) f[pos - 1] = value;
  std::string row;
  for (std::size_t i = 0; i < f.size(); ++i) row += (i ? "|" : "") + f[i];
  return row;
}
std::string Hd(const char* usi, const char* call, const char* status, const char* grant) {
  return Row("HD", 59, {{2, usi}, {5, call}, {6, status}, {7, "HA"}, {8, grant}, {9, "01/01/2030"}}) + "\r\n";
}
std::string En(const char* usi, const char* call, const char* entity, const char* first, const char* last,
               const char* street, const char* zip, const char* end = "\r\n") {
  return Row("EN", 30, {{2, usi}, {5, call}, {6, "L"}, {8, entity}, {9, first}, {11, last}, {16, street},
                        {17, "TOWN"}, {18, "OH"}, {19, zip}}) + end;
}

TEST(FccBuild, QuirksOfTheRealFilesAndOneLicencePerCall) {
  Built db;
  const std::string en = db.folder.File("EN.dat"), am = db.folder.File("AM.dat"), hd = db.folder.File("HD.dat");
  std::ofstream(en, std::ios::binary)
      << En("1", "K1AAA", "M\xDCLLER, J\xD6RG", "J\xD6RG", "M\xDCLLER", "", "100010001")
      << En("2", "K1BBB", "RIVER CITY ARC, INC.", "", "", " 12 ELM ST ", "45501", "\n")  // a club; LF
      << En("3", "K1CCC", "", "", "", "", "")                                              // no name
      << En("4", "K1DDD", "DOE, JOHN", "JOHN", "DOE", "12 | A ST", "90000")               // 31 fields
      << "a value broken over two lines\r\n"
      << En("5", "K1EEE", "", "FIVE", "CANCELLED", "", "") << En("6", "K1EEE", "", "SIX", "ACTIVE", "", "")
      << En("7", "K1EEE", "", "SEVEN", "EXPIRED", "", "") << En("8", "K1FFF", "", "EIGHT", "OLDER", "", "")
      << En("9", "K1FFF", "", "NINE", "NEWER", "", "")
      // The 2011 layout: 27 fields.
      << "EN|10|||K1GGG|L||SHORT, ROW|ROW||SHORT|||||1 A ST|TOWN|OH|45501|||000||I|||\r\n";
  std::ofstream(am, std::ios::binary) << Row("AM", 18, {{2, "1"}, {5, "K1AAA"}, {6, "E"}}) << "\n";
  for (int usi = 2; usi <= 10; ++usi) std::ofstream(am, std::ios::app) << Row("AM", 18, {{2, std::to_string(usi)}}) << "\n";
  std::ofstream(hd, std::ios::binary)
      << Hd("1", "K1AAA", "A", "01/02/2020") << Hd("2", "k1bbb", "A", "01/02/2020") << Hd("3", "K1CCC", "A", "")
      << Hd("4", "K1DDD", "A", "01/02/2020") << Hd("5", "K1EEE", "C", "06/01/2021")
      << Hd("6", "K1EEE", "A", "06/01/2010") << Hd("7", "K1EEE", "E", "06/01/2022")
      << Hd("8", "K1FFF", "E", "12/31/2015") << Hd("9", "K1FFF", "C", "01/01/2016")
      << "HD|10|||K1GGG|A|HA|01/01/2010|01/01/2020||||||||||||||||||||N|||||||||||||||||01/01/2010|01/01/2010||||||\r\n";
  db.Build(en, am, hd);

  const struct {
    const char* call;
    const char* text;
    const char* name;
  } rows[] = {
      {"K1AAA", "K1AAA J\xD6RG M\xDCLLER\r\nTOWN, OH 10001-0001", "J\xF6rg"},
      {"K1BBB", "K1BBB \r\nRIVER CITY ARC, INC., 12 ELM ST\r\nTOWN, OH 45501", ""},
      {"K1CCC", "K1CCC \r\nTOWN, OH ", ""},
      {"K1DDD", kFccNotFound, ""},
      {"K1EEE", "K1EEE SIX ACTIVE\r\nTOWN, OH ", "Six"},   // active before later grants
      {"K1FFF", "K1FFF NINE NEWER\r\nTOWN, OH ", "Nine"},  // then the latest grant
      {"K1GGG", "K1GGG ROW SHORT\r\n1 A ST\r\nTOWN, OH 45501", "Row"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.call);
    std::string name;
    EXPECT_EQ(db.Lookup(row.call, name), row.text);
    EXPECT_EQ(name, row.name);
  }
  EXPECT_EQ(db.Licence("K1AAA"), "E|A|01/01/2030");
  EXPECT_EQ(db.report.licences_read, 10u);
  EXPECT_EQ(db.report.call_signs_written, 6u);
  EXPECT_EQ(db.listener.skipped,
            "EN.dat:4 more than 30 fields (a \"|\" inside a value)\n"
            "EN.dat:5 not an EN row\n"
            "HD.dat:4 no EN row (name and address) for the licence\n");
  ASSERT_EQ(db.report.skipped.size(), 3u);
  EXPECT_EQ(db.report.SkippedRows(), 3u);

  // The index verb gives the builder's index, and refuses an unsorted file.
  const std::string index = ReadBytes(db.out + ".qpd");
  fs::remove(db.out + ".qpd");
  EXPECT_EQ(BuildFccIndex(db.out, db.files, db.listener), 6u);
  EXPECT_EQ(ReadBytes(db.out + ".qpd"), index);
  const std::string unsorted = db.folder.File("UNSORTED.DAT");
  std::ofstream(unsorted, std::ios::binary) << "K1AAA|\r\nno key\r\nK1CCC|\r\nK1BBB|\r\n";
  try {
    BuildFccIndex(unsorted, db.files, db.listener);
    ADD_FAILURE() << "an unsorted file was indexed";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("Line 4 of \"" + unsorted +
                                         "\" has the key \"K1BBB \", which sorts before the key \"K1CCC \" of line 3"),
              std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(fs::exists(unsorted + ".qpd"));

  // A build that fails leaves the database as it was, and no temporary file.
  const std::string data = ReadBytes(db.out);
  EXPECT_THROW(db.Build(en, db.folder.File("missing.dat"), hd), Error);
  EXPECT_EQ(ReadBytes(db.out), data);
  EXPECT_EQ(std::distance(fs::directory_iterator(db.folder.File("")), {}), 6);  // 3 inputs, 2 + 1 outputs
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
  Built db;
  const std::map<std::string, std::string> good = Fixture();
  const auto path = [&](const std::string& name) { return db.folder.File(name); };
  // Writes the inputs, `changed` holding other bytes, and builds into `out`.
  const auto build = [&](const std::string& changed, const std::string& bytes, const std::string& out) {
    for (const auto& [name, rows] : good) std::ofstream(path(name), std::ios::binary) << (name == changed ? bytes : rows);
    return BuildFccDatabase(path("EN.dat"), path("AM.dat"), path("HD.dat"), out, db.files, db.listener);
  };
  build("", "", db.out);
  const std::string data = ReadBytes(db.out), index = ReadBytes(db.out + ".qpd");
  fs::create_symlink(path("EN.dat"), path("symlink.dat"));
  fs::create_hard_link(path("EN.dat"), path("hardlink.dat"));
  const std::string en = good.at("EN.dat");
  const struct {
    const char* what;
    const char* file;
    std::string bytes;
    std::string out;
    std::string message;
  } rows[] = {
      {"EN.dat cut inside its 17th row", "EN.dat", en.substr(0, FirstRows(en, 16).size() + 40), db.out,
       "EN.dat\" ends in the middle of row 17"},
      {"HD.dat cut inside its last row", "HD.dat", good.at("HD.dat").substr(0, good.at("HD.dat").size() - 2), db.out,
       "HD.dat\" ends in the middle of row 34"},
      {"EN.dat cut after 17 rows", "EN.dat", FirstRows(en, 17), db.out,
       "Only 17 of the 34 call signs of \"" + path("HD.dat") + "\" have a name and address"},
      {"AM.dat cut after 20 rows", "AM.dat", FirstRows(good.at("AM.dat"), 20), db.out,
       "Only 20 of the 34 call signs of \"" + path("HD.dat") + "\" have an AM row"},
      {"HD.dat cut after 17 rows", "HD.dat", FirstRows(good.at("HD.dat"), 17), db.out,
       "Only 17 of the 34 rows of \"" + path("EN.dat") + "\" belong to a licence"},
      {"EN.dat as the output", "", "", path("EN.dat"), "is the input"},
      {"EN.dat spelt another way", "", "", path("./EN.dat"), "is the input"},
      {"a symbolic link to EN.dat", "", "", path("symlink.dat"), "is the input"},
      {"a hard link to EN.dat", "", "", path("hardlink.dat"), "is the input"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    try {
      build(row.file, row.bytes, row.out);
      ADD_FAILURE() << "built";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadBytes(db.out), data);
    EXPECT_EQ(ReadBytes(db.out + ".qpd"), index);
    EXPECT_EQ(ReadBytes(path("EN.dat")), row.file == std::string("EN.dat") ? row.bytes : en);
    EXPECT_EQ(std::distance(fs::directory_iterator(db.folder.File("")), {}), 7);  // 3 inputs, 2 links, 2 outputs
  }

  // A row cut short inside the file is skipped, not read as an older, shorter layout.
  const std::size_t row5 = FirstRows(en, 4).size(), row6 = FirstRows(en, 5).size();
  const std::string cut = en.substr(0, row5) + FirstRows(en.substr(row5), 1).substr(0, 30) + "\n" + en.substr(row6);
  db.listener.skipped.clear();
  build("EN.dat", cut, db.out);
  const std::string call = FCCField(en.substr(row5), 4);  // "KJ8ZJ"
  EXPECT_NE(db.listener.skipped.find("EN.dat:5 fewer than 27 fields (a row cut short)\nHD.dat:"), std::string::npos)
      << db.listener.skipped;
  EXPECT_EQ(db.Licence(call), "no line") << call;
}

// The build's files, ended (as by a kill) just before their `stop`-th rename.
struct Interrupted : PosixFccFiles {
  explicit Interrupted(int s) : stop(s) {}
  int stop, renames = 0;
  void Rename() {
    if (++renames == stop) throw Error("killed before rename " + std::to_string(stop));
  }
  std::unique_ptr<FccWriteFile> CreateReplacement(const std::string& path) override {
    struct File : FccWriteFile {
      std::unique_ptr<FccWriteFile> file;
      Interrupted& files;
      File(std::unique_ptr<FccWriteFile> f, Interrupted& i) : file(std::move(f)), files(i) {}
      void Write(const char* bytes, std::size_t size) override { file->Write(bytes, size); }
      void Commit() override {
        files.Rename();
        file->Commit();
      }
    };
    return std::make_unique<File>(PosixFccFiles::CreateReplacement(path), *this);
  }
  void Replace(const std::string& from, const std::string& to) override {
    Rename();
    PosixFccFiles::Replace(from, to);
  }
};

// A build interrupted at any of its three renames (pending index, data file, index)
// leaves the old database whole or a new data file that lookups do not read through the
// old index ("FCC Database error", never "not found" for a call it holds); the next run
// of the tool finishes or undoes the replacement.
TEST(FccBuild, AnInterruptedReplacementIsReportedAndFinished) {
  std::map<std::string, std::string> week = Fixture(), before;
  const std::string dropped = FCCField(week["HD.dat"], 4);  // KK9HIU, USI 254305: the week's new call
  for (const auto& [name, rows] : week) {
    std::istringstream in(rows);
    for (std::string row; std::getline(in, row);) {
      if (FCCField(row, 1) != "254305") before[name] += row + "\n";
    }
  }
  std::vector<std::string> calls;
  std::istringstream hd(week["HD.dat"]);
  for (std::string row; std::getline(hd, row);) calls.push_back(FCCField(row, 4));
  for (const int stop : {1, 2, 3}) {
    SCOPED_TRACE("killed before rename " + std::to_string(stop));
    Built db;
    for (const auto& [name, rows] : week) {
      std::ofstream(db.folder.File(name), std::ios::binary) << rows;
      std::ofstream(db.folder.File(name + ".old"), std::ios::binary) << before[name];
    }
    const auto in = [&](const char* name) { return db.folder.File(name); };
    db.Build(in("EN.dat.old"), in("AM.dat.old"), in("HD.dat.old"));
    Interrupted files(stop);
    EXPECT_THROW(BuildFccDatabase(in("EN.dat"), in("AM.dat"), in("HD.dat"), db.out, files, db.listener), Error);
    const bool new_data = stop == 3;
    for (const std::string& call : calls) {
      const FCCAnswer answer = FCCFind(call, db.out, db.files);
      if (new_data) {
        EXPECT_NE(answer.outcome, FCCOutcome::kNotFound) << call;
      } else {
        EXPECT_EQ(answer.outcome, call == dropped ? FCCOutcome::kNotFound : FCCOutcome::kFound) << call;
      }
      if (answer.outcome == FCCOutcome::kFound) {
        EXPECT_EQ(answer.text.rfind(call + " ", 0), 0u) << answer.text;
      }
    }
    EXPECT_EQ(FinishFccReplacement(db.out, db.files).substr(0, 8), stop == 1 ? "" : stop == 2 ? "Removed " : "Finished");
    for (const std::string& call : calls) {
      EXPECT_EQ(FCCFind(call, db.out, db.files).outcome == FCCOutcome::kFound, new_data || call != dropped) << call;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(db.folder.File("")), {}), 8);  // 6 inputs, 2 outputs
  }
}

}  // namespace
}  // namespace qsopad
