// Sends that wait for the receiver while it answers but never hang this program when the
// receiver has stopped answering. Once a receiver has let one wait run out, it is asked
// with a WM_NULL before each later message; while that goes unanswered, messages are handed
// over without waiting (they arrive in order when it answers again). The probe, not the
// message, risks the wait: Wine drops a sent message whose wait ran out before the
// receiver picked it up.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>

#include "link/window_system.h"

namespace qsopad {

class GuardedSender {
 public:
  // How long one send may wait for an answering receiver.
  static constexpr unsigned kWaitMs = 2000;
  // How long the probe waits for a receiver that has already kept us waiting.
  static constexpr unsigned kHungWaitMs = 20;

  explicit GuardedSender(WindowSystem& windows) : windows_(windows) {}

  SendResult Send(WindowHandle window, unsigned message, std::uintptr_t wparam,
                  std::intptr_t lparam, unsigned wait_ms = kWaitMs);
  // A WM_COPYDATA text record, under the same wait policy; it points at its text, so it
  // cannot be handed over without waiting: to a receiver that still does not answer it is
  // not sent at all (kHung).
  SendResult SendCopyData(WindowHandle target, WindowHandle sender, std::uintptr_t code,
                          std::string_view text);
  // True while `window` is known not to be answering.
  bool IsUnresponsive(WindowHandle window) const;

 private:
  // For a receiver marked unresponsive: whether it answers again (and clears the mark).
  // kDone when it does, kFailed when it is gone, otherwise kHung.
  SendStatus Probe(WindowHandle window);
  void Note(WindowHandle window, SendStatus status);

  WindowSystem& windows_;
  std::map<WindowHandle, bool> unresponsive_;
};

}  // namespace qsopad
