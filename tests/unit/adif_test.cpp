// The ADIF field table, the record writer (bytes on a real file, and a write that fails
// half-way) and the log entry window's model.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "adif/adif.h"
#include "adif/log_file_posix.h"
#include "adif/log_form.h"
#include "common/error.h"
#include "main_form_fixture.h"
#include "temp_folder.h"

namespace qsopad {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class AdifTest : public fakes::MainFormTest {
 protected:
  void Adif(const std::string& key, const std::string& value) { Set("ADIF", key, value); }
  AdifTable Loaded() {
    AdifTable t;
    t.LoadAdifFields(store);
    return t;
  }
  testing::TempFolder folder;
  std::string path = folder.File("log.adi");
  PosixLogFiles files;
};

TEST_F(AdifTest, LoadBuildsTheBuiltInFieldsThenTheCustomOnesFromTheStore) {
  AdifTable plain = Loaded();
  ASSERT_EQ(plain.AdifFieldCount(), 11);
  ASSERT_EQ(plain.fields.size(), 12u);
  EXPECT_EQ(plain[3].Name, "QSO_DATE");
  EXPECT_EQ(plain[11].Tag, "NOTES");
  for (const AdifField& f : plain.fields) EXPECT_TRUE(f.En) << f.Name;

  Adif("Count", "13");
  Adif("Adif", "");  // an unrelated key does nothing
  Set("ADif", "En2", "False");
  Adif("Tag5", "QSL_VIA");
  Adif("Val6", "PSK31");
  Adif("Tag12", "STATE");
  Adif("En13", "0");
  Adif("CustName", "Extra");
  AdifTable t = Loaded();
  t[0].Data = "N0CALL";
  ASSERT_EQ(t.fieldcount, 13);
  EXPECT_FALSE(t[2].En);
  EXPECT_EQ(t[5].Name, "TX_PWR");
  EXPECT_EQ(t[5].Tag, "QSL_VIA");
  EXPECT_EQ(t[6].Val, "PSK31");
  EXPECT_EQ(t[12].Name, "Extra");
  EXPECT_EQ(t[12].Tag, "STATE");
  EXPECT_EQ(t[13].Tag, "Extra");  // a custom field's tag defaults to its name
  EXPECT_FALSE(t[13].En);
  // Reset All: a rebuild loses the contact's values.
  t.LoadAdifFields(store);
  EXPECT_EQ(t[0].Data, "");
}

TEST_F(AdifTest, ACountTooLowOrNotANumberStillGivesTheBuiltInFields) {
  for (const char* count : {"5", "-3", "abc", "", "10.4"}) {
    SCOPED_TRACE(count);
    Adif("Count", count);
    AdifTable t = Loaded();
    EXPECT_EQ(t.fieldcount, 11);
    EXPECT_EQ(t.fields.size(), 12u);
    EXPECT_EQ(t[11].Name, "NOTES");
  }
}

TEST_F(AdifTest, AHugeCountIsRefusedNamingKeyAndValueAndTheBuiltInsStay) {
  Adif("Count", "5000000");
  Adif("Tag1", "NICK");
  AdifTable t;
  try {
    t.LoadAdifFields(store);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("\"Count\""));
    EXPECT_THAT(e.what(), HasSubstr("5000000"));
  }
  EXPECT_EQ(t.fields.size(), 12u);
  EXPECT_EQ(t[1].Tag, "NICK");
  // The largest 16-bit count is still a count.
  Adif("Count", "32767");
  EXPECT_EQ(Loaded().fields.size(), 32768u);
}

TEST_F(AdifTest, StartUpBuildsTheTableAndSaysWhyAStoredCountWasRefused) {
  Adif("Count", "12");
  Adif("Tag12", "STATE");
  Started();
  EXPECT_EQ(model->adif[12].Tag, "STATE");
  EXPECT_TRUE(view.messages.empty());
  Adif("Count", "99999999");
  Reset();
  Started();
  EXPECT_EQ(model->adif.fields.size(), 12u);
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_THAT(view.messages[0], HasSubstr("99999999"));
}

