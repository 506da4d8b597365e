// Finding, launching and attaching to the PSK31 program, and the operations that drive it,
// against a fake window tree.
#include "link/psk31_link.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <tuple>

#include "fake_window_system.h"
#include "options/memory_store_file.h"
#include "options/settings_catalogue.h"
#include "options/settings_values.h"

namespace qsopad {
namespace {

using fakes::Call;
using fakes::FakeWindowSystem;
using Kind = Call::Kind;
using Messages = std::vector<std::pair<unsigned, std::uintptr_t>>;
using Handles = std::vector<WindowHandle>;

constexpr const char* kSoundcard = "PSK31 for Windows on the Soundcard";
constexpr const char* kEvm = "PSK31 for Windows on the EVM";
constexpr std::uint32_t kPskThread = 77, kPskProcess = 1234;

// Records what the link asks of the main window; its events join the window journal so
// that the order across both is visible.
class RecordingHost : public LinkHost {
 public:
  explicit RecordingHost(FakeWindowSystem& windows) : windows(windows) {}
  void ShowMessage(const std::string& text, const std::string& title) override {
    boxes.push_back(title + ": " + text), windows.Note("box");
  }
  std::optional<std::string> AskText(const std::string& prompt) override {
    return prompts.push_back(prompt), answer;
  }
  void FocusTypingArea() override { windows.Note("focus Text1"); }
  std::optional<Placement> NormalPlacementTwips() override { return placement; }
  bool NoPosSave() override { return nopossave; }

  FakeWindowSystem& windows;
  std::vector<std::string> boxes, prompts;
  std::optional<std::string> answer;
  std::optional<Placement> placement;
  bool nopossave = false;
};

struct TreeShape {
  std::string form_caption = "PSK31 SB [BPSK]";
  bool panel = true, tune = true, memo = true;
};

struct Psk31Tree {
  WindowHandle app = 0, form = 0, panel = 0, tune = 0, memo = 0, rx_edit = 0, tx_edit = 0;
};

// The PSK31 program's windows, with decoys that a search by the wrong class, caption or
// parent would find first.
Psk31Tree BuildPsk31(FakeWindowSystem& windows, const TreeShape& shape = {}) {
  Psk31Tree tree;
  tree.app = windows.AddTopLevel("TApplication", kSoundcard);
  tree.form = windows.AddTopLevel("TForm1", shape.form_caption);
  for (WindowHandle top : {tree.app, tree.form})
    windows.Window(top).thread = kPskThread, windows.Window(top).process = kPskProcess;
  windows.Window(tree.form).rect = {100, 50, 740, 290};
  windows.AddChild(tree.form, "TButton", "Tune");  // outside the panel
  windows.AddChild(tree.form, "TMemo");
  if (!shape.panel) return tree;
  tree.panel = windows.AddChild(tree.form, "TPanel");
  windows.AddChild(tree.panel, "TButton", "Clear");
  if (shape.tune) tree.tune = windows.AddChild(tree.panel, "TButton", "Tune");
  for (const char* caption : {"Tx Freq Hz", "Rx Freq Hz"}) {
    const WindowHandle group = windows.AddChild(tree.panel, "TGroupBox", caption);
    windows.AddChild(group, "TLabel", "Hz");
    (caption[0] == 'T' ? tree.tx_edit : tree.rx_edit) = windows.AddChild(group, "TEdit", "1000");
  }
  if (shape.memo) tree.memo = windows.AddChild(tree.panel, "TMemo");
  return tree;
}

std::vector<Kind> KindsOf(const std::vector<Call>& calls) {
  std::vector<Kind> kinds;
  for (const Call& call : calls) kinds.push_back(call.kind);
  return kinds;
}

class Psk31LinkTest : public ::testing::Test {
 protected:
  // Attach ended with the form in front and the typing area focused, in that order.
  void ExpectAttachFinished(const Psk31Link& attached, const Psk31Tree& tree) {
    const std::vector<Call>& journal = windows.journal;
    ASSERT_GE(journal.size(), 2u);
    const Call& front = journal[journal.size() - 2];
    EXPECT_EQ(std::tuple(front.kind, front.window, journal.back().text, attached.formwnd),
              std::tuple(Kind::kSetForeground, tree.form, "focus Text1", tree.form));
  }

