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
// the bytes the channel receives; with none left, fldigi keeps silent.
class FakeFldigi : public NetPort {
 public:
  NetResult connect = NetResult::Done();  // what StartConnect answers
  NetResult poll = NetResult::Done();     // what PollConnect answers
  std::deque<std::string> answers;
  bool close_after_answer = false;
  std::size_t send_take = SIZE_MAX;  // bytes taken per Send; 0: would block
  std::string inbox;                 // bytes waiting for Receive
  bool peer_closed = false;
  std::vector<std::string> events;  // "connect", "close", "call <method>"

  NetResult StartConnect(const std::string& address, std::uint16_t port) override {
    events.push_back("connect " + address + ":" + std::to_string(port));
    open_ = true, request_.clear(), inbox.clear(), peer_closed = false;
    return connect;
  }
  NetResult PollConnect() override { return poll; }
  NetResult Send(std::string_view bytes) override {
    const std::size_t n = std::min(bytes.size(), send_take);
    if (n == 0) return NetResult::WouldBlock();
    request_.append(bytes.substr(0, n));
    const std::size_t end = request_.find("</methodCall>\n");
    if (end == std::string::npos) return NetResult::Done(n);
    const std::size_t name = request_.find("<methodName>") + 12;
    events.push_back("call " + request_.substr(name, request_.find('<', name) - name));
    request_.clear();
    if (!answers.empty()) inbox += answers.front(), answers.pop_front(), peer_closed = close_after_answer;
    return NetResult::Done(n);
  }
  NetResult Receive(char* buffer, std::size_t size) override {
    if (inbox.empty()) return peer_closed ? NetResult::Closed() : NetResult::WouldBlock();
    const std::size_t n = inbox.copy(buffer, size);
    inbox.erase(0, n);
    return NetResult::Done(n);
  }
  void Close() override {
    if (std::exchange(open_, false)) events.push_back("close");
  }

 private:
  bool open_ = false;
  std::string request_;
};

class RpcChannelTest : public ::testing::Test {
 protected:
  FakeFldigi fldigi;
  RpcChannel channel{fldigi, {}};
  std::vector<RpcResult> results;
  std::vector<std::string> status_seen;  // the status when each call completed
  std::int64_t now = 0;

  void Call(const std::string& method) {
    channel.Call(method, {}, [this](const RpcResult& r) { results.push_back(r), status_seen.push_back(channel.status()); });
  }
  // Polls every 25 ms until `ms` have passed.
  void Ticks(std::int64_t ms) {
    for (const std::int64_t end = now + ms; now < end;) channel.Poll(now += 25);
  }
  std::vector<std::string> Outcomes() const {
    std::vector<std::string> out;
    for (const RpcResult& r : results) {
      using enum RpcResult::Outcome;
      out.push_back(r.method + (r.outcome == kAnswered ? " " + r.value.Describe()
                                : r.outcome == kFault  ? " fault " + r.fault.text
                                                       : (r.maybe_done ? " failed after sending" : " failed unsent")));
    }
    return out;
  }
};

using Strings = std::vector<std::string>;
using namespace std::string_literals;

TEST_F(RpcChannelTest, RefusedConnectionsFailEveryCallAndAreRetriedLessOften) {
  fldigi.connect = NetResult::Failed(111, "Connection refused");
  Call("main.tx"), Call("text.add_tx"), Ticks(25);
  EXPECT_EQ(Outcomes(), (Strings{"main.tx failed unsent", "text.add_tx failed unsent"}));
  const std::string refused = "fldigi not answering at 127.0.0.1:7362: Connection refused (error 111)";
  EXPECT_EQ(std::tuple(channel.status(), results[0].error, status_seen[0]), std::tuple(refused, refused, refused));
  // A call every tick: connections are tried 0.5, 1, 2, 4, 8 and 8 s after each failure.
  std::vector<std::int64_t> tries;
  for (std::size_t seen = fldigi.events.size(); now < 32000;) {
    Call("main.get_trx_state"), Ticks(25);
    if (fldigi.events.size() > seen) tries.push_back(now), seen = fldigi.events.size();
  }
  EXPECT_EQ(tries, (std::vector<std::int64_t>{525, 1525, 3525, 7525, 15525, 23525, 31525}));
  EXPECT_EQ(results.size(), 2 + 31975 / 25u) << "every call completed";
  fldigi.connect = NetResult::Done(), fldigi.answers = {Answer("RX")};
  Ticks(39500 - now), Call("main.get_trx_state"), Ticks(25);  // the next try: 8 s after the last
  EXPECT_EQ(std::pair(Outcomes().back(), status_seen.back()), std::pair("main.get_trx_state string \"RX\""s, ""s))
      << "the status is cleared before the answer is handed on";
}

TEST_F(RpcChannelTest, ConnectThatNeverCompletesTimesOutAndIsTriedAgainLater) {
  fldigi.connect = fldigi.poll = NetResult::WouldBlock();
  Call("main.tx"), Ticks(1500);  // in flight from the first tick, at 25 ms
  EXPECT_TRUE(results.empty());
  Ticks(25);
  EXPECT_EQ(Outcomes(), (Strings{"main.tx failed unsent"}));
  EXPECT_EQ(channel.status(), "fldigi not answering at 127.0.0.1:7362: no connection within 1500 ms");
  EXPECT_EQ(fldigi.events, (Strings{"connect 127.0.0.1:7362", "close"}));
  fldigi.poll = NetResult::Done(), fldigi.answers = {Answer("")};
  Ticks(500), Call("main.tx"), Ticks(25);
  EXPECT_EQ(results.size(), 1u) << "connecting, one tick";
  Ticks(25);
  EXPECT_EQ(Outcomes().back(), "main.tx string \"\"");
}

