// The main window's model over recording fakes of its ports, for unit tests.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>

#include "app/main_form.h"
#include "fake_window_system.h"
#include "link/psk31_station.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

namespace qsopad::fakes {

using ::testing::ElementsAre, ::testing::HasSubstr, ::testing::StartsWith;

class RecordingView : public MainView {
 public:
  std::vector<std::string> calls;  // the calls whose order start-up fixes
  MainForm* model = nullptr;       // to play the resize that the real window reports
  TwipsRect window{0, 0, 7000, 5000};
  bool normal = true;
  std::optional<FontSpec> font;
  std::array<std::string, 7> caption{};  // Command1..Command6
  bool menu_visible[2] = {true, false}, menu_enabled[2] = {true, true};  // PSK31, PSK31a
  bool find_enabled = true;
  std::string text1;  // the typing area
  std::array<std::string, 6> panels{};
  std::array<bool, 6> panel_enabled{};
  bool send_enabled = true;
  SendColour send_colour = SendColour::kNormal;
  std::vector<std::string> messages;  // "title: text"
  std::vector<std::string> answers;          // what input boxes answer, in turn; none: cancelled
  std::vector<std::string> callsign_window;  // what reached the call sign and result windows
  FakeWindowSystem* journal = nullptr;       // where focus and message boxes are noted too

  void SetMenuVisible(Menu m, bool v) override {
    menu_visible[m == Menu::kPsk31a] = v;
    calls.push_back("menu " + std::to_string(m == Menu::kPsk31a) + (v ? " shown" : " hidden"));
  }
  void SetMenuEnabled(Menu m, bool e) override { menu_enabled[m == Menu::kPsk31a] = e; }
  void SetFindWindowEnabled(bool e) override { find_enabled = e; }
  std::string trouble;
  void SetStationKey(int, bool, const std::string&) override {}
  void SetStationTrouble(const std::string& t) override { trouble = t; }
  void ApplyTypingFont(const FontSpec& f) override { font = f, calls.push_back("font"); }
  void SetButtonCaption(int b, const std::string& c) override {
    caption.at(static_cast<std::size_t>(b)) = c, calls.push_back("caption " + std::to_string(b));
  }
  void SetButtonsVisible(bool v) override { calls.push_back(v ? "buttons shown" : "buttons hidden"); }
  void Show() override { calls.push_back("show"); }
  void MoveTwips(long left, long top) override {
    window.left = left, window.top = top, calls.push_back("move " + std::to_string(left) + " " + std::to_string(top));
  }
  void ResizeTwips(long width, long height) override {
    calls.push_back("resize " + std::to_string(width) + " " + std::to_string(height));
    if (width != window.width || height != window.height) UserResize(width, height);
  }
  TwipsRect ScreenTwips() override { return {0, 0, 19200, 14400}; }
  std::optional<TwipsRect> NormalPlacementTwips() override { return normal ? std::optional(window) : std::nullopt; }
  void FocusTypingArea() override { calls.push_back("focus"), journal ? journal->Note("focus") : void(); }
  void ShowMessage(const std::string& t, const std::string& title) override {
    messages.push_back(title + ": " + t), journal ? journal->Note("box") : void();
  }
  std::optional<std::string> AskText(const std::string&) override {
    if (answers.empty()) return std::nullopt;
    const std::string a = answers.front();
    return answers.erase(answers.begin()), a;
  }
  void AppendTypingText(const std::string& t) override { text1 += t; }
  void MoveTypingCaretToEnd() override {}
  void ClearTypingText() override { text1.clear(); }
  void SetPanelText(Panel p, const std::string& t) override { panels.at(static_cast<std::size_t>(p)) = t; }
  void SetPanelEnabled(Panel p, bool e) override { panel_enabled.at(static_cast<std::size_t>(p)) = e; }
  void SetSendButton(bool e, SendColour c) override { send_enabled = e, send_colour = c; }
  WindowHandle Handle() override { return 0x7000; }
  void OpenCallsignWindow(bool name_first) override { callsign_window.push_back(name_first ? "open name first" : "open"); }
  void SetCallsignWindowCall(const std::string& c) override { callsign_window.push_back("call " + c); }
  void SetCallsignWindowName(const std::string& n) override { callsign_window.push_back("name " + n); }
  void ShowLookupResultWindow() override { callsign_window.push_back("show result"); }
  void UnloadOwnedWindows() override { callsign_window.push_back("unload"); }
  std::optional<std::string> AskOpenFile(const std::string&, const std::string&) override { return std::nullopt; }

