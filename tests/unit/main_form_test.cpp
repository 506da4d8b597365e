// The main window's model: start-up and shutdown sequences, size saving, font options, slashed zeros, the attachment
// watch, error reports, the layout rule and window placement (its defaults: end to end).
#include "app/main_form.h"

#include <gtest/gtest.h>

#include "app/layout.h"
#include "app/win_placement.h"
#include "main_form_fixture.h"

namespace qsopad {
namespace {

using fakes::MainFormTest, fakes::ElementsAre, fakes::HasSubstr, fakes::StartsWith;
using Texts = std::vector<std::string>;
using namespace std::string_literals;

// Start-up runs its steps in order, skips the ones that fail and writes nothing.
TEST_F(MainFormTest, StartUpRunsItsStepsInOrderAndSkipsFailingOnes) {
  using Stored = std::vector<std::array<const char*, 3>>;
  const struct { const char* name; Stored stored; Texts calls; TwipsRect window; const char* call; long serial;
                 bool wordbreak = false; } rows[] = {
      {"fresh", {}, {"menu 0 shown", "menu 1 hidden", "focus", "caption 3", "buttons shown", "show", "move 0 0",
                     "resize 9600 7200"}, {0, 0, 9600, 7200}, "", 1},
      {"stored", {{"Win", "Top", "300"}, {"Win", "Left", "450"}, {"Win", "Width", "8000"}, {"Win", "Height", "6000"},
                  {"Call", "MyCall", "ZX0AB"}, {"Opt", "Buttons", "False"}, {"Opt", "FontName", "Courier New"},
                  {"Opt", "Retro", "1"}, {"Opt", "SerialNo", "7.5"}, {"Opt", "Zero", "True"}},
       {"menu 0 hidden", "menu 1 shown", "focus", "font", "caption 3", "buttons hidden", "show", "move 450 300",
        "resize 8000 6000"}, {450, 300, 8000, 6000}, "ZX\xD8" "AB", 8},
      {"bad values", {{"Opt", "Retro", "perhaps"}, {"Opt", "SerialNo", "2147483648"}, {"Win", "Top", "high"},
                      {"Call", "MyCall", "ZX0AB"}, {"Opt", "WordBK", "True"}},
       {"focus", "caption 3", "buttons shown", "show"}, {0, 0, 7000, 5000}, "ZX0AB", 1, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Reset();
    for (const char* section : {"Win", "Call", "Opt"}) store.DeleteSection(section);
    for (const auto& [section, key, value] : row.stored) Set(section, key, value);
    AddPsk31();
    const int writes = file->replaces;
    Model().Load();
    EXPECT_EQ(std::tuple(view.calls, view.window, view.caption[3], Model().serialno),
              std::tuple(row.calls, row.window, row.call, row.serial));
    EXPECT_EQ(std::tuple(Model().wordbreak, view.messages, reporter.reports, file->replaces),
              std::tuple(row.wordbreak, Texts{}, Texts{}, writes)) << "start-up stores nothing";
    EXPECT_EQ(windows.Trace(), (Texts{"attach 77", "foreground form", "focus", "send app QSOPADFUNC 0", "send form QSOPADFUNC 0"}))
        << "attached, then receive announced; no Aux program set";
  }
  windows.journal.clear(), Set("Opt", "Aux", "c:\\logger\\log.exe /quiet"), Model().Load();
  EXPECT_THAT(windows.Trace(), ::testing::Contains("start c:\\logger\\log.exe /quiet normal").Times(1));
}

TEST_F(MainFormTest, OnlyTheOperatorsResizesSaveTheSize) {
  // Stored size none (start-up resizes) or equal to the window's (no resize happens): the
  // first resize the operator makes is saved either way.
  for (const bool stored : {true, false}) {
    SCOPED_TRACE(stored ? "stored size equals the window's" : "nothing stored");
    Reset(), store.DeleteSection("Win");
    if (stored) Set("Win", {{"Width", "7000"}, {"Height", "5000"}});
    Model().Load();
    EXPECT_EQ(Get("Win", "Width"), stored ? "7000" : "<absent>");
    view.UserResize(8000, 6000);
    EXPECT_EQ(Get("Win", "Width") + "x" + Get("Win", "Height"), "8000x6000");
  }
  view.normal = false, view.UserResize(100, 100);  // minimised or maximised
  view.normal = true, Model().nopossave = true, view.UserResize(5000, 4000);
  EXPECT_EQ(Get("Win", "Width"), "8000");
}

TEST_F(MainFormTest, FontOptionsReachTheTypingAreaAndABadOneIsReported) {
  Set("Opt", {{"FontName", "Lucida Console"}, {"FontSize", "8.25"}, {"FontBold", "True"}, {"FontUnderline", "1"},
              {"FontColor", "255"}, {"BackColor", "65280"}});
  Model().SetRegFont();
  EXPECT_EQ(view.font, (FontSpec{"Lucida Console", 8.25, true, false, false, true, 255, 65280}));
  view.font.reset(), Set("Opt", "FontSize", "large"), Model().SetRegFont();
  EXPECT_THAT(reporter.reports,
              ElementsAre(::testing::AllOf(StartsWith("SetRegFont: "), HasSubstr("\"FontSize\" holds \"large\""))));
  EXPECT_FALSE(view.font.has_value());
}

TEST_F(MainFormTest, SlashedZerosFollowTheOption) {
  const struct { const char *zero, *in, *zeros, *noslash; } rows[] = {
      {"False", "ZX0A00\xD8", "ZX0A00\xD8", "ZX0A00\xD8"},
      {"True", "\xD8\xE9o O/0 00", "\xD8\xE9o O/\xD8 \xD8\xD8", "0\xE9o O/0 00"}};  // only "0" and 216 change
  for (const auto& row : rows) {
    Set("Opt", "Zero", row.zero);
    std::string s = row.in;
    Model().Zeros(s);
    EXPECT_EQ(std::pair(s, Model().Noslash(s)), std::pair(std::string(row.zeros), std::string(row.noslash))) << row.zero;
  }
}

// Announce, tell the paired log program, save the window setup, unload the palette, close the PSK31 program when
// "Close" asks for it: in that order, and once however the window goes (the session ends, then the window is closed).
TEST_F(MainFormTest, ShutdownRunsItsStepsInOrderOnce) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "Close True" : "Close False");
    Reset(), store.DeleteSection("Win"), Set("Opt", "Close", close ? "True" : "False"), Started();
    Model().logwnd = 0x5000;
    palette.on_unload = [&] { windows.Note(Get("Win", "Left") == "<absent>" ? "palette, setup unsaved" : "palette"); };
    Model().Unload(), Model().Unload();
    Texts steps{"send app QSOPADFUNC 1", "send form QSOPADFUNC 1", "copydata 0x5000 0 x", "palette"};
    if (close) steps.push_back("send form close 0");
    EXPECT_EQ(windows.Trace(), steps);
    EXPECT_EQ(view.callsign_window, Texts{"unload"});
  }
}