TEST_F(AdifTest, AddCustomStoresTheNewCountAtOnceAndSaveStoresEveryFieldButTheCount) {
  AdifTable t = Loaded();
  t[0].Data = "keep";
  t.AddCustomField(store);
  ASSERT_EQ(t.fieldcount, 12);
  EXPECT_EQ(Get("ADIF", "Count"), "12");
  EXPECT_EQ(t[0].Data, "keep");
  EXPECT_EQ(t[12].Name, "*Custom");
  EXPECT_FALSE(t[12].En);
  EXPECT_EQ(t[12].Tag, "");

  t[12].Tag = "SOTA_REF";
  t[3].En = false;
  t.SaveAdifFields(store);
  EXPECT_EQ(Get("ADIF", "En3"), "False");
  EXPECT_EQ(Get("ADIF", "En12"), "False");
  EXPECT_EQ(Get("ADIF", "Tag12"), "SOTA_REF");
  EXPECT_EQ(Get("ADIF", "Val12"), "");
  EXPECT_EQ(Get("ADIF", "Tag0"), "CALL");
  // A failing store leaves the table as it was.
  file->fail_replace = true;
  EXPECT_THROW(t.AddCustomField(store), Error);
  EXPECT_EQ(t.fieldcount, 12);
}

TEST_F(AdifTest, TheN0CallExampleByteForByteThenAnAppendWithoutHeader) {
  Adif("File", path);
  AdifTable t = Loaded();
  t[0].Data = "N0CALL";
  t[3].Data = "19991231";
  t[4].Data = "0815";
  EXPECT_EQ(WriteAdifRecord(t, store, files).outcome, LogWriteResult::kWritten);
  const std::string first =
      "QSOPAD Log file <eoh>\r\n<CALL:6>N0CALL\r\n<QSO_DATE:8>19991231\r\n<TIME_ON:4>0815\r\n<eor>\r\n";
  EXPECT_EQ(Slurp(path), first);
  t[0].Data = "DL1ABC";
  WriteAdifRecord(t, store, files);
  EXPECT_EQ(Slurp(path), first + "<CALL:6>DL1ABC\r\n<QSO_DATE:8>19991231\r\n<TIME_ON:4>0815\r\n<eor>\r\n");
}

