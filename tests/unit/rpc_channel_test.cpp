// The XML-RPC channel against a scripted fldigi: what each failure does to the call in
// flight, to the calls behind it and to the status text, polled tick by tick. (The real
// fldigi end to end; answers in any pieces: the fuzz target.)
#include "station/rpc_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

namespace qsopad {
namespace {

std::string Http(const std::string& body, const std::string& status = "200 OK") {
  return "HTTP/1.1 " + status + "\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::string Answer(const std::string& value) {
  return Http("<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>\r\n\t<value>" + value +
              "</value>\r\n</param></params></methodResponse>\r\n");
}

// fldigi as the test scripts it. Every complete request takes the next of `answers` into
// the bytes the channel receives; with none left, fldigi keeps silent. What happens is
// logged as one line a step ("connect", "call <method>", "close", and the tests' outcomes).
class FakeFldigi : public NetPort {
 public:
  NetResult connect = NetResult::Done();  // what StartConnect answers
  NetResult poll = NetResult::Done();     // what PollConnect answers
  std::deque<std::string> answers;
  bool close_after_answer = false;
  std::size_t send_take = SIZE_MAX;  // bytes taken per Send; 0: would block
  std::string inbox;                 // bytes waiting for Receive
  bool peer_closed = false;
  std::string log;

  void Log(const std::string& line) { log += (log.empty() ? "" : "|") + line; }
  NetResult StartConnect(const std::string& address, std::uint16_t port) override {
    Log("connect " + address + ":" + std::to_string(port)), ++connects;
    open_ = true, request_.clear(), inbox.clear(), peer_closed = false;
    return connect;
  }
  NetResult PollConnect() override { return poll; }
  NetResult Send(std::string_view bytes) override {
    const std::size_t n = std::min(bytes.size(), send_take);
    if (n == 0) return NetResult::WouldBlock();
    request_.append(bytes.substr(0, n));
    if (request_.find("</methodCall>\n") == std::string::npos) return NetResult::Done(n);
    const std::size_t name = request_.find("<methodName>") + 12;
    Log("call " + request_.substr(name, request_.find('<', name) - name)), request_.clear();
    if (!answers.empty()) inbox += answers.front(), answers.pop_front(), peer_closed = close_after_answer;
    return NetResult::Done(n);
  }
  NetResult Receive(char* buffer, std::size_t size) override {
    if (inbox.empty()) return peer_closed ? NetResult::Closed() : NetResult::WouldBlock();
    const std::size_t n = inbox.copy(buffer, size);
    return inbox.erase(0, n), NetResult::Done(n);
  }
  void Close() override { std::exchange(open_, false) ? Log("close") : void(); }
  int connects = 0;

 private:
  bool open_ = false;
  std::string request_;
};

// "<method> <value>", "<method> fault <text>", "<method> failed unsent / after sending".
std::string Outcome(const RpcResult& r) {
  using enum RpcResult::Outcome;
  return r.method + (r.outcome == kAnswered ? " " + r.value.Describe()
                     : r.outcome == kFault  ? " fault " + r.fault.text
                                            : (r.maybe_done ? " failed after sending" : " failed unsent"));
}

class RpcChannelTest : public ::testing::Test {
 protected:
  FakeFldigi fldigi;
  RpcChannel channel{fldigi, {}};
  std::vector<RpcResult> results;
  std::vector<std::string> status_seen;  // the status when each call completed
  std::int64_t now = 0;

