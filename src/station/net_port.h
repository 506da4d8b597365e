// One TCP connection that never blocks: what the XML-RPC channel needs of the platform's
// sockets. The shell implements it with Winsock, the core with POSIX sockets (native tests
// and benchmarks); unit tests script it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace qsopad {

enum class NetStatus {
  kDone,        // connected; or some bytes were sent or received
  kWouldBlock,  // nothing happened yet: ask again on a later tick
  kClosed,      // Receive: the other side closed the connection in order
  kFailed,      // the connection is unusable; `error` says why
};

// The system's error number and its text ("Connection refused").
struct NetError {
  int code = 0;
  std::string text;
};

struct NetResult {
  NetStatus status = NetStatus::kFailed;
  std::size_t count = 0;  // bytes sent or received, with kDone
  NetError error;         // with kFailed

  static NetResult Done(std::size_t count = 0) { return {NetStatus::kDone, count, {}}; }
  static NetResult WouldBlock() { return {NetStatus::kWouldBlock, 0, {}}; }
  static NetResult Closed() { return {NetStatus::kClosed, 0, {}}; }
  static NetResult Failed(int code, std::string text) { return {NetStatus::kFailed, 0, {code, std::move(text)}}; }
};

class NetPort {
 public:
  virtual ~NetPort() = default;
  // Closes any connection this port holds and starts a new one to `address` (a numeric
  // IPv4 or IPv6 address, or "localhost"; names are not resolved, since a name server
  // could keep the caller waiting) and `port`. Returns at once: kDone when already
  // connected, kWouldBlock while the connection is under way (ask PollConnect), kFailed
  // with the system's error.
  virtual NetResult StartConnect(const std::string& address, std::uint16_t port) = 0;
  // Without waiting: kDone once connected, kWouldBlock while still trying, kFailed with
  // the system's error (a refused connection, say). Only after StartConnect said kWouldBlock.
  virtual NetResult PollConnect() = 0;
  // Hands what the system takes of `bytes` to the connection without waiting: kDone with
  // count > 0, kWouldBlock when it takes nothing now, kFailed.
  virtual NetResult Send(std::string_view bytes) = 0;
  // Up to `size` bytes that have arrived, without waiting: kDone with count > 0 and the
  // bytes in `buffer`, kWouldBlock when none have, kClosed once the other side has closed
  // and everything before the close was read, kFailed (a reset connection, say).
  virtual NetResult Receive(char* buffer, std::size_t size) = 0;
  // Closes the connection, if there is one. Never fails, never waits.
  virtual void Close() = 0;
};

}  // namespace qsopad
