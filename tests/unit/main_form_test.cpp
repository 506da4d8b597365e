// The main window's model: start-up and shutdown sequences, size saving, font options,
// slashed zeros and the attachment watch, against a recording view and a fake window tree.
#include "app/main_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/layout.h"
#include "app/win_placement.h"
#include "main_form_fixture.h"

namespace qsopad {
namespace {

using fakes::Call;
using fakes::FakeWindowSystem;
using fakes::MainFormTest;

TEST_F(MainFormTest, FreshStartPlacesHalfScreenAtTopLeftAndWritesNothing) {
  AddPsk31();
  Model().Load();
  EXPECT_EQ(view.window, (TwipsRect{0, 0, 9600, 7200}));
  EXPECT_EQ(view.buttons_visible, true);
  EXPECT_EQ(view.caption3, "");
  EXPECT_TRUE(view.menu_visible[0]);
  EXPECT_FALSE(view.menu_visible[1]);
  EXPECT_FALSE(view.font.has_value()) << "no FontName: the designed font stays";
  EXPECT_EQ(Model().DefMacros[10], " ^3 de ^2 ");
  EXPECT_EQ(Model().DefMacros[19], "^\\");
  EXPECT_EQ(Model().DefMacros[0], "");
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(reporter.reports.empty());
  EXPECT_EQ(file->replaces, 0) << "start-up stores nothing";
  ASSERT_NE(Model().funcmsg, 0u);
  EXPECT_EQ(Announcements(), (std::vector<std::pair<std::uintptr_t, std::intptr_t>>{{0, 0}}))
      << "one start-up announcement";
  EXPECT_EQ(Model().link.formwnd, form);
}

TEST_F(MainFormTest, StartUpRunsItsStepsInOrder) {
  AddPsk31();
  Set("Win", "Top", "300");
  Set("Win", "Left", "450");
  Set("Win", "Width", "8000");
  Set("Win", "Height", "6000");
  Set("Call", "MyCall", "ZX0AB");
  Set("Opt", "Buttons", "False");
  Set("Opt", "FontName", "Courier New");
  Model().Load();
  const std::vector<std::string> expected = {
      "menu-visible psk31 1", "menu-visible psk31a 0", "focus", "font", "caption 3",
      "buttons 0",            "show",                  "move 450 300", "resize 8000 6000"};
  EXPECT_EQ(view.calls, expected);
  EXPECT_EQ(view.caption3, "ZX0AB");
}

TEST_F(MainFormTest, RetroShowsTheSecondPsk31Menu) {
  Set("Opt", "Retro", "True");
  Model().Load();
  EXPECT_FALSE(view.menu_visible[0]);
  EXPECT_TRUE(view.menu_visible[1]);
}

TEST_F(MainFormTest, OnlyResizesAfterStartUpSaveTheSize) {
  AddPsk31();
  Model().Load();
  EXPECT_EQ(Get("Win", "Width"), "<absent>") << "the resize start-up makes is not saved";
  view.UserResize(8000, 6000);
  EXPECT_EQ(Get("Win", "Width"), "8000");
  EXPECT_EQ(Get("Win", "Height"), "6000");
  view.normal = false;  // minimised or maximised
  view.UserResize(100, 100);
  EXPECT_EQ(Get("Win", "Width"), "8000");
  view.normal = true;
  Model().nopossave = true;
  view.UserResize(5000, 4000);
  EXPECT_EQ(Get("Win", "Width"), "8000");
}

TEST_F(MainFormTest, FirstUserResizeIsSavedEvenWhenStoredSizeNeededNoResize) {
  // The stored size equals the window's size, so applying it causes no resize event.
  Set("Win", "Width", "7000");
  Set("Win", "Height", "5000");
  Model().Load();
  view.UserResize(7500, 5500);
  EXPECT_EQ(Get("Win", "Width"), "7500");
}

TEST_F(MainFormTest, FailingStepsAreSkipped) {
  AddPsk31();
  Set("Opt", "Retro", "perhaps");
  Set("Opt", "SerialNo", "many");
  Set("Win", "Top", "high");
  Set("Call", "MyCall", "ZX0AB");
  Set("Opt", "WordBK", "True");
  Model().Load();
  EXPECT_EQ(view.caption3, "ZX0AB");
  EXPECT_EQ(Model().serialno, 1);
  EXPECT_TRUE(Model().wordbreak) << "steps after the failing ones still ran";
  EXPECT_EQ(std::count(view.calls.begin(), view.calls.end(), "show"), 1);
  EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(MainFormTest, FontOptionsReachTheTypingArea) {
  Set("Opt", "FontName", "Lucida Console");
  Set("Opt", "FontSize", "8.25");
  Set("Opt", "FontBold", "True");
  Set("Opt", "FontUnderline", "1");
  Set("Opt", "FontColor", "255");
  Set("Opt", "BackColor", "65280");
  Model().SetRegFont();
  ASSERT_TRUE(view.font.has_value());
  EXPECT_EQ(view.font->name, "Lucida Console");
  EXPECT_DOUBLE_EQ(view.font->size, 8.25);
  EXPECT_TRUE(view.font->bold);
  EXPECT_FALSE(view.font->italic);
  EXPECT_TRUE(view.font->underline);
  EXPECT_EQ(view.font->color, 255u);
  EXPECT_EQ(view.font->back_color, 65280u);
}

TEST_F(MainFormTest, BadFontOptionIsReportedUnderSetRegFont) {
  Set("Opt", "FontName", "Arial");
  Set("Opt", "FontSize", "large");
  Model().SetRegFont();
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].rfind("SetRegFont: ", 0), 0u) << reporter.reports[0];
  EXPECT_NE(reporter.reports[0].find("FontSize"), std::string::npos) << reporter.reports[0];
  EXPECT_NE(reporter.reports[0].find("large"), std::string::npos) << reporter.reports[0];
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
  EXPECT_EQ(view.caption3, "ZX\xD8" "AB");
}

TEST_F(MainFormTest, AuxProgramStartsOnlyWhenSet) {
  Model().Load();
  EXPECT_TRUE(windows.CallsOf(Call::Kind::kStart).size() == 1) << "only the PSK31 launch";
  windows.journal.clear();
  Set("Opt", "Aux", "c:\\logger\\log.exe /quiet");
  Model().Load();
  const auto starts = windows.CallsOf(Call::Kind::kStart);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1].text, "c:\\logger\\log.exe /quiet");
  EXPECT_EQ(starts[1].mode, StartMode::kNormalFocused);
}

