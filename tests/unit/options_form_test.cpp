// The options dialog's model: Load, Apply and what it pushes into the program, "Clear window positions", the GMT
// box, the main window's re-apply, and the Logging page. (Damaged stored values mended: the end-to-end scenario.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "adif/logging_page.h"
#include "app/options_form.h"
#include "main_form_fixture.h"

namespace qsopad {
namespace {

using ::testing::ElementsAre;

// Each call into the program with what the store held for it at that moment.
struct RecordingHost : OptionsHost {
  explicit RecordingHost(SettingsStore& store) : store_(store) {}
  std::vector<std::string> calls;
  bool answer = true;
  void SetRegFont() override { Log("SetRegFont", "FontName"); }
  void Buttons(bool on) override { Log(on ? "Buttons on" : "Buttons off", "Buttons"); }
  void SetElapsedTime(bool on) override { Log(on ? "elapsed on" : "elapsed off", "TOD"); }
  void SetMyCall(const std::string& c) override { Log("mycall " + c, "MyCall", "Call"); }
  void SetNoPosSave() override { calls.push_back("nopossave"); }
  void SetPaletteAutoShow(bool on) override { Log(on ? "autoshow on" : "autoshow off", "MPAL"); }
  void SetCallsignPaletteMode() override { Log("callsign palette mode", "callpal"); }
  bool Confirm(const std::string& text) override {
    return calls.push_back("confirm " + text.substr(0, 16) + ", Win keys " + std::to_string(store_.ListSection("Win").size())), answer;
  }
  void Log(const std::string& call, const char* key, const char* section = "Opt") {
    calls.push_back(call + ", " + key + " " + store_.ReadSetting(section, key, "<absent>"));
  }
  SettingsStore& store_;
};

struct OptionsFormTest : fakes::MainFormTest {
  std::array<std::string, 20> defaults = BuildDefMacros();
  RecordingHost host{store};
  OptionsFormModel options{store, defaults, host};
};

TEST_F(OptionsFormTest, LoadShowsTheStoredValuesAndTheGmtBoxTakesA16BitNumber) {
  EXPECT_EQ(options.Load("Courier New").sample.name + "|" + options.Captions().frame, "Courier New|Set Function Keys");  // unstored
  // Box states 0, 1 and 2 as stored; any other number shows checked.
  Set("Opt", {{"FontName", "Lucida Console"}, {"FontSize", "9.75"}, {"Zero", "True"}, {"MPAL", "-1"}, {"CSPAL", "3"},
              {"LPAL", "2"}, {"CW1", "0"}, {"WordBk", "-1"}, {"SavePos", "0"}, {"FontColor", "2147483647"}, {"Retro", "1"},
              {"Lookup", "True"}, {"Close", "1"}});
  Set("Macro", "3", "my ^M macro"), Set("Call", "MyCall", "DL1ABC");
  const OptionsControls c = options.Load("Courier New");
  EXPECT_EQ(std::tuple(c.sample.name, c.sample.size, c.sample.color), std::tuple("Lucida Console", 9.75, 2147483647u));
  EXPECT_EQ(c.Macro[3] + "|" + c.Macro[10] + "|" + c.Callsign, "my ^M macro|" + defaults[10] + "|DL1ABC");
  //                                  1  2  3  4  5  6  7  8  9  10 11 12 13 14 15
  EXPECT_THAT(c.checks, ElementsAre(0, 0, 1, 1, 1, 0, 1, 0, 1, 0, 1, 1, 1, 1, 2, 0));
  EXPECT_EQ(options.Captions().tab, "^FKeys");  // Control+Function frame: the end-to-end scenario's
  // Typing "-5" works; typing "5-" loses the minus.
  const struct { char c; int caret; bool allowed; } keys[] = {
      {'\b', 3, true}, {'\x1F', 3, true}, {' ', 0, false}, {'/', 0, false}, {'0', 2, true}, {'9', 2, true}, {':', 0, false},
      {'-', 0, true}, {'-', 1, false}, {'+', 0, true}, {'+', 2, false}, {'.', 1, false}, {'a', 0, false}, {'\x7F', 0, false},
      {'\xE9', 0, false}};
  for (const auto& k : keys) EXPECT_EQ(GmtKeyAllowed(k.c, k.caret), k.allowed) << int(k.c) << " at " << k.caret;
  // A 16-bit integer once rounded (halves to even).
  for (const char* good : {"0", "-5", "+12", "32767", "-32768", "32767.4", "-32768.5"}) EXPECT_TRUE(GmtTextValid(good)) << good;
  for (const char* bad : {"", "-", "32768", "-32769", "32767.5", "5-", "x"}) EXPECT_FALSE(GmtTextValid(bad)) << bad;
}

TEST_F(OptionsFormTest, ApplyStoresEveryControlPushesTheValuesOnceStoredAndTheMainWindowFollows) {
  OptionsControls c = options.Load("Arial");
  c.Callsign = "PA3XYZ", c.sample.name = "Lucida Console";
  c.checks[10] = 0, c.checks[12] = 0, c.checks[13] = 1;
  options.Apply(c);
  EXPECT_EQ(store.ListSection("Macro").size(), 20u);
  EXPECT_EQ(Get("Macro", "0") + "|" + Get("Opt", "Station") + " " + Get("Opt", "FontSize") + " " + Get("Opt", "TOD") + " " +
                Get("Opt", "CW1") + " " + Get("Call", "MyCall") + " " + Get("Opt", "Close") + " " + Get("Opt", "LPAL"),
            defaults[0] + "|PSK31 10 True 1 PA3XYZ False 0");
  // The font, the button row, the palettes take the values just stored; the elapsed time
  // and the own call are set before theirs are.
  EXPECT_THAT(host.calls, ElementsAre("SetRegFont, FontName Lucida Console", "elapsed on, TOD <absent>", "Buttons off, Buttons False",
                                      "autoshow off, MPAL 0", "callsign palette mode, callpal 1", "mycall PA3XYZ, MyCall <absent>"));
  // Unchecked, the call sign window's palette setting is left as it was.
  c.checks[13] = 0, Set("Opt", "callpal", "1"), options.Apply(c);
  EXPECT_EQ(Get("Opt", "CSPAL") + Get("Opt", "callpal"), "01");
  Set("Opt", "Station", "FLDIGI");  // any letter case chooses fldigi
  OptionsControls f = options.Load("Arial");
  options.Apply(f);
  EXPECT_EQ(std::to_string(f.Station) + Get("Opt", "Station"), "1fldigi");
  // After the dialog closes the main window follows the store (word break and Retro's menus: end to end).
  Started(), model->mycall = "DL0ABC";
  Set("Opt", "Zero", "True");
  const int rebuilds = palette.rebuilds;
  model->ReapplyOptions();
  EXPECT_EQ(std::pair(view.caption[3], palette.rebuilds), std::pair(std::string("DL\xD8" "ABC"), rebuilds + 1));
}

// Once per Apply, asked once the positions are gone; Cancel keeps positions being saved. Once they
// are cleared, a store that fails does not stop the rest of Apply; without the command it does.
TEST_F(OptionsFormTest, ClearWindowPositionsActsOncePerApply) {
  Set("Win", {{"Top", "100"}, {"Left", "5"}});
  OptionsControls c = options.Load("Arial");
  const auto apply = [&](bool clear, bool answer) {
    host.calls.clear(), host.answer = answer, c.checks[7] = clear;
    options.Apply(c);
    EXPECT_EQ(c.checks[7], 0);
  };
  apply(true, true);
  EXPECT_THAT(host.calls, ::testing::IsSupersetOf({"confirm Window positions, Win keys 0", "nopossave"}));
  Set("Win", "Top", "200"), apply(false, true);
  EXPECT_EQ(Get("Win", "Top"), "200");
  apply(true, false);
  EXPECT_THAT(host.calls, ::testing::Not(::testing::Contains("nopossave")));
  EXPECT_TRUE(store.ListSection("Win").empty());
  Set("Win", "Top", "300"), c.Callsign = "ZZ1ZZ", file->fail_replace = true;
  EXPECT_NO_THROW(apply(true, true));
  EXPECT_THAT(host.calls, ::testing::Contains(::testing::StartsWith("mycall ZZ1ZZ")));
  c.Callsign = "YY1YY", c.checks[7] = 0;
  EXPECT_THROW(options.Apply(c), Error);
}

// ---- The Logging page ----

struct FakePage : LoggingPageView {
  explicit FakePage(SettingsStore& store) : store_(store) {}
  bool adif = false, enabled = false, field_en = false, answer = true;
  std::string file, tag, content, asked;
  std::vector<std::string> list, messages; int selection = -1;
  void SetAdifEnabled(bool c) override { adif = c; }  void SetControlsEnabled(bool e) override { enabled = e; }
  void SetFile(const std::string& p) override { file = p; }  void SelectListEntry(int p) override { selection = p; }
  void SetList(const std::vector<std::string>& n) override { list = n, selection = -1; }
  void AddListEntry(const std::string& n) override { list.push_back(n); }  std::string Content() override { return content; }
  bool FieldEnabled() override { return field_en; }  std::string Tag() override { return tag; }
  void ShowField(bool e, const std::string& t, const std::string& c) override { field_en = e, tag = t, content = c; }
  bool Confirm(const std::string& t) override { return asked = t.substr(0, 8) + ", ADIF keys " + std::to_string(store_.ListSection("ADIF").size()), answer; }
  void ShowMessage(const std::string& t) override { messages.push_back(t); }
  std::string Shown() const { return std::to_string(selection) + " " + tag + " " + std::to_string(messages.size()); }
  SettingsStore& store_;
};

struct LoggingPageTest : fakes::MainFormTest {
  AdifTable table;
  FakePage page{store};
  LoggingPageModel logging{store, table, page};
};

TEST_F(LoggingPageTest, FillSelectCommitApplyAddCustomAndResetAll) {
  Set("ADIF", {{"En", "1"}, {"File", "c:\\log\\station.adi"}});
  logging.Fill();
  EXPECT_TRUE(page.adif && page.enabled && page.list.size() == 12u);
  EXPECT_EQ(page.Shown() + " " + std::to_string(logging.curfield), "0 CALL 0 1");
  // NAME gets another tag; the list entry keeps its name, Apply stores Tag1.
  logging.Select(1);
  page.tag = "OPERATOR", page.content = "Hans", page.field_en = false;
  logging.Select(11);  // the last entry
  EXPECT_EQ(table[1].Tag + " " + table[1].Val + (table[1].En ? " on " : " off ") + page.list[1] + " " + page.tag,
            "OPERATOR Hans off NAME NOTES");
  // Positions outside the list change nothing.
  page.tag = "REMARKS";
  for (const int outside : {-1, 12}) EXPECT_FALSE(logging.Select(outside));
  EXPECT_EQ(table[11].Tag + " " + std::to_string(logging.curfield), "NOTES 12");
  const int writes = file->replaces;
  EXPECT_TRUE(logging.CommitAndStore(true, "d:\\new.adi"));  // the boxes go into the field shown
  EXPECT_EQ(file->replaces, writes + 1);  // the whole page in one write of the file
  EXPECT_EQ(Get("ADIF", "Tag1") + " " + Get("ADIF", "Val1") + " " + Get("ADIF", "En1") + " " + Get("ADIF", "Tag11") +
                " " + Get("ADIF", "File"), "OPERATOR Hans False REMARKS d:\\new.adi");
  EXPECT_EQ(page.tag, "REMARKS");  // the same field shown again (the box stored at once: the end-to-end scenario's)
  // A custom field shows unnamed (the count stored at once: the field table's test); Reset All asks first.
  table = AdifTable();
  store.DeleteSection("ADIF");
  logging.Fill(), logging.AddCustom();
  EXPECT_EQ(page.list.back() + " " + Get("ADIF", "Tag12"), "*Custom <absent>");  // the dialog cancelled: only the count
  EXPECT_TRUE(logging.Select(12));
  EXPECT_EQ(std::string(page.field_en ? "on " : "off ") + page.tag, "off ");
  Set("ADIF", {{"En", "1"}, {"File", "x.adi"}});
  for (const bool answer : {false, true}) {
    page.answer = answer;
    logging.ResetAll();
    EXPECT_EQ(Get("ADIF", "Count"), answer ? "<absent>" : "12");
  }
  EXPECT_EQ(page.asked, "Warning:, ADIF keys 3");
  EXPECT_EQ(std::to_string(table.fieldcount) + " " + std::to_string(page.list.size()) + " " + std::to_string(page.selection) +
                (page.adif ? " on " : " off ") + page.file, "11 12 0 off ");
}

TEST_F(LoggingPageTest, ATagThatIsNoAdifFieldNameIsRefusedAndNothingStored) {
  // Letters, digits and "_" only: the neighbours of each range, separators and a non-ASCII letter are refused.
  struct Row { std::string tag; bool enabled = true, taken = false; } rows[] = {
      {"A>B"}, {"X:Y"}, {"CALL "}, {" CALL"}, {"*Custom"}, {"MY TAG"}, {""}, {"QSL{1}"}, {"Q,SL"}, {"A@B"}, {"A[B"}, {"A`B"},
      {"A/B"}, {"A-B"}, {"\xC9TAT"}, {"QSL_VIA", true, true}, {"app_qsopad_x9", true, true}, {"AZaz09_", true, true},
      {"", false, true},  // a field switched off may stay without a tag
      {"A>B", false}};
  for (const Row& r : rows) {
    SCOPED_TRACE("\"" + r.tag + "\"");
    table[5] = {"TX_PWR", "TX_PWR", "", "5", true};
    logging.Fill(), logging.Select(5);
    page.messages.clear(), page.tag = r.tag, page.field_en = r.enabled;
    EXPECT_EQ(logging.Select(7), r.taken);
    EXPECT_EQ(table[5].Tag, r.taken ? r.tag : "TX_PWR");
    EXPECT_EQ(page.Shown() + " " + std::to_string(logging.curfield), r.taken ? "7 RST_SENT 0 8" : "5 " + r.tag + " 1 6");
  }
  page.messages.clear(), page.tag = "MY TAG";  // Apply with a refused tag stores nothing
  EXPECT_FALSE(logging.CommitAndStore(true, "x.adi"));
  EXPECT_THAT(page.messages, ElementsAre(::testing::StartsWith("\"MY TAG\" is not an ADIF field name")));
  EXPECT_TRUE(store.ListSection("ADIF").empty());
  page.tag = "TX_PWR";
  EXPECT_TRUE(logging.CommitAndStore(true, "x.adi"));
  logging.Select(0), page.content = "N0CALL";  // the first field shown: Apply takes its boxes too
  EXPECT_TRUE(logging.CommitAndStore(true, "x.adi"));
  EXPECT_EQ(Get("ADIF", "Tag5") + " " + Get("ADIF", "Val0"), "TX_PWR N0CALL");
}

}  // namespace
}  // namespace qsopad
