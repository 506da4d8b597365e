// Scenarios with the real fldigi behind QSOPAD: real keys into qsopad.exe, and what fldigi
// did read back through its XML-RPC interface (what it transmitted, its modem, carrier and
// log fields); a transmission started in fldigi, fldigi hung and killed mid-transmission,
// and a recording played into its sound input. test.sh runs them with fldigi and its agent.
#include <algorithm>
#include <atomic>
#include <thread>

#include "fldigi_driver.h"

using namespace e2e;
using qsopad::XmlRpcValue;

namespace {

constexpr int kCallPanel = 1, kNamePanel = 2, kTxPanel = 3, kModePanel = 4;

XmlRpcValue S(const std::string& text) { return XmlRpcValue::String(text); }

// xdotool's names for the keys that type the text.
std::string KeysOf(const std::string& text) {
  std::string keys;
  for (const char c : text) keys += c == ' ' ? " space" : std::string(" ") + c;
  return keys;
}

// Alt+S once the Send button takes it (greyed until QSOPAD has seen the last transmission end), then the keys.
void Send(HWND main, const std::string& keys) {
  REQUIRE_MSG(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(main, IDC_COMMAND1)) != FALSE; }), "Send stays greyed");
  PressKeys(main, "alt+s " + keys);
}

// A status panel's text, read again and again by Expect.
std::function<std::string()> Panel(HWND main, int panel) { return [=] { return PanelText(main, panel); }; }

// Steps of the scenario runner on QSOPAD, as one row.
void Steps(Session& s, const std::string& name, std::vector<Step> steps) { RunRows(s, {{name, std::move(steps)}}); }

// fldigi transmits, then returns to receive having sent `want`.
void ExpectSent(Fldigi& f, const std::string& want) {
  REQUIRE_MSG(f.WaitState("TX", kWaitMs), "fldigi did not transmit after Send");
  CHECK(f.CollectUntilReceive(30000));
  CHECK_MSG(f.sent == want, "fldigi sent \"" << Visible(f.sent) << "\", not \"" << want << "\"");
}

// What went out is the start of the text, and not all of it.
void ExpectCutShort(const std::string& sent, const std::string& text) {
  CHECK_MSG(sent.size() < text.size() && text.compare(0, sent.size(), sent) == 0,
            "fldigi sent \"" << Visible(sent) << "\" of \"" << text << "\"");
}

// Asks the window for an answer every 50 ms, from a thread of its own, until stopped.
struct AnswerWatch {
  explicit AnswerWatch(HWND w)
      : thread([this, w] {
          for (std::int64_t t0; !stop; Sleep(50)) {
            t0 = NowMs();
            missed += Answers(w, 3000) ? 0 : 1;
            worst = std::max<std::int64_t>(worst, NowMs() - t0);
          }
        }) {}
  ~AnswerWatch() { Stop(); }
  void Stop() {
    stop = true;
    if (thread.joinable()) thread.join();
  }
  std::atomic<bool> stop{false};
  std::atomic<int> missed{0};
  std::atomic<std::int64_t> worst{0};
  std::thread thread;
};

}  // namespace

E2E_SCENARIO(fldigi_transmit_road_in_order) {
  FldigiSession s({{"Macro", "10", "\xE9 de k1abc"}});
  Fldigi& f = s.fldigi;
  HWND main = s.road.main;
  // An operator's "^r" must not end the transmission (fldigi sends the doubled caret as it stands); F1 runs the macro,
  // whose Latin-1 letter goes out as UTF-8; Rcv returns to receive once everything has gone.
  Send(main, "c q space asciicircum r space F1 alt+r");
  REQUIRE_MSG(f.WaitState("TX", kWaitMs), "fldigi did not transmit after Send");
  Expect("the TX panel", Panel(main, kTxPanel), "TX");
  CHECK_MSG(f.CollectUntilReceive(60000), "fldigi did not return to receive");
  CHECK_MSG(f.sent == "cq ^^r \xC3\xA9 de k1abc", "fldigi sent \"" << Visible(f.sent) << "\"");
  Expect("the TX panel", Panel(main, kTxPanel), "");

  // Full Stop: fldigi stops at once; what went out is the start of the text.
  const std::string text = "the quick brown fox jumps over the lazy dog";
  f.sent.clear();
  Send(main, KeysOf(text));
  REQUIRE_MSG(f.CollectAtLeast(5, 20000), "fldigi sent only \"" << Visible(f.sent) << "\"");
  PressKeys(main, "alt+BackSpace");
  const std::int64_t stop = NowMs();
  CHECK_MSG(f.WaitState("RX", 1500), "fldigi still transmits 1.5 s after Full Stop");
  Log("fldigi in receive " + std::to_string(NowMs() - stop) + " ms after Full Stop");
  f.CollectUntilReceive(kWaitMs);
  ExpectCutShort(f.sent, text);
  // Nothing of the dropped rest comes back with the next transmission.
  f.sent.clear();
  Send(main, "k alt+r");
  ExpectSent(f, "k");
}