TEST_F(MainFormTest, ShutdownAnnouncesFirstAndTellsThePairedLogProgram) {
  AddPsk31();
  Model().Load();
  Model().logwnd = 0x5000;
  windows.journal.clear();
  Model().Unload();
  ASSERT_GE(windows.journal.size(), 2u);
  EXPECT_EQ(windows.journal[0].kind, Call::Kind::kSend);
  EXPECT_EQ(windows.journal[0].message, Model().funcmsg) << "the closing is announced first";
  EXPECT_EQ(windows.journal[0].wparam, 1u);
  EXPECT_EQ(windows.journal[0].lparam, 0);
  const auto record = std::find_if(windows.journal.begin(), windows.journal.end(),
                                   [](const Call& c) { return c.kind == Call::Kind::kCopyData; });
  ASSERT_NE(record, windows.journal.end());
  for (auto it = record; it != windows.journal.end(); ++it)
    EXPECT_NE(it->message, Model().funcmsg) << "every announcement before the record";
  EXPECT_EQ(record->window, 0x5000u);
  EXPECT_EQ(record->lparam, 0) << "code 0: closing";
  EXPECT_EQ(record->text, "x");
  EXPECT_EQ(record->wparam, 0x7000u) << "sent with our own window handle";
}

TEST_F(MainFormTest, ShutdownSavesSetupAndClosesPsk31OnlyWithClose) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "Close True" : "Close False");
    windows = FakeWindowSystem();
    model.reset();
    AddPsk31();
    Set("Opt", "Close", close ? "True" : "False");
    Model().Load();
    windows.journal.clear();
    Model().Unload();
    const auto to_form = windows.MessagesTo(form);
    const bool closed = std::count(to_form.begin(), to_form.end(),
                                   std::pair<unsigned, std::uintptr_t>{kWmClose, 0}) == 1;
    EXPECT_EQ(closed, close);
    EXPECT_NE(Get("Win", "Left"), "<absent>") << "the window setup is saved";
  }
}