  void Call(const std::string& method) {
    channel.Call(method, {}, [this](const RpcResult& r) {
      results.push_back(r), status_seen.push_back(channel.status()), fldigi.Log(Outcome(r));
    });
  }
  // Polls every 25 ms until `ms` have passed.
  void Ticks(std::int64_t ms) {
    for (const std::int64_t end = now + ms; now < end;) channel.Poll(now += 25);
  }
  // The log since the last look, after polling for `ms`, and the status then.
  std::string Log(std::int64_t ms = 0) { return Ticks(ms), std::exchange(fldigi.log, ""); }
  std::pair<std::string, std::string> LogAndStatus(std::int64_t ms) { return {Log(ms), channel.status()}; }
};

using namespace std::string_literals;
const std::string kNotAnswering = "fldigi not answering at 127.0.0.1:7362: ";

TEST_F(RpcChannelTest, RefusedConnectionsFailEveryCallAndAreRetriedLessOften) {
  fldigi.connect = NetResult::Failed(111, "Connection refused");
  Call("main.tx"), Call("text.add_tx");
  EXPECT_EQ(Log(25), "connect 127.0.0.1:7362|close|main.tx failed unsent|text.add_tx failed unsent");
  const std::string refused = kNotAnswering + "Connection refused (error 111)";
  EXPECT_EQ(std::tuple(channel.status(), results[0].error, status_seen[0]), std::tuple(refused, refused, refused));
  // A call every tick: connections are tried 0.5, 1, 2, 4, 8 and 8 s after each failure.
  std::vector<std::int64_t> tries;
  for (int seen = fldigi.connects; now < 32000;) {
    Call("main.get_trx_state"), Ticks(25);
    if (fldigi.connects > seen) tries.push_back(now), seen = fldigi.connects;
  }
  EXPECT_EQ(tries, (std::vector<std::int64_t>{525, 1525, 3525, 7525, 15525, 23525, 31525}));
  EXPECT_EQ(results.size(), 2 + 31975 / 25u) << "every call completed";
  fldigi.connect = NetResult::Done(), fldigi.answers = {Answer("RX")};
  Log(39500 - now), Call("main.get_trx_state");  // the next try: 8 s after the last
  EXPECT_EQ((std::pair<std::string, std::string>{Log(25), status_seen.back()}),
            std::pair("connect 127.0.0.1:7362|call main.get_trx_state|main.get_trx_state string \"RX\""s, ""s))
      << "the status is cleared before the answer is handed on";
}

TEST_F(RpcChannelTest, ConnectThatNeverCompletesTimesOutAndIsTriedAgainLater) {
  fldigi.connect = fldigi.poll = NetResult::WouldBlock();
  Call("main.tx");
  EXPECT_EQ(Log(1500), "connect 127.0.0.1:7362");  // in flight from the first tick, at 25 ms
  EXPECT_EQ(LogAndStatus(25), std::pair("close|main.tx failed unsent"s, kNotAnswering + "no connection within 1500 ms"));
  fldigi.poll = NetResult::Done(), fldigi.answers = {Answer("")}, Ticks(500), Call("main.tx");
  EXPECT_EQ(Log(25), "connect 127.0.0.1:7362") << "connecting, one tick";
  EXPECT_EQ(Log(25), "call main.tx|main.tx string \"\"");
}

// A slow fldigi is waited for; a hung one costs the call in flight once the time limit has
// passed, the calls behind it fail unsent, and the first call after the wait takes a new
// connection.
TEST_F(RpcChannelTest, SlowAnswerIsWaitedForHungFldigiIsLeft) {
  Call("modem.set_by_name");
  EXPECT_EQ(Log(1475), "connect 127.0.0.1:7362|call modem.set_by_name");  // sent at 25 ms, answered 1475 ms later
  fldigi.inbox = Answer("BPSK31");
  EXPECT_EQ(Log(25), "modem.set_by_name string \"BPSK31\"");
  Call("main.tx"), Call("text.add_tx");
  EXPECT_EQ(Log(1500), "call main.tx");
  EXPECT_EQ(LogAndStatus(25), std::pair("close|main.tx failed after sending|text.add_tx failed unsent"s,
                                        kNotAnswering + "no answer to main.tx within 1500 ms"));
  fldigi.answers = {Answer("")}, Ticks(500), Call("main.tx");
  EXPECT_EQ(Log(25), "connect 127.0.0.1:7362|call main.tx|main.tx string \"\"");
}

// fldigi answers, but not as it should: the call fails (fldigi may have acted on it), the
// connection is dropped, and the calls behind it go on a new one.
TEST_F(RpcChannelTest, BadAnswersFailTheirCallOnly) {
  const struct { const char* name; std::string answer; bool close; std::string error; } rows[] = {  // "": answered
      {"fault", Http("<methodResponse><fault><value><struct><member><name>faultCode</name><value><i4>-1</i4></value>"
                     "</member><member><name>faultString</name><value>type error</value></member></struct></value>"
                     "</fault></methodResponse>"), false, ""},
      {"malformed XML", Http("<methodResponse><params><param><value><i4>x</i4>"), false,
       "fldigi answered m badly: malformed XML-RPC answer: int \"x\""},
      {"HTTP error", Http("no", "500 Internal Server Error"), false, "fldigi answered m with HTTP 500 Internal Server Error"},
      {"closed mid-answer", Answer("4.1.23").substr(0, 90), true, "closed after 4 of 116 body bytes"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeFldigi fake;
    RpcChannel ch(fake, {});
    results.clear(), fake.answers = {row.answer, Answer("<i4>1</i4>")}, fake.close_after_answer = row.close;
    for (const char* m : {"m", "n"}) ch.Call(m, {}, [&](const RpcResult& r) { results.push_back(r), fake.Log(Outcome(r)); });
    ch.Poll(25);
    if (row.close) fake.close_after_answer = false, fake.answers = {Answer("<i4>1</i4>")}, ch.Poll(50);
    EXPECT_EQ(std::pair(fake.log, ch.status()), std::pair("connect 127.0.0.1:7362|call m|" + (row.error.empty() ? "m fault type error|call n|n int 1"s
                 : "close|m failed after sending|connect 127.0.0.1:7362|call n|n int 1"), ""s));
    EXPECT_NE(results[0].error.find(row.error), std::string::npos) << results[0].error;
  }
}

// A connection fldigi has closed since the last call (or told us it would) is replaced
// before anything is sent on it.
TEST_F(RpcChannelTest, ReconnectsWhenFldigiClosedTheConnection) {
  fldigi.answers = {Answer("1"), Answer("2"), Http("<methodResponse><params/></methodResponse>"), Answer("4")};
  Call("a"), Ticks(25);
  fldigi.peer_closed = true;  // fldigi restarted while idle
  Call("b"), Ticks(25);
  fldigi.inbox.clear(), fldigi.answers.front().insert(17, "Connection: close\r\n");
  Call("c"), Call("d");
  EXPECT_EQ(Log(25), "connect 127.0.0.1:7362|call a|a string \"1\"|close|connect 127.0.0.1:7362|call b|b string \"2\"|"
                   "call c|close|c nil|connect 127.0.0.1:7362|call d|d string \"4\"");
}

// A request the system takes in pieces goes on over several ticks; failing part-way, fldigi
// cannot have acted on it.
TEST_F(RpcChannelTest, PartialSendsAndSendFailures) {
  fldigi.send_take = 40, fldigi.answers = {Answer("ok")};
  Call("text.add_tx"), Ticks(25);
  fldigi.send_take = 0, Call("text.add_tx");
  EXPECT_EQ(LogAndStatus(1525),
            std::pair("connect 127.0.0.1:7362|call text.add_tx|text.add_tx string \"ok\"|close|text.add_tx failed unsent"s,
                      kNotAnswering + "no answer to text.add_tx within 1500 ms"));
}

TEST_F(RpcChannelTest, CancelAndCallbacksThatCall) {
  fldigi.answers = {Answer("1"), Answer("2")};
  // b is queued from a's callback, and answered in the same Poll.
  channel.Call("a", {}, [this](const RpcResult& r) { fldigi.Log(Outcome(r)), Call("b"); });
  EXPECT_EQ(Log(25), "connect 127.0.0.1:7362|call a|a string \"1\"|call b|b string \"2\"");
  Call("c"), Call("d"), Ticks(25), channel.Cancel("station switched");  // c in flight, no answer
  EXPECT_EQ(Log(), "call c|close|c failed after sending|d failed unsent");
  EXPECT_EQ(results.back().error, "station switched");
}

}  // namespace
}  // namespace qsopad
