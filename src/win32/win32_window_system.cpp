#include "win32_window_system.h"

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "window_base.h"

namespace qsopad {

namespace {

HWND H(WindowHandle w) { return reinterpret_cast<HWND>(w); }
WindowHandle W(HWND h) { return reinterpret_cast<WindowHandle>(h); }

// A named callback: a lambda does not convert to the 32-bit stdcall WNDENUMPROC.
BOOL CALLBACK CollectWindow(HWND window, LPARAM data) noexcept {
  return Guarded("EnumWindows", FALSE, [&] {
    reinterpret_cast<std::vector<WindowHandle>*>(data)->push_back(W(window));
    return TRUE;
  });
}

}  // namespace

WindowHandle Win32WindowSystem::FindTopLevel(std::string_view window_class,
                                             std::string_view caption) {
  const std::string cls(window_class), text(caption);
  return W(FindWindowA(cls.c_str(), text.c_str()));
}

WindowHandle Win32WindowSystem::FindChild(WindowHandle parent, std::string_view window_class,
                                          std::optional<std::string_view> caption) {
  if (parent == 0) return 0;  // FindWindowEx would search the desktop instead
  const std::string cls(window_class);
  const std::string text = caption ? std::string(*caption) : std::string();
  return W(FindWindowExA(H(parent), nullptr, cls.c_str(), caption ? text.c_str() : nullptr));
}

std::string Win32WindowSystem::GetText(WindowHandle window) {
  char buffer[256] = {};
  const int n = GetWindowTextA(H(window), buffer, sizeof buffer);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n)).c_str();
}

bool Win32WindowSystem::IsAlive(WindowHandle window) {
  return window != 0 && IsWindow(H(window));
}

bool Win32WindowSystem::IsEnabled(WindowHandle window) {
  return window != 0 && IsWindowEnabled(H(window));
}

bool Win32WindowSystem::IsMinimised(WindowHandle window) {
  return window != 0 && IsIconic(H(window));
}

std::optional<ScreenRect> Win32WindowSystem::GetRect(WindowHandle window) {
  RECT r;
  if (window == 0 || !GetWindowRect(H(window), &r)) return std::nullopt;
  return ScreenRect{r.left, r.top, r.right, r.bottom};
}

SendResult Win32WindowSystem::Send(WindowHandle window, unsigned message, std::uintptr_t wparam,
                                   std::intptr_t lparam, unsigned wait_ms) {
  if (window == 0) return {SendStatus::kFailed, 0};
  DWORD_PTR answer = 0;
  SetLastError(0);
  const LRESULT ok = SendMessageTimeoutA(H(window), message, static_cast<WPARAM>(wparam),
                                         static_cast<LPARAM>(lparam),
                                         SMTO_NORMAL | SMTO_ABORTIFHUNG, wait_ms, &answer);
  if (ok) return {SendStatus::kDone, static_cast<std::intptr_t>(answer)};
  const DWORD error = GetLastError();
  if (!IsWindow(H(window))) return {SendStatus::kFailed, 0};
  if (error == ERROR_TIMEOUT) return {SendStatus::kTimedOut, 0};
  // SMTO_ABORTIFHUNG returns at once, without a timeout error, for a hung receiver.
  return {SendStatus::kHung, 0};
}

bool Win32WindowSystem::Post(WindowHandle window, unsigned message, std::uintptr_t wparam,
                             std::intptr_t lparam) {
  return window != 0 && PostMessageA(H(window), message, static_cast<WPARAM>(wparam),
                                     static_cast<LPARAM>(lparam));
}

bool Win32WindowSystem::Notify(WindowHandle window, unsigned message, std::uintptr_t wparam,
                               std::intptr_t lparam) {
  return window != 0 && SendNotifyMessageA(H(window), message, static_cast<WPARAM>(wparam),
                                           static_cast<LPARAM>(lparam));
}

void Win32WindowSystem::Move(WindowHandle window, const ScreenRect& rect) {
  // Asynchronous: moving another thread's window must not wait on a hung program.
  SetWindowPos(H(window), nullptr, rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
}

void Win32WindowSystem::SetFocus(WindowHandle window) { ::SetFocus(H(window)); }

void Win32WindowSystem::SetForeground(WindowHandle window) {
  ::SetForegroundWindow(H(window));
}

std::optional<std::uint32_t> Win32WindowSystem::StartProgram(std::string_view command_line,
                                                             StartMode mode) {
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = mode == StartMode::kMinimisedFocused ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
      return static_cast<std::uint32_t>(pi.dwProcessId);
    }
    // Wine has been seen to refuse a start right after another process ended (1359).
    if (GetLastError() != ERROR_INTERNAL_ERROR) break;
    Sleep(50);
  }
  return std::nullopt;
}

void Win32WindowSystem::Pause(unsigned milliseconds) { Sleep(milliseconds); }

WindowSystem::Owner Win32WindowSystem::OwnerOf(WindowHandle window) {
  DWORD process = 0;
  const DWORD thread = window != 0 ? GetWindowThreadProcessId(H(window), &process) : 0;
  return Owner{static_cast<std::uint32_t>(thread), static_cast<std::uint32_t>(process)};
}

void Win32WindowSystem::AttachInputTo(std::uint32_t thread) {
  if (thread != 0 && thread != GetCurrentThreadId())
    AttachThreadInput(GetCurrentThreadId(), thread, TRUE);
}

unsigned Win32WindowSystem::RegisterMessage(std::string_view name) {
  const std::string text(name);
  return RegisterWindowMessageA(text.c_str());
}

std::vector<WindowHandle> Win32WindowSystem::TopLevelWindows() {
  std::vector<WindowHandle> found;
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

SendResult Win32WindowSystem::SendCopyData(WindowHandle target, WindowHandle sender,
                                           std::uintptr_t code, std::string_view text,
                                           unsigned wait_ms) {
  // The record travels in a zero-filled 256-byte buffer: at most 255 bytes and a NUL.
  char buffer[256] = {};
  const size_t length = text.size() < 255 ? text.size() : 255;
  std::memcpy(buffer, text.data(), length);
  COPYDATASTRUCT record{};
  record.dwData = static_cast<ULONG_PTR>(code);
  record.cbData = static_cast<DWORD>(length);
  record.lpData = buffer;
  return Send(target, WM_COPYDATA, static_cast<std::uintptr_t>(sender),
              reinterpret_cast<std::intptr_t>(&record), wait_ms);
}

}  // namespace qsopad