TEST_F(MainFormTest, AttachmentWatchFollowsThePsk31Form) {
  AddPsk31();
  Model().Load();
  EXPECT_TRUE(Model().WatchAttachment());
  EXPECT_FALSE(view.find_enabled);
  EXPECT_TRUE(view.menu_enabled[0]);
  EXPECT_FALSE(view.menu_enabled[1]);
  Set("Opt", "Retro", "True");
  Model().WatchAttachment();
  EXPECT_FALSE(view.menu_enabled[0]);
  EXPECT_TRUE(view.menu_enabled[1]);
  windows.Window(form).alive = false;
  EXPECT_FALSE(Model().WatchAttachment());
  EXPECT_TRUE(view.find_enabled);
  EXPECT_FALSE(view.menu_enabled[0]);
  EXPECT_FALSE(view.menu_enabled[1]);
}

TEST(ErrorText, NamesProcedureAndDescription) {
  EXPECT_EQ(UnexpectedErrorText("Timer1_Timer", "bad value"),
            "Unexpected error. Please report the following:\r\nTimer1_Timer: bad value");
}

TEST(Layout, ButtonsSitOnTheStatusBarAndTypingAreaFillsTheRest) {
  LayoutInput in;
  in.inner_width = 600;
  in.inner_height = 400;
  in.status_height = 22;
  in.buttons.fill({73, 25});
  in.buttons[2] = {80, 30};
  LayoutResult out = ComputeLayout(in);
  ASSERT_TRUE(out.heights_set && out.widths_set);
  EXPECT_EQ(out.text_width, 600);
  EXPECT_EQ(out.text_height, 400 - 22 - 25);
  EXPECT_EQ(out.buttons[0], (Position{600 - 183, 378 - 25}));  // 2.5 x 73 = 182.5
  EXPECT_EQ(out.buttons[1], (Position{600 - 73, 353}));
  EXPECT_EQ(out.buttons[2], (Position{0, 378 - 30}));
  EXPECT_EQ(out.buttons[3].left, 120);
  EXPECT_EQ(out.buttons[4].left, 240);
  EXPECT_EQ(out.buttons[5].left, 360);

  in.command1_visible = false;
  EXPECT_EQ(ComputeLayout(in).text_height, 378) << "hidden buttons: typing area to the bar";
  EXPECT_EQ(ComputeLayout(in).buttons[0].top, 353) << "hidden buttons still get placed";

  in.inner_height = 0;  // minimised
  out = ComputeLayout(in);
  EXPECT_FALSE(out.heights_set);
  EXPECT_TRUE(out.widths_set);
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
  w.rect = {1, 2, 3, 4};
  w.visible = false;
  SaveWinPos(w, store, "Lg");
  EXPECT_EQ(store.ReadSetting("Win", "LgLeft", "none"), "none");
  w.visible = true;
  w.normal = false;
  SaveWinPos(w, store, "Lg");
  EXPECT_EQ(store.ReadSetting("Win", "LgLeft", "none"), "none");
  w.normal = true;
  SaveWinPos(w, store, "Lg");
  EXPECT_EQ(store.ReadSetting("Win", "LgLeft", ""), "1");
  EXPECT_EQ(store.ReadSetting("Win", "LgTop", ""), "2");
  EXPECT_EQ(store.ReadSetting("Win", "LgWidth", ""), "3");
  EXPECT_EQ(store.ReadSetting("Win", "LgHeight", ""), "4");
  FakePlaced other;
  RestoreWinPos(other, store, "Lg", 0, 0, 0, 0);
  EXPECT_EQ(other.rect, (TwipsRect{1, 2, 3, 4}));
  store.WriteSetting("Win", "LgWidth", "wide");
  FakePlaced untouched;
  RestoreWinPos(untouched, store, "Lg", 0, 0, 0, 0);
  EXPECT_EQ(untouched.rect, (TwipsRect{10, 20, 30, 40})) << "a bad value leaves it alone";
}

}  // namespace
}  // namespace qsopad