E2E_SCENARIO(fldigi_modem_partner_and_receive) {
  FldigiSession s;
  Fldigi& f = s.fldigi;
  HWND main = s.road.main;
  s.road.StartLog(false);

  // A recording played into fldigi is decoded while QSOPAD polls it.
  s.agent.Request("play bpsk31-cq.wav");
  CHECK_MSG(WaitUntil([&] { return f.Received().find("cq cq de k1abc") != std::string::npos; }, kWaitMs),
            "fldigi decoded \"" << Visible(f.Received()) << "\"");

  // BPSK/QPSK from QSOPAD. (The panel follows a change made in fldigi: each session waits for that.)
  auto modem = [&] { return f.Str("modem.get_name"); };
  PressKeys(main, "ctrl+F1");
  Expect("fldigi's modem", modem, "QPSK31");
  Expect("the mode panel", Panel(main, kModePanel), "QPSK");
  PressKeys(main, "ctrl+F1");
  Expect("fldigi's modem", modem, "BPSK31");

  // The receive frequency: F11 asks, Insert and Delete step.
  auto carrier = [&] { return std::to_string(f.Int("modem.get_carrier")); };
  Expect("fldigi's carrier after the mode changes", carrier, "1000");
  Steps(s.road, "F11", {Keys(kMain, "F11"), Answer("Enter new RX frequency", "1234")});
  Expect("fldigi's carrier", carrier, "1234");
  PressKeys(main, "Insert Insert Delete");
  Expect("fldigi's carrier", carrier, "1235");

  // A transmission started in fldigi shows in the status bar and reaches the log program.
  s.road.Mark();
  auto broadcasts = [&] { return Announcements(s.road.LogSince()); };
  f.Call("main.tx");
  Expect("the TX panel", Panel(main, kTxPanel), "TX");
  Expect("the broadcasts", broadcasts, " f:0,1");
  f.Call("main.abort");
  Expect("the TX panel", Panel(main, kTxPanel), "");
  Expect("the broadcasts", broadcasts, " f:0,1 f:0,0");

  // The partner set in QSOPAD fills fldigi's log fields, and one picked in fldigi becomes QSOPAD's partner.
  Steps(s.road, "the partner typed", {Keys(kMain, "F12"), Keys(kCallsign, "d l 1 a b c Tab h a n s Return")});
  Expect("fldigi's log fields", [&] { return f.Str("log.get_call") + "/" + f.Str("log.get_name"); }, "DL1ABC/hans");
  f.Call("log.set_call", {S("K9XYZ")});
  f.Call("log.set_name", {S("Bob")});
  Expect("the partner panels", [&] { return PanelText(main, kCallPanel) + "/" + PanelText(main, kNamePanel); },
         " K9XYZ/ Bob");
  Steps(s.road, "fldigi's partner",
        {Text(kPartner, "K9XYZ"), Keys(kMain, "F12"), Text(kCallsignCall, "K9XYZ"), Text(kCallsignName, "Bob")});
}

E2E_SCENARIO(fldigi_hung_and_killed_mid_transmission) {
  FldigiSession s;
  HWND main = s.road.main;
  auto troubled = [&] { return s.Title().rfind(s.TroubleTitle(), 0) == 0 ? "trouble" : s.Title(); };
  auto title = [&] { return s.Title(); };

  // Hung mid-transmission: when fldigi answers again, QSOPAD takes its transmitter back.
  Send(main, KeysOf("hello world again"));
  REQUIRE_MSG(s.fldigi.CollectAtLeast(4, 20000), "fldigi sent only \"" << Visible(s.fldigi.sent) << "\"");
  AnswerWatch watch(main);
  s.agent.Request("freeze");
  Expect("the title", troubled, "trouble", false, 10000);
  s.agent.Request("thaw");
  Expect("the title", title, "QSOPAD", false, 15000);
  CHECK_MSG(s.fldigi.WaitState("RX", 3000), "QSOPAD left fldigi transmitting");
  s.fldigi.CollectUntilReceive(kWaitMs);
  ExpectCutShort(s.fldigi.sent, "hello world again");

  // Killed mid-transmission: the title says so, what is typed meanwhile waits and goes out once after Send when fldigi
  // is back. (Typed text is handed over as it comes: with two characters out, fldigi has all of it.)
  s.fldigi.sent.clear();
  Send(main, KeysOf("abcdefgh"));
  REQUIRE_MSG(s.fldigi.CollectAtLeast(2, 20000), "fldigi sent only \"" << Visible(s.fldigi.sent) << "\"");
  s.agent.Request("kill");
  Expect("the title", troubled, "trouble", false, 10000);
  Expect("the TX panel", Panel(main, kTxPanel), "");
  PressKeys(main, "m o r e");
  auto typed = [&] { const std::string t = TextOf(s.road.text1); return t.size() < 4 ? t : t.substr(t.size() - 4); };
  Expect("the end of the typing area", typed, "more");
  s.agent.Request("start");
  Expect("the title", title, "QSOPAD", false, 15000);
  watch.Stop();
  // A window waiting for fldigi would not answer for as long as fldigi was away.
  CHECK_MSG(watch.missed == 0, "the window did not answer within 3 s " << watch.missed << " times");
  Log("slowest answer of the window: " + std::to_string(watch.worst) + " ms");

  // Once QSOPAD shows the new fldigi's mode it has talked to it a while: fldigi is in receive and has sent nothing.
  Fldigi f(s.agent.port());
  f.Call("modem.set_by_name", {S("QPSK31")});
  Expect("the mode panel", Panel(main, kModePanel), "QPSK");
  CHECK_MSG(f.Str("main.get_trx_state") == "RX", "fldigi is in " << f.Str("main.get_trx_state"));
  CHECK_MSG(f.Call("tx.get_data").AsBytes().empty(), "fldigi sent before Send");
  Send(main, "alt+r");
  ExpectSent(f, "more");
}
