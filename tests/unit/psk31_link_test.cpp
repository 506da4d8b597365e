// Finding, launching and attaching to the PSK31 program, and the operations that drive it,
// against a fake window tree, with the main window's model as the link's host; and the guarded
// sender under them: full waits while a program answers, short probes while it does not.
#include "link/psk31_link.h"

#include <gtest/gtest.h>

#include <functional>

#include "main_form_fixture.h"
#include "options/settings_catalogue.h"
#include "options/settings_values.h"

namespace qsopad {
namespace {

using fakes::Call;
using fakes::FakeWindowSystem;
using Handles = std::vector<WindowHandle>;
using Texts = std::vector<std::string>;
using Stored = std::vector<std::pair<SettingKey, std::string>>;
using namespace std::string_literals;

constexpr const char* kSoundcard = "PSK31 for Windows on the Soundcard";
constexpr const char* kEvm = "PSK31 for Windows on the EVM";

// Every call to one window, a letter each: S a send waiting 2000 ms, p a WM_NULL probe
// waiting 20 ms, h handed over without waiting; any other wait is written out.
std::string CallsTo(const FakeWindowSystem& windows, WindowHandle window) {
  std::string out;
  for (const Call& c : windows.journal) {
    if (c.window == window && c.kind == Call::Kind::kNotify) out += 'h';
    if (c.window != window || (c.kind != Call::Kind::kSend && c.kind != Call::Kind::kCopyData)) continue;
    const bool probe = c.message == kWmNull;
    out += c.wait_ms == (probe ? 20u : 2000u) ? (probe ? "p" : "S") : "<" + std::to_string(c.wait_ms) + ">";
  }
  return out;
}

class Psk31LinkTest : public fakes::MainFormTest {
 protected:
  Psk31Link& Link() { return static_cast<Psk31Station&>(Model().station()).link; }
  // A fresh window tree and main window over a store that holds `stored` only.
  void Fresh(const Stored& stored = {}) {
    Reset();
    for (const char* section : {"Opt", "Win"}) store.DeleteSection(section);
    for (const auto& [key, value] : stored) WriteText(store, key, value);
  }
};

TEST_F(Psk31LinkTest, FindPSK31MatchesTheKnownCaptionsOnly) {
  using Top = std::pair<const char*, const char*>;
  const struct { const char* name; std::vector<Top> top_levels; int app, form; } rows[] = {  // -1: not found
      {"soundcard QPSK", {{"TApplication", kSoundcard}, {"TForm1", "PSK31 SB [QPSK]"}}, 0, 1},
      {"BPSK first", {{"TApplication", kSoundcard}, {"TForm1", "PSK31 SB [QPSK]"}, {"TForm1", "PSK31 SB [BPSK]"}}, 0, 2},
      {"EVM QPSK", {{"TApplication", kEvm}, {"TForm1", "PSK31 EVM [QPSK]"}}, 0, 1},
      {"soundcard before EVM", {{"TApplication", kEvm}, {"TForm1", "PSK31 EVM [BPSK]"}, {"TApplication", kSoundcard},
                                {"TForm1", "PSK31 SB [BPSK]"}}, 2, 3},
      {"EVM does not take the SB form", {{"TApplication", kEvm}, {"TForm1", "PSK31 SB [BPSK]"}}, 0, -1},
      {"unknown mode", {{"TApplication", kSoundcard}, {"TForm1", "PSK31 SB [8PSK]"}}, 0, -1},
      {"caption with a blank more", {{"TApplication", kSoundcard}, {"TForm1", "PSK31 SB [BPSK] "}}, 0, -1},
      {"wrong class", {{"TForm1", kSoundcard}, {"TForm1", "PSK31 SB [BPSK]"}}, -1, -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Fresh();
    Handles handles;
    for (const auto& [cls, caption] : row.top_levels) handles.push_back(windows.AddTopLevel(cls, caption));
    Psk31Link& fresh = Link();
    fresh.formwnd = 0x999;
    EXPECT_EQ(fresh.FindPSK31(), row.app >= 0);
    const WindowHandle form = row.app < 0 ? 0x999 : row.form >= 0 ? handles[row.form] : 0;
    EXPECT_EQ(std::pair(fresh.mainwnd, fresh.formwnd), std::pair(row.app >= 0 ? handles[row.app] : 0, form))
        << "not found: the old form stays";
  }
}

// Not running: launched, waited for, searched once more; running: not launched again. Then its controls are found
// (a missing one costs a box but not the rest), its input joined, its form placed when a position was saved and is
// wanted (values that do not convert skip the placement only), brought to the front, and the typing area focused. A
// form that does not appear costs one box and nothing else. (A program that cannot start, a missing panel and a
// saved place: end to end.)
TEST_F(Psk31LinkTest, AttachLaunchesOrFindsTheProgramThenItsControlsAndPlacesItsForm) {
  const std::string kTune = "Error: Can't find PSK31 tune button", kMemo = "Error: Can't find PSK31 memo",
                    kNoWindow = "Error: Can't find PSK31 window", kStart = "start c:\\psk31\\psk31sbw.exe minimised";
  enum Launch { kRunning, kAppears, kNothingAppears };
  const struct { const char* name; Launch launch; Stored stored; Texts trace, boxes = {}; fakes::Psk31Shape shape = {};
  } rows[] = {  // trace: up to the attachment
      {"stored", kAppears, {{keys::kPath, "d:\\radio\\psk31sbw.exe"}, {keys::kLDelay, "1500"}},
       {"start d:\\radio\\psk31sbw.exe minimised", "pause 1500"}},
      {"defaults", kAppears, {}, {kStart, "pause 500"}},
      {"bad delay waits the usual time", kAppears, {{keys::kLDelay, "soon"}}, {kStart, "pause 500"}},
      {"negative delay", kAppears, {{keys::kLDelay, "-5"}}, {kStart, "pause 0"}},
      {"nothing appears", kNothingAppears, {{keys::kLDelay, "0"}}, {kStart, "pause 0", "box"}, {kNoWindow}},
      {"no tune button", kRunning, {}, {"box"}, {kTune}, {.tune = false}},
      {"no memo", kRunning, {{keys::kPw, "500"}}, {"box", "move form 0 0 500 240"}, {kMemo}, {.memo = false}},
      {"unknown form", kRunning, {}, {"box"}, {kNoWindow}, {.form_caption = "PSK31 SB [8PSK]"}},
      {"PW 0", kRunning, {{keys::kPw, "0"}, {keys::kPx, "10"}, {keys::kPh, "300"}}, {}},
      {"saved, SavePos 1", kRunning, {{keys::kSavePos, "1"}, {keys::kPw, "1"}}, {"move form 0 0 1 240"}},
      {"off the screen's left", kRunning, {{keys::kPx, "-1920"}, {keys::kPw, "500"}}, {"move form -1920 0 -1420 240"}},
      {"SavePos false", kRunning, {{keys::kSavePos, "False"}, {keys::kPw, "500"}}, {}},
      {"bad PX", kRunning, {{keys::kPw, "500"}, {keys::kPx, "abc"}}, {}},
      {"bad SavePos", kRunning, {{keys::kPw, "500"}, {keys::kSavePos, "maybe"}}, {}},
      {"bottom at the largest", kRunning, {{keys::kPw, "500"}, {keys::kPy, "10"}, {keys::kPh, "2147483637"}},
       {"move form 0 10 500 2147483647"}},
      {"bottom overflows", kRunning, {{keys::kPw, "500"}, {keys::kPy, "10"}, {keys::kPh, "2147483638"}}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Fresh(row.stored);
    if (row.launch == kRunning) AddPsk31(row.shape);
    if (row.launch == kAppears) windows.on_start = [this](FakeWindowSystem&) { AddPsk31(); };
    windows.start_pid = 555;
    Psk31Link& fresh = Link();
    fresh.AttachPSK31();
    const bool found = row.launch != kNothingAppears && row.shape.form_caption == fakes::Psk31Shape{}.form_caption;
    Texts trace = row.trace;
    if (found) trace.insert(trace.end(), {"attach 77", "foreground form", "focus"});
    EXPECT_EQ(std::pair(view.messages, windows.Trace()), std::pair(row.boxes, trace)) << "no form: nothing after the box";
    EXPECT_EQ(fresh.pskpid, found ? kPskProcess : row.launch == kNothingAppears ? 555u : 0u)
        << "the process is the form's owner, not the launcher's answer";
    if (found) {
      EXPECT_EQ((Handles{fresh.mainwnd, fresh.panelwnd, fresh.tunewnd, fresh.memo, fresh.rxfreqwnd, fresh.txfreqwnd}),
                (Handles{app, panel, tune, memo, rx_edit, tx_edit}));
    }
  }
}

// Before attaching, nothing goes anywhere. (Menus, keys and the frequency box are driven through the PSK31 stand-in end
// to end; these rows are the edges. Characters and closing: through the main window's model.)
TEST_F(Psk31LinkTest, FunctionKeysAndTheFrequencyBoxGoToTheirWindows) {
  AddPsk31();
  Psk31Link& link = Link();
  Texts rx{"setfocus rx", "send rx down 35", "send rx up 35"};
  rx.insert(rx.end(), 8, "send rx char 8");
  rx.insert(rx.end(), {"send rx char 216", "send rx char 255", "send rx char 13", "focus"});
  const struct { const char* name; std::function<void()> action; Texts trace; } rows[] = {
      {"F8", [&] { link.PressFunctionKey(8); }, {"send panel down 119", "send panel up 119"}},
      {"no F0", [&] { link.PressFunctionKey(0); }, {}}, {"no F9", [&] { link.PressFunctionKey(9); }, {}},
      {"RX box", [&] { view.answers = {"\xD8\xFF"}, link.SetRxFrequency(); }, rx},
  };
  for (const auto& row : rows) row.action();
  EXPECT_EQ(windows.Trace(), Texts{"focus"}) << "only the focus back";
  link.AttachPSK31();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    windows.journal.clear();
    row.action();
    EXPECT_EQ(windows.Trace(), row.trace);
    EXPECT_THAT(CallsTo(windows, panel) + CallsTo(windows, rx_edit), ::testing::Each('S')) << "through the guarded sender";
  }
}

TEST_F(Psk31LinkTest, SaveWindowSetupWritesWhatIsAllowed) {
  const struct Row {
    const char* name;
    bool normal = true, nopossave = false, minimised = false, alive = true, savepos_off = false;
    ScreenRect rect{100, 50, 740, 290};
    const char *main = "1440 720 7200 5400 ", *form = "100 50 640 240 ";  // x y w h
  } rows[] = {
      {.name = "main window not normal", .normal = false, .main = "- - - - "},
      {.name = "nopossave", .nopossave = true, .form = "- - - - "},
      {.name = "PSK31 minimised", .minimised = true, .form = "- - - - "},
      {.name = "PSK31 closed", .alive = false, .form = "- - - - "}, {.name = "SavePos false still saves", .savepos_off = true},
      {.name = "left and right 0", .rect = {0, 10, 0, 300}, .form = "- - - - "},
      {.name = "left 0 only", .rect = {0, 0, 640, 240}, .form = "0 0 640 240 "},
      {.name = "right 0 only", .rect = {-640, -5, 0, 235}, .form = "-640 -5 640 240 "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fresh(row.savepos_off ? Stored{{keys::kSavePos, "False"}} : Stored{});
    view.window = {1440, 720, 7200, 5400}, view.normal = row.normal, Model().nopossave = row.nopossave;
    AddPsk31(), Link().FindPSK31();
    windows.Window(app).minimised = row.minimised;
    windows.Window(form).alive = row.alive, windows.Window(form).rect = row.rect;
    Link().SaveWindowSetup();
    std::string saved;
    for (const char* k : {"Left", "Top", "Width", "Height", "PX", "PY", "PW", "PH"}) saved += store.ReadSetting("Win", k, "-") + " ";
    EXPECT_EQ(saved, std::string(row.main) + row.form);
  }
  file->fail_replace = true;
  EXPECT_NO_THROW(Link().SaveWindowSetup()) << "a store that cannot be written costs nothing here";
}

// Captions are read as into a 256-character buffer: at most 255 characters, cut at a NUL.
TEST_F(Psk31LinkTest, WindowTextKeeps255CharactersAndStopsAtANul) {
  const std::pair<std::string, std::string> rows[] = {
      {std::string(254, 'a') + "\xE9", std::string(254, 'a') + "\xE9"}, {std::string(256, 'b'), std::string(255, 'b')},
      {std::string("PSK\0[QPSK]", 10), "PSK"}, {"", ""}};
  for (const auto& [caption, text] : rows) {
    windows.Window(windows.AddTopLevel("TForm1", "")).caption = caption;
    EXPECT_EQ(Link().WindowText(windows.TopLevelWindows().back()), text) << caption.size();
  }
  EXPECT_EQ(Link().WindowText(0xDEAD), "");
}

// ---- The guarded sender, over the same window tree ----

using GuardedSending = Psk31LinkTest;

// A receiver that stops answering costs one full wait; then each message is preceded by a
// probe and handed over unwaited while the probe goes unanswered, none dropped or
// reordered. Another receiver that answers keeps its full waits and its answers.
TEST_F(GuardedSending, ReceiverThatHangsCostsOneFullWaitUntilItAnswersAgain) {
  const struct { const char* name; SendStatus hang_status; int hang_sends; const char* calls; } rows[] = {
      {"times out once", SendStatus::kTimedOut, 1, "SpSSSSS"}, {"times out thrice", SendStatus::kTimedOut, 3, "SphphpSSS"},
      {"system says hung", SendStatus::kHung, 2, "SphpSSSS"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Reset();
    memo = windows.AddTopLevel("TMemo", "");
    const WindowHandle fine = windows.AddTopLevel("TForm1", "fine");
    windows.Window(memo).hang_sends = row.hang_sends, windows.Window(memo).hang_status = row.hang_status;
    windows.Window(fine).answer = 42;
    GuardedSender sender(windows);
    for (unsigned c = '1'; c <= '6'; ++c) {
      sender.Send(memo, kWmChar, c, 0);
      const SendResult answer = sender.Send(fine, kWmChar, c, 0);
      EXPECT_EQ(std::pair(answer.status, answer.result), std::pair(SendStatus::kDone, std::intptr_t{42}));
    }
    EXPECT_EQ(std::pair(CallsTo(windows, memo), CallsTo(windows, fine)), std::pair(std::string(row.calls), "SSSSSS"s));
    EXPECT_EQ(MemoChars(), "123456");
    EXPECT_FALSE(sender.IsUnresponsive(memo)) << "answering again clears the mark";
  }
}

// A record points at its text: it cannot wait in the receiver's queue. A failed send leaves
// the mark as it was, and window 0 gets nothing.
TEST_F(GuardedSending, RecordsAreNotHandedOverAndFailuresLeaveTheMark) {
  const WindowHandle log = windows.AddTopLevel("Log", ""), receiver = windows.AddTopLevel("TForm1", "");
  windows.Window(log).hang_sends = 2;
  GuardedSender sender(windows);
  EXPECT_EQ(sender.Send(0, kWmClose, 0, 0).status, SendStatus::kFailed);
  EXPECT_TRUE(windows.journal.empty());
  std::vector<SendStatus> got;
  for (const char* call : {"ZX0AB", "ZX0CD", "ZX0EF"}) got.push_back(sender.SendCopyData(log, 0x7000, 1, call).status);
  EXPECT_EQ(got, (std::vector<SendStatus>{SendStatus::kTimedOut, SendStatus::kHung, SendStatus::kDone}));
  EXPECT_EQ(std::pair(CallsTo(windows, log), windows.Trace().back()), std::pair("SppS"s, "copydata Log 1 ZX0EF"s));
  windows.Window(receiver).alive = false;
  EXPECT_EQ(sender.Send(receiver, kWmChar, 'a', 0).status, SendStatus::kFailed);
  EXPECT_FALSE(sender.IsUnresponsive(receiver)) << "unmarked, and stays so";
  windows.Window(receiver).alive = true, windows.Window(receiver).hang_sends = 1;
  sender.Send(receiver, kWmChar, 'b', 0), windows.Window(receiver).alive = false, sender.Send(receiver, kWmChar, 'c', 0);
  EXPECT_TRUE(sender.IsUnresponsive(receiver)) << "marked, and stays so";
}

}  // namespace
}  // namespace qsopad