TEST_F(AdifTest, RecordTextRules) {
  const std::string slashed = "N\xD8" "CALL";
  const std::string lodz = "\xC5\x81\xC3\xB3" "d\xC5\xBA";  // "Łódź" in UTF-8
  const auto custom = [](AdifTable& t, const std::string& tag) {
    t.fields.push_back({"*Custom", tag, "", "x1", true});
    t.fieldcount = static_cast<std::int16_t>(t.fields.size() - 1);
  };
  struct Row {
    const char* name;
    std::function<void(AdifTable&)> fill;
    bool noslash, utf8;
    std::string want;
    std::vector<std::string> left_out = {};
  } rows[] = {
      {"all disabled", [](AdifTable& t) { for (auto& f : t.fields) f.En = false, f.Data = "x"; }, false, false, ""},
      {"all empty", [](AdifTable&) {}, false, false, ""},
      {"Val when Data is empty", [](AdifTable& t) { t[6].Val = "BPSK31"; }, false, false, "<MODE:6>BPSK31\r\n<eor>\r\n"},
      {"Data over Val", [](AdifTable& t) { t[6].Val = "BPSK31", t[6].Data = "PSK63"; }, false, false,
       "<MODE:5>PSK63\r\n<eor>\r\n"},
      {"slashed zeros back to 0", [&](AdifTable& t) { t[0].Data = slashed; }, true, false, "<CALL:6>N0CALL\r\n<eor>\r\n"},
      {"slashed zeros kept with Zero off", [&](AdifTable& t) { t[0].Data = slashed; }, false, false,
       "<CALL:6>" + slashed + "\r\n<eor>\r\n"},
      {"length of twelve", [](AdifTable& t) { t[11].Data = "twelve chars"; }, false, false,
       "<NOTES:12>twelve chars\r\n<eor>\r\n"},
      {"edited tag", [](AdifTable& t) { t[5].Tag = "QSL_VIA", t[5].Data = "W1AW"; }, false, false,
       "<QSL_VIA:4>W1AW\r\n<eor>\r\n"},
      {"disabled field skipped", [](AdifTable& t) { t[0].Data = "A1A", t[1].Data = "Bo", t[1].En = false; }, false,
       false, "<CALL:3>A1A\r\n<eor>\r\n"},
      // Tags that are no field names: readers lose the field, the next one or the whole file.
      {"custom field with no tag", [&](AdifTable& t) { custom(t, ""); }, false, false, "", {""}},
      {"tags no reader can take", [&](AdifTable& t) {
         t[0].Data = "K1ABC";
         for (const char* tag : {"A>B", "X:Y", "*Custom", "MY TAG", "A>B"}) custom(t, tag);
         t[1].Tag = "CALL ", t[1].Data = "Jo";
       }, false, false, "<CALL:5>K1ABC\r\n<eor>\r\n", {"CALL ", "A>B", "X:Y", "*Custom", "MY TAG"}},
      // A UTF-8 file counts characters; the same bytes in a single-byte file count bytes.
      {"UTF-8 characters", [&](AdifTable& t) { t[11].Data = lodz; }, false, true, "<NOTES:4>" + lodz + "\r\n<eor>\r\n"},
      {"single-byte characters", [&](AdifTable& t) { t[11].Data = lodz; }, false, false,
       "<NOTES:7>" + lodz + "\r\n<eor>\r\n"},
      {"three- and four-byte characters", [](AdifTable& t) { t[11].Data = "\xE2\x82\xAC\xF0\x9F\x93\xBB"; }, false,
       true, "<NOTES:2>\xE2\x82\xAC\xF0\x9F\x93\xBB\r\n<eor>\r\n"},
      // Bytes that are not UTF-8 count as the replacement characters a decoder shows.
      {"not UTF-8", [](AdifTable& t) { t[11].Data = "\xC5" "A\xE2\x82" "B\xFF\xED\xA0\x80"; }, false, true,
       "<NOTES:8>\xC5" "A\xE2\x82" "B\xFF\xED\xA0\x80\r\n<eor>\r\n"},
      // In UTF-8 text a slashed zero is a byte 216 on its own, not the start of U+0620.
      {"slashed zero in UTF-8", [](AdifTable& t) { t[0].Data = "K\xD8" "A\xD8\xA0"; }, true, true,
       "<CALL:4>K0A\xD8\xA0\r\n<eor>\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AdifTable t;
    row.fill(t);
    std::vector<std::string> left_out;
    EXPECT_EQ(AdifRecordText(t, row.noslash, row.utf8, &left_out), row.want);
    EXPECT_EQ(left_out, row.left_out);
  }
}

TEST_F(AdifTest, FileCasesNoNameNewHeaderOnlyAndAFolder) {
  AdifTable t;
  t[0].Data = "K1ABC";
  // No file name: nothing logged, nothing created.
  EXPECT_EQ(WriteAdifRecord(t, store, files).outcome, LogWriteResult::kNoFile);
  // Nothing to write into a new file: the header alone.
  Adif("File", path);
  t[0].En = false;
  EXPECT_EQ(WriteAdifRecord(t, store, files).outcome, LogWriteResult::kNothingToWrite);
  EXPECT_EQ(Slurp(path), "QSOPAD Log file <eoh>\r\n");
  // "Zero" is applied from the store.
  Set("Opt", "Zero", "True");
  t[0].En = true;
  t[0].Data = "K\xD8" "ABC";
  WriteAdifRecord(t, store, files);
  EXPECT_EQ(Slurp(path), "QSOPAD Log file <eoh>\r\n<CALL:5>K0ABC\r\n<eor>\r\n");
  // An empty file, as a crash right after creating it leaves: the header first.
  const std::string empty = folder.File("empty.adi");
  std::ofstream(empty, std::ios::binary).close();
  Adif("File", empty);
  WriteAdifRecord(t, store, files);
  EXPECT_EQ(Slurp(empty), "QSOPAD Log file <eoh>\r\n<CALL:5>K0ABC\r\n<eor>\r\n");
  // A folder: a failure that names the file, and nothing else happens.
  Adif("File", folder.File(""));
  const LogWriteResult r = WriteAdifRecord(t, store, files);
  EXPECT_EQ(r.outcome, LogWriteResult::kFailed);
  EXPECT_THAT(LogFileErrorText(r), ::testing::StartsWith("Log file error"));
  EXPECT_THAT(r.detail, HasSubstr(folder.File("")));
}

// A file that takes part of a write and then fails, as a full disk does; or cannot be
// read although it exists. Counts the bytes read.
class FlakyFiles : public LogFiles {
 public:
  std::map<std::string, std::string> disk;
  std::size_t room = std::string::npos;  // bytes the disk still takes
  bool readable = true, utf8 = false;
  int flushes = 0;
  std::uint64_t read = 0;
  bool CanRead(const std::string& p) override { return readable && disk.count(p) > 0; }
  bool TextIsUtf8() override { return utf8; }
  std::unique_ptr<LogFile> OpenForAppend(const std::string& p) override {
    struct File : LogFile {
      FlakyFiles& fs;
      std::string& bytes;
      File(FlakyFiles& f, std::string& b) : fs(f), bytes(b) {}
      std::uint64_t Size() override { return bytes.size(); }
      std::string ReadAt(std::uint64_t at, std::size_t n) override {
        const std::string got = bytes.substr(std::min<std::size_t>(at, bytes.size()), n);
        fs.read += got.size();
        return got;
      }
      void Append(const std::string& b) override {
        const std::size_t n = std::min(b.size(), fs.room);
        bytes += b.substr(0, n);
        fs.room -= n;
        if (n < b.size()) throw Error("There is not enough space on the disk");
      }
      void TruncateTo(std::uint64_t s) override { bytes.resize(s); }
      void Flush() override { ++fs.flushes; }
    };
    return std::make_unique<File>(*this, disk[p]);
  }
};

TEST_F(AdifTest, AWriteThatFailsHalfWayLeavesTheLogAsItWasAndAllIsFlushed) {
  Adif("File", "log.adi");
  FlakyFiles fs;
  AdifTable t;
  t[0].Data = "K1ABC";
  t[11].Data = "a long note that will not fit";
  ASSERT_EQ(WriteAdifRecord(t, store, fs).outcome, LogWriteResult::kWritten);
  EXPECT_EQ(fs.flushes, 1);
  const std::string before = fs.disk["log.adi"];
  fs.room = 20;
  const LogWriteResult r = WriteAdifRecord(t, store, fs);
  EXPECT_EQ(r.outcome, LogWriteResult::kFailed);
  EXPECT_THAT(r.detail, HasSubstr("not enough space"));
  EXPECT_EQ(fs.disk["log.adi"], before);
  // Room again: the next contact is a whole record right after the last one.
  fs.room = std::string::npos;
  t[0].Data = "K2XYZ";
  WriteAdifRecord(t, store, fs);
  EXPECT_EQ(fs.disk["log.adi"].substr(before.size()).rfind("<CALL:5>K2XYZ\r\n", 0), 0u);
  // A file that exists but cannot be read counts as new: a second header.
  fs.readable = false;
  WriteAdifRecord(t, store, fs);
  EXPECT_THAT(fs.disk["log.adi"], HasSubstr("<eor>\r\nQSOPAD Log file <eoh>\r\n<CALL:5>K2XYZ"));
}

// A kill tears the record it was writing at any byte. Before the next append the log goes
// back to its last whole record, found by the lengths of the specifiers, so that an
// "<eor>" inside a value (here followed by the text of a whole record) fools nothing.
TEST_F(AdifTest, ARecordTornAtAnyByteIsCutOffBeforeTheNextAppend) {
  Adif("File", "log.adi");
  for (const bool utf8 : {false, true}) {
    AdifTable t;
    t[0].Data = "W1ABC";
    t[11].Data = "\xC5\x81\xC3\xB3" "d\xC5\xBA <eor>\r\n<CALL:2>XX\r\n<eor>\r\n";
    const std::string header = kAdifHeader, whole = "<CALL:4>K1AB\r\n<eor>\r\n";
    const std::string torn = AdifRecordText(t, false, utf8);
    t[11].Data = "";
    t[0].Data = "N0NEW";
    const std::string next = AdifRecordText(t, false, utf8);
    // A cut anywhere in the header or in the torn record, and the whole file.
    const std::string full = header + whole + torn;
    for (std::size_t cut = 1; cut <= full.size(); ++cut) {
      if (cut > header.size() && cut < header.size() + whole.size()) continue;
      SCOPED_TRACE((utf8 ? "UTF-8, cut at " : "cut at ") + std::to_string(cut));
      // What a reader takes as whole: up to the last "<eor>" or "<eoh>" read in full.
      const std::size_t keep = cut >= full.size() - 2                  ? full.size()
                               : cut >= header.size() + whole.size() ? header.size() + whole.size()
                               : cut >= header.size() - 2            ? header.size()
                                                                     : 0;
      FlakyFiles fs;
      fs.utf8 = utf8;
      fs.disk["log.adi"] = full.substr(0, cut);
      // Killed after the cut, before the append: whole records are still whole.
      fs.room = 0;
      WriteAdifRecord(t, store, fs);
      if (keep == header.size() + whole.size()) EXPECT_EQ(fs.disk["log.adi"], full.substr(0, keep));
      fs.room = std::string::npos;
      ASSERT_EQ(WriteAdifRecord(t, store, fs).outcome, LogWriteResult::kWritten);
      EXPECT_EQ(fs.disk["log.adi"], (keep ? full.substr(0, keep) : header) + next);
    }
  }
}

// Whatever a reader takes for whole records, or cannot read as ADIF, stays as it is.
TEST_F(AdifTest, WhatIsNotATornRecordIsNeverCut) {
  Adif("File", "log.adi");
  AdifTable t;
  t[0].Data = "N0NEW";
  const std::string next = AdifRecordText(t, false);
  struct Row {
    std::string before, between;
  } rows[] = {
      {"notes about my station\r\n", ""},                               // not ADIF at all
      {"<call:4>K1AB<eor>", "\r\n"},                                      // another program's record
      {"<CALL:4:S>K1AB <BAND:3>20m\n<EOR>\n\n", ""},                       // with a data type, LF only
      {"<ADIF_VER:5>3.1.0<eoh>\r\n<CALL:4>K1AB\r\n<eor>\r\nmy text <CALL:3>K1", ""},  // text
      {"<eor>\r\n<APP_LoTW_EOF>\r\n", ""},                                // a tag without a length
      {"QSOPAD Log file <eoh>\r\n<A>B:3>abc\r\n<X:Y:3>abc\r\n<CALL:3>W1A", ""},  // bad tags of old
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.before);
    FlakyFiles fs;
    fs.disk["log.adi"] = r.before;
    WriteAdifRecord(t, store, fs);
    EXPECT_EQ(fs.disk["log.adi"], r.before + r.between + next);
  }
}

