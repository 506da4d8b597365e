// The options dialog's model: Load from the store, Apply's order and what it pushes into
// the program (with what was stored at that moment), the one-shot "Clear window
// positions", the FKeys captions, the GMT box, the main window's re-apply, and the Logging
// page over the shared ADIF table. (Damaged stored values named once and mended: the
// end-to-end scenario.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "adif/logging_page.h"
#include "app/options_form.h"
#include "main_form_fixture.h"

namespace qsopad {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Each call into the program with what the store held for it at that moment.
class RecordingHost : public OptionsHost {
 public:
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
    calls.push_back("confirm " + text.substr(0, 16) + ", Win keys " + std::to_string(store_.ListSection("Win").size()));
    return answer;
  }

 private:
  void Log(const std::string& call, const char* key, const char* section = "Opt") {
    calls.push_back(call + ", " + key + " " + store_.ReadSetting(section, key, "<absent>"));
  }
  SettingsStore& store_;
};

class OptionsFormTest : public fakes::MainFormTest {
 protected:
  std::vector<std::string> Keys(std::string_view section) {
    std::vector<std::string> out;
    for (const auto& [k, v] : store.ListSection(section)) out.push_back(k);
    return out;
  }
  std::array<std::string, 20> defaults = BuildDefMacros();
  RecordingHost host{store};
  OptionsFormModel options{store, defaults, host};
};

TEST_F(OptionsFormTest, LoadShowsTheStoredValues) {
  EXPECT_EQ(options.Load("Courier New").sample.name, "Courier New");  // the label's own font unless stored
  // Box states 0, 1 and 2 as stored; any other number shows checked.
  Set("Opt", {{"FontName", "Lucida Console"}, {"FontSize", "9.75"}, {"Zero", "True"}, {"MPAL", "-1"}, {"CSPAL", "3"},
              {"LPAL", "2"}, {"CW1", "0"}, {"WordBk", "-1"}, {"SavePos", "0"}, {"FontColor", "2147483647"}});
  Set("Macro", "3", "my ^M macro");
  Set("Call", "MyCall", "DL1ABC");
  const OptionsControls c = options.Load("Courier New");
  EXPECT_EQ(c.sample.name, "Lucida Console");
  EXPECT_EQ(c.sample.size, 9.75);
  EXPECT_EQ(c.sample.color, 2147483647u);
  EXPECT_EQ(c.Macro[3], "my ^M macro");
  EXPECT_EQ(c.Macro[10], defaults[10]);
  EXPECT_EQ(c.Callsign, "DL1ABC");
  //                                  1  2  3  4  5  6  7  8  9  10 11 12 13 14 15
  EXPECT_THAT(c.checks, ElementsAre(0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 0));
}

TEST_F(OptionsFormTest, ApplyStoresEveryControlInItsOrderAndPushesTheValuesOnceStored) {
  OptionsControls c = options.Load("Arial");
  c.Callsign = "PA3XYZ";
  c.sample.name = "Lucida Console";
  c.checks[10] = 0;
  c.checks[12] = 1;
  c.checks[13] = 1;
  options.Apply(c);
  EXPECT_THAT(Keys("Opt"), ElementsAreArray({"Path", "GMT", "Aux", "Zone", "FontName", "FontSize", "FontBold",
                                             "FontItalic", "FontStrikethru", "FontUnderline", "FontColor",
                                             "BackColor", "LDelay", "SavePos", "TOD", "Lookup", "Zero", "CWID",
                                             "Close", "Retro", "RetroA", "Buttons", "WordBk", "MPAL", "CSPAL",
                                             "callpal", "LPAL", "CW1", "RXCHAR", "Station", "FldigiAddress",
                                             "FldigiPort"}));
  EXPECT_EQ(Get("Opt", "Station"), "PSK31");
  EXPECT_EQ(Keys("Macro").size(), 20u);
  EXPECT_EQ(Keys("Macro").front(), "0");
  EXPECT_EQ(Get("Opt", "FontSize"), "10");
  EXPECT_EQ(Get("Opt", "TOD"), "True");
  EXPECT_EQ(Get("Opt", "CW1"), "1");
  EXPECT_EQ(Get("Call", "MyCall"), "PA3XYZ");
  // The font, the button row, the palettes take the values just stored; the elapsed time
  // and the own call are set before theirs are.
  EXPECT_THAT(host.calls, ElementsAre("SetRegFont, FontName Lucida Console", "elapsed on, TOD <absent>",
                                      "Buttons off, Buttons False", "autoshow on, MPAL 1",
                                      "callsign palette mode, callpal 1", "mycall PA3XYZ, MyCall <absent>"));
  // Unchecked, the call sign window's palette setting is left as it was.
  c.checks[13] = 0;
  Set("Opt", "callpal", "1");
  options.Apply(c);
  EXPECT_EQ(Get("Opt", "CSPAL"), "0");
  EXPECT_EQ(Get("Opt", "callpal"), "1");
  Set("Opt", "Station", "FLDIGI");  // any letter case chooses fldigi
  OptionsControls f = options.Load("Arial");
  EXPECT_EQ(f.Station, 1);
  options.Apply(f);
  EXPECT_EQ(Get("Opt", "Station"), "fldigi");
}