TEST_F(MainFormTest, AttachmentWatchFollowsTheFormAndRetro) {
  AddPsk31(), Model().Load();
  using Menus = std::tuple<bool, bool, bool>;  // find window, PSK31, PSK31a enabled
  const struct { const char* retro; bool alive; Menus menus; } rows[] = {
      {"True", true, {false, false, true}}, {"False", true, {false, true, false}},
      {"True", false, {true, false, false}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.retro) + (row.alive ? " attached" : " gone"));
    Set("Opt", "Retro", row.retro), windows.Window(form).alive = row.alive;
    EXPECT_EQ(Model().WatchAttachment(), row.alive);
    EXPECT_EQ(Menus(view.find_enabled, view.menu_enabled[0], view.menu_enabled[1]), row.menus);
  }
}

// CSPAL and LPAL open their window at start-up when their number equals 1.
TEST_F(MainFormTest, CallsignWindowsFollowStartUpThePartnerAndShutdown) {
  for (const char* pal : {"0", "2", "1"}) {
    Reset(), Set("Opt", {{"CSPAL", pal}, {"LPAL", pal}}), Started();
    EXPECT_EQ(view.callsign_window, (*pal == '1' ? Texts{"open", "show result"} : Texts{})) << pal;
  }
  Model().OnPanelClick(MainView::Panel::kOcall, false), Model().OnPanelClick(MainView::Panel::kQName, false);
  Model().OnButtonRightClick(4);
  Model().ocall = "K1ABC", Model().namebuf = "Jo", Model().SetOcall(false), Model().SetNamebuf(false), Model().Unload();
  EXPECT_EQ(view.callsign_window,
            (Texts{"open", "show result", "open", "open name first", "open", "call K1ABC", "name Jo", "unload"}));
}

TEST(Layout, ButtonsSitOnTheStatusBarAndTypingAreaFillsTheRest) {
  LayoutInput in;
  in.inner_width = 600, in.inner_height = 400, in.status_height = 22, in.buttons.fill({73, 25}), in.buttons[2] = {81, 30};
  const LayoutResult out = ComputeLayout(in);
  ASSERT_TRUE(out.heights_set && out.widths_set);
  EXPECT_EQ(std::pair(out.text_width, out.text_height), std::pair(600, 353));
  const std::array<Position, 6> buttons{{{417, 353}, {527, 353}, {0, 348}, {122, 353}, {243, 353}, {365, 353}}};
  EXPECT_EQ(out.buttons, buttons);  // 2.5 x 73 = 182.5; 1.5 x 81 = 121.5; 4.5 x 81 = 364.5
  in.command1_visible = false;
  EXPECT_EQ(ComputeLayout(in).text_height, 378) << "hidden buttons: typing area to the bar";
  in.inner_height = 0;  // minimised
  EXPECT_FALSE(ComputeLayout(in).heights_set);
}