// The first append of a run reads the log; later ones read only past their own last record,
// and still mend a record another program left torn there.
TEST_F(AdifTest, AppendsReadOnlyWhatCameAfterTheirOwnLastRecord) {
  Adif("File", "log.adi");
  AdifTable t;
  t[0].Data = "K1ABC";
  t[11].Data = std::string(5000, 'n');
  FlakyFiles fs;
  for (int i = 0; i < 20; ++i) WriteAdifRecord(t, store, fs);
  const std::string twenty = fs.disk["log.adi"];
  fs.read = 0;
  WriteAdifRecord(t, store, fs);
  EXPECT_LE(fs.read, 64u);
  fs.disk["log.adi"] += "<CALL:5>W1ABC\r\n<NOTES:9>cut o";
  WriteAdifRecord(t, store, fs);
  const std::string record = AdifRecordText(t, false);
  EXPECT_EQ(fs.disk["log.adi"], twenty + record + record);
  // Another file under the same name: read from its start again.
  fs.disk["log.adi"] = twenty.substr(0, twenty.size() - 3000);
  fs.read = 0;
  WriteAdifRecord(t, store, fs);
  EXPECT_GT(fs.read, 64u);
  EXPECT_EQ(fs.disk["log.adi"], twenty.substr(0, twenty.size() - record.size()) + record);
}

