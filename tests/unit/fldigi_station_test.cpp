// The operator road with fldigi as the station: the main window's model over a fake fldigi
// that answers XML-RPC requests from a little model of its own state, tick by tick on a
// fake clock. (Modem, carrier and partner, and fldigi hung and killed mid-transmission:
// end to end with the real fldigi.)
#include "station/fldigi_station.h"

#include <gtest/gtest.h>

#include <memory>

#include "main_form_fixture.h"

namespace qsopad {
namespace {

using Strings = std::vector<std::string>;
using namespace std::string_literals;

// fldigi's state as the requests change it.
struct Fldigi {
  std::string trx = "RX", tx_text;
  bool stuck = false;  // still finishing a transmission after saying RX: main.tx is lost until main.rx
  int answer_ms = 0;   // how long an answer takes
  Strings calls;       // "method arg", in the order fldigi took them
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
    return request_.clear(), inbox_.clear(), answers_.clear(), NetResult::Done();
  }
  NetResult PollConnect() override { return NetResult::Done(); }
  NetResult Send(std::string_view bytes) override {
    request_.append(bytes);
    if (const std::size_t end = request_.find("</methodCall>\n"); end != std::string::npos) {
      answers_.push_back({clock_.now + f_.answer_ms, Http(Handle(request_.substr(0, end)))});
      request_.erase(0, end + 14);
    }
    return NetResult::Done(bytes.size());
  }
  NetResult Receive(char* buffer, std::size_t size) override {
    while (!answers_.empty() && answers_.front().first <= clock_.now)
      inbox_ += answers_.front().second, answers_.erase(answers_.begin());
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
    if (method == "modem.get_name") return str("BPSK31");
    if (method == "modem.get_carrier") return "<i4>1000</i4>";
    if (method == "log.get_call" || method == "log.get_name") return str("");
    if (method == "text.add_tx") f_.tx_text += text;
    if (method == "text.clear_tx") f_.tx_text.clear();
    if (method == "main.tx") f_.trx = "TX";
    if (method == "main.abort") f_.trx = "RX";
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
  FldigiRoad() { Set("Opt", "Station", "fldigi"); }
  MainForm& Road() {
    if (!model) {
      model = std::make_unique<MainForm>(store, windows, view, reporter, desktop, palette, fldigi_stations);
      view.model = model.get(), model->Load();
    }
    return *model;
  }
  // Ticks of 25 ms on the fake clock.
  void Run(int ticks) {
    while (ticks-- > 0) clock.now += 25, Road().Tick();
  }

  Fldigi fldigi;
  FakeClock clock;
  FldigiStations fldigi_stations{fldigi, clock, windows, store};
};

TEST_F(FldigiRoad, TypedTextGoesOverAsTypedThenReturnsToReceive) {
  Set("Opt", "Zero", "True"), Run(4), Road().OnButtonClick(1);  // Send
  // "^r" typed by the operator, a Latin-1 letter, a slashed zero, a line end, and a "^"
  // that the return to receive must not pair with.
  Type("cq ^r \xe9""0\r^"), Run(2);
  EXPECT_EQ(fldigi.trx, "TX") << "Send keys the transmitter";
  Run(20), Road().OnButtonClick(2), Run(10);  // Rcv
  EXPECT_EQ(std::pair(fldigi.tx_text, Road().sendbuf), std::pair("cq ^^r \xc3\xa9" "0\n^ ^r"s, ""s));
}

TEST_F(FldigiRoad, FullStopAbortsAtOnceAndTheNextSendKeysAFldigiStillFinishing) {
  Run(4), Road().OnButtonClick(1), Type("a long text"), Run(3), Road().FullStop();
  EXPECT_EQ(Road().sendbuf, "");
  Run(1);
  EXPECT_EQ(std::tuple(fldigi.trx, fldigi.tx_text, fldigi.calls.back()), std::tuple("RX", "", "text.clear_tx"));
  fldigi.stuck = true, Road().OnButtonClick(1), Run(100);
  EXPECT_EQ(fldigi.trx, "TX") << "main.tx was sent once fldigi was nudged back to receive";
}

TEST_F(FldigiRoad, RcvRightAfterSendStillKeysFldigiWhoseAnswersTakeTime) {
  // A word typed and Rcv before fldigi has said it is ready: the text still goes out.
  fldigi.answer_ms = 30, Run(40), Road().OnButtonClick(1), Type("k"), Road().OnButtonClick(2), Run(40);
  EXPECT_EQ(std::pair(fldigi.trx, fldigi.tx_text), std::pair("TX"s, "k^r"s));
}

TEST_F(FldigiRoad, APortThatIsNoNumberIsNamedAndTheUsualOneTried) {
  Set("Opt", "FldigiPort", "73620"), Run(30);
  EXPECT_NE(view.trouble.find("\"73620\""), std::string::npos) << view.trouble;
}

}  // namespace
}  // namespace qsopad
