// What the call-book stand-ins have in common: an answer written into the caller's buffer, never past its end.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace callbook {

// Copies `answer` to the start of the buffer, as much as fits; the rest stays as the caller left it.
inline void Put(char* buffer, std::size_t size, const std::string& answer) {
  std::memcpy(buffer, answer.data(), answer.size() < size ? answer.size() : size);
}

inline std::string Tag(int byte) { return std::string(1, static_cast<char>(byte)); }

}  // namespace callbook
