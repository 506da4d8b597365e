// The options dialog's model: Load from the store, Apply's order and what it pushes into
// the program, the one-shot "Clear window positions", the FKeys captions, the GMT box,
// the main window's re-apply, and the Logging page over the shared ADIF table.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "adif/logging_page.h"
#include "app/options_form.h"
#include "main_form_fixture.h"

namespace qsopad {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class RecordingHost : public OptionsHost {
 public:
  std::vector<std::string> calls;
  bool answer = true;
  void SetRegFont() override { calls.push_back("SetRegFont"); }
  void Buttons(bool v) override { calls.push_back(v ? "Buttons on" : "Buttons off"); }
  void SetElapsedTime(bool on) override { calls.push_back(on ? "elapsed on" : "elapsed off"); }
  void SetMyCall(const std::string& c) override { calls.push_back("mycall " + c); }
  void SetNoPosSave() override { calls.push_back("nopossave"); }
  void SetPaletteAutoShow(bool on) override { calls.push_back(on ? "autoshow on" : "autoshow off"); }
  void SetCallsignPaletteMode() override { calls.push_back("callsign palette mode"); }
  bool Confirm(const std::string& text) override {
    calls.push_back("confirm " + text.substr(0, 16));
    return answer;
  }
};

class OptionsFormTest : public fakes::MainFormTest {
 protected:
  std::vector<std::string> Keys(std::string_view section) {
    std::vector<std::string> out;
    for (const auto& [k, v] : store.ListSection(section)) out.push_back(k);
    return out;
  }
  std::array<std::string, 20> defaults = BuildDefMacros();
  RecordingHost host;
  OptionsFormModel options{store, defaults, host};
};

TEST_F(OptionsFormTest, LoadShowsTheStoredValuesWithTheirDefaults) {
  OptionsControls c = options.Load("Courier New");
  EXPECT_EQ(c.Path, "c:\\psk31\\psk31sbw.exe");
  EXPECT_EQ(c.LDelay, "500");
  EXPECT_EQ(c.GMT, "0");
  EXPECT_EQ(c.TZone, "z");
  EXPECT_EQ(c.RxChar, "\\");
  EXPECT_EQ(c.sample.name, "Courier New");
  EXPECT_EQ(c.sample.back_color, 16777215u);
  EXPECT_EQ(c.Macro[10], defaults[10]);
  //                                  1  2  3  4  5  6  7  8  9  10 11 12 13 14 15
  EXPECT_THAT(c.checks, ElementsAre(0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));

  Set("Opt", {{"FontName", "Lucida Console"}, {"FontSize", "9.75"}, {"Zero", "True"}, {"CSPAL", "1"},
              {"LPAL", "2"}, {"CW1", "0"}, {"WordBk", "-1"}});
  Set("Macro", "3", "my ^M macro");
  Set("Call", "MyCall", "DL1ABC");
  c = options.Load("Courier New");
  EXPECT_EQ(c.sample.name, "Lucida Console");
  EXPECT_EQ(c.sample.size, 9.75);
  EXPECT_EQ(c.Macro[3], "my ^M macro");
  EXPECT_EQ(c.Callsign, "DL1ABC");
  EXPECT_THAT(c.checks, ElementsAre(0, 1, 1, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0, 1, 2, 0));
}

// A hand-edited settings file: the dialog opens with the defaults in place of what does not
// convert, names each such value once, and Apply mends the store.
TEST_F(OptionsFormTest, LoadShowsDefaultsForDamagedValuesNamesThemOnceAndApplyMendsThem) {
  Set("Opt", {{"FontSize", "big"}, {"MPAL", "True"}, {"Retro", "yes"}, {"FontColor", "red"},
              {"CW1", "40000"}, {"TOD", "maybe"}, {"FontBold", "1"}});
  EXPECT_EQ(options.Captions().tab, "FKeys");
  OptionsControls c = options.Load("Arial");
  EXPECT_EQ(c.sample.size, 10);
  EXPECT_EQ(c.sample.color, 0u);
  EXPECT_TRUE(c.sample.bold);
  //                                  1  2  3  4  5  6  7  8  9  10 11 12 13 14 15
  EXPECT_THAT(c.checks, ElementsAre(0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));
  const std::optional<std::string> text = options.DamagedValuesText();
  ASSERT_TRUE(text);
  for (const char* named : {"\"Retro\" holds \"yes\"", "\"FontSize\" holds \"big\"", "\"FontColor\" holds \"red\"",
                            "\"TOD\" holds \"maybe\"", "\"MPAL\" holds \"True\"", "\"CW1\" holds \"40000\""}) {
    SCOPED_TRACE(named);
    const std::size_t at = text->find(named);
    EXPECT_NE(at, std::string::npos);
    EXPECT_EQ(text->find(named, at + 1), std::string::npos) << "named twice";
  }
  EXPECT_EQ(text->find("FontBold"), std::string::npos);
  // Loaded again (after Load Opts), nothing is named a second time.
  options.Load("Arial");
  EXPECT_EQ(options.DamagedValuesText(), std::nullopt);
  options.Apply(c);
  EXPECT_EQ(Get("Opt", "FontSize"), "10");
  EXPECT_EQ(Get("Opt", "MPAL"), "0");
  EXPECT_EQ(Get("Opt", "Retro"), "False");
  EXPECT_EQ(Get("Opt", "CW1"), "1");
}

TEST_F(OptionsFormTest, ApplyStoresEveryControlInItsOrderAndPushesTheValues) {
  OptionsControls c = options.Load("Arial");
  c.Callsign = "PA3XYZ";
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
  EXPECT_THAT(host.calls, ElementsAre("SetRegFont", "elapsed on", "Buttons on", "autoshow off",
                                      "callsign palette mode", "mycall PA3XYZ"));
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
  Set("Win", "Top", "100");
  OptionsControls c = options.Load("Arial");
  c.checks[7] = 1;
  options.Apply(c);
  EXPECT_EQ(c.checks[7], 0);
  EXPECT_TRUE(store.ListSection("Win").empty());
  EXPECT_THAT(host.calls, ::testing::Contains("nopossave"));
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
  EXPECT_THAT(host.calls, ::testing::Contains("mycall ZZ1ZZ"));
  c.Callsign = "YY1YY";
  EXPECT_THROW(options.Apply(c), Error);
}

TEST_F(OptionsFormTest, FKeysCaptionsAndTheGmtBox) {
  EXPECT_EQ(options.Captions().tab, "FKeys");
  Set("Opt", "Retro", "True");
  EXPECT_EQ(options.Captions().tab, "^FKeys");
  EXPECT_EQ(options.Captions().frame, "Set Control+Function Keys");

  // Typing "-5" works; typing "5-" loses the minus.
  EXPECT_TRUE(GmtKeyAllowed('-', 0));
  EXPECT_FALSE(GmtKeyAllowed('-', 1));
  EXPECT_TRUE(GmtKeyAllowed('+', 0));
  EXPECT_FALSE(GmtKeyAllowed('.', 1));
  EXPECT_FALSE(GmtKeyAllowed('a', 0));
  EXPECT_TRUE(GmtKeyAllowed('\b', 3));
  for (const char* good : {"0", "-5", "+12", "32767", "-32768"}) EXPECT_TRUE(GmtTextValid(good)) << good;
  for (const char* bad : {"", "-", "32768", "-32769", "5-", "x"}) EXPECT_FALSE(GmtTextValid(bad)) << bad;
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
  bool adif = false, enabled = false, field_en = false, answer = true;
  std::string file, tag, content;
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
  bool Confirm(const std::string&) override { return answer; }
  void ShowMessage(const std::string& t) override { messages.push_back(t); }
};

class LoggingPageTest : public fakes::MainFormTest {
 protected:
  AdifTable table;
  FakePage page;
  LoggingPageModel logging{store, table, page};
};

TEST_F(LoggingPageTest, FillSelectCommitAndApply) {
  Set("ADIF", "En", "1");
  Set("ADIF", "File", "c:\\log\\station.adi");
  logging.Fill();
  EXPECT_TRUE(page.adif);
  EXPECT_TRUE(page.enabled);
  EXPECT_EQ(page.list.size(), 12u);
  EXPECT_EQ(page.tag, "CALL");
  EXPECT_EQ(logging.curfield, 1);
  // NAME gets another tag; the list entry keeps its name, Apply stores Tag1.
  logging.Select(1);
  page.tag = "OPERATOR";
  page.content = "Hans";
  page.field_en = false;
  logging.Select(2);
  EXPECT_EQ(table[1].Tag, "OPERATOR");
  EXPECT_FALSE(table[1].En);
  EXPECT_EQ(page.list[1], "NAME");
  page.tag = "BAND_RX";  // shown, not committed until Apply
  const int writes = file->replaces;
  logging.CommitAndStore(true, "d:\\new.adi");
  EXPECT_EQ(file->replaces, writes + 1);  // the whole page in one write of the file
  EXPECT_EQ(Get("ADIF", "Tag1"), "OPERATOR");
  EXPECT_EQ(Get("ADIF", "Val1"), "Hans");
  EXPECT_EQ(Get("ADIF", "En1"), "False");
  EXPECT_EQ(Get("ADIF", "Tag2"), "BAND_RX");
  EXPECT_EQ(Get("ADIF", "File"), "d:\\new.adi");
  EXPECT_EQ(page.tag, "BAND_RX");  // the same field shown again
  // The enable box is stored at once.
  logging.OnAdifEnabledClick(false);
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
      {"QSL_VIA", true, true},  {"app_qsopad_x9", true, true},
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
  logging.Select(12);
  EXPECT_FALSE(page.field_en);
  EXPECT_EQ(page.tag, "");
  // At the next start it is an enabled "*Custom" field.
  AdifTable next;
  next.LoadAdifFields(store);
  EXPECT_TRUE(next[12].En);
  EXPECT_EQ(next[12].Tag, "*Custom");

  Set("ADIF", "En", "1");
  Set("ADIF", "File", "x.adi");
  page.answer = false;
  logging.ResetAll();
  EXPECT_EQ(Get("ADIF", "Count"), "12");
  page.answer = true;
  logging.ResetAll();
  EXPECT_TRUE(store.ListSection("ADIF").empty());
  EXPECT_EQ(table.fieldcount, 11);
  EXPECT_EQ(page.list.size(), 12u);
  EXPECT_FALSE(page.adif);
  EXPECT_EQ(page.file, "");
}

}  // namespace
}  // namespace qsopad
