// The main window's model: start-up and shutdown sequences, size saving, font options,
// slashed zeros and the attachment watch, against a recording view and a fake window tree.
#include "app/main_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "app/layout.h"
#include "app/win_placement.h"
#include "main_form_fixture.h"

namespace qsopad {
namespace {

using fakes::Call;
using fakes::MainFormTest;

// The Aux program starts only when set.
TEST_F(MainFormTest, FreshStartPlacesHalfScreenAtTopLeftAndWritesNothing) {
  AddPsk31();
  Model().Load();
  EXPECT_EQ(view.window, (TwipsRect{0, 0, 9600, 7200}));
  EXPECT_EQ(view.buttons_visible, true);
  EXPECT_FALSE(view.font.has_value()) << "no FontName: the designed font stays";
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_EQ(file->replaces, 0) << "start-up stores nothing";
  EXPECT_EQ(Announcements(), (std::vector<std::pair<std::uintptr_t, std::intptr_t>>{{0, 0}}));
  EXPECT_EQ(static_cast<Psk31Station&>(Model().station()).link.formwnd, form);
  EXPECT_TRUE(windows.CallsOf(Call::Kind::kStart).empty()) << "no Aux program set";
  Set("Opt", "Aux", "c:\\logger\\log.exe /quiet");
  Model().Load();
  const auto starts = windows.CallsOf(Call::Kind::kStart);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(std::tuple(starts[0].text, starts[0].mode),
            std::tuple("c:\\logger\\log.exe /quiet", StartMode::kNormalFocused));
}

TEST_F(MainFormTest, StartUpRunsItsStepsInOrder) {
  AddPsk31();
  Set("Win", {{"Top", "300"}, {"Left", "450"}, {"Width", "8000"}, {"Height", "6000"}});
  Set("Call", "MyCall", "ZX0AB");
  Set("Opt", {{"Buttons", "False"}, {"FontName", "Courier New"}});
  Model().Load();
  EXPECT_EQ(view.calls, (std::vector<std::string>{
                            "menu 0 shown", "menu 1 hidden", "focus", "font", "caption 3",
                            "buttons hidden", "show", "move 450 300", "resize 8000 6000"}));
  EXPECT_EQ(view.caption[3], "ZX0AB");
}

TEST_F(MainFormTest, OnlyTheOperatorsResizesSaveTheSize) {
  // Stored size none (start-up resizes) or equal to the window's (no resize happens): the
  // first resize the operator makes is saved either way.
  for (const bool stored : {true, false}) {
    SCOPED_TRACE(stored ? "stored size equals the window's" : "nothing stored");
    Reset();
    store.DeleteSection("Win");
    if (stored) Set("Win", {{"Width", "7000"}, {"Height", "5000"}});
    Model().Load();
    EXPECT_EQ(Get("Win", "Width"), stored ? "7000" : "<absent>");
    view.UserResize(8000, 6000);
    EXPECT_EQ(Get("Win", "Width") + "x" + Get("Win", "Height"), "8000x6000");
  }
  view.normal = false;  // minimised or maximised
  view.UserResize(100, 100);
  view.normal = true;
  Model().nopossave = true;
  view.UserResize(5000, 4000);
  EXPECT_EQ(Get("Win", "Width"), "8000");
}

TEST_F(MainFormTest, FailingStepsAreSkipped) {
  AddPsk31();
  Set("Opt", {{"Retro", "perhaps"}, {"SerialNo", "many"}, {"WordBK", "True"}});
  Set("Win", "Top", "high");
  Set("Call", "MyCall", "ZX0AB");
  Model().Load();
  EXPECT_EQ(std::tuple(view.caption[3], Model().serialno, Model().wordbreak), std::tuple("ZX0AB", 1, true))
      << "steps after the failing ones still ran";
  EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "show"), 1);
  EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(MainFormTest, FontOptionsReachTheTypingAreaAndABadOneIsReported) {
  Set("Opt", {{"FontName", "Lucida Console"}, {"FontSize", "8.25"}, {"FontBold", "True"}, {"FontUnderline", "1"},
              {"FontColor", "255"}, {"BackColor", "65280"}});
  Model().SetRegFont();
  EXPECT_EQ(view.font, (FontSpec{"Lucida Console", 8.25, true, false, false, true, 255, 65280}));

  view.font.reset();
  Set("Opt", "FontSize", "large");
  Model().SetRegFont();
  EXPECT_THAT(reporter.reports,
              fakes::ElementsAre(::testing::AllOf(fakes::StartsWith("SetRegFont: "), fakes::HasSubstr("FontSize"),
                                                  fakes::HasSubstr("large"))));
  EXPECT_FALSE(view.font.has_value());
}

TEST_F(MainFormTest, SlashedZerosFollowTheOption) {
  std::string call = "ZX0A00";
  Model().Zeros(call);
  EXPECT_EQ(call, "ZX0A00");
  Set("Opt", "Zero", "True");
  Model().Zeros(call);
  EXPECT_EQ(call, "ZX\xD8" "A\xD8\xD8");
  EXPECT_EQ(Model().Noslash(call), "ZX0A00");
  Set("Call", "MyCall", "ZX0AB");
  Model().Load();
  EXPECT_EQ(view.caption[3], "ZX\xD8" "AB");
}

// Announce, tell the paired log program, save the window setup, unload the palette, close
// the PSK31 program when "Close" asks for it: in that order.
TEST_F(MainFormTest, ShutdownRunsItsStepsInOrder) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "Close True" : "Close False");
    Reset();
    store.DeleteSection("Win");
    AddPsk31();
    Set("Opt", "Close", close ? "True" : "False");
    Model().Load();
    Model().logwnd = 0x5000;
    windows.journal.clear();
    palette.on_unload = [&] {
      windows.Note(Get("Win", "Left") == "<absent>" ? "palette, setup unsaved" : "palette");
    };
    Model().Unload();

    std::vector<std::string> steps;
    for (const Call& c : windows.journal) {
      if (c.kind == Call::Kind::kNote) steps.push_back(c.text);
      if (c.kind == Call::Kind::kCopyData && c.wparam == 0x7000)
        steps.push_back("record " + std::to_string(c.lparam) + " " + c.text);
      if (c.message == Model().funcmsg && steps.empty())
        steps.push_back("announce " + std::to_string(c.wparam) + " " + std::to_string(c.lparam));
      if (c.message == kWmClose && c.window == form) steps.push_back("close");
    }
    std::vector<std::string> expected{"announce 1 0", "record 0 x", "palette"};
    if (close) expected.push_back("close");
    EXPECT_EQ(steps, expected);
  }
}

