// Sends that wait for the receiver while it answers but never hang this program when the
// receiver has stopped answering. Every message still goes out, in order; once a receiver
// has let one wait run out, later sends to it are only queued until it answers again.
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
  // How long a send waits for a receiver that has already kept us waiting.
  static constexpr unsigned kHungWaitMs = 20;

  explicit GuardedSender(WindowSystem& windows) : windows_(windows) {}

  SendResult Send(WindowHandle window, unsigned message, std::uintptr_t wparam,
                  std::intptr_t lparam);
  // A WM_COPYDATA text record, under the same wait policy.
  SendResult SendCopyData(WindowHandle target, WindowHandle sender, std::uintptr_t code,
                          std::string_view text);
  // True while `window` is known not to be answering.
  bool IsUnresponsive(WindowHandle window) const;

 private:
  unsigned WaitFor(WindowHandle window) const;
  void Note(WindowHandle window, SendStatus status);

  WindowSystem& windows_;
  std::map<WindowHandle, bool> unresponsive_;
};

}  // namespace qsopad