// ---- The log entry window ----

class FakeLogWindow : public LogView, public LogPartner {
 public:
  std::vector<std::string> list;
  int selection = -1;
  std::string edit, preview, message;
  bool closed = false, unreadable = false;
  std::string call = "dl1abc", name = "Hans";
  void SetListEntries(const std::vector<std::string>& tags) override { list = tags, selection = -1; }
  void SetListSelection(int p) override { selection = p; }
  std::string EditText() override { return edit; }
  void SetEditText(const std::string& t) override { edit = t; }
  void SetPreview(const std::string& t) override { preview = t; }
  void FocusEditSelectAll() override {}
  void ShowMessage(const std::string& t) override { message = t; }
  void Close() override { closed = true; }
  std::string CallsignText() override {
    if (unreadable) throw Error("the call sign window is gone");
    return call;
  }
  std::string NameFieldText() override { return name; }
};

class LogFormTest : public AdifTest {
 protected:
  LogFormTest() {
    Adif("File", path);
    for (int i = 0; i <= 11; ++i) table[i].En = i == 0 || i == 1 || i == 11;
  }
  LogFormModel& Open() {
    form = std::make_unique<LogFormModel>(table, Model(), window, window, files);
    form->Refresh();
    return *form;
  }
  AdifTable table;
  FakeLogWindow window;
  std::unique_ptr<LogFormModel> form;
};

