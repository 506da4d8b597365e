// One static window procedure for every window class of the program: it finds the C++
// object (stored at WM_NCCREATE) and forwards to its virtual Handle(). No exception
// leaves a window procedure, a dialog procedure or any other C callback: each runs its
// body through Guarded(), which hands anything thrown to the error reporter.
#pragma once

#include <windows.h>

#include <cwchar>

#include <memory>
#include <type_traits>
#include <utility>

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
struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
// A device context made with CreateDC (a printer's).
using UniqueDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// A kernel file handle, closed when it goes; INVALID_HANDLE_VALUE is empty.
class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
  // Closes now and says whether that worked (a deferred write error can surface here).
  bool Close() {
    const BOOL ok = CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok != FALSE;
  }

 private:
  HANDLE h_;
};

// A window's device context from GetDC, released against the same window.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a device context and puts the previous one back. Declare it after
// the object it selects, so that the object is deselected before it is deleted.
class SelectGuard {
 public:
  SelectGuard(HDC dc, HGDIOBJ object) : dc_(dc), old_(dc && object ? SelectObject(dc, object) : nullptr) {}
  ~SelectGuard() {
    if (old_) SelectObject(dc_, old_);
  }
  SelectGuard(const SelectGuard&) = delete;
  SelectGuard& operator=(const SelectGuard&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// The clipboard, open for as long as the guard lives.
class ClipboardLock {
 public:
  explicit ClipboardLock(HWND owner) : open_(OpenClipboard(owner) != FALSE) {}
  ~ClipboardLock() {
    if (open_) CloseClipboard();
  }
  ClipboardLock(const ClipboardLock&) = delete;
  ClipboardLock& operator=(const ClipboardLock&) = delete;
  explicit operator bool() const { return open_; }

 private:
  bool open_;
};

// Reports an exception that reached a C callback; defined by the program. `where` names
// the callback.
void ReportUnhandled(const char* where) noexcept;

// Runs a C callback's body; whatever it throws goes to the error reporter, and the
// callback returns `fallback`.
template <typename R, typename F>
R Guarded(const char* where, R fallback, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    ReportUnhandled(where);
    return fallback;
  }
}

class WindowBase {
 public:
  virtual ~WindowBase() = default;
  HWND hwnd() const { return hwnd_; }

 protected:
  virtual LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) = 0;
  LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(hwnd_, message, wparam, lparam);
  }

  // Registers, once, a window class of ours: the shared window procedure, an arrow cursor
  // and the dialog colour. False when it cannot be registered.
  static bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(instance, name, &wc)) return true;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WindowBase::Procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
  }

  // The top-level window of ours, of class `name`, that a queued message is for; nullptr
  // when it is for another window. The message loop's key routing asks it.
  static HWND RootOfClass(const MSG& msg, const wchar_t* name) {
    if (!msg.hwnd) return nullptr;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    wchar_t cls[64] = {};
    if (!root || !GetClassNameW(root, cls, 64) || std::wcscmp(cls, name) != 0) return nullptr;
    return root;
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
    const LRESULT result = Guarded("WindowProc", LRESULT{0},
                                   [&] { return self->Handle(message, wparam, lparam); });
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
    return result;
  }

  HWND hwnd_ = nullptr;
};

}  // namespace qsopad
