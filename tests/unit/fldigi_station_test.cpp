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

// fldigi's state as the requests change it, and the clock of the world it lives in.
struct Fldigi : MonotonicClock {
  std::int64_t now = 100000;
  std::string trx = "RX", tx_text;
  bool stuck = false;  // still finishing a transmission after saying RX: main.tx is lost until main.rx
  int answer_ms = 0;   // how long an answer takes
  int port = 0;        // the last one connected to
  Strings calls;       // "method arg", in the order fldigi took them
  std::int64_t NowMs() override { return now; }
};

std::string Between(const std::string& s, const std::string& open, const std::string& close) {
  const std::size_t a = s.find(open);
  return a == std::string::npos ? "" : s.substr(a + open.size(), s.find(close, a) - a - open.size());
}

class FakeNet : public NetPort {
 public:
  explicit FakeNet(Fldigi& f) : f_(f) {}
  NetResult StartConnect(const std::string&, std::uint16_t port) override {
    return f_.port = port, request_.clear(), inbox_.clear(), answers_.clear(), NetResult::Done();
  }
  NetResult PollConnect() override { return NetResult::Done(); }
  NetResult Send(std::string_view bytes) override {
    request_.append(bytes);
    if (const std::size_t end = request_.find("</methodCall>\n"); end != std::string::npos) {
      const std::string body = "<?xml version=\"1.0\"?><methodResponse><params><param><value>" +
                               Handle(request_.substr(0, end)) + "</value></param></params></methodResponse>";
      answers_.push_back({f_.now + f_.answer_ms, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                                     "\r\n\r\n" + body});
      request_.erase(0, end + 14);
    }
    return NetResult::Done(bytes.size());
  }
  NetResult Receive(char* buffer, std::size_t size) override {
    for (; !answers_.empty() && answers_.front().first <= f_.now; answers_.erase(answers_.begin())) inbox_ += answers_.front().second;
    const std::size_t n = inbox_.copy(buffer, size);
    return inbox_.erase(0, n), n ? NetResult::Done(n) : NetResult::WouldBlock();
  }
  void Close() override {}

 private:
  std::string Handle(const std::string& body) {
    const std::string method = Between(body, "<methodName>", "</methodName>"), number = Between(body, "<i4>", "</i4>");
    const std::string text = Between(body, "<string>", "</string>");  // the tests type nothing to escape
    f_.calls.push_back(method + (text.empty() ? number.empty() ? "" : " " + number : " " + text));
    const auto str = [](const std::string& s) { return "<string>" + s + "</string>"; };
    if (method == "main.get_trx_state") return str(f_.trx);
    if (method == "main.get_trx_status") return str(f_.stuck || f_.trx == "TX" ? "tx" : "rx");
    if (method == "main.rx") f_.stuck = false, f_.trx = "RX";
    if (method == "main.tx" && f_.stuck) return "<nil/>";
    if (method == "modem.get_name") return str("BPSK31");
    if (method == "modem.get_carrier") return "<i4>1000</i4>";
    if (method == "log.get_call" || method == "log.get_name") return str("");
    if (method == "text.add_tx" || method == "text.clear_tx") f_.tx_text = method == "text.add_tx" ? f_.tx_text + text : "";
    if (method == "main.tx" || method == "main.abort") f_.trx = method == "main.tx" ? "TX" : "RX";
    return "<nil/>";
  }
  Fldigi& f_;
  std::string request_, inbox_;
  std::vector<std::pair<std::int64_t, std::string>> answers_;  // when each is there
};

class FldigiRoad : public fakes::MainFormTest, public StationFactory {
 protected:
  FldigiRoad() { Set("Opt", "Station", "fldigi"); }
  std::unique_ptr<Station> Make(StationKind, StationHost& host, GuardedSender&) override {
    return std::make_unique<FldigiStation>(FldigiStation::Platform{std::make_unique<FakeNet>(fldigi), fldigi, windows, codec},
                                           store, host);
  }
  MainForm& Road() {
    if (!model) {
      model = std::make_unique<MainForm>(store, windows, view, reporter, desktop, palette, *this);
      view.model = model.get(), model->Load();
    }
    return *model;
  }
  // Ticks of 25 ms on the fake clock.
  void Run(int ticks) { while (ticks-- > 0) fldigi.now += 25, Road().Tick(); }

  Fldigi fldigi;
  Cp1252Codec codec;
};

TEST_F(FldigiRoad, TypedTextGoesOverAsTypedThenReturnsToReceive) {
  Set("Opt", "Zero", "True"), Run(4), Road().OnButtonClick(1);  // Send
  // "^r" typed by the operator, a Latin-1 letter, a slashed zero, a line end, and a "^"
  // that the return to receive must not pair with.
  Type("cq ^r \xe9""0\r^"), Run(22), Road().OnButtonClick(2), Run(10);  // Rcv
  EXPECT_EQ(std::pair(fldigi.tx_text, Road().sendbuf), std::pair("cq ^^r \xc3\xa9" "0\n^ ^r"s, ""s));
}

// (That Full Stop stops fldigi at once and drops the rest: end to end.)
TEST_F(FldigiRoad, AfterFullStopTheNextSendKeysAFldigiStillFinishing) {
  Run(4), Road().OnButtonClick(1), Type("a long text"), Run(3), Road().FullStop(), Run(1);
  fldigi.stuck = true, Road().OnButtonClick(1), Run(100);
  EXPECT_EQ(fldigi.trx, "TX") << "main.tx was sent once fldigi was nudged back to receive";
}

TEST_F(FldigiRoad, RcvRightAfterSendStillKeysFldigiWhoseAnswersTakeTime) {
  // A word typed and Rcv before fldigi has said it is ready: the text still goes out.
  fldigi.answer_ms = 30, Run(40), Road().OnButtonClick(1), Type("k"), Road().OnButtonClick(2), Run(40);
  EXPECT_EQ(std::pair(fldigi.trx, fldigi.tx_text), std::pair("TX"s, "k^r"s));
}

TEST_F(FldigiRoad, APortThatIsNoNumberIsNamedAndTheUsualOneTried) {
  const std::pair<const char*, int> rows[] = {{"0", 7362}, {"1", 1}, {"65535", 65535}, {"65536", 7362}, {"x", 7362}};
  for (const auto& [port, used] : rows) {
    SCOPED_TRACE(port);
    model.reset(), view.trouble.clear(), Set("Opt", "FldigiPort", port), Run(30);
    EXPECT_EQ(std::pair(fldigi.port, view.trouble.find("\""s + port + "\"") != std::string::npos), std::pair(used, used == 7362));
  }
}

}  // namespace
}  // namespace qsopad