TEST_F(LogFormTest, RefreshFillsCallNameAndGmtTimeListsTheEnabledTagsAndShowsTheFirst) {
  Set("Opt", "GMT", "-1.5");  // 10:30 local becomes 09:00
  table[3].En = true;
  table[4].En = true;
  table[11].Tag = "COMMENT";
  Open();
  EXPECT_THAT(window.list, ElementsAre("CALL", "NAME", "QSO_DATE", "TIME_ON", "COMMENT"));
  EXPECT_THAT(form->entries(), ElementsAre(0, 1, 3, 4, 11));
  EXPECT_EQ(form->curfield, 1);
  EXPECT_EQ(window.selection, 0);
  EXPECT_EQ(window.edit, "dl1abc");
  EXPECT_EQ(window.preview,
            "CALL = dl1abc\r\nNAME = Hans\r\nQSO_DATE = 20261206\r\nTIME_ON = 0900\r\nCOMMENT = \r\n");
  // The call sign window unreadable, the GMT offset not a number: what was there stays.
  window.unreadable = true;
  Set("Opt", "GMT", "east");
  desktop.now.hour = 23;
  form->Refresh();
  EXPECT_EQ(table[0].Data, "dl1abc");
  EXPECT_EQ(table[4].Data, "0900");
}

TEST_F(LogFormTest, SelectionCommitsTheEditBoxAndOkLogsAnUncommittedChange) {
  table[7].En = true;  // RST_SENT
  Open();              // CALL NAME RST_SENT NOTES
  window.edit = "K1ABC";
  form->Select(2);
  EXPECT_EQ(table[0].Data, "K1ABC");
  EXPECT_EQ(form->curfield, 3);
  window.edit = "599";
  form->Select(3);
  window.edit = "uncommitted note";
  form->Cancel();
  EXPECT_TRUE(window.closed);
  EXPECT_EQ(table[7].Data, "599");
  EXPECT_EQ(table[11].Data, "");

  // Next contact: RST_SENT kept, CALL refreshed; OK commits the box without a selection.
  window.call = "W1AW";
  Open();
  EXPECT_EQ(table[7].Data, "599");
  form->Select(3);
  window.edit = "first note";
  form->Ok();
  EXPECT_TRUE(window.closed);
  EXPECT_EQ(Slurp(path),
            "QSOPAD Log file <eoh>\r\n<CALL:4>W1AW\r\n<NAME:4>Hans\r\n<RST_SENT:3>599\r\n"
            "<NOTES:10>first note\r\n<eor>\r\n");
}

