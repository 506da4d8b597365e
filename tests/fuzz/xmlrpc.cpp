// fldigi's answers over any bytes: the HTTP parser reads an answer fed in pieces as it reads
// it whole; a value the XML-RPC reader accepts is written back by our own encoder and reads
// again as the same value; the channel, handed the bytes as fldigi's answer, completes its
// call exactly once without waiting past its time limit.
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

// The status, bytes taken and body the parser reads fed `piece` bytes at a time; "" and why.
std::string ParseHttp(std::string_view bytes, std::size_t piece, std::string& error) {
  HttpAnswerParser parser;
  std::size_t used = 0;
  try {
    while (used < bytes.size() && !parser.done()) {
      const std::size_t given = std::min(piece, bytes.size() - used), took = parser.Feed(bytes.substr(used, given));
      FUZZ_REQUIRE(took <= given && (took == given || parser.done()), "the parser takes what it is given");
      used += took;
    }
    if (!parser.done()) parser.FeedClose();
    FUZZ_REQUIRE(parser.body().size() <= HttpAnswerParser::kMaxBody, "a body is bounded");
    return std::to_string(parser.status()) + " " + std::to_string(used) + "\n" + parser.body();
  } catch (const Error& e) {
    return error = e.what(), "";
  }
}

bool HasNul(const XmlRpcValue& v) {
  using Type = XmlRpcValue::Type;
  if (v.type() == Type::kString) return v.AsString().find('\0') != std::string::npos;
  if (v.type() == Type::kArray) return std::ranges::any_of(v.AsArray(), HasNul);
  for (std::size_t i = 0; v.type() == Type::kStruct && i < v.MemberCount(); ++i)
    if (HasNul(v.MemberValue(i)) || v.MemberName(i).find('\0') != std::string::npos) return true;
  return false;
}

void CheckXml(std::string_view body) {
  XmlRpcAnswer answer;
  try {
    answer = ReadXmlRpcAnswer(body);
  } catch (const Error&) {
    return;  // refusing is the reader's right; accepting binds it to the value
  }
  (void)answer.value.Describe();
  if (answer.fault || HasNul(answer.value)) return;
  const std::string call = XmlRpcCallBody("m", {answer.value});  // our encoder's <param>, as an answer
  const std::size_t from = call.find("<param>"), to = call.rfind("</params>");
  const std::string again = "<methodResponse><params>" + call.substr(from, to - from) + "</params></methodResponse>";
  const XmlRpcAnswer reread = ReadXmlRpcAnswer(again);  // our own encoding reads back, or the run fails here
  FUZZ_REQUIRE(reread.value == answer.value, "a value survives encoding and reading",
               PrintBytes("answer", body); PrintBytes("encoded", again));
}

// A connection that answers every request with the input, in pieces.
struct AnsweringPort : NetPort {
  AnsweringPort(std::string_view a, std::size_t p) : answer(a), piece(p) {}
  NetResult StartConnect(const std::string&, std::uint16_t) override { return NetResult::Done(); }
  NetResult PollConnect() override { return NetResult::Done(); }
  NetResult Send(std::string_view bytes) override { return NetResult::Done(bytes.size()); }
  NetResult Receive(char* buffer, std::size_t size) override {
    if (answer.empty()) return NetResult::Closed();
    const std::size_t n = answer.copy(buffer, std::min(size, piece));
    return answer.remove_prefix(n), NetResult::Done(n);
  }
  void Close() override {}
  std::string_view answer;  // what is still to come
  std::size_t piece;
};

void CheckChannel(std::string_view answer, std::size_t piece) {
  AnsweringPort port(answer, piece);
  RpcChannel channel(port, {});
  int completed = 0;
  channel.Call("fldigi.version", {}, [&](const RpcResult& r) {
    FUZZ_REQUIRE(++completed && (r.outcome != RpcResult::Outcome::kFailed || !r.error.empty()), "a failure says why");
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

  std::string whole_error, pieces_error;
  const std::string whole = ParseHttp(bytes, bytes.size() + 1, whole_error), pieces = ParseHttp(bytes, piece, pieces_error);
  FUZZ_REQUIRE(whole == pieces, "an answer reads the same in pieces as whole", PrintBytes("whole", whole);
               PrintBytes("pieces", pieces); PrintBytes("whole error", whole_error); PrintBytes("pieces error", pieces_error));
  CheckXml(bytes);
  if (!whole.empty()) CheckXml(whole.substr(whole.find('\n') + 1));
  CheckChannel(bytes, piece);
  return 0;
}
