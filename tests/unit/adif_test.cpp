// The ADIF field table, the record writer (bytes on a real file, a write that fails
// half-way, torn records mended) and the log entry window's model.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "adif/adif.h"
#include "adif/log_file_posix.h"
#include "adif/log_form.h"
#include "common/error.h"
#include "main_form_fixture.h"
#include "test_files.h"

namespace qsopad {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;
using testing::ReadBytes;

struct AdifTest : fakes::MainFormTest {
  AdifTable Loaded() {
    AdifTable t;
    return t.LoadAdifFields(store), t;
  }
  testing::TempFolder folder;
  std::string path = folder.File("log.adi");
  PosixLogFiles files;
};

// Name/Tag/Val/En of fields, for comparing with a literal.
std::string Fields(const AdifTable& t, std::initializer_list<int> indices) {
  std::string out;
  for (const int i : indices) out += t[i].Name + "/" + t[i].Tag + "/" + t[i].Val + (t[i].En ? "/on " : "/off ");
  return out;
}

TEST_F(AdifTest, LoadBuildsTheFieldsForStoredCountsFromTooLowToTooHighAndAddCustomStoresTheCount) {
  Set("ADIF", {{"Count", "13"}, {"Adif", ""}, {"Tag5", "QSL_VIA"}, {"Val6", "PSK31"}, {"Tag12", "STATE"}, {"En13", "0"},
               {"CustName", "Extra"}});
  Set("ADif", "En2", "False");  // section names in any case
  AdifTable t = Loaded();
  t[0].Data = "N0CALL";
  ASSERT_EQ(t.fieldcount, 13);
  EXPECT_EQ(Fields(t, {0, 2, 5, 6, 11, 12, 13}),
            "CALL/CALL//on BAND/BAND//off TX_PWR/QSL_VIA//on MODE/MODE/PSK31/on NOTES/NOTES//on Extra/STATE//on "
            "Extra/Extra//off ");  // a custom field's tag defaults to its name
  t.LoadAdifFields(store);  // Reset All: a rebuild loses the contact's values
  EXPECT_EQ(t[0].Data, "");
  // A "Count" below 11 or not a number gives the built-in fields; one past 16 bits is refused,
  // naming key and value, and the built-in fields stay, with their stored tags.
  store.DeleteSection("ADIF");
  const struct { const char* count; std::size_t fields; bool refused = false; } rows[] = {
      {"5", 12}, {"-3", 12}, {"abc", 12}, {"", 12}, {"10.4", 12}, {"10", 12}, {"11", 12}, {"12", 13},
      {"32768", 12, true}, {"5000000", 12, true}, {"32767", 32768}};
  Set("ADIF", "Tag1", "NICK");
  for (const auto& row : rows) {
    SCOPED_TRACE(row.count);
    Set("ADIF", "Count", row.count);
    AdifTable u;
    if (row.refused) {
      EXPECT_THAT([&] { u.LoadAdifFields(store); }, ThrowsMessage<Error>(HasSubstr("\"Count\" holds \"" + std::string(row.count) + "\"")));
    } else {
      u.LoadAdifFields(store);
    }
    EXPECT_TRUE(u.fields.size() == row.fields && u.fieldcount + 1u == row.fields) << u.fields.size();
    EXPECT_EQ(Fields(u, {1, 11}), "NAME/NICK//on NOTES/NOTES//on ");
  }
  // The largest table (the last row's) takes no more fields.
  AdifTable full = Loaded();
  EXPECT_THROW(full.AddCustomField(store), Error);
  EXPECT_EQ(std::to_string(full.fieldcount) + " " + Get("ADIF", "Count"), "32767 32767");
  // Add Custom stores the new count at once. (What the Logging page stores is its own test's.)
  store.DeleteSection("ADIF");
  t = Loaded();
  t[0].Data = "keep";
  t.AddCustomField(store);
  ASSERT_EQ(t.fieldcount, 12);
  EXPECT_EQ(Get("ADIF", "Count") + " " + t[0].Data + " " + Fields(t, {12}), "12 keep *Custom///off ");
  file->fail_replace = true;  // a failing store leaves the table as it was
  EXPECT_THROW(t.AddCustomField(store), Error);
  EXPECT_EQ(t.fieldcount, 12);
}

// (Val for an empty Data, lengths of any digits, edited tags and disabled fields, slashed zeros undone and
// two-byte UTF-8 characters are read back by the interoperability check.)
TEST_F(AdifTest, RecordTextRules) {
  const std::string slashed = "N\xD8" "CALL";
  const std::string lodz = "\xC5\x81\xC3\xB3" "d\xC5\xBA";  // "Łódź" in UTF-8
  const auto custom = [](AdifTable& t, const std::string& tag) {
    t.fields.push_back({"*Custom", tag, "", "x1", true});
    t.fieldcount = static_cast<std::int16_t>(t.fields.size() - 1);
  };
  struct Row { const char* name; std::function<void(AdifTable&)> fill; bool noslash, utf8; std::string want;
               std::vector<std::string> left_out = {}; } rows[] = {
      {"slashed zeros kept with Zero off", [&](AdifTable& t) { t[0].Data = slashed; }, false, false, "<CALL:6>" + slashed + "\r\n<eor>\r\n"},
      // Tags that are no field names: readers lose the field, the next one or the whole file.
      {"custom field with no tag", [&](AdifTable& t) { custom(t, ""); }, false, false, "", {""}},
      {"tags no reader can take", [&](AdifTable& t) { t[0].Data = "K1ABC", t[1].Tag = "CALL ", t[1].Data = "Jo";
         for (const char* tag : {"A>B", "X:Y", "*Custom", "MY TAG", "A>B"}) custom(t, tag); },
       false, false, "<CALL:5>K1ABC\r\n<eor>\r\n", {"CALL ", "A>B", "X:Y", "*Custom", "MY TAG"}},
      // A UTF-8 file counts characters; the same bytes in a single-byte file count bytes.
      {"single-byte characters", [&](AdifTable& t) { t[11].Data = lodz; }, false, false, "<NOTES:7>" + lodz + "\r\n<eor>\r\n"},
      {"three- and four-byte characters, the last U+10FFFF",
       [](AdifTable& t) { t[11].Data = "\xE2\x82\xAC\xF0\x9F\x93\xBB\xF4\x8F\xBF\xBF"; }, false, true,
       "<NOTES:3>\xE2\x82\xAC\xF0\x9F\x93\xBB\xF4\x8F\xBF\xBF\r\n<eor>\r\n"},
      // Bytes that are not UTF-8 count as the replacement characters a decoder shows (overlong, past U+10FFFF).
      {"not UTF-8",
       [](AdifTable& t) { t[11].Data = "\xC5" "A\xE2\x82" "B\xFF\xED\xA0\x80\xF0\x8F\xBF\xBF\xF4\x90\x80\x80"; },
       false, true, "<NOTES:16>\xC5" "A\xE2\x82" "B\xFF\xED\xA0\x80\xF0\x8F\xBF\xBF\xF4\x90\x80\x80\r\n<eor>\r\n"},
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

// Real files: no file name; a new file with nothing to write gets the header alone, and so does an empty one (a crash
// after creating it). (Records read back from a real file: the log window's tests; slashed zeros as the stored option
// says: the interoperability check; a folder for a file: the start-up end-to-end scenario.)
TEST_F(AdifTest, NoFileNameAndNothingToWriteOnRealFiles) {
  AdifTable t;
  t[0].Data = "N0CALL";
  EXPECT_EQ(WriteAdifRecord(t, store, files).outcome, LogWriteResult::kNoFile);
  for (AdifField& f : t.fields) f.En = false;
  testing::WriteBytes(folder.File("empty.adi"), "");
  for (const std::string name : {"new.adi", "empty.adi"}) {
    Set("ADIF", "File", folder.File(name));
    EXPECT_EQ(WriteAdifRecord(t, store, files).outcome, LogWriteResult::kNothingToWrite);
    EXPECT_EQ(ReadBytes(folder.File(name)), "QSOPAD Log file <eoh>\r\n") << name;
  }
}

// The one log file, "log.adi" (empty: not there), that takes part of a write and then fails, as a full disk does; or
// cannot be read although it exists, or cut back. Counts the bytes read, and keeps what the file held at each flush.
struct FlakyFiles : LogFiles {
  std::string bytes;
  std::size_t room = std::string::npos;  // bytes the disk still takes
  bool readable = true, utf8 = false, truncate_fails = false;
  std::vector<std::string> flushed;
  std::uint64_t read = 0;
  bool CanRead(const std::string& path) override { return readable && path == "log.adi" && !bytes.empty(); }
  bool TextIsUtf8() override { return utf8; }
  std::unique_ptr<LogFile> OpenForAppend(const std::string&) override {
    struct File : LogFile {
      explicit File(FlakyFiles& f) : fs(f) {}
      FlakyFiles& fs;
      std::uint64_t Size() override { return fs.bytes.size(); }
      std::string ReadAt(std::uint64_t at, std::size_t n) override {
        const std::string got = fs.bytes.substr(std::min<std::size_t>(at, fs.bytes.size()), n);
        return fs.read += got.size(), got;
      }
      void Append(const std::string& b) override {
        const std::size_t n = std::min(b.size(), fs.room);
        fs.bytes += b.substr(0, n), fs.room -= n, n < b.size() ? throw Error("There is not enough space on the disk") : void();
      }
      void TruncateTo(std::uint64_t s) override { fs.truncate_fails ? throw Error("The device is not ready") : fs.bytes.resize(s); }
      void Flush() override { fs.flushed.push_back(fs.bytes); }
    };
    return std::make_unique<File>(*this);
  }
};

// A record goes to the disk whole in one flush; a write that fails half-way is cut back
// and that flushed, or told when even that fails.
TEST_F(AdifTest, AWriteIsFlushedWholeAndOneThatFailsHalfWayIsCutBack) {
  Set("ADIF", "File", "log.adi");
  FlakyFiles fs;
  AdifTable t;
  t[0].Data = "K1ABC", t[11].Data = "a long note that will not fit";
  ASSERT_EQ(WriteAdifRecord(t, store, fs).outcome, LogWriteResult::kWritten);
  const std::string before = fs.bytes;
  EXPECT_EQ(fs.flushed, std::vector<std::string>{before});
  EXPECT_EQ(before, std::string(kAdifHeader) + "<CALL:5>K1ABC\r\n<NOTES:29>a long note that will not fit\r\n<eor>\r\n");
  fs.room = 20;
  const LogWriteResult r = WriteAdifRecord(t, store, fs);
  EXPECT_EQ(r.outcome == LogWriteResult::kFailed ? r.detail : "written", "log.adi: There is not enough space on the disk");
  EXPECT_EQ(fs.flushed, (std::vector<std::string>{before, before}));
  fs.truncate_fails = true;
  EXPECT_EQ(WriteAdifRecord(t, store, fs).detail, "log.adi: There is not enough space on the disk; the file could not "
                                                  "be cut back to its former length (The device is not ready)");
  // A file that exists but cannot be read counts as new: a second header.
  fs.room = std::string::npos, fs.truncate_fails = false, fs.readable = false, fs.bytes = before;
  WriteAdifRecord(t, store, fs);
  EXPECT_EQ(fs.bytes, before + kAdifHeader + before.substr(sizeof kAdifHeader - 1));
}

// A kill tears the record it was writing at any byte. Before the next append the log goes
// back to its last whole record, found by the lengths of the specifiers, so that an
// "<eor>" inside a value (here followed by the text of a whole record) fools nothing.
TEST_F(AdifTest, ARecordTornAtAnyByteIsCutOffBeforeTheNextAppend) {
  Set("ADIF", "File", "log.adi");
  for (const bool utf8 : {false, true}) {
    AdifTable t;
    t[0].Data = "W1ABC";
    t[11].Data = "\xC5\x81\xC3\xB3" "d\xC5\xBA <eor>\r\n<CALL:2>XX\r\n<eor>\r\n";
    const std::string header = kAdifHeader, whole = "<CALL:4>K1AB\r\n<eor>\r\n";
    const std::string torn = AdifRecordText(t, false, utf8);
    t[11].Data = "", t[0].Data = "N0NEW";
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
      fs.utf8 = utf8, fs.bytes = full.substr(0, cut);
      fs.room = 0;  // killed after the cut, before the append: whole records are still whole
      WriteAdifRecord(t, store, fs);
      EXPECT_TRUE(keep != header.size() + whole.size() || fs.bytes == full.substr(0, keep));
      fs.room = std::string::npos;
      ASSERT_EQ(WriteAdifRecord(t, store, fs).outcome, LogWriteResult::kWritten);
      EXPECT_EQ(fs.bytes, (keep ? full.substr(0, keep) : header) + next);
    }
  }
}

// Whatever a reader takes for whole records, or cannot read as ADIF, stays as it is; the first append of a run reads
// the log, later ones only past their own last record, and still mend a record another program left torn there.
TEST_F(AdifTest, WhatIsNotATornRecordIsNeverCutAndAppendsReadOnlyWhatCameAfterThem) {
  Set("ADIF", "File", "log.adi");
  AdifTable t;
  t[0].Data = "N0NEW";
  const std::string next = AdifRecordText(t, false);
  const std::pair<std::string, std::string> rows[] = {
      {"notes about my station\r\n", ""},                                 // not ADIF at all
      {"<call:4>K1AB<eor>", "\r\n"},                                      // another program's record
      {"<CALL:4:S>K1AB <BAND:3>20m\n<EOR>\n\n", ""},                       // with a data type, LF only
      {"<ADIF_VER:5>3.1.0<eoh>\r\n<CALL:4>K1AB\r\n<eor>\r\nmy text <CALL:3>K1", ""},  // text
      {"<eor>\r\n<APP_LoTW_EOF>\r\n", ""},                                // a tag without a length
      {"<NOTES:1234567890123456>x\r\n", ""},                            // a length of 16 digits: no ADIF
      {"QSOPAD Log file <eoh>\r\n<A>B:3>abc\r\n<X:Y:3>abc\r\n<CALL:3>W1A", ""},  // bad tags of old
  };
  for (const auto& [before, between] : rows) {
    FlakyFiles fs;
    fs.bytes = before;
    WriteAdifRecord(t, store, fs);
    EXPECT_EQ(fs.bytes, before + between + next);
  }

  t[11].Data = std::string(5000, 'n');
  FlakyFiles fs;
  for (int i = 0; i < 20; ++i) WriteAdifRecord(t, store, fs);
  const std::string twenty = fs.bytes, record = AdifRecordText(t, false);
  fs.read = 0;
  WriteAdifRecord(t, store, fs);
  EXPECT_LE(fs.read, 64u);
  fs.bytes += "<CALL:5>W1ABC\r\n<NOTES:9>cut o";
  WriteAdifRecord(t, store, fs);
  EXPECT_EQ(fs.bytes, twenty + record + record);
  // Another file under the same name: read from its start again.
  fs.bytes = twenty.substr(0, twenty.size() - 3000);
  fs.read = 0;
  WriteAdifRecord(t, store, fs);
  EXPECT_GT(fs.read, 64u);
  EXPECT_EQ(fs.bytes, twenty.substr(0, twenty.size() - record.size()) + record);
}

// ---- The log entry window ----

struct FakeLogWindow : LogView, LogPartner {
  std::vector<std::string> list;
  int selection = -1;
  std::string edit, preview, message, call = "dl1abc", name = "Hans";
  bool closed = false, unreadable = false;
  void SetListEntries(const std::vector<std::string>& tags) override { list = tags, selection = -1; }
  void SetListSelection(int p) override { selection = p; }
  std::string EditText() override { return edit; } void SetEditText(const std::string& t) override { edit = t; }
  void SetPreview(const std::string& t) override { preview = t; }
  void FocusEditSelectAll() override {}  void ShowMessage(const std::string& t) override { message = t; }
  void Close() override { closed = true; }
  std::string CallsignText() override { return unreadable ? throw Error("the call sign window is gone") : call; }
  std::string NameFieldText() override { return name; }
};

struct LogFormTest : AdifTest {
  LogFormTest() {
    Set("ADIF", "File", path);
    for (int i = 0; i <= 11; ++i) table[i].En = i == 0 || i == 1 || i == 11;
  }
  // A fresh window with a form over it.
  LogFormModel& Open() {
    window = FakeLogWindow();
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
  table[3].En = table[4].En = true;
  table[11].Tag = "COMMENT";
  Open();
  EXPECT_THAT(window.list, ElementsAre("CALL", "NAME", "QSO_DATE", "TIME_ON", "COMMENT"));
  EXPECT_THAT(form->entries(), ElementsAre(0, 1, 3, 4, 11));
  EXPECT_EQ(std::to_string(form->curfield) + " " + std::to_string(window.selection) + " " + window.edit, "1 0 dl1abc");
  EXPECT_EQ(window.preview, "CALL = dl1abc\r\nNAME = Hans\r\nQSO_DATE = 20261206\r\nTIME_ON = 0900\r\nCOMMENT = \r\n");
  // The call sign window unreadable, the GMT offset not a number: what was there stays.
  window.unreadable = true;
  Set("Opt", "GMT", "east");
  desktop.now.hour = 23;
  form->Refresh();
  EXPECT_EQ(table[0].Data + " " + table[4].Data, "dl1abc 0900");
}

TEST_F(LogFormTest, PreviewClicksRoundHalvesToEvenAndInsertTimeWaitsForACommit) {
  Open();  // CALL NAME NOTES, 10-point font: 200 twips a line by the rule
  // The lower half of the third line (1.75: NOTES); 1.5 and 0.5 to the even line (NOTES, CALL); 2.5 to
  // NOTES; past the last line (NAME stays); scrolled one line (0.5 - 1 + 1 to 0: CALL).
  const struct { double y; int first, want_curfield; } rows[] = {
      {550, 0, 3}, {500, 0, 3}, {300, 0, 1}, {700, 0, 3}, {900, 0, 2}, {100, 1, 1}};
  for (const auto& r : rows) {
    form->Select(1);
    form->PreviewClick(r.y, r.first, 10);
    EXPECT_EQ(form->curfield, r.want_curfield) << r.y;
  }
  EXPECT_EQ(PreviewLineAt(100, 0, 0), -1);
  window.edit = "old";
  form->InsertTime();
  EXPECT_EQ(window.edit + "|" + table[11].Data, "1030|");
}

// "Reset All" (or a field added) in the options dialog while the window is open: the list
// follows the new table and the contact is logged with what was typed for the fields left.
TEST_F(LogFormTest, TheWindowFollowsATableRebuiltWhileItIsOpen) {
  const std::function<void(LogFormModel&)> next_steps[] = {
      [](LogFormModel& f) { f.Select(5); },                 // a field that is gone
      [](LogFormModel& f) { f.Select(1); },                 // one that is left
      [](LogFormModel& f) { f.PreviewClick(1300, 0, 10); },  // the preview's last line
      [](LogFormModel& f) { f.Select(-1); },                // no place in the list
      [](LogFormModel& f) { f.Refresh(); },
      [](LogFormModel&) {},
  };
  for (std::size_t row = 0; row < std::size(next_steps); ++row) {
    SCOPED_TRACE("row " + std::to_string(row));
    std::remove(path.c_str());
    Set("ADIF", {{"Count", "13"}, {"Tag12", "SOTA_REF"}, {"Tag13", "MY_RIG"}});
    table.LoadAdifFields(store);
    for (int i = 2; i <= 10; ++i) table[i].En = i == 7;
    Open();  // CALL NAME RST_SENT NOTES SOTA_REF MY_RIG
    form->Select(2), window.edit = "599";
    form->Select(3), window.edit = "gm";
    form->Select(5), window.edit = "IC-706";  // typed for MY_RIG, which goes
    store.DeleteSection("ADIF"), Set("ADIF", "File", path);
    table.LoadAdifFields(store);
    next_steps[row](*form);
    form->Ok();
    EXPECT_EQ(ReadBytes(path), std::string(kAdifHeader) + "<CALL:6>dl1abc\r\n<NAME:4>Hans\r\n<QSO_DATE:8>20261206\r\n"
                                   "<TIME_ON:4>1030\r\n<RST_SENT:3>599\r\n<NOTES:2>gm\r\n<eor>\r\n");
    EXPECT_EQ(window.list.size(), 12u);
  }
}

// A tag that is no field name, kept from an older program or a hand-edited settings file: its field
// is left out and the operator told, once a run. (A file it cannot write: the end-to-end scenario.)
TEST_F(LogFormTest, OkTellsOfLeftOutFieldsOnce) {
  table[11].Tag = "MY NOTES", table[11].Data = "gm";
  Open().Ok();
  EXPECT_THAT(window.message, HasSubstr("\"MY NOTES\""));
  EXPECT_EQ(ReadBytes(path), std::string(kAdifHeader) + "<CALL:6>dl1abc\r\n<NAME:4>Hans\r\n<eor>\r\n");
  Open().Ok();
  EXPECT_EQ(window.message, "");
  // No field enabled and no file: an empty list, and OK closes.
  for (AdifField& f : table.fields) f.En = false;
  Set("ADIF", "File", "");
  Open().Ok();
  EXPECT_TRUE(window.list.empty() && window.closed && window.message.empty());
}

}  // namespace
}  // namespace qsopad