  FakeWindowSystem windows;
  MemoryStoreFile* file = new MemoryStoreFile;
  SettingsStore store{std::unique_ptr<StoreFile>(file)};
  RecordingHost host{windows};
  Psk31Link link{windows, store, host};
};

TEST_F(Psk31LinkTest, FindPSK31MatchesTheKnownCaptionsOnly) {
  const struct {
    const char* name;
    std::vector<std::pair<const char*, const char*>> top_levels;
    int app, form;  // indexes into top_levels; -1: not found
  } rows[] = {
      {"soundcard QPSK", {{"TApplication", kSoundcard}, {"TForm1", "PSK31 SB [QPSK]"}}, 0, 1},
      {"BPSK first", {{"TApplication", kSoundcard}, {"TForm1", "PSK31 SB [QPSK]"}, {"TForm1", "PSK31 SB [BPSK]"}},
       0, 2},
      {"EVM BPSK", {{"TApplication", kEvm}, {"TForm1", "PSK31 EVM [BPSK]"}}, 0, 1},
      {"EVM QPSK", {{"TApplication", kEvm}, {"TForm1", "PSK31 EVM [QPSK]"}}, 0, 1},
      {"soundcard before EVM",
       {{"TApplication", kEvm}, {"TForm1", "PSK31 EVM [BPSK]"}, {"TApplication", kSoundcard},
        {"TForm1", "PSK31 SB [BPSK]"}},
       2, 3},
      {"EVM does not take the SB form", {{"TApplication", kEvm}, {"TForm1", "PSK31 SB [BPSK]"}}, 0, -1},
      {"unknown mode", {{"TApplication", kSoundcard}, {"TForm1", "PSK31 SB [8PSK]"}}, 0, -1},
      {"wrong class", {{"TForm1", kSoundcard}, {"TForm1", "PSK31 SB [BPSK]"}}, -1, -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeWindowSystem fake;
    Handles handles;
    for (const auto& [cls, caption] : row.top_levels) handles.push_back(fake.AddTopLevel(cls, caption));
    Psk31Link fresh(fake, store, host);
    fresh.formwnd = 0x999;
    EXPECT_EQ(fresh.FindPSK31(), row.app >= 0);
    EXPECT_EQ(fresh.mainwnd, row.app >= 0 ? handles[row.app] : 0);
    const WindowHandle form = row.form >= 0 ? handles[row.form] : 0;
    EXPECT_EQ(fresh.formwnd, row.app >= 0 ? form : 0x999) << "not found: the old form stays";
  }
}

TEST_F(Psk31LinkTest, AttachLaunchesWaitsAndSearchesOnceMore) {
  const std::string usual = "c:\\psk31\\psk31sbw.exe";
  const struct {
    const char* name;
    std::optional<std::string> path, delay;
    std::string expected_path;
    unsigned expected_ms;
  } rows[] = {
      {"stored", "d:\\radio\\psk31sbw.exe", "1500", "d:\\radio\\psk31sbw.exe", 1500},
      {"defaults", std::nullopt, std::nullopt, usual, 500},
      {"bad delay waits the usual time", std::nullopt, "soon", usual, 500},
      {"negative delay", std::nullopt, "-5", usual, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeWindowSystem fake;
    SettingsStore settings{std::make_unique<MemoryStoreFile>()};
    if (row.path) WriteText(settings, keys::kPath, *row.path);
    if (row.delay) WriteText(settings, keys::kLDelay, *row.delay);
    Psk31Tree tree;
    fake.on_start = [&tree](FakeWindowSystem& w) { tree = BuildPsk31(w); };
    Psk31Link fresh(fake, settings, host);
    fresh.AttachPSK31();
    ASSERT_GE(fake.journal.size(), 2u);
    const Call &start = fake.journal[0], &pause = fake.journal[1];
    EXPECT_EQ(std::tuple(start.kind, start.text, start.mode, pause.kind, pause.ms),
              std::tuple(Kind::kStart, row.expected_path, StartMode::kMinimisedFocused, Kind::kPause,
                         row.expected_ms));
    EXPECT_EQ(fresh.memo, tree.memo);
    EXPECT_EQ(fresh.pskpid, kPskProcess) << "the form's owner, not the launcher's answer";
  }
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(Psk31LinkTest, NoKnownFormShowsOneBoxAndStops) {
  const struct {
    const char* name;
    bool running;  // with a form of unknown caption: not launched again
    std::optional<std::uint32_t> start_pid;
    std::vector<Kind> kinds;
    std::uint32_t pid;
  } rows[] = {
      {"launched, nothing appears", false, 555, {Kind::kStart, Kind::kPause, Kind::kNote}, 555},
      {"could not start", false, std::nullopt, {Kind::kStart, Kind::kPause, Kind::kNote}, 0},
      {"running, unknown form", true, 555, {Kind::kNote}, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeWindowSystem fake;
    fake.start_pid = row.start_pid;
    if (row.running) BuildPsk31(fake, {.form_caption = "PSK31 SB [8PSK]"});
    RecordingHost quiet(fake);
    Psk31Link fresh(fake, store, quiet);
    fresh.AttachPSK31();
    EXPECT_EQ(KindsOf(fake.journal), row.kinds);
    EXPECT_EQ(quiet.boxes, std::vector<std::string>{"Error: Can't find PSK31 window"});
    EXPECT_EQ(fresh.pskpid, row.pid);
  }
}

// A running program is not launched again; its input is joined, its controls found, and a
// missing one costs a box but not the rest.
TEST_F(Psk31LinkTest, AttachToARunningProgramFindsItsControls) {
  const struct { const char* name; TreeShape shape; std::vector<std::string> boxes; } rows[] = {
      {"complete", {}, {}},
      {"no panel", {.panel = false},
       {"Error: Can't find PSK31 panel", "Error: Can't find PSK31 tune button", "Error: Can't find PSK31 memo"}},
      {"no tune button", {.tune = false}, {"Error: Can't find PSK31 tune button"}},
      {"no memo", {.memo = false}, {"Error: Can't find PSK31 memo"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    windows = FakeWindowSystem{};
    host.boxes.clear();
    const Psk31Tree t = BuildPsk31(windows, row.shape);
    link.AttachPSK31();
    EXPECT_EQ(host.boxes, row.boxes);
    EXPECT_EQ((Handles{link.mainwnd, link.panelwnd, link.tunewnd, link.memo, link.rxfreqwnd, link.txfreqwnd}),
              (Handles{t.app, t.panel, t.tune, t.memo, t.rx_edit, t.tx_edit}));
    EXPECT_EQ(link.pskpid, kPskProcess);
    EXPECT_TRUE(windows.CallsOf(Kind::kStart).empty());
    ASSERT_EQ(windows.CallsOf(Kind::kAttach).size(), 1u);
    EXPECT_EQ(windows.CallsOf(Kind::kAttach)[0].thread, kPskThread);
    ExpectAttachFinished(link, t);
  }
}

// Stored values that do not convert skip the placement but nothing after it.
TEST_F(Psk31LinkTest, AttachPlacesTheFormOnlyWhenAPositionWasSavedAndIsWanted) {
  const struct {
    const char* name;
    std::vector<std::pair<SettingKey, std::string>> stored;
    std::optional<ScreenRect> move;
  } rows[] = {
      {"never saved", {}, std::nullopt},
      {"PW 0", {{keys::kPw, "0"}, {keys::kPx, "10"}, {keys::kPh, "300"}}, std::nullopt},
      {"saved", {{keys::kPx, "10"}, {keys::kPy, "20"}, {keys::kPw, "500"}, {keys::kPh, "300"}},
       ScreenRect{10, 20, 510, 320}},
      {"saved, SavePos 1", {{keys::kSavePos, "1"}, {keys::kPw, "500"}}, ScreenRect{0, 0, 500, 240}},
      {"SavePos false", {{keys::kSavePos, "False"}, {keys::kPw, "500"}}, std::nullopt},
      {"bad PX", {{keys::kPw, "500"}, {keys::kPx, "abc"}}, std::nullopt},
      {"bad SavePos", {{keys::kPw, "500"}, {keys::kSavePos, "maybe"}}, std::nullopt},
      {"bottom overflows", {{keys::kPw, "500"}, {keys::kPy, "10"}, {keys::kPh, "2147483647"}}, std::nullopt},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    windows = FakeWindowSystem{};
    SettingsStore settings{std::make_unique<MemoryStoreFile>()};
    for (const auto& [key, value] : row.stored) WriteText(settings, key, value);
    const Psk31Tree tree = BuildPsk31(windows);
    Psk31Link fresh(windows, settings, host);
    fresh.AttachPSK31();
    const std::vector<Call> moves = windows.CallsOf(Kind::kMove);
    ASSERT_EQ(moves.size(), row.move ? 1u : 0u);
    if (row.move) {
      EXPECT_EQ(std::pair(moves[0].window, moves[0].rect), std::pair(tree.form, *row.move));
      EXPECT_EQ(windows.journal[0].kind, Kind::kMove) << "before input and foreground";
    }
    EXPECT_EQ(windows.CallsOf(Kind::kAttach).size(), 1u);
    ExpectAttachFinished(fresh, tree);
  }
  EXPECT_TRUE(host.boxes.empty());
}

// Before attaching, nothing goes anywhere.
TEST_F(Psk31LinkTest, KeysAndCharactersGoToTheirWindows) {
  const Psk31Tree tree = BuildPsk31(windows);
  const struct {
    const char* name;
    std::function<void()> action;
    WindowHandle target;
    Messages messages;
  } rows[] = {
      {"F1", [&] { link.PressFunctionKey(1); }, tree.panel, {{kWmKeyDown, 112}, {kWmKeyUp, 112}}},
      {"F8", [&] { link.PressFunctionKey(8); }, tree.panel, {{kWmKeyDown, 119}, {kWmKeyUp, 119}}},
      {"no F0", [&] { link.PressFunctionKey(0); }, tree.panel, {}},
      {"no F9", [&] { link.PressFunctionKey(9); }, tree.panel, {}},
      {"RX up", [&] { link.RxFrequencyUp(); }, tree.memo, {{kWmKeyDown, 39}, {kWmKeyUp, 39}}},
      {"RX down", [&] { link.RxFrequencyDown(); }, tree.memo, {{kWmKeyDown, 37}, {kWmKeyUp, 37}}},
      {"character", [&] { link.SendChar(216); }, tree.memo, {{kWmChar, 216}}},
      {"close", [&] { link.ClosePSK31(); }, tree.form, {{kWmClose, 0}}},
  };
  host.answer = "14";
  for (const auto& row : rows) row.action();
  link.SetRxFrequency();
  EXPECT_EQ(KindsOf(windows.journal), std::vector<Kind>{Kind::kNote}) << "only the focus back";
  link.AttachPSK31();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    windows.journal.clear();
    row.action();
    EXPECT_EQ(windows.MessagesTo(row.target), row.messages);
    EXPECT_EQ(windows.journal.size(), row.messages.size()) << "nothing anywhere else";
    for (const Call& call : windows.journal)
      EXPECT_EQ(std::pair(call.lparam, call.wait_ms), std::pair(std::intptr_t{0}, GuardedSender::kWaitMs));
  }
}

// End, eight backspaces, the answer's bytes as typed, Enter: into the RX box, focused first.
// A program that hangs costs one full wait, not one per message.
TEST_F(Psk31LinkTest, SetRxFrequencyTypesTheAnswerIntoTheRxBox) {
  const Psk31Tree tree = BuildPsk31(windows);
  link.AttachPSK31();
  const struct { const char* name; std::optional<std::string> answer; Messages typed; } rows[] = {
      {"cancelled", std::nullopt, {}},
      {"empty", "", {}},
      {"number", "14", {{kWmChar, '1'}, {kWmChar, '4'}}},
      {"high bytes stay positive", "\xD8\xFF", {{kWmChar, 0xD8}, {kWmChar, 0xFF}}},
      {"not a number", "7 k", {{kWmChar, '7'}, {kWmChar, ' '}, {kWmChar, 'k'}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    windows.journal.clear();
    host.answer = row.answer;
    link.SetRxFrequency();
    if (row.typed.empty()) {
      EXPECT_TRUE(windows.journal.empty());
      continue;
    }
    Messages expected{{kWmKeyDown, kVkEnd}, {kWmKeyUp, kVkEnd}};
    expected.insert(expected.end(), 8, {kWmChar, 8});
    expected.insert(expected.end(), row.typed.begin(), row.typed.end());
    expected.push_back({kWmChar, 13});
    EXPECT_EQ(windows.MessagesTo(tree.rx_edit), expected);
    EXPECT_EQ(windows.journal.size(), expected.size() + 2);
    EXPECT_EQ(std::pair(windows.journal.front().kind, windows.journal.front().window),
              std::pair(Kind::kSetFocus, tree.rx_edit));
    EXPECT_EQ(windows.journal.back().text, "focus Text1");
  }
  EXPECT_EQ(host.prompts.back(), "Enter new RX frequency");

  windows.journal.clear();
  windows.Window(tree.rx_edit).hang_sends = 100;
  host.answer = "14";
  link.SetRxFrequency();
  std::vector<unsigned> waits;
  for (const Call& c : windows.CallsOf(Kind::kSend)) waits.push_back(c.wait_ms);
  std::vector<unsigned> expected(13, GuardedSender::kHungWaitMs);  // all still sent, in order
  expected[0] = GuardedSender::kWaitMs;
  EXPECT_EQ(waits, expected);
  EXPECT_EQ(windows.journal.back().text, "focus Text1");
}

TEST_F(Psk31LinkTest, SaveWindowSetupWritesWhatIsAllowed) {
  using Texts = std::vector<std::string>;
  const struct Row {
    const char* name;
    bool normal = true, nopossave = false, minimised = false, alive = true, savepos_off = false;
    ScreenRect rect{100, 50, 740, 290};
    bool main_written = true, form_written = true;
  } rows[] = {
      {.name = "everything"},
      {.name = "main window not normal", .normal = false, .main_written = false},
      {.name = "nopossave", .nopossave = true, .form_written = false},
      {.name = "PSK31 minimised", .minimised = true, .form_written = false},
      {.name = "PSK31 closed", .alive = false, .form_written = false},
      {.name = "SavePos false still saves", .savepos_off = true},
      {.name = "left and right 0", .rect = {0, 10, 0, 300}, .form_written = false},
      {.name = "left 0 only", .rect = {0, 0, 640, 240}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakeWindowSystem fake;
    SettingsStore settings{std::make_unique<MemoryStoreFile>()};
    RecordingHost owner(fake);
    if (row.normal) owner.placement = LinkHost::Placement{1440, 720, 7200, 5400};
    owner.nopossave = row.nopossave;
    if (row.savepos_off) WriteText(settings, keys::kSavePos, "False");
    Psk31Link fresh(fake, settings, owner);
    fresh.mainwnd = fake.AddTopLevel("TApplication", kSoundcard);
    fresh.formwnd = fake.AddTopLevel("TForm1", "PSK31 SB [BPSK]");
    fake.Window(fresh.mainwnd).minimised = row.minimised;
    fake.Window(fresh.formwnd).alive = row.alive;
    fake.Window(fresh.formwnd).rect = row.rect;
    fresh.SaveWindowSetup();
    Texts main, form;
    for (const SettingKey& k : {keys::kWinLeft, keys::kWinTop, keys::kWinWidth, keys::kWinHeight})
      main.push_back(ReadText(settings, k, "-"));
    for (const SettingKey& k : {keys::kPx, keys::kPy, keys::kPw, keys::kPh}) form.push_back(ReadText(settings, k, "-"));
    const ScreenRect& r = row.rect;
    const Texts saved{std::to_string(r.left), std::to_string(r.top), std::to_string(r.right - r.left),
                      std::to_string(r.bottom - r.top)};
    EXPECT_EQ(main, (row.main_written ? Texts{"1440", "720", "7200", "5400"} : Texts(4, "-")));
    EXPECT_EQ(form, row.form_written ? saved : Texts(4, "-"));
  }
  // A store that cannot be written costs nothing here.
  const Psk31Tree tree = BuildPsk31(windows);
  link.mainwnd = tree.app, link.formwnd = tree.form;
  host.placement = LinkHost::Placement{1, 2, 3, 4};
  file->SetFailReplace(true);
  EXPECT_NO_THROW(link.SaveWindowSetup());
}

}  // namespace
}  // namespace qsopad
