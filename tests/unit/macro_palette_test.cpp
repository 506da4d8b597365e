// The macro palette's model over the main window's model and a fake list window.
#include "macros/macro_palette.h"

#include <gtest/gtest.h>

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
  void SetLine(int i, const std::string& text) override { lines.at(std::size_t(i)).text = text, replaced.push_back(i); }
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

// Function keys first; a stored empty macro does not fall back to its default; with Retro the function keys' labels
// start with a caret. (The order, the defaults and the labels without Retro: end to end.)
TEST_F(MacroPaletteTest, ListsTwentyLinesFunctionKeysFirstWithDefaultsAndStoredTexts) {
  Set("Macro", "3", "cq cq"), Set("Macro", "11", ""), Set("Opt", {{"MacPalX", "0"}, {"Retro", "True"}}), Palette();
  EXPECT_EQ((std::vector<std::string>{Line(0), Line(1), Line(9), Line(10), Line(13), Line(19)}),
            (std::vector<std::string>{"^F1 :  ^3 de ^2 ", "^F2 : ", "^F10: ^\\", "SF1 : ", "SF4 : cq cq", "SF10: "}));
  EXPECT_EQ(std::pair(list.lines.size(), list.lines[19].n), std::pair(std::size_t{20}, 9));
}

// The preview does nothing that the expansion would do, and a damaged option is reported as the expansion's.
TEST_F(MacroPaletteTest, PreviewShowsExpansionWithoutEffectsUnlessFileMacroOrBlank) {
  const struct { const char* stored; std::string rxchar; const char* shown; } rows[] = {
      {"^3 de ^2", "\\", "K1XYZ de DL1ABC"}, {"^3 @ ^2", "\\", "K1XYZ @ DL1ABC"},
      {"@c:\\m\\^2.txt", "\\", "@c:\\m\\^2.txt"}, {"^X", "\\", "^X"},
      {"hi^Nthere", "\\", "hi^Nthere"},  // CR LF shown again as the two characters
      {"^R", " ", "^R"},                   // previews as a single space: blank
      {"  ^R  ", "", "  ^R  "},            // a stored empty RXCHAR is one space
      {"^R", "#", "#"}, {"^R", std::string(1, '\0'), "^R"},  // the receive character 0: blank too
      {"^X^+^Ghi^R", "\\", "^X^+^Ghi\\"},  // transmit, count, beep and a return after ^R (SendCR): none done
  };
  Set("Opt", "SendCR", "1");
  Model().sendbuf = std::string("cq\0", 3);  // a transmission's end queued last: nothing to the preview
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stored);
    Set("Opt", "RXCHAR", row.rxchar), Set("Macro", "0", row.stored), Palette().InitList();
    EXPECT_EQ(Line(10), std::string("SF1 : ") + row.shown);
  }
  EXPECT_EQ(std::tuple(Model().txmode, Model().serialno, desktop.beeps, Model().sendbuf),
            std::tuple(0, 1, 0, std::string("cq\0", 3)));
  Set("Opt", "GMT", "soon"), Set("Macro", "0", "at ^T");
  EXPECT_THROW(Palette().InitList(), Reported);
  EXPECT_THAT(reporter.reports, fakes::ElementsAre(fakes::StartsWith("SExpand: ")));
}

