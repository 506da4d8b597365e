// The PSK31 link's window calls, made with the real Win32 functions.
#pragma once

#include "link/window_system.h"

namespace qsopad {

class Win32WindowSystem : public WindowSystem {
 public:
  WindowHandle FindTopLevel(std::string_view window_class, std::string_view caption) override;
  WindowHandle FindChild(WindowHandle parent, std::string_view window_class,
                         std::optional<std::string_view> caption) override;
  std::string GetText(WindowHandle window) override;
  bool IsAlive(WindowHandle window) override;
  bool IsEnabled(WindowHandle window) override;
  bool IsMinimised(WindowHandle window) override;
  std::optional<ScreenRect> GetRect(WindowHandle window) override;
  SendResult Send(WindowHandle window, unsigned message, std::uintptr_t wparam,
                  std::intptr_t lparam, unsigned wait_ms) override;
  bool Post(WindowHandle window, unsigned message, std::uintptr_t wparam,
            std::intptr_t lparam) override;
  bool Notify(WindowHandle window, unsigned message, std::uintptr_t wparam,
              std::intptr_t lparam) override;
  void Move(WindowHandle window, const ScreenRect& rect) override;
  void SetFocus(WindowHandle window) override;
  void SetForeground(WindowHandle window) override;
  std::optional<std::uint32_t> StartProgram(std::string_view command_line,
                                            StartMode mode) override;
  void Pause(unsigned milliseconds) override;
  Owner OwnerOf(WindowHandle window) override;
  void AttachInputTo(std::uint32_t thread) override;
  unsigned RegisterMessage(std::string_view name) override;
  std::vector<WindowHandle> TopLevelWindows() override;
  SendResult SendCopyData(WindowHandle target, WindowHandle sender, std::uintptr_t code,
                          std::string_view text, unsigned wait_ms) override;
};

}  // namespace qsopad
