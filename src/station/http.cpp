#include "station/http.h"

#include <algorithm>
#include <charconv>

#include "common/error.h"

namespace qsopad {

namespace {

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x >= 'A' && x <= 'Z' ? x + 32 : x) == (y >= 'A' && y <= 'Z' ? y + 32 : y);
         });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Up to 60 bytes for a message, control bytes as '.'.
std::string Show(std::string_view s) {
  std::string out(s.substr(0, 60));
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '.';
  return "\"" + out + (s.size() > 60 ? "\"..." : "\"");
}

}  // namespace

std::string HttpPostRequest(std::string_view host, std::string_view path, std::string_view body) {
  std::string out = "POST ";
  out.append(path);
  out += " HTTP/1.1\r\nHost: ";
  out.append(host);
  out += "\r\nUser-Agent: QSOPAD\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: keep-alive\r\n\r\n";
  out.append(body);
  return out;
}

void HttpAnswerParser::Fail(const std::string& what) {
  state_ = State::kFailed;
  throw Error("malformed HTTP answer: " + what);
}

std::size_t HttpAnswerParser::Feed(std::string_view bytes) {
  if (state_ == State::kFailed) Fail("the answer has already failed");
  std::size_t used = 0;
  if (state_ == State::kHead) {
    // The head ends at the first empty line; look for it where this chunk joins the last.
    const std::size_t before = head_.size();
    // The head, with its empty line, is at most kMaxHeader bytes, however it arrives.
    head_.append(bytes.substr(0, kMaxHeader - before));
    const std::size_t end = head_.find("\r\n\r\n", before >= 3 ? before - 3 : 0);
    if (end == std::string::npos) {
      if (head_.size() >= kMaxHeader) Fail("a head of more than " + std::to_string(kMaxHeader) + " bytes");
      return bytes.size();
    }
    used = end + 4 - before;
    head_.resize(end + 4);
    ReadHead(std::string_view(head_).substr(0, end + 2));
    if (state_ == State::kDone) return used;
  }
  const std::string_view rest = bytes.substr(used);
  if (state_ == State::kBody) {
    const std::size_t take = std::min(rest.size(), length_ - body_.size());
    body_.append(rest.substr(0, take));
    if (body_.size() == length_) state_ = State::kDone;
    return used + take;
  }
  if (state_ == State::kBodyToClose) {
    if (body_.size() + rest.size() > kMaxBody)
      Fail("a body of more than " + std::to_string(kMaxBody) + " bytes");
    body_.append(rest);
    return bytes.size();
  }
  return used;  // kDone: nothing more belongs to this answer
}

void HttpAnswerParser::FeedClose() {
  if (state_ == State::kBodyToClose) {
    state_ = State::kDone;
  } else if (state_ == State::kHead) {
    Fail(head_.empty() ? "the connection closed before any answer"
                       : "the connection closed inside the head, after " + std::to_string(head_.size()) + " bytes");
  } else if (state_ == State::kBody) {
    Fail("the connection closed after " + std::to_string(body_.size()) + " of " + std::to_string(length_) +
         " body bytes");
  }
  keep_alive_ = false;
}

void HttpAnswerParser::ReadHead(std::string_view head) {
  // Status line: HTTP/1.x NNN reason
  const std::size_t eol = head.find("\r\n");
  const std::string_view line = head.substr(0, eol);
  if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || (line[7] != '0' && line[7] != '1') || line[8] != ' ' ||
      (line.size() > 12 && line[12] != ' '))
    Fail("status line " + Show(line));
  const std::string_view code = line.substr(9, 3);
  if (!std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; }))
    Fail("status line " + Show(line));
  status_ = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
  if (status_ < 200) Fail("status " + std::to_string(status_) + " where a final answer belongs");
  reason_ = std::string(Trim(line.substr(std::min<std::size_t>(13, line.size()))));
  keep_alive_ = line[7] == '1';

  for (std::size_t at = eol + 2; at < head.size();) {
    const std::size_t end = head.find("\r\n", at);
    const std::string_view field = head.substr(at, end - at);
    at = end + 2;
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos || colon == 0 || Trim(field.substr(0, colon)).size() != colon)
      Fail("header line " + Show(field));
    headers_.emplace_back(field.substr(0, colon), Trim(field.substr(colon + 1)));
  }

  const std::string connection = Header("Connection");
  if (SameText(connection, "close")) keep_alive_ = false;
  if (SameText(connection, "keep-alive")) keep_alive_ = true;
  if (!Header("Transfer-Encoding").empty()) Fail("Transfer-Encoding " + Show(Header("Transfer-Encoding")));
  int lengths = 0;
  for (const auto& [name, value] : headers_) {
    if (!SameText(name, "Content-Length")) continue;
    std::size_t n = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (value.empty() || ec != std::errc() || ptr != value.data() + value.size())
      Fail("Content-Length " + Show(value));
    if (n > kMaxBody) Fail("a body of " + value + " bytes, more than " + std::to_string(kMaxBody));
    if (lengths++ > 0 && n != length_) Fail("two different Content-Lengths");
    length_ = n;
  }
  if (status_ == 204 || status_ == 304) {
    state_ = State::kDone;
  } else if (lengths > 0) {
    state_ = length_ == 0 ? State::kDone : State::kBody;
  } else {
    state_ = State::kBodyToClose;
    keep_alive_ = false;
  }
}

std::string HttpAnswerParser::Header(std::string_view name) const {
  for (const auto& [n, v] : headers_)
    if (SameText(n, name)) return v;
  return {};
}

}  // namespace qsopad
