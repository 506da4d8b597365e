// The operator road with fldigi as the station: the main window's model over a fake fldigi
// that answers XML-RPC requests from a little model of its own state, tick by tick on a
// fake clock. What reached "fldigi" is read from that model, never from the station.
#include "station/fldigi_station.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "main_form_fixture.h"

namespace qsopad {
namespace {

using Strings = std::vector<std::string>;

// fldigi's state as the requests change it.
struct Fldigi {
  std::string trx = "RX", modem = "BPSK31", call, name, tx_text;
  int carrier = 1000;
  bool refuse = false;  // killed: connections reset, nothing listens on the port
  bool silent = false;  // takes requests and never answers
  // Still finishing a transmission after saying RX: main.tx is lost until main.rx.
  bool stuck = false;
  // Log fields that lag one read behind a change, as fldigi's setters do.
  bool lagging_log = false;
  int answer_ms = 0;  // how long an answer takes
  std::string shown_call;
  Strings calls;  // "method arg", in the order fldigi took them
};

std::string Unescape(std::string s) {
  for (const auto& [from, to] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
    for (std::size_t at; (at = s.find(from)) != std::string::npos;) s.replace(at, std::string(from).size(), to);
  return s;
}

std::string Between(const std::string& s, const std::string& open, const std::string& close) {
  const std::size_t a = s.find(open);
  if (a == std::string::npos) return {};
  return s.substr(a + open.size(), s.find(close, a) - a - open.size());
}

class FakeClock : public MonotonicClock {
 public:
  std::int64_t now = 100000;
  std::int64_t NowMs() override { return now; }
};

class FakeNet : public NetPort {
 public:
  FakeNet(Fldigi& f, const FakeClock& clock) : f_(f), clock_(clock) {}
  NetResult StartConnect(const std::string&, std::uint16_t) override {
    request_.clear(), inbox_.clear(), answers_.clear();
    return f_.refuse ? NetResult::Failed(111, "Connection refused") : NetResult::Done();
  }
  NetResult PollConnect() override { return NetResult::Done(); }
  NetResult Send(std::string_view bytes) override {
    if (f_.refuse) return NetResult::Failed(104, "Connection reset by peer");
    request_.append(bytes);
    const std::size_t end = request_.find("</methodCall>\n");
    if (end != std::string::npos) {
      const std::string body = request_.substr(0, end);
      request_.erase(0, end + 14);
      if (!f_.silent) answers_.push_back({clock_.now + f_.answer_ms, Http(Handle(body))});
    }
    return NetResult::Done(bytes.size());
  }
  NetResult Receive(char* buffer, std::size_t size) override {
    if (f_.refuse) return NetResult::Closed();
    while (!answers_.empty() && answers_.front().first <= clock_.now) {
      inbox_ += answers_.front().second;
      answers_.erase(answers_.begin());
    }
    if (inbox_.empty()) return NetResult::WouldBlock();
    const std::size_t n = std::min(size, inbox_.size());
    inbox_.copy(buffer, n);
    inbox_.erase(0, n);
    return NetResult::Done(n);
  }
  void Close() override {}

 private:
  static std::string Http(const std::string& value) {
    const std::string body = "<?xml version=\"1.0\"?><methodResponse><params><param><value>" + value +
                             "</value></param></params></methodResponse>";
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  }
  std::string Handle(const std::string& body) {
    const std::string method = Between(body, "<methodName>", "</methodName>");
    const std::string text = Unescape(Between(body, "<string>", "</string>"));
    const std::string number = Between(body, "<i4>", "</i4>");
    f_.calls.push_back(method + (text.empty() ? number.empty() ? "" : " " + number : " " + text));
    const auto str = [](const std::string& s) { return "<string>" + s + "</string>"; };
    if (method == "main.get_trx_state") return str(f_.trx);
    if (method == "main.get_trx_status") return str(f_.stuck || f_.trx == "TX" ? "tx" : "rx");
    if (method == "main.rx") f_.stuck = false, f_.trx = "RX";
    if (method == "main.tx" && f_.stuck) return "<nil/>";
    if (method == "modem.get_name") return str(f_.modem);
    if (method == "modem.get_carrier") return "<i4>" + std::to_string(f_.carrier) + "</i4>";
    if (method == "log.get_call") return str(f_.lagging_log ? std::exchange(f_.shown_call, f_.call) : f_.call);
    if (method == "log.get_name") return str(f_.name);
    if (method == "text.add_tx") f_.tx_text += text;
    if (method == "text.clear_tx") f_.tx_text.clear();
    if (method == "main.tx") f_.trx = "TX";
    if (method == "main.abort") f_.trx = "RX";
    if (method == "modem.set_by_name") f_.modem = text, f_.carrier = 1500;  // the sweet spot
    if (method == "modem.set_carrier") f_.carrier = std::stoi(number);
    if (method == "log.set_call") f_.call = text;
    if (method == "log.set_name") f_.name = text;
    return "<nil/>";
  }
  Fldigi& f_;
  const FakeClock& clock_;
  std::string request_, inbox_;
  std::vector<std::pair<std::int64_t, std::string>> answers_;  // when each is there
};

class FldigiStations : public StationFactory {
 public:
  FldigiStations(Fldigi& f, FakeClock& c, WindowSystem& w, SettingsStore& s) : f_(f), c_(c), w_(w), s_(s) {}
  std::unique_ptr<Station> Make(StationKind, StationHost& host, GuardedSender&) override {
    return std::make_unique<FldigiStation>(
        FldigiStation::Platform{std::make_unique<FakeNet>(f_, c_), c_, w_, codec_}, s_, host);
  }

 private:
  Fldigi& f_;
  Cp1252Codec codec_;
  FakeClock& c_;
  WindowSystem& w_;
  SettingsStore& s_;
};

class FldigiRoad : public fakes::MainFormTest {
 protected:
  FldigiRoad() {
    Set("Opt", "Station", "fldigi");
    log_program = windows.AddTopLevel("TLogger", "Log");
  }
  MainForm& Road() {
    if (!model) {
      model = std::make_unique<MainForm>(store, windows, view, reporter, desktop, palette, fldigi_stations);
      view.model = model.get();
      model->Load();
    }
    return *model;
  }
  // Ticks of 25 ms on the fake clock.
  void Run(int ticks) {
    while (ticks-- > 0) clock.now += 25, Road().Tick();
  }
  std::vector<std::intptr_t> TxAnnouncements() const {
    std::vector<std::intptr_t> out;
    for (const fakes::Call& c : windows.CallsOf(fakes::Call::Kind::kSend))
      if (c.window == log_program && c.message == model->funcmsg && c.wparam == 0) out.push_back(c.lparam);
    return out;
  }

  Fldigi fldigi;
  FakeClock clock;
  FldigiStations fldigi_stations{fldigi, clock, windows, store};
  WindowHandle log_program = 0;
};

TEST_F(FldigiRoad, TypedTextGoesOverAsTypedThenReturnsToReceive) {
  Set("Opt", "Zero", "True");
  Run(4);
  Road().OnButtonClick(1);  // Send
  // "^r" typed by the operator, a Latin-1 letter, a slashed zero, a line end.
  Type("cq ^r \xe9""0\r");
  Run(2);
  EXPECT_EQ(fldigi.trx, "TX") << "Send keys the transmitter";
  Run(20);
  Road().OnButtonClick(2);  // Rcv
  Run(10);
  EXPECT_EQ(fldigi.tx_text, "cq ^^r \xc3\xa9" "0\n^r");
  EXPECT_EQ(Road().sendbuf, "");
}

TEST_F(FldigiRoad, FullStopAbortsAtOnceAndTheNextSendKeysAFldigiStillFinishing) {
  Run(4);
  Road().OnButtonClick(1);
  Type("a long text");
  Run(3);
  Road().FullStop();
  EXPECT_EQ(Road().sendbuf, "");
  Run(1);
  EXPECT_EQ(fldigi.trx, "RX");
  EXPECT_EQ(fldigi.tx_text, "");
  EXPECT_EQ(fldigi.calls.back(), "text.clear_tx");
  fldigi.stuck = true;
  Road().OnButtonClick(1);
  Run(100);
  EXPECT_EQ(fldigi.trx, "TX") << "main.tx was sent once fldigi was nudged back to receive";
}

TEST_F(FldigiRoad, RcvRightAfterSendStillKeysFldigiWhoseAnswersTakeTime) {
  // A word typed and Rcv before fldigi has said it is ready: the text still goes out.
  fldigi.answer_ms = 30;
  Run(40);
  Road().OnButtonClick(1);
  Type("k");
  Road().OnButtonClick(2);
  Run(40);
  EXPECT_EQ(fldigi.trx, "TX");
  EXPECT_EQ(fldigi.tx_text, "k^r");
}

TEST_F(FldigiRoad, TransmitStateFollowsFldigiAndReachesTheLogProgram) {
  Run(4);
  fldigi.trx = "TX";  // started in fldigi
  Run(12);
  fldigi.trx = "RX";
  Run(12);
  EXPECT_EQ(TxAnnouncements(), (std::vector<std::intptr_t>{0, 1, 0}));
}

TEST_F(FldigiRoad, PartnerGoesBothWaysWithoutEchoes) {
  Set("Opt", "Zero", "True");
  fldigi.lagging_log = true;
  Run(4);
  Road().ocall = "DL0ABC";
  Road().SetOcall();
  Road().namebuf = "J\xf6rg";
  Road().SetNamebuf();
  Run(40);
  EXPECT_EQ(fldigi.call, "DL0ABC") << "with its zeros, not slashed ones";
  EXPECT_EQ(fldigi.name, "J\xc3\xb6rg");
  EXPECT_EQ(Road().ocall, "DL\xd8" "ABC") << "the lagging old value did not come back";
  // The operator clicks a call in fldigi's receive pane.
  fldigi.call = "K1ABC";
  fldigi.name = "";
  Run(40);
  EXPECT_EQ(Road().ocall, "K1ABC");
  EXPECT_EQ(view.panels[static_cast<int>(MainView::Panel::kOcall)], " K1ABC");
}

TEST_F(FldigiRoad, ModeSwitchKeepsTheCarrierAndThePanelShowsWhatFldigiRuns) {
  fldigi.carrier = 1234;
  Run(30);
  EXPECT_EQ(view.panels[static_cast<int>(MainView::Panel::kPsk)], "BPSK");
  Road().OnPanelClick(MainView::Panel::kPsk, false);
  Run(50);
  EXPECT_EQ(fldigi.modem, "QPSK31");
  EXPECT_EQ(fldigi.carrier, 1234);
  EXPECT_EQ(view.panels[static_cast<int>(MainView::Panel::kPsk)], "QPSK");
  fldigi.modem = "RTTY";  // changed in fldigi
  Run(50);
  EXPECT_EQ(view.panels[static_cast<int>(MainView::Panel::kPsk)], "RTTY");
  // Keys without a counterpart are greyed with a reason; the others stay.
  EXPECT_EQ(view.station_keys[5], "");
  EXPECT_NE(view.station_keys[6].find("not with fldigi"), std::string::npos);
  EXPECT_NE(view.station_keys[7].find("not with fldigi"), std::string::npos);
}

TEST_F(FldigiRoad, NothingIsLostWhileFldigiDoesNotAnswerAndNoTransmitterIsLeftKeyed) {
  Run(4);
  Road().OnButtonClick(1);
  Type("ab");
  Run(4);
  fldigi.refuse = true;
  Run(1);
  Type("cd");
  Run(100);
  EXPECT_EQ(Road().sendbuf.back(), 'd') << "what could not go over stays queued";
  EXPECT_NE(view.trouble.find("fldigi not answering at 127.0.0.1:7362"), std::string::npos) << view.trouble;
  EXPECT_EQ(Road().txmode, 0);
  fldigi.refuse = false;
  fldigi.trx = "TX";  // fldigi kept transmitting what it had
  Run(400);
  EXPECT_EQ(view.trouble, "");
  EXPECT_EQ(fldigi.trx, "RX") << "the transmitter QSOPAD keyed was taken back";
  Road().OnButtonClick(1);
  Run(10);
  EXPECT_EQ(fldigi.tx_text, "cd") << "the text fldigi had was dropped; ours went once";
}

TEST_F(FldigiRoad, AHungFldigiCostsNoWaitAndIsTold) {
  Run(4);
  fldigi.silent = true;
  Run(200);
  EXPECT_NE(view.trouble.find("no answer"), std::string::npos) << view.trouble;
  EXPECT_FALSE(view.find_enabled == false) << "Launch/Find is offered again";
}

TEST_F(FldigiRoad, APortThatIsNoNumberIsNamedAndTheUsualOneTried) {
  Set("Opt", "FldigiPort", "73620");
  Run(30);
  EXPECT_NE(view.trouble.find("\"73620\""), std::string::npos) << view.trouble;
}

}  // namespace
}  // namespace qsopad