  // The window's size changes (the operator drags the border, or a resize took effect).
  void UserResize(long width, long height) { window.width = width, window.height = height, model->OnResize(normal); }
};

class FakeDesktop : public Desktop {
 public:
  LocalTime now{2026, 12, 6, 10, 30, 0};
  std::optional<std::string> clipboard;
  int beeps = 0;
  LocalTime Now() override { return now; }
  std::string MonthAbbreviation(int m) override { return m == 12 ? "Dec" : "M" + std::to_string(m); }
  void Beep() override { ++beeps; }
  std::optional<std::string> ClipboardText() override { return clipboard; }
};

// Records what the model held when it asked for a rebuild: the list shows that state.
class CountingPalette : public MacroPalette {
 public:
  int rebuilds = 0;
  const MainForm* model = nullptr;
  std::vector<std::string> seen;  // "ocall|namebuf|serialno" at each rebuild
  std::function<void()> on_unload;
  void InitList() override {
    ++rebuilds;
    if (model) seen.push_back(model->ocall + "|" + model->namebuf + "|" + std::to_string(model->serialno));
  }
  void ShowPalette() override {}
  void UnloadPalette() override { on_unload ? on_unload() : void(); }
};

// Notes each report in the window journal, to show its order against the other programs.
class RecordingReporter : public ErrorReporter {
 public:
  explicit RecordingReporter(FakeWindowSystem& w) : windows(w) {}
  FakeWindowSystem& windows;
  std::vector<std::string> reports;
  void Report(const std::string& proc, const std::string& what) override {
    reports.push_back(proc + ": " + what), windows.Note("report " + proc);
  }
};

struct Psk31Shape { std::string form_caption = "PSK31 SB [BPSK]"; bool tune = true, memo = true; };

class MainFormTest : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kPskThread = 77, kPskProcess = 1234;

  MainFormTest() : store(std::make_unique<MemoryStoreFile>(file)) {}

  // The PSK31 program's windows, with decoys that a search by the wrong class, caption or parent would find first.
  void AddPsk31(const Psk31Shape& shape = {}) {
    // Named for Trace(); the decoys show as their class.
    auto named = [this](WindowHandle window, const char* name) {
      windows.Window(window).name = name;
      return window;
    };
    app = named(windows.AddTopLevel("TApplication", "PSK31 for Windows on the Soundcard"), "app");
    form = named(windows.AddTopLevel("TForm1", shape.form_caption), "form");
    for (const WindowHandle top : {app, form}) {
      windows.Window(top).thread = kPskThread;
      windows.Window(top).process = kPskProcess;
    }
    windows.AddChild(form, "TButton", "Tune");  // outside the panel
    windows.AddChild(form, "TMemo");
    panel = named(windows.AddChild(form, "TPanel"), "panel");
    windows.AddChild(panel, "TButton", "Clear");
    tune = shape.tune ? named(windows.AddChild(panel, "TButton", "Tune"), "tune") : 0;
    for (const bool tx : {true, false}) {
      const WindowHandle group = windows.AddChild(panel, "TGroupBox", tx ? "Tx Freq Hz" : "Rx Freq Hz");
      windows.AddChild(group, "TLabel", "Hz");
      (tx ? tx_edit : rx_edit) = named(windows.AddChild(group, "TEdit", "1000"), tx ? "tx" : "rx");
    }
    memo = shape.memo ? named(windows.AddChild(panel, "TMemo"), "memo") : 0;
  }
  // Attached to a running PSK31 program, start-up done, journal cleared.
  void Started() { AddPsk31(), Model().Load(), windows.journal.clear(); }
  // A fresh window tree, view and model, for the next row of a table.
  void Reset() { windows = FakeWindowSystem(), view = RecordingView(), model.reset(), reporter.reports.clear(); }
  // The characters typed into the memo (sent or handed over), and the keys pressed on the panel.
  std::string MemoChars() const {
    std::string out;
    for (const Call& c : windows.journal) out += c.window == memo && c.message == kWmChar ? std::string(1, char(c.wparam)) : "";
    return out;
  }
  std::vector<unsigned> PanelKeys() const {
    std::vector<unsigned> out;
    for (const Call& c : windows.journal)
      if (c.window == panel && c.message == kWmKeyDown) out.push_back(unsigned(c.wparam));
    return out;
  }
  void Type(const std::string& keys) { for (const char c : keys) Model().OnKeyPress(static_cast<unsigned char>(c)); }
  void Ticks(int n) { while (n-- > 0) Model().Tick(); }
  MainForm& Model() {
    if (!model) {
      model = std::make_unique<MainForm>(store, windows, view, reporter, desktop, palette, stations);
      view.model = model.get(), view.journal = &windows, palette.model = model.get();
    }
    return *model;
  }
  void Set(std::string_view s, std::string_view k, std::string_view v) { store.WriteSetting(s, k, v); }
  void Set(std::string_view section, std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
    for (const auto& [key, value] : values) Set(section, key, value);
  }
  std::string Get(std::string_view s, std::string_view k) { return store.ReadSetting(s, k, "<absent>"); }

  std::shared_ptr<MemoryStoreFile::Shared> file = MemoryStoreFile().SharedState();
  SettingsStore store;
  FakeWindowSystem windows;
  RecordingView view;
  RecordingReporter reporter{windows};
  FakeDesktop desktop;
  CountingPalette palette;
  Psk31Stations stations{windows, store};
  std::unique_ptr<MainForm> model;
  WindowHandle app = 0, form = 0, panel = 0, tune = 0, memo = 0, rx_edit = 0, tx_edit = 0;
};

}  // namespace qsopad::fakes
