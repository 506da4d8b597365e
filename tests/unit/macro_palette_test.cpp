// The macro palette's model over the main window's model and a fake list window.
#include "macros/macro_palette.h"

#include <gtest/gtest.h>

#include <tuple>

#include "main_form_fixture.h"

namespace qsopad {
namespace {

// Plays the list box, the label and the edit box as the real window does: putting text
// into the edit box reports a change back, as EN_CHANGE does.
class FakePaletteView : public PaletteView {
 public:
  MacroPaletteModel* model = nullptr;
  std::vector<PaletteLine> lines;
  int selected = -1;
  std::string edit_text, label = "   ";
  bool editor = false;
  int full_rebuilds = 0;
  std::vector<int> replaced;

  void SetLines(const std::vector<PaletteLine>& l) override { lines = l, selected = -1, ++full_rebuilds; }
  void SetLine(int index, const std::string& text) override {
    lines.at(static_cast<std::size_t>(index)).text = text, replaced.push_back(index);
  }
  void SelectLine(int index) override { selected = index; }
  void SetEditText(const std::string& text) override { Type(text); }
  void SetEditLabel(const std::string& l) override { label = l; }
  void ShowEditor() override { editor = true; }

  // The operator's actions.
  void Click(int index) { selected = index, model->Select(index); }
  void Type(const std::string& text) { edit_text = text, model->OnEditChanged(text); }
};

class MacroPaletteTest : public fakes::MainFormTest {
 protected:
  MacroPaletteModel& Palette() {
    if (!palette_model) {
      Model().DefMacros = BuildDefMacros();  // start-up's first step
      Model().mycall = "DL1ABC", Model().ocall = "K1XYZ";
      palette_model = std::make_unique<MacroPaletteModel>(Model(), Model().DefMacros, list);
      list.model = palette_model.get();
      palette_model->Load();
    }
    return *palette_model;
  }
  std::string Line(int index) { return list.lines.at(static_cast<std::size_t>(index)).text; }

