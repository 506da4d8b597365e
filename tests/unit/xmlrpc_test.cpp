// XML-RPC and HTTP as the fldigi station writes and reads them; the answers are fldigi 4.1.23's.
#include "station/xmlrpc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "common/error.h"
#include "station/cp1252.h"
#include "station/http.h"

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

// fldigi's server decodes no character references: bytes other than < & > go as they are.
// (Ints to the smallest, booleans, arrays, structs, base64, nil read back as written: the fuzz seeds.)
TEST(XmlRpc, CallBodyWritesEachTypeAndPassesBytesThrough) {
  const std::pair<V, std::string> params[] = {
      {V::String("cq"), "<string>cq</string>"}, {V::String("a<b&c>d"), "<string>a&lt;b&amp;c&gt;d</string>"},
      {V::String(std::string("\xD8\x80\x01\"'\r\n^r", 9)), "<string>\xD8\x80\x01\"'\r\n^r</string>"},
      {V::Double(1500.25), "<double>1500.25</double>"}, {V::Double(14070000), "<double>14070000</double>"}};
  std::vector<V> values;
  std::string xml;
  for (const auto& [value, text] : params) values.push_back(value), xml += "<param><value>" + text + "</value></param>";
  EXPECT_EQ(XmlRpcCallBody("text.add_tx", values),
            "<?xml version=\"1.0\"?>\n<methodCall><methodName>text.add_tx</methodName><params>" + xml + "</params></methodCall>\n");
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
  const XmlRpcAnswer fault = ReadXmlRpcAnswer(
      "<?xml version=\"1.0\"?>\r\n<methodResponse><fault>\r\n\t<value><struct><member><name>faultCode</name><value>"
      "<i4>-1</i4></value></member><member><name>faultString</name><value>no.such: unknown method name</value>"
      "</member></struct></value>\r\n</fault></methodResponse>\r\n");
  EXPECT_EQ(fault.fault, (XmlRpcFault{-1, "no.such: unknown method name"}));
}

// Base64 and Windows-1252 both ways; every byte through Windows-1252 and back.
TEST(Encodings, Base64AndCp1252BothWays) {
  using Convert = std::string (*)(std::string_view);
  const struct { Convert there, back; std::vector<std::pair<std::string, std::string>> pairs; } codes[] = {
      {Base64Encode, Base64Decode, {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"\xFF\xFE", "//4="},
                                    {"\xFB\xEF\xBE", "++++"}}},
      {Cp1252ToUtf8, Utf8ToCp1252, {{"cq de W1AW", "cq de W1AW"}, {"\xD8", "\xC3\x98"}, {"\x80", "\xE2\x82\xAC"},
                                    {"\x81", "\xC2\x81"}, {"\x9F", "\xC5\xB8"}, {"\xA0\xFF", "\xC2\xA0\xC3\xBF"}}}};
  for (const auto& code : codes)
    for (const auto& [bytes, text] : code.pairs) EXPECT_EQ(std::pair(code.there(bytes), code.back(text)), std::pair(text, bytes));
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
    EXPECT_TRUE(std::isdigit(row.want[0]) ? got == row.want : got.find(row.want) != std::string::npos) << got.substr(0, 200);
    if (!std::isdigit(static_cast<unsigned char>(row.want[0]))) {
      EXPECT_THROW(p.Feed("more"), Error) << "a failed parser stays failed";
    }
  }
}

}  // namespace
}  // namespace qsopad
