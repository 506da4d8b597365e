// Journal file of the stand-ins.
#include "journal.h"

namespace standin {

std::int64_t NowMs() {
  LARGE_INTEGER freq;
  LARGE_INTEGER count;
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&count);
  // Split to keep count * 1000 from overflowing on a long-running machine.
  return count.QuadPart / freq.QuadPart * 1000 + count.QuadPart % freq.QuadPart * 1000 / freq.QuadPart;
}

Journal::~Journal() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

void Journal::Open(const std::wstring& path) {
  if (path.empty()) return;
  // Append-only access: every WriteFile lands at the current end, also with other writers.
  // Without FlushFileBuffers a written line is already visible to readers; a flush to disk
  // per line would only slow the program down.
  file_ = CreateFileW(path.c_str(), FILE_APPEND_DATA,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
}

void Journal::Write(const char* role, const std::string& text) {
  if (file_ == INVALID_HANDLE_VALUE) return;
  std::string line = std::to_string(NowMs()) + " " + role + " " + text + "\r\n";
  DWORD written = 0;
  WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace standin