TEST_F(OptionsFormTest, ClearWindowPositionsActsOncePerApply) {
  Set("Win", {{"Top", "100"}, {"Left", "5"}});
  OptionsControls c = options.Load("Arial");
  c.checks[7] = 1;
  options.Apply(c);
  EXPECT_EQ(c.checks[7], 0);
  EXPECT_TRUE(store.ListSection("Win").empty());
  // The question comes once the positions are gone.
  EXPECT_THAT(host.calls, ::testing::IsSupersetOf({"confirm Window positions, Win keys 0", "nopossave"}));
  // A second Apply clears nothing; Cancel on the question keeps positions being saved.
  host.calls.clear();
  Set("Win", "Top", "200");
  options.Apply(c);
  EXPECT_EQ(Get("Win", "Top"), "200");
  c.checks[7] = 1;
  host.answer = false;
  options.Apply(c);
  EXPECT_THAT(host.calls, ::testing::Not(::testing::Contains("nopossave")));
  EXPECT_EQ(Get("Win", "Top"), "<absent>");
  // Once positions are cleared, a store that fails does not stop the rest of Apply (the
  // unchanged values before it are not written again); without the command it does.
  Set("Win", "Top", "300");
  c.checks[7] = 1;
  c.Callsign = "ZZ1ZZ";
  host.calls.clear();
  file->fail_replace = true;
  EXPECT_NO_THROW(options.Apply(c));
  EXPECT_THAT(host.calls, ::testing::Contains(::testing::StartsWith("mycall ZZ1ZZ")));
  c.Callsign = "YY1YY";
  EXPECT_THROW(options.Apply(c), Error);
}

TEST_F(OptionsFormTest, FKeysCaptionsAndTheGmtBox) {
  EXPECT_EQ(options.Captions().frame, "Set Function Keys");
  Set("Opt", "Retro", "True");
  EXPECT_EQ(options.Captions().tab, "^FKeys");
  EXPECT_EQ(options.Captions().frame, "Set Control+Function Keys");

  // Typing "-5" works; typing "5-" loses the minus.
  const struct {
    char c;
    int caret;
    bool allowed;
  } keys[] = {{'\b', 3, true}, {'\x1F', 3, true}, {' ', 0, false},  {'/', 0, false},   {'0', 2, true},
              {'9', 2, true},  {':', 0, false},   {'-', 0, true},   {'-', 1, false},   {'+', 0, true},
              {'+', 2, false}, {'.', 1, false},   {'a', 0, false},  {'\x7F', 0, false}, {'\xE9', 0, false}};
  for (const auto& k : keys) EXPECT_EQ(GmtKeyAllowed(k.c, k.caret), k.allowed) << int(k.c) << " at " << k.caret;
  // A 16-bit integer once rounded (halves to even).
  for (const char* good : {"0", "-5", "+12", "32767", "-32768", "32767.4", "-32768.5"}) EXPECT_TRUE(GmtTextValid(good)) << good;
  for (const char* bad : {"", "-", "32768", "-32769", "32767.5", "5-", "x"}) EXPECT_FALSE(GmtTextValid(bad)) << bad;
}

