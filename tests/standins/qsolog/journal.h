// The log stand-in's journal: one line per message from outside and per own event, appended
// to the file named by QSOLOG_JOURNAL so that a test can follow what reached the program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace qsolog {

// Milliseconds on the machine-wide performance counter, the clock of every journal and of
// the test driver, so that lines of several programs can be compared.
std::int64_t NowMs();

// Bytes as one blank-free journal word: bytes below 33, above 126 and '%' become "%XX"
// (upper-case hex); "" stays "".
std::string Escape(const std::string& bytes);
// A window handle or other value as lower-case hex without prefix.
std::string Hex(std::uint64_t value);
std::string Hex(HWND hwnd);

class Journal {
 public:
  Journal() = default;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;
  ~Journal();

  // An empty path leaves the journal off.
  void Open(const std::wstring& path);
  // Appends "<ms> <role> <text>\r\n" in one WriteFile on an append-only handle, so a reader
  // sees whole lines and other writers never overwrite them.
  void Write(const char* role, const std::string& text);

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace qsolog