// A slow fldigi is waited for; a hung one costs the call in flight once the time limit has
// passed, the calls behind it fail unsent, and the first call after the wait takes a new
// connection.
TEST_F(RpcChannelTest, SlowAnswerIsWaitedForHungFldigiIsLeft) {
  Call("modem.set_by_name"), Ticks(1475);  // in flight since 25 ms: the answer comes 1475 ms later
  EXPECT_TRUE(results.empty());
  fldigi.inbox = Answer("BPSK31"), Ticks(25);
  EXPECT_EQ(Outcomes(), (Strings{"modem.set_by_name string \"BPSK31\""}));
  results.clear(), Call("main.tx"), Call("text.add_tx"), Ticks(1500);
  EXPECT_TRUE(results.empty());
  Ticks(25);
  EXPECT_EQ(Outcomes(), (Strings{"main.tx failed after sending", "text.add_tx failed unsent"}));
  EXPECT_EQ(channel.status(), "fldigi not answering at 127.0.0.1:7362: no answer to main.tx within 1500 ms");
  EXPECT_EQ(fldigi.events.back(), "close");
  fldigi.answers = {Answer("")}, Ticks(500), Call("main.tx"), Ticks(25);
  EXPECT_EQ(Outcomes().back(), "main.tx string \"\"");
  EXPECT_EQ(std::count(fldigi.events.begin(), fldigi.events.end(), "connect 127.0.0.1:7362"), 2);
}

// fldigi answers, but not as it should: the call fails (fldigi may have acted on it), the
// connection is dropped, and the calls behind it go on a new one.
TEST_F(RpcChannelTest, BadAnswersFailTheirCallOnly) {
  const struct { const char* name; std::string answer; bool close; std::string outcome, error; } rows[] = {
      {"fault", Http("<methodResponse><fault><value><struct><member><name>faultCode</name><value><i4>-1</i4></value>"
                     "</member><member><name>faultString</name><value>type error</value></member></struct></value>"
                     "</fault></methodResponse>"),
       false, "m fault type error", ""},
      {"malformed XML", Http("<methodResponse><params><param><value><i4>x</i4>"), false, "m failed after sending",
       "fldigi answered m badly: malformed XML-RPC answer: int \"x\""},
      {"HTTP error", Http("no", "500 Internal Server Error"), false, "m failed after sending",
       "fldigi answered m with HTTP 500 Internal Server Error"},
      {"closed mid-answer", Answer("4.1.23").substr(0, 90), true, "m failed after sending",
       "closed after 4 of 116 body bytes"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeFldigi fake;
    RpcChannel ch(fake, {});
    results.clear(), fake.answers = {row.answer, Answer("<i4>1</i4>")}, fake.close_after_answer = row.close;
    for (const char* m : {"m", "n"}) ch.Call(m, {}, [this](const RpcResult& r) { results.push_back(r); });
    ch.Poll(25);
    if (row.close) fake.close_after_answer = false, fake.answers = {Answer("<i4>1</i4>")}, ch.Poll(50);
    ASSERT_EQ(Outcomes(), (Strings{row.outcome, "n int 1"}));
    EXPECT_NE(results[0].error.find(row.error), std::string::npos) << results[0].error;
    EXPECT_EQ(std::pair(ch.status(), std::count(fake.events.begin(), fake.events.end(), "connect 127.0.0.1:7362")),
              std::pair(""s, row.error.empty() ? 1L : 2L)) << "fldigi answers; a bad answer drops the connection";
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
  Call("c"), Call("d"), Ticks(25);
  EXPECT_EQ(Outcomes(), (Strings{"a string \"1\"", "b string \"2\"", "c nil", "d string \"4\""}));
  EXPECT_EQ(fldigi.events, (Strings{"connect 127.0.0.1:7362", "call a", "close", "connect 127.0.0.1:7362", "call b",
                                    "call c", "close", "connect 127.0.0.1:7362", "call d"}));
}

// A request the system takes in pieces goes on over several ticks; failing part-way, fldigi
// cannot have acted on it.
TEST_F(RpcChannelTest, PartialSendsAndSendFailures) {
  fldigi.send_take = 40, fldigi.answers = {Answer("ok")};
  Call("text.add_tx"), Ticks(25);
  EXPECT_EQ(Outcomes(), (Strings{"text.add_tx string \"ok\""}));
  fldigi.send_take = 0, Call("text.add_tx"), Ticks(1525);
  EXPECT_EQ(Outcomes().back(), "text.add_tx failed unsent");
  EXPECT_EQ(channel.status(), "fldigi not answering at 127.0.0.1:7362: no answer to text.add_tx within 1500 ms");
}

TEST_F(RpcChannelTest, CancelAndCallbacksThatCall) {
  fldigi.answers = {Answer("1"), Answer("2")};
  // b is queued from a's callback, and answered in the same Poll.
  channel.Call("a", {}, [this](const RpcResult& r) { results.push_back(r), Call("b"); });
  Ticks(25);
  EXPECT_EQ(Outcomes(), (Strings{"a string \"1\"", "b string \"2\""}));
  Call("c"), Call("d"), Ticks(25);  // c in flight, no answer
  channel.Cancel("station switched");
  EXPECT_EQ(Outcomes(), (Strings{"a string \"1\"", "b string \"2\"", "c failed after sending", "d failed unsent"}));
  EXPECT_EQ(results.back().error, "station switched");
}

}  // namespace
}  // namespace qsopad