class FakePlaced : public PlacedWindow {
 public:
  bool visible = true, normal = true;
  TwipsRect rect{10, 20, 30, 40};
  bool IsVisible() override { return visible; }
  bool IsNormal() override { return normal; }
  TwipsRect GetTwips() override { return rect; }
  void SetTwips(const TwipsRect& r) override { rect = r; }
};

TEST(WinPlacement, SavesOnlyVisibleNormalWindowsAndIgnoresBadValues) {
  SettingsStore store(std::make_unique<MemoryStoreFile>());
  FakePlaced w, other, untouched;
  for (const auto& [visible, normal] : {std::pair{false, true}, std::pair{true, false}, std::pair{true, true}}) {
    w.visible = visible, w.normal = normal, w.rect = {1, -2, 3, 4};
    SaveWinPos(w, store, "Lg");
    EXPECT_EQ(store.ListSection("Win").size(), visible && normal ? 4u : 0u);
  }
  EXPECT_EQ(store.ListSection("Win"), (std::vector<std::pair<std::string, std::string>>{
                                          {"LgTop", "-2"}, {"LgLeft", "1"}, {"LgWidth", "3"}, {"LgHeight", "4"}}));
  store.WriteSetting("Win", "LgWidth", "2.5"), RestoreWinPos(other, store, "Lg", 0, 0, 0, 0);
  store.WriteSetting("Win", "LgWidth", "wide"), RestoreWinPos(untouched, store, "Lg", 0, 0, 0, 0);
  EXPECT_EQ(std::pair(other.rect, untouched.rect), std::pair(TwipsRect{1, -2, 3, 4}, TwipsRect{10, 20, 30, 40}))
      << "a bad value leaves the window alone";
}

// One report per error, named after the trap that caught it, the transmitter released first.
TEST_F(MainFormTest, AnErrorReleasesTheTransmitterThenIsReportedOnce) {
  Started(), Set("Opt", "GMT", "abc");
  Model().SendNKCharNB("^9"), Ticks(60);  // transmitting; the next status refresh needs the time
  EXPECT_THAT(reporter.reports, ElementsAre(::testing::AllOf(StartsWith("Timer1_Timer: "), HasSubstr("abc"))));
  EXPECT_EQ(windows.Trace(), (Texts{"send app QSOPADFUNC 0 1", "send form QSOPADFUNC 0 1", "send panel down 116",
                                    "send panel up 116", "report Timer1_Timer"}))
      << "the report ends the program: the transmitter must be free before it";
  // While the message box is open nothing else is reported and no tick runs.
  Model().SendMacro(13), Type("abc "), Ticks(10);  // "^4 " needs the time too
  EXPECT_EQ(std::tuple(reporter.reports.size(), PanelKeys(), MemoChars()), std::tuple(1u, std::vector<unsigned>{kVkF5}, ""));
}

TEST_F(MainFormTest, ErrorsCarryTheNameOfTheProcedureWhoseTrapCaughtThem) {
  // The expansion traps its own errors and those of the time text it calls.
  const struct { const char *key, *value; std::function<void(MainForm&)> action; const char* procedure; } rows[] = {
      {"GMT", "abc", [](MainForm& m) { m.SendNKCharNB("at ^H"); }, "SExpand: "},
      // Called outside an expansion, the time text's error is its caller's.
      {"GMT", "abc", [](MainForm& m) { m.mnuXTime_Click(); }, "mnuXTime_Click: "},
      {"Zero", "maybe", [](MainForm& m) { m.SendMacro(11); }, "Zeros: "},
      {"SendCR", "yes", [](MainForm& m) { m.OnButtonClick(1); }, "SExpand: "},
      {"Retro", "maybe", [](MainForm& m) { m.OnKeyDown(kVkF1, 0); }, "Form_KeyDown: "},
      {"Zero", "maybe", [](MainForm& m) { m.OnKeyPress('0'); }, "Form_KeyPress: "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.procedure);
    Reset(), Set("Opt", {{"GMT", "0"}, {"Zero", "False"}, {"SendCR", "0"}, {"Retro", "False"}}), Started();
    Set("Opt", row.key, row.value), row.action(Model());
    EXPECT_THAT(reporter.reports, ElementsAre(StartsWith(row.procedure)));
  }
}

TEST(AccessKeys, FindTheButtonWhoseCaptionHasTheKey) {
  const std::array<std::string, 6> captions{"&Send", "", "K1&&X", "A&&&B", "Time/&Date", "S/&N "};
  // "&Rcv" hidden or disabled has no caption; "&&" is an ampersand, not a key.
  const std::pair<char, int> rows[] = {{'s', 1}, {'S', 1}, {'D', 5}, {'n', 6}, {'b', 4}, {'r', 0}, {'x', 0}};
  for (const auto& [letter, button] : rows) EXPECT_EQ(AccessKeyButton(captions, letter), button) << letter;
}

}  // namespace
}  // namespace qsopad
