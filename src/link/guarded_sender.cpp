// The wait policy for sends to another program's windows: full wait while a receiver
// answers, a short one once it has kept us waiting, back to full after its next answer.
#include "link/guarded_sender.h"

namespace qsopad {

SendResult GuardedSender::Send(WindowHandle window, unsigned message, std::uintptr_t wparam,
                               std::intptr_t lparam, unsigned wait_ms) {
  if (window == 0) return {};  // a control that was never found: nothing to send to
  if (IsUnresponsive(window)) {
    const SendStatus probe = Probe(window);
    if (probe == SendStatus::kFailed) return {SendStatus::kFailed, 0};
    if (probe != SendStatus::kDone) {
      const bool handed = windows_.Notify(window, message, wparam, lparam);
      return {handed ? SendStatus::kQueued : SendStatus::kFailed, 0};
    }
  }
  const SendResult result = windows_.Send(window, message, wparam, lparam, wait_ms);
  Note(window, result.status);
  return result;
}

SendResult GuardedSender::SendCopyData(WindowHandle target, WindowHandle sender,
                                       std::uintptr_t code, std::string_view text) {
  if (target == 0) return {};
  if (IsUnresponsive(target)) {
    const SendStatus probe = Probe(target);
    if (probe != SendStatus::kDone) return {probe, 0};
  }
  const SendResult result = windows_.SendCopyData(target, sender, code, text, kWaitMs);
  Note(target, result.status);
  return result;
}

SendStatus GuardedSender::Probe(WindowHandle window) {
  const SendResult probe = windows_.Send(window, kWmNull, 0, 0, kHungWaitMs);
  if (probe.status == SendStatus::kDone) {
    unresponsive_.erase(window);
    return SendStatus::kDone;
  }
  return probe.status == SendStatus::kFailed ? SendStatus::kFailed : SendStatus::kHung;
}

void GuardedSender::Note(WindowHandle window, SendStatus status) {
  switch (status) {
    case SendStatus::kDone:
      unresponsive_.erase(window);
      break;
    case SendStatus::kTimedOut:
    case SendStatus::kHung:
      unresponsive_[window] = true;
      break;
    case SendStatus::kFailed:
    case SendStatus::kQueued:
      // Says nothing about whether the receiver answers; keep what we knew.
      break;
  }
}

bool GuardedSender::IsUnresponsive(WindowHandle window) const {
  const auto it = unresponsive_.find(window);
  return it != unresponsive_.end() && it->second;
}

}  // namespace qsopad
