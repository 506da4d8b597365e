// The window calls the PSK31 link needs. The shell implements them with Win32; the unit
// tests with a fake window tree that records every call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qsopad {

// A window handle as a plain number; 0 means "no window".
using WindowHandle = std::uintptr_t;

struct ScreenRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// Outcome of a send that waits for the receiver.
enum class SendStatus {
  kDone,      // the receiver processed the message; `result` is its answer
  kTimedOut,  // the receiver did not answer within the wait (the message stays queued there)
  kHung,      // the system already considers the receiver hung; not waited for
  kFailed,    // no such window, or the call failed
  kQueued,    // handed over without waiting; the receiver gets it when it answers again
};

struct SendResult {
  SendStatus status = SendStatus::kFailed;
  std::intptr_t result = 0;
};

// Window messages the link uses.
inline constexpr unsigned kWmNull = 0;
inline constexpr unsigned kWmClose = 16;
inline constexpr unsigned kWmKeyDown = 256;
inline constexpr unsigned kWmKeyUp = 257;
inline constexpr unsigned kWmChar = 258;
inline constexpr unsigned kWmCopyData = 74;
inline constexpr unsigned kVkEnd = 35;
inline constexpr unsigned kVkLeft = 37;
inline constexpr unsigned kVkRight = 39;
inline constexpr unsigned kVkF1 = 112;

enum class StartMode { kMinimisedFocused, kNormalFocused };

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // The top-level window of exactly this class and caption, or 0.
  virtual WindowHandle FindTopLevel(std::string_view window_class, std::string_view caption) = 0;
  // The first child of `parent` (direct children only) of this class, and of this caption
  // when one is given; 0 when there is none or `parent` is 0.
  virtual WindowHandle FindChild(WindowHandle parent, std::string_view window_class,
                                 std::optional<std::string_view> caption) = 0;
  // The caption in the ANSI code page, at most 255 characters, cut at the first NUL;
  // "" when the read fails.
  virtual std::string GetText(WindowHandle window) = 0;
  virtual bool IsAlive(WindowHandle window) = 0;
  virtual bool IsEnabled(WindowHandle window) = 0;
  virtual bool IsMinimised(WindowHandle window) = 0;
  // Screen rectangle in pixels; nullopt when the window is gone.
  virtual std::optional<ScreenRect> GetRect(WindowHandle window) = 0;

  // Sends and waits, but at most `wait_ms` and not at all for a receiver the system
  // already considers hung. Messages to one receiver keep their order.
  virtual SendResult Send(WindowHandle window, unsigned message, std::uintptr_t wparam,
                          std::intptr_t lparam, unsigned wait_ms) = 0;
  // Queues a message without waiting; false when it could not be queued.
  virtual bool Post(WindowHandle window, unsigned message, std::uintptr_t wparam,
                    std::intptr_t lparam) = 0;
  // Sends without waiting for the answer: the receiver handles it as a sent message, in
  // order with the other sent messages, when it next answers. Not for pointer messages.
  virtual bool Notify(WindowHandle window, unsigned message, std::uintptr_t wparam,
                      std::intptr_t lparam) = 0;

  // Moves and resizes (screen pixels), repainting.
  virtual void Move(WindowHandle window, const ScreenRect& rect) = 0;
  virtual void SetFocus(WindowHandle window) = 0;
  virtual void SetForeground(WindowHandle window) = 0;

  // Starts a command line; returns the new process's identifier, or nullopt when it
  // could not be started.
  virtual std::optional<std::uint32_t> StartProgram(std::string_view command_line,
                                                    StartMode mode) = 0;
  virtual void Pause(unsigned milliseconds) = 0;

  // Thread and process that own `window` (0, 0 when it is gone).
  struct Owner {
    std::uint32_t thread = 0;
    std::uint32_t process = 0;
  };
  virtual Owner OwnerOf(WindowHandle window) = 0;
  // Joins the input of `thread` to this program's user-interface thread.
  virtual void AttachInputTo(std::uint32_t thread) = 0;

  // Registers a window message by name (the same id in every program); 0 on failure.
  virtual unsigned RegisterMessage(std::string_view name) = 0;
  // Every top-level window of the desktop (what a broadcast reaches).
  virtual std::vector<WindowHandle> TopLevelWindows() = 0;
  // Sends one WM_COPYDATA text record (dwData = code, the bytes of `text` without a NUL)
  // with wParam = `sender`, waiting at most `wait_ms`.
  virtual SendResult SendCopyData(WindowHandle target, WindowHandle sender, std::uintptr_t code,
                                  std::string_view text, unsigned wait_ms) = 0;
};

}  // namespace qsopad
