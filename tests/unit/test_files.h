// Whole files as bytes, for tests that write a file and read back what a program wrote.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace qsopad::testing {

// The file's bytes; "" when it cannot be read.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes, bool append = false) {
  std::ofstream(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc)) << bytes;
}

}  // namespace qsopad::testing