TEST_F(OptionsFormTest, ReapplyAfterCloseFollowsTheStore) {
  Started();
  Set("Opt", {{"WordBk", "True"}, {"Zero", "True"}, {"Retro", "True"}});
  model->mycall = "DL0ABC";
  const int rebuilds = palette.rebuilds;
  model->ReapplyOptions();
  EXPECT_TRUE(model->wordbreak);
  EXPECT_EQ(view.caption[3], "DL\xD8" "ABC");
  EXPECT_FALSE(view.menu_visible[0]);
  EXPECT_TRUE(view.menu_visible[1]);
  EXPECT_EQ(palette.rebuilds, rebuilds + 1);
}

// ---- The Logging page ----

class FakePage : public LoggingPageView {
 public:
  explicit FakePage(SettingsStore& store) : store_(store) {}
  bool adif = false, enabled = false, field_en = false, answer = true;
  std::string file, tag, content, asked;
  std::vector<std::string> list, messages;
  int selection = -1;
  void SetAdifEnabled(bool c) override { adif = c; }
  void SetControlsEnabled(bool e) override { enabled = e; }
  void SetFile(const std::string& p) override { file = p; }
  void SetList(const std::vector<std::string>& n) override { list = n, selection = -1; }
  void AddListEntry(const std::string& n) override { list.push_back(n); }
  void SelectListEntry(int p) override { selection = p; }
  bool FieldEnabled() override { return field_en; }
  std::string Tag() override { return tag; }
  std::string Content() override { return content; }
  void ShowField(bool e, const std::string& t, const std::string& c) override { field_en = e, tag = t, content = c; }
  bool Confirm(const std::string& text) override {
    asked = text.substr(0, 8) + ", ADIF keys " + std::to_string(store_.ListSection("ADIF").size());
    return answer;
  }
  void ShowMessage(const std::string& t) override { messages.push_back(t); }

 private:
  SettingsStore& store_;
};

class LoggingPageTest : public fakes::MainFormTest {
 protected:
  AdifTable table;
  FakePage page{store};
  LoggingPageModel logging{store, table, page};
};

TEST_F(LoggingPageTest, FillSelectCommitAndApply) {
  Set("ADIF", {{"En", "1"}, {"File", "c:\\log\\station.adi"}});
  logging.Fill();
  EXPECT_TRUE(page.adif && page.enabled);
  EXPECT_EQ(page.list.size(), 12u);
  EXPECT_EQ(page.selection, 0);
  EXPECT_EQ(page.tag, "CALL");
  EXPECT_EQ(logging.curfield, 1);
  // NAME gets another tag; the list entry keeps its name, Apply stores Tag1.
  logging.Select(1);
  page.tag = "OPERATOR", page.content = "Hans", page.field_en = false;
  logging.Select(11);  // the last entry
  EXPECT_EQ(page.tag, "NOTES");
  EXPECT_EQ(table[1].Tag + " " + table[1].Val + (table[1].En ? " on " : " off ") + page.list[1], "OPERATOR Hans off NAME");
  // Positions outside the list change nothing.
  page.tag = "REMARKS";
  for (const int outside : {-1, 12}) EXPECT_FALSE(logging.Select(outside));
  EXPECT_EQ(logging.curfield, 12);
  EXPECT_EQ(table[11].Tag, "NOTES");
  const int writes = file->replaces;
  EXPECT_TRUE(logging.CommitAndStore(true, "d:\\new.adi"));  // the boxes go into the field shown
  EXPECT_EQ(file->replaces, writes + 1);  // the whole page in one write of the file
  EXPECT_EQ(Get("ADIF", "Tag1") + " " + Get("ADIF", "Val1") + " " + Get("ADIF", "En1") + " " + Get("ADIF", "Tag11") +
                " " + Get("ADIF", "File"),
            "OPERATOR Hans False REMARKS d:\\new.adi");
  EXPECT_EQ(page.tag, "REMARKS");  // the same field shown again
  logging.OnAdifEnabledClick(false);  // stored at once
  EXPECT_EQ(Get("ADIF", "En"), "0");
  EXPECT_FALSE(page.enabled);
}

