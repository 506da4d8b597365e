// What the stand-ins share: switches from the environment, set by a test for each run, and the journal: a line per
// message from outside and per own event, appended to the file the test names to follow what reached the program.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>

namespace standin {

// The variable's value, "" when it is not set (or too long to be a switch).
inline std::wstring Env(const wchar_t* name) {
  wchar_t buffer[1024];
  const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

// Set to anything but "" or "0".
inline bool Switch(const wchar_t* name) { return Env(name) != L"" && Env(name) != L"0"; }

// A whole number clamped to [low, high]; `fallback` when unset or not a number.
inline int Number(const wchar_t* name, int fallback, int low, int high) {
  const std::wstring text = Env(name);
  wchar_t* end = nullptr;
  const long n = std::wcstol(text.c_str(), &end, 10);
  return text.empty() || *end != L'\0' ? fallback : static_cast<int>(std::clamp<long>(n, low, high));
}

// Milliseconds on the machine-wide performance counter. Every process reads the same counter, so journals of several
// programs and the driver's own clock can be compared.
inline std::int64_t NowMs() {
  LARGE_INTEGER freq, count;
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&count);
  // Split to keep count * 1000 from overflowing on a long-running machine.
  return count.QuadPart / freq.QuadPart * 1000 + count.QuadPart % freq.QuadPart * 1000 / freq.QuadPart;
}

// One per process, open until the process ends.
class Journal {
 public:
  // The file that the variable `name` names; none when it is unset. Append-only access: every WriteFile lands at the
  // current end, also with other writers. A written line is visible to readers without FlushFileBuffers; a flush to
  // disk per line would only slow the program down.
  explicit Journal(const wchar_t* name)
      : file_(Env(name).empty() ? INVALID_HANDLE_VALUE
                                : CreateFileW(Env(name).c_str(), FILE_APPEND_DATA,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  // Appends "<ms> <role> <text>\r\n" in one WriteFile, so a reader sees whole lines.
  void Write(const char* role, const std::string& text) {
    const std::string line = std::to_string(NowMs()) + " " + role + " " + text + "\r\n";
    DWORD written = 0;
    if (file_ != INVALID_HANDLE_VALUE)
      WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

 private:
  HANDLE file_;
};

// A stand-in's life once its windows are `created`: the message loop, then "<role> EXIT"; a box names a failure.
inline int Run(Journal& journal, const char* role, bool created) {
  if (!created) {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    MessageBoxW(nullptr, (std::wstring(exe) + L" could not create its windows.").c_str(), L"Stand-in", MB_OK | MB_ICONERROR);
    return 1;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  journal.Write(role, "EXIT");
  return static_cast<int>(msg.wParam);
}

}  // namespace standin
