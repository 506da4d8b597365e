// Journal file of the log stand-in.
#include "journal.h"

namespace qsolog {

std::int64_t NowMs() {
  LARGE_INTEGER freq;
  LARGE_INTEGER count;
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&count);
  // Split to keep count * 1000 from overflowing on a long-running machine.
  return count.QuadPart / freq.QuadPart * 1000 + count.QuadPart % freq.QuadPart * 1000 / freq.QuadPart;
}

std::string Escape(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string word;
  word.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 33 || b > 126 || b == '%') {
      word.push_back('%');
      word.push_back(kDigits[b >> 4]);
      word.push_back(kDigits[b & 15]);
    } else {
      word.push_back(c);
    }
  }
  return word;
}

std::string Hex(std::uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return text;
}

std::string Hex(HWND hwnd) { return Hex(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(hwnd))); }

Journal::~Journal() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

void Journal::Open(const std::wstring& path) {
  if (path.empty()) return;
  file_ = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void Journal::Write(const char* role, const std::string& text) {
  if (file_ == INVALID_HANDLE_VALUE) return;
  std::string line = std::to_string(NowMs()) + " " + role + " " + text + "\r\n";
  DWORD written = 0;
  WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace qsolog
