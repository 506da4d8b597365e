// HTTP/1.1 as an XML-RPC client needs it: the text of one POST, and a parser for the
// answer that takes the bytes as they arrive. Answers are untrusted: header and body are
// bounded, and what cannot be read throws Error naming it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qsopad {

// A POST of `body` as text/xml to `path` on `host` ("127.0.0.1:7362"), keeping the
// connection open for the next call.
std::string HttpPostRequest(std::string_view host, std::string_view path, std::string_view body);

class HttpAnswerParser {
 public:
  static constexpr std::size_t kMaxHeader = 16 * 1024;
  static constexpr std::size_t kMaxBody = 1 << 20;

  // Takes the next bytes received. Returns how many belong to this answer: fewer than
  // given when the answer ended inside them. Throws Error for an answer that is malformed
  // or larger than the bounds above; once it has thrown, the parser stays failed.
  std::size_t Feed(std::string_view bytes);
  // The connection was closed: ends a body that runs to the close, and throws Error when
  // the answer is incomplete.
  void FeedClose();
  void Reset() { *this = HttpAnswerParser(); }

  bool done() const { return state_ == State::kDone; }
  // True once any byte of an answer has arrived.
  bool started() const { return state_ != State::kHead || !head_.empty(); }
  int status() const { return status_; }
  const std::string& reason() const { return reason_; }
  const std::string& body() const { return body_; }
  // The value of a header (the first of that name, compared without case), "" when absent.
  std::string Header(std::string_view name) const;
  // Whether the connection may carry the next call after this answer.
  bool keep_alive() const { return keep_alive_; }

 private:
  enum class State { kHead, kBody, kBodyToClose, kDone, kFailed };
  [[noreturn]] void Fail(const std::string& what);
  void ReadHead(std::string_view head);

  State state_ = State::kHead;
  std::string head_, body_, reason_;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::size_t length_ = 0;
  int status_ = 0;
  bool keep_alive_ = true;
};

}  // namespace qsopad
