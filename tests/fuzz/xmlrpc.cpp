// fldigi's answers over any bytes: the HTTP parser reads an answer fed in pieces as it
// reads it whole; a value the XML-RPC reader accepts is written back by our own encoder
// and reads again as the same value; and the channel, handed the bytes as fldigi's
// answer, completes its call exactly once without waiting past its time limit.
//
// Input: one control byte (the size of the pieces, less one), then the answer bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/error.h"
#include "fuzz_check.h"
#include "station/http.h"
#include "station/rpc_channel.h"
#include "station/xmlrpc.h"

using namespace qsopad;
using qsopad::fuzz::PrintBytes;

namespace {

struct Parsed {
  bool ok = false;
  std::string error, body;
  int status = 0;
  std::size_t used = 0;
};

Parsed ParseHttp(std::string_view bytes, std::size_t piece) {
  Parsed out;
  HttpAnswerParser parser;
  try {
    while (out.used < bytes.size() && !parser.done()) {
      const std::size_t given = std::min(piece, bytes.size() - out.used);
      const std::size_t used = parser.Feed(bytes.substr(out.used, given));
      FUZZ_REQUIRE(used <= given && (used == given || parser.done()), "the parser takes what it is given");
      out.used += used;
    }
    if (!parser.done()) parser.FeedClose();
    out.ok = true, out.status = parser.status(), out.body = parser.body();
    FUZZ_REQUIRE(out.body.size() <= HttpAnswerParser::kMaxBody, "a body is bounded");
  } catch (const Error& e) {
    out.error = e.what();
  }
  return out;
}

bool HasNul(const XmlRpcValue& v) {
  switch (v.type()) {
    case XmlRpcValue::Type::kString: return v.AsString().find('\0') != std::string::npos;
    case XmlRpcValue::Type::kArray:
      return std::any_of(v.AsArray().begin(), v.AsArray().end(), [](const XmlRpcValue& i) { return HasNul(i); });
    case XmlRpcValue::Type::kStruct:
      for (std::size_t i = 0; i < v.MemberCount(); ++i)
        if (HasNul(v.MemberValue(i)) || v.MemberName(i).find('\0') != std::string::npos) return true;
      return false;
    default: return false;
  }
}

void CheckXml(std::string_view body) {
  XmlRpcAnswer answer;
  try {
    answer = ReadXmlRpcAnswer(body);
  } catch (const Error&) {
    return;
  }
  (void)answer.value.Describe();
  if (answer.fault || HasNul(answer.value)) return;
  // Our encoder's <value> of the value, as an answer.
  const std::string call = XmlRpcCallBody("m", {answer.value});
  const std::size_t from = call.find("<param>") + 7, to = call.rfind("</param>");
  const std::string again = "<methodResponse><params><param>" + call.substr(from, to - from) +
                            "</param></params></methodResponse>";
  XmlRpcAnswer reread;
  try {
    reread = ReadXmlRpcAnswer(again);
  } catch (const Error& e) {
    FUZZ_REQUIRE(false, "our own encoding reads back", PrintBytes("encoded", again); std::fprintf(stderr, "  %s\n", e.what()));
  }
  FUZZ_REQUIRE(reread.value == answer.value, "a value survives encoding and reading",
               PrintBytes("answer", body); PrintBytes("encoded", again));
}

// A connection that answers every request with the input, in pieces.
class AnsweringPort : public NetPort {
 public:
  AnsweringPort(std::string_view answer, std::size_t piece) : answer_(answer), piece_(piece) {}
  NetResult StartConnect(const std::string&, std::uint16_t) override { return NetResult::Done(); }
  NetResult PollConnect() override { return NetResult::Done(); }
  NetResult Send(std::string_view bytes) override { return NetResult::Done(bytes.size()); }
  NetResult Receive(char* buffer, std::size_t size) override {
    if (at_ == answer_.size()) return NetResult::Closed();
    const std::size_t n = std::min({size, piece_, answer_.size() - at_});
    std::copy_n(answer_.data() + at_, n, buffer);
    at_ += n;
    return NetResult::Done(n);
  }
  void Close() override {}

 private:
  std::string_view answer_;
  std::size_t piece_, at_ = 0;
};

void CheckChannel(std::string_view answer, std::size_t piece) {
  AnsweringPort port(answer, piece);
  RpcChannel channel(port, {});
  int completed = 0;
  channel.Call("fldigi.version", {}, [&](const RpcResult& r) {
    ++completed;
    FUZZ_REQUIRE(r.outcome != RpcResult::Outcome::kFailed || !r.error.empty(), "a failure says why");
  });
  for (std::int64_t now = 25; now <= 1600 && completed == 0; now += 25) channel.Poll(now);
  FUZZ_REQUIRE(completed == 1, "the call completes once within its time limit",
               std::fprintf(stderr, "  %d completions\n", completed));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = std::size_t{data[0]} + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  const Parsed whole = ParseHttp(bytes, bytes.size() + 1), pieces = ParseHttp(bytes, piece);
  FUZZ_REQUIRE(whole.ok == pieces.ok && (!whole.ok || (whole.status == pieces.status && whole.body == pieces.body &&
                                                         whole.used == pieces.used)),
               "an answer reads the same in pieces as whole",
               PrintBytes("whole error", whole.error); PrintBytes("pieces error", pieces.error));
  CheckXml(bytes);
  if (whole.ok) CheckXml(whole.body);
  CheckChannel(bytes, piece);
  return 0;
}
