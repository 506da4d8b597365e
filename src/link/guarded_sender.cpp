// The wait policy for sends to another program's windows: full wait while a receiver
// answers, a short one once it has kept us waiting, back to full after its next answer.
#include "link/guarded_sender.h"

namespace qsopad {

SendResult GuardedSender::Send(WindowHandle window, unsigned message, std::uintptr_t wparam,
                               std::intptr_t lparam) {
  if (window == 0) return {};  // a control that was never found: nothing to send to
  const SendResult result = windows_.Send(window, message, wparam, lparam, WaitFor(window));
  Note(window, result.status);
  return result;
}

SendResult GuardedSender::SendCopyData(WindowHandle target, WindowHandle sender,
                                       std::uintptr_t code, std::string_view text) {
  if (target == 0) return {};
  const SendResult result = windows_.SendCopyData(target, sender, code, text, WaitFor(target));
  Note(target, result.status);
  return result;
}

unsigned GuardedSender::WaitFor(WindowHandle window) const {
  return IsUnresponsive(window) ? kHungWaitMs : kWaitMs;
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
      // Says nothing about whether the receiver answers; keep what we knew.
      break;
  }
}

bool GuardedSender::IsUnresponsive(WindowHandle window) const {
  const auto it = unresponsive_.find(window);
  return it != unresponsive_.end() && it->second;
}

}  // namespace qsopad