TEST_F(LogFormTest, PreviewClicksRoundHalvesToEvenAndInsertTimeWaitsForACommit) {
  Open();  // CALL NAME NOTES, 10-point font: 200 twips a line by the rule
  struct Row {
    double y;
    int first;
    int want_curfield;
  } rows[] = {
      {550, 0, 3},  // lower half of the third line: 1.75 -> NOTES
      {500, 0, 3},  // 1.5 -> 2, the even one: NOTES
      {300, 0, 1},  // 0.5 -> 0, the even one: CALL
      {700, 0, 3},  // 2.5 -> 2: NOTES
      {900, 0, 2},  // past the last line: NAME stays
      {100, 1, 1},  // scrolled one line: 0.5 - 1 + 1 -> 0: CALL
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.y);
    form->Select(1);
    form->PreviewClick(r.y, r.first, 10);
    EXPECT_EQ(form->curfield, r.want_curfield);
  }
  EXPECT_EQ(PreviewLineAt(100, 0, 0), -1);

  window.edit = "old";
  form->InsertTime();
  EXPECT_EQ(window.edit, "1030");
  EXPECT_EQ(table[11].Data, "");
}

// "Reset All" (or a field added) in the options dialog while the window is open: the list
// follows the new table and the contact is logged with what was typed for the fields left.
TEST_F(LogFormTest, TheWindowFollowsATableRebuiltWhileItIsOpen) {
  const std::function<void(LogFormModel&)> next_steps[] = {
      [](LogFormModel& f) { f.Select(5); },                 // a field that is gone
      [](LogFormModel& f) { f.Select(1); },                 // one that is left
      [](LogFormModel& f) { f.PreviewClick(1300, 0, 10); },  // the preview's last line
      [](LogFormModel& f) { f.Refresh(); },
      [](LogFormModel&) {},
  };
  for (std::size_t row = 0; row < std::size(next_steps); ++row) {
    SCOPED_TRACE("row " + std::to_string(row));
    std::remove(path.c_str());
    Adif("Count", "13");
    Adif("Tag12", "SOTA_REF");
    Adif("Tag13", "MY_RIG");
    table.LoadAdifFields(store);
    for (int i = 2; i <= 10; ++i) table[i].En = i == 7;
    window = FakeLogWindow();
    Open();  // CALL NAME RST_SENT NOTES SOTA_REF MY_RIG
    form->Select(2);
    window.edit = "599";
    form->Select(3);
    window.edit = "gm";
    form->Select(5);
    window.edit = "IC-706";  // typed for MY_RIG, which goes
    store.DeleteSection("ADIF");
    Adif("File", path);
    table.LoadAdifFields(store);
    next_steps[row](*form);
    form->Ok();
    EXPECT_EQ(Slurp(path), std::string(kAdifHeader) +
                               "<CALL:6>dl1abc\r\n<NAME:4>Hans\r\n<QSO_DATE:8>20261206\r\n<TIME_ON:4>1030\r\n"
                               "<RST_SENT:3>599\r\n<NOTES:2>gm\r\n<eor>\r\n");
    EXPECT_EQ(window.list.size(), 12u);
  }
}

// A tag that is no field name, kept from an older program or a hand-edited settings file:
// its field is left out and the operator told, once a run.
TEST_F(LogFormTest, OkLeavesOutAFieldWhoseTagIsNoFieldNameAndSaysSoOnce) {
  table[11].Tag = "MY NOTES";
  table[11].Data = "gm";
  Open();
  form->Ok();
  EXPECT_THAT(window.message, HasSubstr("\"MY NOTES\""));
  EXPECT_EQ(Slurp(path), std::string(kAdifHeader) + "<CALL:6>dl1abc\r\n<NAME:4>Hans\r\n<eor>\r\n");
  window.message.clear();
  Open();
  form->Ok();
  EXPECT_EQ(window.message, "");
}

TEST_F(LogFormTest, OkWithAnUnwritableFileShowsTheErrorAndStillCloses) {
  Adif("File", folder.File("missing/log.adi"));
  Open();
  form->Ok();
  EXPECT_THAT(window.message, ::testing::StartsWith("Log file error"));
  EXPECT_THAT(window.message, HasSubstr("missing/log.adi"));
  EXPECT_TRUE(window.closed);
  // No field enabled: an empty list, and OK still logs nothing but closes.
  for (AdifField& f : table.fields) f.En = false;
  Adif("File", "");
  window = FakeLogWindow();
  Open();
  EXPECT_TRUE(window.list.empty());
  form->Ok();
  EXPECT_TRUE(window.closed);
  EXPECT_EQ(window.message, "");
}

}  // namespace
}  // namespace qsopad
