#include "app/main_form.h"

#include <cmath>
#include <exception>

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

namespace {

// Runs one step of a sequence whose failing steps are skipped.
template <typename F>
void Step(F&& f) {
  try {
    f();
  } catch (...) {
  }
}

}  // namespace

std::string UnexpectedErrorText(const std::string& procedure, const std::string& description) {
  return "Unexpected error. Please report the following:\r\n" + procedure + ": " + description;
}

std::array<std::string, kMacroCount> BuildDefMacros() {
  std::array<std::string, kMacroCount> m{};
  m[10] = " ^3 de ^2 ";
  m[11] = "^2 ";
  m[12] = "^3 ";
  m[13] = "^4 ";
  m[14] = "^5 ";
  m[15] = "^6";
  m[16] = "^? ";
  m[17] = "";
  m[18] = "^9";
  m[19] = "^\\";
  return m;
}

MainForm::MainForm(SettingsStore& store, WindowSystem& windows, MainView& view,
                   ErrorReporter& reporter)
    : link(windows, store, *this),
      store_(store),
      windows_(windows),
      view_(view),
      reporter_(reporter) {}

void MainForm::Load() {
  Step([&] { DefMacros = BuildDefMacros(); });
  Step([&] {
    const bool retro = ReadBool(store_, keys::kRetro);
    view_.SetMenuVisible(MainView::Menu::kPsk31, !retro);
    view_.SetMenuVisible(MainView::Menu::kPsk31a, retro);
  });
  Step([&] { ElapsedTime = ReadBool(store_, keys::kTod); });
  txmode = 0;
  Step([&] { serialno = ReadLong(store_, keys::kSerialNo); });
  Step([&] { link.AttachPSK31(); });
  Step([&] { SetRegFont(); });
  Step([&] {
    mycall = ReadText(store_, keys::kMyCall);
    Zeros(mycall);
    view_.SetButtonCaption(3, mycall);
  });
  Step([&] { view_.SetButtonsVisible(ReadBool(store_, keys::kButtons)); });
  Step([&] { view_.Show(); });
  Step([&] {
    const TwipsRect screen = view_.ScreenTwips();
    const long top = ReadLong(store_, keys::kWinTop);
    const long left = ReadLong(store_, keys::kWinLeft);
    view_.MoveTwips(left, top);
    const long width = ReadLong(store_, keys::kWinWidth, screen.width / 2);
    const long height = ReadLong(store_, keys::kWinHeight, screen.height / 2);
    sizeready = false;
    view_.ResizeTwips(width, height);
    // When the stored size equals the current one no resize happens; the flag must not
    // then swallow the operator's first real resize.
    sizeready = true;
  });
  Step([&] {
    const std::string aux = ReadText(store_, keys::kAux);
    if (!aux.empty()) windows_.StartProgram(aux, StartMode::kNormalFocused);
  });
  Step([&] { wordbreak = ReadBool(store_, keys::kWordBk); });
}

void MainForm::Unload() {
  Step([&] { link.SaveWindowSetup(); });
  Step([&] {
    if (ReadBool(store_, keys::kClose)) link.ClosePSK31();
  });
}

void MainForm::OnResize(bool normal_state) {
  if (!sizeready) {
    sizeready = true;
    return;
  }
  if (!normal_state || nopossave) return;
  Step([&] {
    const std::optional<TwipsRect> placement = view_.NormalPlacementTwips();
    if (!placement) return;
    if (placement->width != 0) WriteLong(store_, keys::kWinWidth, placement->width);
    if (placement->height != 0) WriteLong(store_, keys::kWinHeight, placement->height);
  });
}

FontSpec MainForm::ReadFontSpec() const {
  FontSpec f;
  f.name = ReadText(store_, keys::kFontName);
  f.size = ReadNumber(store_, keys::kFontSize);
  f.bold = ReadBool(store_, keys::kFontBold);
  f.italic = ReadBool(store_, keys::kFontItalic);
  f.strikethru = ReadBool(store_, keys::kFontStrikethru);
  f.underline = ReadBool(store_, keys::kFontUnderline);
  f.color = static_cast<std::uint32_t>(ReadLong(store_, keys::kFontColor)) & 0xFFFFFFu;
  f.back_color = static_cast<std::uint32_t>(ReadLong(store_, keys::kBackColor)) & 0xFFFFFFu;
  return f;
}

void MainForm::SetRegFont() {
  Guard("SetRegFont", [&] {
    if (ReadText(store_, keys::kFontName).empty()) return;
    view_.ApplyTypingFont(ReadFontSpec());
  });
}

void MainForm::Zeros(std::string& s) const {
  if (!ReadBool(store_, keys::kZero)) return;
  for (char& c : s) {
    if (c == '0') c = static_cast<char>(kSlashedZero);
  }
}

std::string MainForm::Noslash(std::string s) const {
  if (!ReadBool(store_, keys::kZero)) return s;
  for (char& c : s) {
    if (static_cast<unsigned char>(c) == kSlashedZero) c = '0';
  }
  return s;
}

bool MainForm::WatchAttachment() {
  if (windows_.IsAlive(link.formwnd)) {
    view_.SetFindWindowEnabled(false);
    const bool retro = ReadBool(store_, keys::kRetro);
    view_.SetMenuEnabled(MainView::Menu::kPsk31, !retro);
    view_.SetMenuEnabled(MainView::Menu::kPsk31a, retro);
    return true;
  }
  view_.SetFindWindowEnabled(true);
  view_.SetMenuEnabled(MainView::Menu::kPsk31, false);
  view_.SetMenuEnabled(MainView::Menu::kPsk31a, false);
  txmode = 0;
  return false;
}

void MainForm::Guard(const char* procedure, const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    reporter_.Report(procedure, e.what());
  } catch (...) {
    reporter_.Report(procedure, "unknown error");
  }
}

void MainForm::ShowMessage(const std::string& text, const std::string& title) {
  view_.ShowMessage(text, title);
}

std::optional<std::string> MainForm::AskText(const std::string& prompt) {
  return view_.AskText(prompt);
}

void MainForm::FocusTypingArea() { view_.FocusTypingArea(); }

std::optional<LinkHost::Placement> MainForm::NormalPlacementTwips() {
  const std::optional<TwipsRect> r = view_.NormalPlacementTwips();
  if (!r) return std::nullopt;
  return Placement{r->left, r->top, r->width, r->height};
}

}  // namespace qsopad
