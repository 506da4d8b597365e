// XML-RPC calls to fldigi over one keep-alive connection, driven by the window's timer:
// calls wait in a queue and go one at a time; Poll, called every tick, moves the one in
// flight on (connect, send, receive) without ever waiting, and completes calls through
// their callbacks.
//
// When fldigi does not answer (nothing listening, a refused or hanging connect, no answer
// within the time limit) the call in flight and every queued call fail at once, and calls
// made before the next try (after a wait that doubles up to a limit) fail at the next
// Poll: the owner keeps what it wanted to hand over and tries again, guided by
// RpcResult::maybe_done.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "station/http.h"
#include "station/net_port.h"
#include "station/xmlrpc.h"

namespace qsopad {

struct RpcResult {
  enum class Outcome { kAnswered, kFault, kFailed };
  Outcome outcome = Outcome::kFailed;
  std::uint64_t id = 0;
  std::string method;
  XmlRpcValue value;  // kAnswered
  XmlRpcFault fault;  // kFault: fldigi refused the call
  std::string error;  // kFailed: what went wrong, with the address
  // kFailed: true when the whole request had been handed over, so fldigi may have acted
  // on it; false when it cannot have (not sent, or sent only in part).
  bool maybe_done = false;
};

class RpcChannel {
 public:
  struct Settings {
    std::string name = "fldigi";  // in messages
    std::string address = "127.0.0.1";
    std::uint16_t port = 7362;
    std::string path = "/RPC2";
    // From the moment a call goes in flight (connecting included) to its whole answer.
    std::int64_t call_limit_ms = 1500;
    // The wait before connecting again after fldigi did not answer: doubles up to the last.
    std::int64_t first_retry_ms = 500;
    std::int64_t max_retry_ms = 8000;
  };
  using Done = std::function<void(const RpcResult&)>;

  RpcChannel(NetPort& net, Settings settings);
  // Closes the connection; callbacks of calls still queued are not called.
  ~RpcChannel();
  RpcChannel(const RpcChannel&) = delete;
  RpcChannel& operator=(const RpcChannel&) = delete;

  // Queues a call and returns its id; `done` is called from a later Poll (or Cancel) with
  // the result, exactly once. Throws Error when the call cannot be written (see
  // XmlRpcCallBody). Does no input or output itself.
  std::uint64_t Call(std::string method, std::vector<XmlRpcValue> params, Done done = {});
  // The same, but ahead of the calls queued without hurry (behind the one in flight and the
  // earlier calls made ahead): what the operator is waiting for does not wait for polls.
  std::uint64_t CallAhead(std::string method, std::vector<XmlRpcValue> params, Done done = {});
  // Moves the calls on as far as they go without waiting and completes those that ended.
  // Callbacks may queue calls and Cancel, but not Poll.
  void Poll(std::int64_t now_ms);
  // Fails every call not yet completed (not sent: maybe_done false; in flight: as sent)
  // and closes the connection.
  void Cancel(const std::string& why);

  std::size_t pending() const { return queue_.size(); }
  // "" while fldigi answers; otherwise why not, for the status bar:
  // "fldigi not answering at 127.0.0.1:7362: Connection refused (error 111)".
  const std::string& status() const { return status_; }
  // Connections opened so far (keep-alive checks, benchmarks).
  int connections() const { return connections_; }
  const Settings& settings() const { return settings_; }

 private:
  struct Pending {
    std::uint64_t id;
    std::string method, request;
    Done done;
    bool ahead = false;
  };
  std::uint64_t Queue(std::string method, const std::vector<XmlRpcValue>& params, Done done, bool ahead);
  enum class Link { kNone, kConnecting, kOpen };

  // One step of the call in flight; false when nothing more can happen in this Poll.
  bool Step(std::int64_t now_ms);
  bool Connect(std::int64_t now_ms);
  bool Exchange(std::int64_t now_ms);
  void Drop();
  // fldigi did not answer: fails the call in flight and every queued call, waits before
  // the next connection.
  void NotAnswering(std::int64_t now_ms, const std::string& why);
  // The call in flight failed, fldigi still answering.
  void FailInFlight(const std::string& error, bool close);
  void Complete(RpcResult result);
  std::string Where() const;

  NetPort& net_;
  Settings settings_;
  std::deque<Pending> queue_;  // the front is in flight when in_flight_
  std::uint64_t next_id_ = 1;
  Link link_ = Link::kNone;
  bool in_flight_ = false;
  std::size_t sent_ = 0;
  std::int64_t started_ms_ = 0;
  int served_ = 0;          // calls answered on the current connection
  bool probed_ = false;     // the reused connection was checked for a close before sending
  HttpAnswerParser parser_;
  std::int64_t retry_at_ms_ = 0, retry_wait_ms_ = 0;
  std::string status_;
  int connections_ = 0;
};

}  // namespace qsopad