// Loading a macro is no edit; an edit is stored under its own macro when another line is selected, and only its line
// is rebuilt. (The label, the unexpanded text, Enter, Esc and storing on selection: end to end.)
TEST_F(MacroPaletteTest, SelectingLoadsStoredTextAndStoresAPendingEditUnderItsOwnMacro) {
  Palette();
  EXPECT_FALSE(list.editor || Palette().OnKey(MacroPaletteModel::Key::kEscape) ||
               Palette().OnKey(MacroPaletteModel::Key::kEnter)) << "no edit box yet";
  list.Click(0);  // the first line: F1, its default text
  EXPECT_EQ(list.label + "|" + list.edit_text, "F1| ^3 de ^2 ");
  list.Click(12);  // SF3 (macro 2)
  EXPECT_EQ(Get("Macro", "10"), "<absent>") << "loading is not an edit";
  list.Type("^2 test^N");
  const int rebuilds = list.full_rebuilds;
  list.Click(3);  // F4, macro 13
  EXPECT_EQ(std::tuple(list.replaced, list.full_rebuilds, Line(12)),
            std::tuple(std::vector<int>{12}, rebuilds, "SF3 : DL1ABC test^N"));
  list.Type("oops");
  EXPECT_TRUE(Palette().OnKey(MacroPaletteModel::Key::kEscape));
  EXPECT_EQ(std::tuple(list.edit_text, Get("Macro", "13"), list.replaced.size()), std::tuple("^4 ", "<absent>", 1u));
  Set("Macro", "13", "changed elsewhere"), Palette().OnKey(MacroPaletteModel::Key::kEnter);
  EXPECT_EQ(Get("Macro", "13"), "changed elsewhere") << "Esc left nothing to store";
}

TEST_F(MacroPaletteTest, RebuildKeepsEditBoxAndEscapeReloadsItsEntry) {
  Palette(), list.Click(5), list.Type("half done");  // F6, macro 15
  Palette().InitList();  // e.g. the serial number went up
  EXPECT_EQ(std::pair(list.selected, Palette().selection()), std::pair(-1, std::optional<int>()));
  EXPECT_EQ(std::tuple(list.edit_text, Palette().editindex(), Palette().editdirty()), std::tuple("half done", 5, true));
  // Esc with no line selected reloads the edit box's own macro and marks its line.
  EXPECT_TRUE(Palette().OnKey(MacroPaletteModel::Key::kEscape));
  EXPECT_EQ(std::tuple(list.edit_text, list.selected, Get("Macro", "15")), std::tuple("^6", 5, "<absent>"));
  // A pending edit across a rebuild is stored under its own macro by Enter.
  list.Type("kept"), Palette().InitList(), Palette().OnKey(MacroPaletteModel::Key::kEnter);
  EXPECT_EQ(std::pair(Get("Macro", "15"), Line(5)), std::pair(std::string("kept"), std::string(" F6 : kept")));
  EXPECT_EQ(Palette().Send(), std::nullopt) << "the rebuild cleared the selection: nothing to send";
}

TEST_F(MacroPaletteTest, PrintPageHasHeadingRulesAndLinesAsShown) {
  Palette();
  std::vector<std::string> page{"Macros for DL1ABC 06 Dec 2026 10:30z", std::string(80, '_'), ""};
  for (const PaletteLine& line : list.lines) page.push_back(line.text);
  page.insert(page.end(), {"", std::string(80, '_')});
  EXPECT_EQ(Palette().PrintLines(), page);
}

// (The default place, the stored place read back after a restart and closing with an edit pending: end to end.)
TEST_F(MacroPaletteTest, StoredPlacementAndAutoShowFallBackOnBadValues) {
  EXPECT_FALSE(Palette().StoredAutoShow());
  Palette().SaveOnUnload(true, {150, 300, 3000, 6000});
  EXPECT_EQ(Get("Opt", "MPAL"), "1") << "shown at closing: shown at the next start";  // the place: read back below
  for (const auto& [mpal, shown] : {std::pair{"1", true}, {"2", false}, {"0", false}, {"1.4", true}, {"yes", false}}) {
    Set("Opt", "MPAL", mpal);
    EXPECT_EQ(Palette().StoredAutoShow(), shown) << mpal;
  }
  Set("Win", "MPW", "wide");
  EXPECT_EQ(Palette().StoredPlacement(), (PaletteRect{150, 300, 4500, 6000})) << "a bad value falls back";
  // A settings file that cannot be written: closing the palette goes on without saving.
  file->fail_replace = true;
  EXPECT_NO_THROW(Palette().SaveOnUnload(true, {1, 2, 3, 4}));
  EXPECT_EQ(Get("Win", "MPX"), "150");
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
