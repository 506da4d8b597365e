// One static window procedure for every window class of the program: it finds the C++
// object (stored at WM_NCCREATE) and forwards to its virtual Handle(). No exception
// leaves a window procedure: anything thrown goes to the error reporter.
#pragma once

#include <windows.h>

#include <memory>

namespace qsopad {

// Owning handles. Copy is deleted, move allowed.
struct GdiObjectDeleter {
  void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;
struct MenuDeleter {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using UniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

// Reports an exception that reached a window procedure; defined by the program.
void ReportUnhandled(const char* where) noexcept;

class WindowBase {
 public:
  virtual ~WindowBase() = default;
  HWND hwnd() const { return hwnd_; }

 protected:
  virtual LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) = 0;
  LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(hwnd_, message, wparam, lparam);
  }

  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam,
                                    LPARAM lparam) noexcept {
    WindowBase* self = nullptr;
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      self = static_cast<WindowBase*>(create->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<WindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    // Messages before WM_NCCREATE (WM_GETMINMAXINFO) have no object yet.
    if (!self) return DefWindowProcW(hwnd, message, wparam, lparam);
    LRESULT result = 0;
    try {
      result = self->Handle(message, wparam, lparam);
    } catch (...) {
      ReportUnhandled("WindowProc");
    }
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
    return result;
  }

  HWND hwnd_ = nullptr;
};

}  // namespace qsopad