TEST_F(MainFormTest, RetroChoosesThePsk31MenuAtStartAndAttachmentWatchFollowsTheForm) {
  AddPsk31();
  Set("Opt", "Retro", "True");
  Model().Load();
  EXPECT_EQ(std::pair(view.menu_visible[0], view.menu_visible[1]), std::pair(false, true));
  EXPECT_TRUE(Model().WatchAttachment());
  using Menus = std::tuple<bool, bool, bool>;  // find window, PSK31, PSK31a enabled
  EXPECT_EQ(Menus(view.find_enabled, view.menu_enabled[0], view.menu_enabled[1]), Menus(false, false, true));
  Set("Opt", "Retro", "False");
  Model().WatchAttachment();
  EXPECT_EQ(Menus(view.find_enabled, view.menu_enabled[0], view.menu_enabled[1]), Menus(false, true, false));
  windows.Window(form).alive = false;
  EXPECT_FALSE(Model().WatchAttachment());
  EXPECT_EQ(Menus(view.find_enabled, view.menu_enabled[0], view.menu_enabled[1]), Menus(true, false, false));
}

TEST(Layout, ButtonsSitOnTheStatusBarAndTypingAreaFillsTheRest) {
  LayoutInput in;
  in.inner_width = 600, in.inner_height = 400, in.status_height = 22;
  in.buttons.fill({73, 25});
  in.buttons[2] = {80, 30};
  LayoutResult out = ComputeLayout(in);
  ASSERT_TRUE(out.heights_set && out.widths_set);
  EXPECT_EQ(std::pair(out.text_width, out.text_height), std::pair(600, 400 - 22 - 25));
  EXPECT_EQ(out.buttons[0], (Position{600 - 183, 378 - 25}));  // 2.5 x 73 = 182.5
  EXPECT_EQ(out.buttons[1], (Position{600 - 73, 353}));
  EXPECT_EQ(out.buttons[2], (Position{0, 378 - 30}));
  EXPECT_EQ(out.buttons[5].left, 360);

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

TEST(WinPlacement, RestoresDefaultsAndSavesOnlyVisibleNormalWindows) {
  SettingsStore store(std::make_unique<MemoryStoreFile>());
  FakePlaced w;
  RestoreWinPos(w, store, "Lg", 100, 200, 3000, 4000);
  EXPECT_EQ(w.rect, (TwipsRect{200, 100, 3000, 4000}));
  for (const auto& [visible, normal] : {std::pair{false, true}, std::pair{true, false}}) {
    w.visible = visible, w.normal = normal;
    SaveWinPos(w, store, "Lg");
    EXPECT_TRUE(store.ListSection("Win").empty());
  }
  w.normal = true, w.rect = {1, 2, 3, 4};
  SaveWinPos(w, store, "Lg");
  EXPECT_EQ(store.ReadSetting("Win", "LgLeft", "") + store.ReadSetting("Win", "LgHeight", ""), "14");
  FakePlaced other;
  RestoreWinPos(other, store, "Lg", 0, 0, 0, 0);
  EXPECT_EQ(other.rect, (TwipsRect{1, 2, 3, 4}));
  store.WriteSetting("Win", "LgWidth", "wide");
  FakePlaced untouched;
  RestoreWinPos(untouched, store, "Lg", 0, 0, 0, 0);
  EXPECT_EQ(untouched.rect, (TwipsRect{10, 20, 30, 40})) << "a bad value leaves it alone";
}

TEST_F(MainFormTest, CallsignWindowsFollowStartUpThePartnerAndShutdown) {
  Set("Opt", "CSPAL", "1");
  Set("Opt", "LPAL", "1");
  Started();
  EXPECT_EQ(view.callsign_window, (std::vector<std::string>{"open", "show result"}));
  view.callsign_window.clear();
  Model().OnPanelClick(MainView::Panel::kOcall, false);
  Model().OnPanelClick(MainView::Panel::kQName, false);
  Model().OnButtonRightClick(4);
  Model().ocall = "K1ABC";
  Model().SetOcall(false);
  Model().namebuf = "Jo";
  Model().SetNamebuf(false);
  Model().Unload();
  EXPECT_EQ(view.callsign_window, (std::vector<std::string>{"open", "open name first", "open", "call K1ABC",
                                                             "name Jo", "unload"}));
}

}  // namespace
}  // namespace qsopad
