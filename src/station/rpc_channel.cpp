#include "station/rpc_channel.h"

#include <algorithm>
#include <utility>

#include "common/error.h"

namespace qsopad {

namespace {

std::string SystemError(const NetError& error) {
  return (error.text.empty() ? std::string("system error") : error.text) + " (error " + std::to_string(error.code) +
         ")";
}

}  // namespace

RpcChannel::RpcChannel(NetPort& net, Settings settings) : net_(net), settings_(std::move(settings)) {}

RpcChannel::~RpcChannel() { net_.Close(); }

std::uint64_t RpcChannel::Call(std::string method, std::vector<XmlRpcValue> params, Done done) {
  return Queue(std::move(method), params, std::move(done), false);
}

std::uint64_t RpcChannel::CallAhead(std::string method, std::vector<XmlRpcValue> params, Done done) {
  return Queue(std::move(method), params, std::move(done), true);
}

std::uint64_t RpcChannel::Queue(std::string method, const std::vector<XmlRpcValue>& params, Done done,
                                bool ahead) {
  const std::string host = settings_.address.find(':') != std::string::npos
                               ? "[" + settings_.address + "]:" + std::to_string(settings_.port)
                               : settings_.address + ":" + std::to_string(settings_.port);
  std::string request = HttpPostRequest(host, settings_.path, XmlRpcCallBody(method, params));
  auto at = queue_.end();
  if (ahead) {
    at = queue_.begin() + (in_flight_ ? 1 : 0);
    while (at != queue_.end() && at->ahead) ++at;
  }
  queue_.insert(at, Pending{next_id_, std::move(method), std::move(request), std::move(done), ahead});
  return next_id_++;
}

std::string RpcChannel::Where() const {
  return settings_.name + " not answering at " + settings_.address + ":" + std::to_string(settings_.port);
}

void RpcChannel::Poll(std::int64_t now_ms) {
  // Each step either completes a call or ends this Poll; the bound only guards against a
  // callback that keeps queueing calls answered at once.
  for (int steps = 0; steps < 1000 && Step(now_ms); ++steps) {
  }
}

bool RpcChannel::Step(std::int64_t now_ms) {
  if (!in_flight_) {
    if (queue_.empty()) return false;
    if (link_ == Link::kNone && now_ms < retry_at_ms_) {
      // Still waiting before the next try: what was asked meanwhile fails unsent.
      while (!queue_.empty()) {
        RpcResult result;
        result.error = status_;
        Complete(std::move(result));
      }
      return false;
    }
    in_flight_ = true;
    sent_ = 0;
    started_ms_ = now_ms;
    probed_ = false;
    parser_.Reset();
  }
  if (link_ != Link::kOpen) return Connect(now_ms);
  return Exchange(now_ms);
}

bool RpcChannel::Connect(std::int64_t now_ms) {
  NetResult r;
  if (link_ == Link::kNone) {
    ++connections_;
    served_ = 0;
    r = net_.StartConnect(settings_.address, settings_.port);
  } else {
    r = net_.PollConnect();
  }
  switch (r.status) {
    case NetStatus::kDone:
      link_ = Link::kOpen;
      retry_wait_ms_ = 0;
      return true;
    case NetStatus::kWouldBlock:
      link_ = Link::kConnecting;
      if (now_ms - started_ms_ < settings_.call_limit_ms) return false;
      NotAnswering(now_ms, "no connection within " + std::to_string(settings_.call_limit_ms) + " ms");
      return false;
    case NetStatus::kClosed:
    case NetStatus::kFailed:
      NotAnswering(now_ms, SystemError(r.error));
      return false;
  }
  return false;
}

bool RpcChannel::Exchange(std::int64_t now_ms) {
  const Pending& call = queue_.front();
  char buffer[16 * 1024];
  // A connection that has served a call may have been closed by fldigi since (it was
  // restarted, say): look before sending, so that the call goes on a new one unharmed.
  if (sent_ == 0 && served_ > 0 && !probed_) {
    probed_ = true;
    const NetResult r = net_.Receive(buffer, sizeof buffer);
    if (r.status != NetStatus::kWouldBlock) {
      Drop();  // closed, failed, or bytes nobody asked for: start afresh
      return true;
    }
  }
  while (sent_ < call.request.size()) {
    const NetResult r = net_.Send(std::string_view(call.request).substr(sent_));
    if (r.status == NetStatus::kDone) {
      sent_ += r.count;
    } else if (r.status == NetStatus::kWouldBlock) {
      break;
    } else {
      FailInFlight("sending " + call.method + " to " + settings_.name + " failed: " + SystemError(r.error), true);
      return true;
    }
  }
  if (sent_ == call.request.size()) {
    for (;;) {
      const NetResult r = net_.Receive(buffer, sizeof buffer);
      try {
        if (r.status == NetStatus::kDone) {
          const std::size_t used = parser_.Feed(std::string_view(buffer, r.count));
          if (parser_.done()) {
            if (used < r.count) Drop();  // more than the answer: the stream is out of step
            break;
          }
        } else if (r.status == NetStatus::kClosed) {
          parser_.FeedClose();
          break;
        } else if (r.status == NetStatus::kFailed) {
          FailInFlight("receiving the answer to " + call.method + " failed: " + SystemError(r.error), true);
          return true;
        } else {
          break;
        }
      } catch (const Error& e) {
        FailInFlight(settings_.name + " answered " + call.method + " badly: " + e.what(), true);
        return true;
      }
    }
  }
  if (!parser_.done()) {
    if (now_ms - started_ms_ < settings_.call_limit_ms) return false;
    NotAnswering(now_ms, "no answer to " + call.method + " within " + std::to_string(settings_.call_limit_ms) + " ms");
    return false;
  }

  RpcResult result;
  if (!parser_.keep_alive()) Drop();
  ++served_;
  status_.clear();
  if (parser_.status() != 200) {
    FailInFlight(settings_.name + " answered " + call.method + " with HTTP " + std::to_string(parser_.status()) +
                     " " + parser_.reason(),
                 true);
    return true;
  }
  try {
    XmlRpcAnswer answer = ReadXmlRpcAnswer(parser_.body());
    if (answer.fault) {
      result.outcome = RpcResult::Outcome::kFault;
      result.fault = std::move(*answer.fault);
    } else {
      result.outcome = RpcResult::Outcome::kAnswered;
      result.value = std::move(answer.value);
    }
  } catch (const Error& e) {
    FailInFlight(settings_.name + " answered " + call.method + " badly: " + e.what(), true);
    return true;
  }
  Complete(std::move(result));
  return true;
}

void RpcChannel::Drop() {
  net_.Close();
  link_ = Link::kNone;
}

void RpcChannel::NotAnswering(std::int64_t now_ms, const std::string& why) {
  Drop();
  status_ = Where() + ": " + why;
  retry_wait_ms_ = retry_wait_ms_ == 0 ? settings_.first_retry_ms
                                       : std::min(retry_wait_ms_ * 2, settings_.max_retry_ms);
  retry_at_ms_ = now_ms + retry_wait_ms_;
  while (!queue_.empty()) {
    RpcResult result;
    result.error = status_;
    Complete(std::move(result));
  }
}

void RpcChannel::FailInFlight(const std::string& error, bool close) {
  if (close) Drop();
  status_ = error;
  RpcResult result;
  result.error = error;
  Complete(std::move(result));
}

void RpcChannel::Cancel(const std::string& why) {
  Drop();
  while (!queue_.empty()) {
    RpcResult result;
    result.error = why;
    Complete(std::move(result));
  }
}

void RpcChannel::Complete(RpcResult result) {
  Pending call = std::move(queue_.front());
  queue_.pop_front();
  if (in_flight_ && result.outcome == RpcResult::Outcome::kFailed)
    result.maybe_done = sent_ == call.request.size();
  in_flight_ = false;
  sent_ = 0;
  result.id = call.id;
  result.method = std::move(call.method);
  if (call.done) call.done(result);
}

}  // namespace qsopad