  FakePaletteView list;
  std::unique_ptr<MacroPaletteModel> palette_model;
};

TEST(MacroPaletteLabels, EditLabelsAndLineEnds) {
  for (const auto& [n, label] : {std::pair{10, "F1"}, {18, "F9"}, {19, "F10"}, {0, "SF1"}, {9, "SF10"}})
    EXPECT_EQ(EditLabel(n), label) << n;
  for (const auto& [in, out] : {std::pair{"a\r\nb\r\n", "a^Nb^N"}, {"\r\r\n\n", "\r^N\n"}, {"\n\r", "\n\r"}}) {
    std::string text = in;
    EXPECT_EQ((NoCRLF(text), text), out);
  }
}

// The default macros and the key labels are what the operator sees: one literal check.
TEST_F(MacroPaletteTest, ListsTwentyLinesFunctionKeysFirstWithDefaultsAndStoredTexts) {
  Set("Macro", "3", "cq cq");
  Set("Macro", "11", "");  // a stored empty macro does not fall back to the default
  Set("Opt", "MacPalX", "0");
  Palette();
  std::vector<std::string> shown;
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(list.lines[static_cast<std::size_t>(i)].n, (i + 10) % 20);
    shown.push_back(Line(i));
  }
  EXPECT_EQ(shown, (std::vector<std::string>{
                       " F1 :  ^3 de ^2 ", " F2 : ", " F3 : ^3 ", " F4 : ^4 ", " F5 : ^5 ", " F6 : ^6", " F7 : ^? ",
                       " F8 : ", " F9 : ^9", " F10: ^\\", "SF1 : ", "SF2 : ", "SF3 : ", "SF4 : cq cq", "SF5 : ",
                       "SF6 : ", "SF7 : ", "SF8 : ", "SF9 : ", "SF10: "}));
}

TEST_F(MacroPaletteTest, PreviewShowsExpansionUnlessFileMacroOrBlank) {
  // rxchar nullptr: not stored
  const struct { const char *stored, *rxchar, *shown; } rows[] = {
      {"^3 de ^2", nullptr, "K1XYZ de DL1ABC"},
      {"@c:\\macros\\^2.txt", nullptr, "@c:\\macros\\^2.txt"},
      {"^X", nullptr, "^X"},
      {"hi^Nthere", nullptr, "hi^Nthere"},  // CR LF shown again as the two characters
      {"^R", " ", "^R"},                     // previews as a single space: blank
      {"  ^R  ", "", "  ^R  "},              // a stored empty RXCHAR is one space
      {"^R", "#", "#"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stored);
    if (row.rxchar) Set("Opt", "RXCHAR", row.rxchar);
    Set("Macro", "0", row.stored);
    Palette().InitList();
    EXPECT_EQ(Line(10), std::string("SF1 : ") + row.shown);
  }
  Set("Opt", "RXCHAR", std::string(1, '\0'));  // the receive marker as the receive character
  Set("Macro", "0", "^R");
  Palette().InitList();
  EXPECT_EQ(Line(10), "SF1 : ^R");
}

TEST_F(MacroPaletteTest, PreviewHasNoEffectsAndReportsADamagedOptionAsTheExpansions) {
  Set("Macro", "0", "^X^+^Ghi^R");
  Set("Opt", "SendCR", "1");
  Palette();
  EXPECT_EQ(Line(10), "SF1 : ^X^+^Ghi\\");
  EXPECT_EQ(std::tuple(Model().txmode, Model().serialno, desktop.beeps, Model().sendbuf), std::tuple(0, 1, 0, ""));

  Set("Opt", "GMT", "soon");
  Set("Macro", "0", "at ^T");
  EXPECT_THROW(Palette().InitList(), Reported);
  EXPECT_THAT(reporter.reports, fakes::ElementsAre(fakes::StartsWith("SExpand: ")));
}

TEST_F(MacroPaletteTest, RetroMarksFunctionKeyLinesAndExpandFollowsItsCheckBox) {
  Set("Opt", "Retro", "True");
  Palette();
  EXPECT_EQ(Line(0), "^F1 :  K1XYZ de DL1ABC ");
  EXPECT_EQ(std::pair(Line(9), Line(19)), std::pair(std::string("^F10: \\"), std::string("SF10: ")));
  list.Click(2);
  EXPECT_EQ(list.label, "F3") << "the edit label has no Retro mark";
  Palette().SetExpand(false);
  EXPECT_EQ(Get("Opt", "MacPalX"), "0");
  EXPECT_EQ(Line(0), "^F1 :  ^3 de ^2 ");
  Palette().SetExpand(true);
  EXPECT_EQ(Get("Opt", "MacPalX"), "1");
  EXPECT_EQ(Line(0), "^F1 :  K1XYZ de DL1ABC ");
}

// Escape then restores the stored text and stores nothing.
TEST_F(MacroPaletteTest, SelectingLoadsStoredTextWithoutMarkingItEdited) {
  Palette();
  EXPECT_FALSE(list.editor);
  EXPECT_FALSE(Palette().OnKey(MacroPaletteModel::Key::kEscape));  // no edit box yet
  EXPECT_FALSE(Palette().OnKey(MacroPaletteModel::Key::kEnter));
  list.Click(11);  // SF2
  EXPECT_EQ(std::tuple(list.editor, list.label, list.edit_text), std::tuple(true, "SF2", ""));
  list.Click(0);
  EXPECT_EQ(list.edit_text, " ^3 de ^2 ");  // unexpanded
  EXPECT_FALSE(Palette().editdirty());
  EXPECT_EQ(Get("Macro", "10"), "<absent>");  // loading is not an edit
  list.Click(4);
  list.Type("oops");
  EXPECT_TRUE(Palette().OnKey(MacroPaletteModel::Key::kEscape));
  EXPECT_EQ(std::tuple(list.edit_text, Palette().editdirty(), Get("Macro", "14"), list.replaced.size()),
            std::tuple("^5 ", false, "<absent>", 0u));
}

TEST_F(MacroPaletteTest, EditThenOtherLineStoresUnderFirstNumberAndRebuildsOnlyThatLine) {
  Palette();
  list.Click(12);  // SF3, macro 2
  list.Type("^2 test^N");
  const int rebuilds = list.full_rebuilds;
  list.Click(3);  // F4, macro 13
  EXPECT_EQ(Get("Macro", "2"), "^2 test^N");
  EXPECT_EQ(Get("Macro", "13"), "<absent>");
  EXPECT_EQ(std::tuple(list.replaced, list.full_rebuilds, Line(12)),
            std::tuple(std::vector<int>{12}, rebuilds, "SF3 : DL1ABC test^N"));
  EXPECT_EQ(std::pair(list.selected, list.edit_text), std::pair(3, std::string("^4 ")));
  // Enter stores an edit of the new line; a second Enter has nothing left to store.
  list.Type("^4 utc");
  EXPECT_TRUE(Palette().OnKey(MacroPaletteModel::Key::kEnter));
  EXPECT_EQ(Get("Macro", "13"), "^4 utc");
  Set("Macro", "13", "changed elsewhere");
  Palette().OnKey(MacroPaletteModel::Key::kEnter);
  EXPECT_EQ(Get("Macro", "13"), "changed elsewhere");
}

TEST_F(MacroPaletteTest, RebuildKeepsEditBoxAndEscapeReloadsItsEntry) {
  Palette();
  list.Click(5);  // F6, macro 15
  list.Type("half done");
  Palette().InitList();  // e.g. the serial number went up
  EXPECT_EQ(std::pair(list.selected, Palette().selection()), std::pair(-1, std::optional<int>()));
  EXPECT_EQ(std::tuple(list.edit_text, Palette().editindex(), Palette().editdirty()), std::tuple("half done", 5, true));
  // Esc with no line selected reloads the edit box's own macro and marks its line.
  EXPECT_TRUE(Palette().OnKey(MacroPaletteModel::Key::kEscape));
  EXPECT_EQ(std::tuple(list.edit_text, list.selected, Get("Macro", "15")), std::tuple("^6", 5, "<absent>"));
  // A pending edit across a rebuild is stored under its own macro by Enter.
  list.Type("kept");
  Palette().InitList();
  Palette().OnKey(MacroPaletteModel::Key::kEnter);
  EXPECT_EQ(Get("Macro", "15"), "kept");
  EXPECT_EQ(Line(5), " F6 : kept");
}

TEST_F(MacroPaletteTest, SendStoresPendingEditAndNamesSelectedMacro) {
  Palette();
  EXPECT_EQ(Palette().Send(), std::nullopt);
  list.Click(18);  // SF9, macro 8
  list.Type("^9hi^0");
  EXPECT_EQ(Palette().Send(), 8);
  EXPECT_EQ(Get("Macro", "8"), "^9hi^0");
  Started();
  Model().SendMacro(*Palette().Send());
  EXPECT_EQ(Model().txmode, 1);
  EXPECT_EQ(Model().sendbuf, std::string("hi") + '\0');
  Palette().InitList();
  EXPECT_EQ(Palette().Send(), std::nullopt);  // the rebuild cleared the selection
}

TEST_F(MacroPaletteTest, PrintPageHasHeadingRulesAndLinesAsShown) {
  Set("Macro", "0", "a^Nb");
  Palette();
  EXPECT_EQ(std::pair(Line(0), Line(10)), std::pair(std::string(" F1 :  K1XYZ de DL1ABC "), std::string("SF1 : a^Nb")));
  std::vector<std::string> page{"Macros for DL1ABC 06 Dec 2026 10:30z", std::string(80, '_'), ""};
  for (const PaletteLine& line : list.lines) page.push_back(line.text);
  page.insert(page.end(), {"", std::string(80, '_')});
  EXPECT_EQ(Palette().PrintLines(), page);
}

// Closing stores Auto Show and the placement, and drops a pending edit.
TEST_F(MacroPaletteTest, UnloadSavesPlacementAndAutoShowAndDropsAPendingEdit) {
  EXPECT_EQ(std::pair(Palette().StoredPlacement(), Palette().StoredAutoShow()), std::pair(PaletteRect{0, 0, 4500, 4500}, false));
  Set("Macro", "12", "stored");
  list.Click(2);  // F3: macro 12
  list.Type("typed, not confirmed");
  Palette().SaveOnUnload(true, {150, 300, 3000, 6000});
  Palette().SaveEdit();  // destroying the window takes the focus off the edit box
  EXPECT_EQ(Get("Macro", "12"), "stored");
  EXPECT_EQ(std::pair(Get("Win", "MPX") + " " + Get("Win", "MPY") + " " + Get("Win", "MPW") + " " + Get("Win", "MPH"),
                      Get("Opt", "MPAL")), std::pair(std::string("150 300 3000 6000"), std::string("1")));
  EXPECT_EQ(std::pair(Palette().StoredPlacement(), Palette().StoredAutoShow()), std::pair(PaletteRect{150, 300, 3000, 6000}, true));
  for (const auto& [mpal, shown] : {std::pair{"2", false}, {"0", false}, {"1.4", true}, {"yes", false}}) {
    Set("Opt", "MPAL", mpal);
    EXPECT_EQ(Palette().StoredAutoShow(), shown) << mpal;
  }
  Set("Win", "MPW", "wide");
  EXPECT_EQ(Palette().StoredPlacement(), (PaletteRect{150, 300, 4500, 6000})) << "a bad value falls back";
}

TEST(MacroPaletteLayout, PlacesControlsAndNeverGivesNegativeSizes) {
  const PaletteLayout l = LayOutPalette(300, 280, 30, 15);
  const PaletteRect expected[] = {{0, 0, 300, 221},   {2, 224, 30, 15},    {40, 221, 265, 19}, {8, 253, 65, 25},
                                  {80, 253, 65, 25},  {152, 261, 65, 17},  {152, 244, 81, 17}};
  const PaletteRect got[] = {l.list, l.label, l.edit, l.send, l.print, l.expand, l.auto_show};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(got[i], expected[i]) << "control " << i;  // edit: 5 px past the edge
  for (const auto& [w, h] : {std::pair{0, 0}, std::pair{20, 40}, std::pair{3, 500}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    const PaletteLayout t = LayOutPalette(w, h, 30, 15);
    for (const PaletteRect& r : {t.list, t.label, t.edit, t.send, t.print, t.expand, t.auto_show})
      EXPECT_TRUE(r.width >= 0 && r.height >= 0) << r.width << "x" << r.height;
  }
}

}  // namespace
}  // namespace qsopad