TEST_F(LoggingPageTest, ATagThatIsNoAdifFieldNameIsRefusedAndNothingStored) {
  struct Row {
    std::string tag;
    bool enabled, taken;
  } rows[] = {
      {"A>B", true, false},     {"X:Y", true, false},      {"CALL ", true, false},
      {" CALL", true, false},   {"*Custom", true, false},  {"MY TAG", true, false},
      {"", true, false},        {"QSL{1}", true, false},   {"Q,SL", true, false},
      {"A@B", true, false},     {"A[B", true, false},      {"A`B", true, false},
      {"A/B", true, false},     {"A-B", true, false},      {"\xC9TAT", true, false},
      {"QSL_VIA", true, true},  {"app_qsopad_x9", true, true}, {"AZaz09_", true, true},
      {"", false, true},  // a field switched off may stay without a tag
      {"A>B", false, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE("\"" + r.tag + "\"");
    table[5] = {"TX_PWR", "TX_PWR", "", "5", true};
    logging.Fill();
    logging.Select(5);
    page.messages.clear();
    page.tag = r.tag;
    page.field_en = r.enabled;
    EXPECT_EQ(logging.Select(7), r.taken);
    EXPECT_EQ(table[5].Tag, r.taken ? r.tag : "TX_PWR");
    EXPECT_EQ(page.selection, r.taken ? 7 : 5);
    EXPECT_EQ(logging.curfield, r.taken ? 8 : 6);
    EXPECT_EQ(page.messages.size(), r.taken ? 0u : 1u);
  }
  // Apply with a refused tag stores nothing.
  page.messages.clear();
  page.tag = "MY TAG";
  EXPECT_FALSE(logging.CommitAndStore(true, "x.adi"));
  ASSERT_EQ(page.messages.size(), 1u);
  EXPECT_THAT(page.messages[0], ::testing::StartsWith("\"MY TAG\" is not an ADIF field name"));
  EXPECT_TRUE(store.ListSection("ADIF").empty());
  page.tag = "TX_PWR";
  EXPECT_TRUE(logging.CommitAndStore(true, "x.adi"));
  EXPECT_EQ(Get("ADIF", "Tag5"), "TX_PWR");
}

TEST_F(LoggingPageTest, AddCustomStoresTheCountAtOnceAndResetAllEmptiesTheSection) {
  logging.Fill();
  EXPECT_FALSE(page.adif);
  logging.AddCustom();
  EXPECT_EQ(page.list.back(), "*Custom");
  EXPECT_EQ(Get("ADIF", "Count"), "12");
  EXPECT_EQ(Get("ADIF", "Tag12"), "<absent>");  // the dialog cancelled: only the count
  EXPECT_TRUE(logging.Select(12));
  EXPECT_FALSE(page.field_en);
  EXPECT_EQ(page.tag, "");

  Set("ADIF", "En", "1");
  Set("ADIF", "File", "x.adi");
  page.answer = false;
  logging.ResetAll();
  EXPECT_EQ(Get("ADIF", "Count"), "12");
  page.answer = true;
  logging.ResetAll();
  EXPECT_EQ(page.asked, "Warning:, ADIF keys 3");  // asked before anything goes
  EXPECT_TRUE(store.ListSection("ADIF").empty());
  EXPECT_EQ(table.fieldcount, 11);
  EXPECT_EQ(page.list.size(), 12u);
  EXPECT_EQ(page.selection, 0);
  EXPECT_FALSE(page.adif);
  EXPECT_EQ(page.file, "");
}

}  // namespace
}  // namespace qsopad
