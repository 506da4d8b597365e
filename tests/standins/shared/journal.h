// The stand-ins' journal: one line per message from outside and per own event, appended to
// the file a test names, so that it can follow what reached the program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace standin {

// Milliseconds on the machine-wide performance counter. Every process reads the same counter,
// so journals of several programs and the driver's own clock can be compared.
std::int64_t NowMs();

class Journal {
 public:
  Journal() = default;
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;
  ~Journal();

  // An empty path leaves the journal off.
  void Open(const std::wstring& path);
  // Appends "<ms> <role> <text>\r\n". Each line is one WriteFile on an append-only handle,
  // so a reader sees whole lines and several writers never overwrite each other.
  void Write(const char* role, const std::string& text);

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace standin
