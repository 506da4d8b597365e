// The fldigi station: XML-RPC and HTTP as it writes and reads them (the answers are fldigi 4.1.23's); the channel that
// carries them against a scripted fldigi, what each failure does to the call in flight, to the calls behind it and to
// the status text, polled tick by tick; and the operator road over a fake fldigi that answers from a little model of
// its own state, tick by tick on a fake clock. (Answers in any pieces: the fuzz target. Modem, carrier and partner, and
// fldigi hung and killed mid-transmission: end to end with the real fldigi.)
#include "station/fldigi_station.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>

#include "common/error.h"
#include "main_form_fixture.h"
#include "station/cp1252.h"
#include "station/http.h"
#include "station/rpc_channel.h"
#include "station/xmlrpc.h"

namespace qsopad {
namespace {


using V = XmlRpcValue;
using ::testing::HasSubstr;

// What `read` throws, or "(no error)".
std::string ErrorOf(const std::function<void()>& read) {
  try { read(); } catch (const Error& e) { return e.what(); }
  return "(no error)";
}

std::string Response(const std::string& value) {
  return "<?xml version=\"1.0\"?>\r\n<methodResponse><params><param>\r\n\t<value>" + value +
         "</value>\r\n</param></params></methodResponse>\r\n";
}

// An answer whose value is an array in an array... `depth` values deep, "x" the innermost.
std::string Nested(int depth) {
  std::string value = "<value>x</value>";
  for (int i = 1; i < depth; ++i) value = "<value><array><data>" + value + "</data></array></value>";
  return "<methodResponse><params><param>" + value + "</param></params></methodResponse>";
}

std::string Http(const std::string& body, const std::string& status = "200 OK") {
  return "HTTP/1.1 " + status + "\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}
std::string Answer(const std::string& value) { return Http(Response(value)); }

// fldigi's server decodes no character references: bytes other than < & > go as they are.
// (Ints to the smallest, booleans, arrays, structs, base64, nil read back as written: the fuzz seeds.)
TEST(XmlRpc, CallBodyWritesEachTypeAndPassesBytesThrough) {
  const std::string as_is("\xD8\x80\x01\"'\r\n^r", 9);
  const std::vector<V> params = {V::String("a<b&c>d"), V::String(as_is), V::Double(1500.25), V::Double(14070000)};
  EXPECT_EQ(XmlRpcCallBody("text.add_tx", params),
            "<?xml version=\"1.0\"?>\n<methodCall><methodName>text.add_tx</methodName><params>"
            "<param><value><string>a&lt;b&amp;c&gt;d</string></value></param><param><value><string>" + as_is +
            "</string></value></param><param><value><double>1500.25</double></value></param>"
            "<param><value><double>14070000</double></value></param></params></methodCall>\n");
  EXPECT_THROW(XmlRpcCallBody("log.set_call<", {}), Error);
  EXPECT_THROW(XmlRpcCallBody("m", {V::String(std::string("a\0b", 3))}), Error);
  EXPECT_THROW(XmlRpcCallBody("m", {V::Double(1.0 / 0.0)}), Error);
}

// Each row reads to `value`, or is refused with `error` in the message.
TEST(XmlRpc, ReadsWhatFldigiAnswersAndRefusesMalformedAnswersNamingTheFault) {
  V nested = V::String("x");
  for (int i = 1; i < kXmlRpcMaxDepth; ++i) nested = V::Array({nested});
  const std::size_t room = kXmlRpcMaxAnswer - Response("").size();  // the largest answer read
  const struct { std::string body; V value; const char* error = nullptr; } rows[] = {
      {Response(""), V::String("")},
      {Response("A&lt;&amp;&gt;&quot;&apos;\xC3\x98Z"), V::String("A<&>\"'\xC3\x98Z")},
      {Response("&#216;&#xD8;&#x1F600;"), V::String("\xC3\x98\xC3\x98\xF0\x9F\x98\x80")},
      {Response("&#1;&#xD7FF;&#xE000;&#x10FFFF;"), V::String("\x01\xED\x9F\xBF\xEE\x80\x80\xF4\x8F\xBF\xBF")},
      {Response("<i4>2147483647</i4>"), V::Int(2147483647)}, {Response("<i4>-2147483648</i4>"), V::Int(-2147483647 - 1)},
      {Response("<int> -7 </int>"), V::Int(-7)},             {Response("<double>5.000000</double>"), V::Double(5)},
      {Response("<boolean>1</boolean>"), V::Bool(true)},     {Response("<base64></base64>"), V::Bytes("")},
      {Response("<base64>YcOY\nYsOp</base64>"), V::Bytes("a\xC3\x98" "b\xC3\xA9")},
      {Response("<base64>++//Zg==</base64>"), V::Bytes("\xFB\xEF\xFF" "f")},
      {Response("<base64>Zm8=</base64>"), V::Bytes("fo")},
      {Response("<string/>"), V::String("")},                {Response(" <!-- c --> <nil/> "), V()},
      {Response("<array><data><value>BPSK31</value>\n<value><i4>2</i4></value></data></array>"),
       V::Array({V::String("BPSK31"), V::Int(2)})},
      {Response("<struct><member><name>major</name><value><i4>4</i4></value></member><member><name>patch</name>"
                "<value>.23</value></member></struct>"),
       V::Struct({{"major", V::Int(4)}, {"patch", V::String(".23")}})},
      {"<methodResponse><params/></methodResponse>", V()},
      {Nested(kXmlRpcMaxDepth), nested},  // the deepest read
      {Response(std::string(room, 'a')), V::String(std::string(room, 'a'))},
      {"<!DOCTYPE x [<!ENTITY a \"b\">]>" + Response("&a;"), {}, "DOCTYPE"}, {Response("&a;"), {}, "unknown entity &a;"},
      {Response("a & b"), {}, "'&' that starts no entity"}, {Response("&#0;"), {}, "bad character reference"},
      {Response("&#xD800;"), {}, "bad character reference"}, {Response("&#xDFFF;"), {}, "bad character reference"},
      {Response("&#x110000;"), {}, "bad character reference"}, {Response("<![CDATA[x]]>"), {}, "CDATA"},
      {Response("<i4>2147483648</i4>"), {}, "int \"2147483648\""}, {Response("<i4></i4>"), {}, "int \"\""},
      {Response("<i4>-2147483649</i4>"), {}, "int \"-2147483649\""}, {Response("<boolean>2</boolean>"), {}, "boolean \"2\""},
      {Response("<double>1e999</double>"), {}, "double"}, {Response("<double>nan</double>"), {}, "double"},
      {Response("x<i4>1</i4>"), {}, "text \"x\" beside <i4>"}, {Response("<base64>YQ=</base64>"), {}, "not whole groups"},
      {Response("<dateTime.iso8601>20240101T00:00:00</dateTime.iso8601>"), {}, "unknown value type"},
      {Response("<base64>Y!==</base64>"), {}, "base64"}, {Response("<i4>1</int>"), {}, "</i4> wanted, not </int>"},
      {Response("1") + "<x/>", {}, "more after </methodResponse>"}, {Response("1").substr(0, 60), {}, "unterminated tag <va"},
      {Response("1").substr(0, 64), {}, "the answer ends inside text"},
      {"<methodResponse><fault><value><i4>1</i4></value></fault></methodResponse>", {}, "without faultCode"},
      {Nested(kXmlRpcMaxDepth + 1), {}, "nested deeper than 32"}, {Response(std::string(room + 1, 'a')), {}, "more than 1048576"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body.substr(0, 200));
    XmlRpcAnswer answer;
    EXPECT_THAT(ErrorOf([&] { answer = ReadXmlRpcAnswer(row.body); }), HasSubstr(row.error ? row.error : "(no error)"));
    EXPECT_TRUE(!answer.fault && answer.value == (row.error ? V() : row.value)) << answer.value.Describe();
  }
}

// Windows-1252 both ways, every byte through it and back; base64 that is not whole groups of four.
// (Base64 read: the rows above and fldigi's own, end to end; written: read back by the fuzz target.)
TEST(Encodings, Cp1252BothWaysAndBase64RefusesBrokenGroups) {
  const std::pair<std::string, std::string> pairs[] = {{"cq de W1AW", "cq de W1AW"}, {"\xD8", "\xC3\x98"},
      {"\x80", "\xE2\x82\xAC"}, {"\x81", "\xC2\x81"}, {"\x9F", "\xC5\xB8"}, {"\xA0\xFF", "\xC2\xA0\xC3\xBF"}};
  for (const auto& [ansi, utf8] : pairs) EXPECT_EQ(std::pair(Cp1252ToUtf8(ansi), Utf8ToCp1252(utf8)), std::pair(utf8, ansi));
  for (const char* bad : {"Zg=", "Z===", "=Zg=", "Zg==Zg==", "Zm9v!", "Zg=a"}) EXPECT_THROW(Base64Decode(bad), Error) << bad;
  std::string all;
  for (int i = 1; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
  // No such character, nor outside the BMP: "?"; a single byte from an older program, an
  // overlong form, a surrogate, a sequence cut short: their bytes as they are.
  const std::pair<std::string, std::string> from_utf8[] = {{"\xE2\x98\xBA", "?"}, {"\xF0\x9F\x98\x80!", "?!"},
      {"\xD8" "b", "\xD8" "b"}, {"\xC0\xAF", "\xC0\xAF"}, {"\xED\xA0\x80", "\xED\xA0\x80"}, {"\xE2\x82", "\xE2\x82"}};
  for (const auto& [utf8, ansi] : from_utf8) EXPECT_EQ(Utf8ToCp1252(utf8), ansi) << ansi;
}

// Each row's bytes, then the close of the connection when `close`, give "status, whether the
// connection is kept, the bytes left after the answer: [body]", or an error holding `want`.
// (Fed in pieces it reads the same, taking nothing past the answer: the fuzz target checks that
// for any bytes. fldigi's own answers, and the requests it takes: end to end.)
TEST(Http, ReadsAnswersAndRefusesMalformedAndOversizedOnes) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nX: ";  // then 16384 bytes in all
  const std::string mib(1 << 20, 'b');  // the largest body taken
  const struct { std::string bytes; bool close; std::string want; } rows[] = {
      {"HTTP/1.1 200 OK\r\nconnection:  Close \r\nCONTENT-LENGTH: 0\r\n\r\n", false, "200 closed 0: []"},
      {"HTTP/1.0 500 Internal Server Error\r\nContent-Length: 3\r\nConnection: keep-alive\r\n\r\nbad", false,
       "500 kept 0: [bad]"},
      {"HTTP/1.1 204 No Content\r\n\r\nx", false, "204 kept 1: []"},
      {head + std::string(16384 - head.size() - 4, 'a') + "\r\n\r\n", false, "200 kept 0: []"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 1048576\r\n\r\n" + mib, false, "200 kept 0: [" + mib + "]"},
      {"HTTP/1.0 200 OK\r\n\r\n" + mib, true, "200 closed 0: [" + mib + "]"},
      {"HTTP/2 200 OK\r\n\r\n", false, "status line \"HTTP/2 200 OK\""}, {"HTTP/1.1 20x OK\r\n\r\n", false, "status line"},
      {"HTTP/1.1 100 Continue\r\n\r\n", false, "status 100"},
      {"HTTP/1.1 200 OK\r\nno colon\r\n\r\n", false, "header line \"no colon\""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 12x\r\n\r\n", false, "Content-Length \"12x\""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", false, "two different"},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", false, "Transfer-Encoding \"chunked\""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\n", false, "a body of 1048577 bytes"},
      {"HTTP/1.1 200 OK\r\nX: " + std::string(16385 - 24, 'a') + "\r\n\r\n", false, "a head of more than 16384 bytes"},
      {"HTTP/1.0 200 OK\r\n\r\n" + mib + "a", false, "a body of more than 1048576"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n12345", true, "closed after 5 of 10 body bytes"},
      {"HTTP/1.1 200 O", true, "closed inside the head"}, {"", true, "closed before any answer"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bytes.substr(0, 80));
    HttpAnswerParser p;
    std::size_t taken = 0;
    std::string got = ErrorOf([&] { taken = p.Feed(row.bytes), row.close ? p.FeedClose() : void(); });
    if (got == "(no error)" && p.done())
      got = std::to_string(p.status()) + (p.keep_alive() ? " kept " : " closed ") +
            std::to_string(row.bytes.size() - taken) + ": [" + p.body() + "]";
    const bool read = std::isdigit(static_cast<unsigned char>(row.want[0]));
    EXPECT_TRUE(read ? got == row.want : got.find(row.want) != std::string::npos) << got.substr(0, 200);
    EXPECT_TRUE(read || ErrorOf([&] { p.Feed("more"); }) != "(no error)") << "a failed parser stays failed";
  }
}

// fldigi's state as the requests change it, and the clock of the world it lives in.
struct Fldigi : MonotonicClock {
  std::int64_t now = 100000;
  std::string trx = "RX", tx_text;
  bool stuck = false;  // still finishing a transmission after saying RX: main.tx is lost until main.rx
  int answer_ms = 0;   // how long an answer takes
  int port = 0;        // the last one connected to
  std::int64_t NowMs() override { return now; }

  // The value of the answer to a request (the tests type nothing to escape).
  std::string Handle(const std::string& request) {
    const auto between = [&](const std::string& open, const std::string& close) {
      const std::size_t a = request.find(open);
      return a == std::string::npos ? "" : request.substr(a + open.size(), request.find(close, a) - a - open.size());
    };
    const std::string method = between("<methodName>", "</methodName>"), text = between("<string>", "</string>");
    const auto str = [](const std::string& s) { return "<string>" + s + "</string>"; };
    if (method == "main.get_trx_state") return str(trx);
    if (method == "main.get_trx_status") return str(stuck || trx == "TX" ? "tx" : "rx");
    if (method == "main.rx") stuck = false, trx = "RX";
    if (method == "main.tx" && stuck) return "<nil/>";
    if (method == "modem.get_name") return str("BPSK31");
    if (method == "modem.get_carrier") return "<i4>1000</i4>";
    if (method == "log.get_call" || method == "log.get_name") return str("");
    if (method == "text.add_tx" || method == "text.clear_tx") tx_text = method == "text.add_tx" ? tx_text + text : "";
    if (method == "main.tx" || method == "main.abort") trx = method == "main.tx" ? "TX" : "RX";
    return "<nil/>";
  }
};

// fldigi as the test scripts it. Every complete request takes the next of `answers` into
// the bytes the channel receives; with none left, fldigi keeps silent. With a `model`, the
// model answers instead, each answer there `answer_ms` after its request. What happens is
// logged as one line a step ("connect", "call <method>", "close", and the tests' outcomes).
class FakeFldigi : public NetPort {
 public:
  NetResult connect = NetResult::Done();  // what StartConnect answers
  NetResult poll = NetResult::Done();     // what PollConnect answers
  std::deque<std::string> answers;
  Fldigi* model = nullptr;
  bool close_after_answer = false;
  std::size_t send_take = SIZE_MAX;  // bytes taken per Send; 0: would block
  std::string inbox;                 // bytes waiting for Receive
  bool peer_closed = false;
  std::string log;

  void Log(const std::string& line) { log += (log.empty() ? "" : "|") + line; }
  NetResult StartConnect(const std::string& address, std::uint16_t port) override {
    Log("connect " + address + ":" + std::to_string(port));
    open_ = true, request_.clear(), inbox.clear(), later_.clear(), peer_closed = false;
    if (model) model->port = port;
    return connect;
  }
  NetResult PollConnect() override { return poll; }
  NetResult Send(std::string_view bytes) override {
    const std::size_t n = std::min(bytes.size(), send_take);
    if (n == 0) return NetResult::WouldBlock();
    request_.append(bytes.substr(0, n));
    if (request_.find("</methodCall>\n") == std::string::npos) return NetResult::Done(n);
    const std::size_t name = request_.find("<methodName>") + 12;
    Log("call " + request_.substr(name, request_.find('<', name) - name));
    if (model) later_.push_back({model->now + model->answer_ms, Answer(model->Handle(request_))});
    request_.clear();
    if (!model && !answers.empty()) inbox += answers.front(), answers.pop_front(), peer_closed = close_after_answer;
    return NetResult::Done(n);
  }
  NetResult Receive(char* buffer, std::size_t size) override {
    for (; !later_.empty() && later_.front().first <= model->now; later_.pop_front()) inbox += later_.front().second;
    if (inbox.empty()) return peer_closed ? NetResult::Closed() : NetResult::WouldBlock();
    const std::size_t n = inbox.copy(buffer, size);
    return inbox.erase(0, n), NetResult::Done(n);
  }
  void Close() override { std::exchange(open_, false) ? Log("close") : void(); }

 private:
  bool open_ = false;
  std::string request_;
  std::deque<std::pair<std::int64_t, std::string>> later_;  // the model's answers, and when each is there
};

// "<method> <value>", "<method> fault <code> <text>", "<method> failed unsent / after sending".
std::string Outcome(const RpcResult& r) {
  using enum RpcResult::Outcome;
  return r.method + (r.outcome == kAnswered ? " " + r.value.Describe()
                     : r.outcome == kFault  ? " fault " + std::to_string(r.fault.code) + " " + r.fault.text
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
  while (now < 32000) {
    Call("main.get_trx_state");
    if (Log(25).starts_with("connect")) tries.push_back(now);
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

// A slow fldigi is waited for; a hung one costs the call in flight once the time limit has passed, the calls behind it
// fail unsent, and the first call after the wait takes a new connection.
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
      {"fault", Http("<?xml version=\"1.0\"?>\r\n<methodResponse><fault>\r\n\t<value><struct><member><name>faultCode"
                     "</name><value><i4>-1</i4></value></member><member><name>faultString</name><value>no.such: unknown "
                     "method name</value></member></struct></value>\r\n</fault></methodResponse>\r\n"), false, ""},
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
    const std::string then = row.error.empty() ? "m fault -1 no.such: unknown method name|call n|n int 1"
                                               : "close|m failed after sending|connect 127.0.0.1:7362|call n|n int 1";
    EXPECT_EQ(std::pair(fake.log, ch.status()), std::pair("connect 127.0.0.1:7362|call m|" + then, ""s));
    EXPECT_NE(results[0].error.find(row.error), std::string::npos) << results[0].error;
  }
}

// A connection fldigi has closed since the last call (or told us it would) is replaced before anything is sent on it.
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

// A request the system takes in pieces goes on over several ticks; failing part-way, fldigi cannot have acted on it.
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

class FldigiRoad : public fakes::MainFormTest, public StationFactory {
 protected:
  FldigiRoad() { Set("Opt", "Station", "fldigi"); }
  std::unique_ptr<Station> Make(StationKind, StationHost& host, GuardedSender&) override {
    auto net = std::make_unique<FakeFldigi>();
    net->model = &fldigi;
    return std::make_unique<FldigiStation>(FldigiStation::Platform{std::move(net), fldigi, windows, codec}, store, host);
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
