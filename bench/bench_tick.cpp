// What one timer tick costs in the core: the attachment watch, the transmit state, the
// status refresh every 21st tick and one pump step, against a fake PSK31 program.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "../tests/unit/fake_window_system.h"
#include "app/main_form.h"
#include "link/psk31_station.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

namespace {

using namespace qsopad;

class NullView : public MainView {
 public:
  void SetMenuVisible(Menu, bool) override {}
  void SetMenuEnabled(Menu, bool) override {}
  void SetFindWindowEnabled(bool) override {}
  void SetStationKey(int, bool, const std::string&) override {}
  void SetStationTrouble(const std::string&) override {}
  void ApplyTypingFont(const FontSpec&) override {}
  void SetButtonCaption(int, const std::string&) override {}
  void SetButtonsVisible(bool) override {}
  void Show() override {}
  void MoveTwips(long, long) override {}
  void ResizeTwips(long, long) override {}
  TwipsRect ScreenTwips() override { return {0, 0, 19200, 14400}; }
  std::optional<TwipsRect> NormalPlacementTwips() override { return TwipsRect{}; }
  void FocusTypingArea() override {}
  void ShowMessage(const std::string&, const std::string&) override {}
  std::optional<std::string> AskText(const std::string&) override { return std::nullopt; }
  void AppendTypingText(const std::string&) override {}
  void MoveTypingCaretToEnd() override {}
  void ClearTypingText() override {}
  void SetPanelText(Panel, const std::string&) override {}
  void SetPanelEnabled(Panel, bool) override {}
  void SetSendButton(bool, SendColour) override {}
  WindowHandle Handle() override { return 0x7000; }
  void OpenCallsignWindow(bool) override {}
  void SetCallsignWindowCall(const std::string&) override {}
  void SetCallsignWindowName(const std::string&) override {}
  void ShowLookupResultWindow() override {}
  void UnloadOwnedWindows() override {}
  std::optional<std::string> AskOpenFile(const std::string&, const std::string&) override {
    return std::nullopt;
  }
};

class NullDesktop : public Desktop {
 public:
  LocalTime Now() override { return {2026, 12, 6, 10, 30, 0}; }
  std::string MonthAbbreviation(int) override { return "Dec"; }
  void Beep() override {}
  std::optional<std::string> ClipboardText() override { return std::nullopt; }
};

class NullPalette : public MacroPalette {
 public:
  void InitList() override {}
  void ShowPalette() override {}
  void UnloadPalette() override {}
};

class NullReporter : public ErrorReporter {
 public:
  void Report(const std::string&, const std::string& d) override { throw std::runtime_error(d); }
};

struct Station {
  Station() : store(std::make_unique<MemoryStoreFile>()) {
    windows.AddTopLevel("TApplication", "PSK31 for Windows on the Soundcard");
    const WindowHandle form = windows.AddTopLevel("TForm1", "PSK31 SB [BPSK]");
    const WindowHandle panel = windows.AddChild(form, "TPanel");
    windows.AddChild(panel, "TButton", "Tune");
    windows.AddChild(panel, "TMemo");
    model = std::make_unique<MainForm>(store, windows, view, reporter, desktop, palette, stations);
    model->Load();
  }
  SettingsStore store;
  fakes::FakeWindowSystem windows;
  NullView view;
  NullReporter reporter;
  NullDesktop desktop;
  NullPalette palette;
  Psk31Stations stations{windows, store};
  std::unique_ptr<MainForm> model;
};

// Receiving, nothing queued: what an idle console costs 40 times a second.
void BM_TickIdle(benchmark::State& state) {
  Station s;
  for (auto _ : state) {
    s.model->Tick();
    if (s.windows.journal.size() > 4096) s.windows.journal.clear();
  }
}
BENCHMARK(BM_TickIdle);

// Transmitting: every tick types one character into the memo.
void BM_TickSending(benchmark::State& state) {
  Station s;
  s.model->SendNKCharNB("^9");
  const std::string text(4096, 'e');
  for (auto _ : state) {
    if (s.model->sendbuf.empty()) s.model->sendbuf = text;
    s.model->Tick();
    if (s.windows.journal.size() > 4096) s.windows.journal.clear();
  }
}
BENCHMARK(BM_TickSending);

}  // namespace

BENCHMARK_MAIN();
