// Reading a text file to send: its lines, with CR LF and LF line ends alike.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qsopad {

struct TextLines {
  std::vector<std::string> lines;
  // Why reading stopped early, naming the file and the system's reason; "" when the
  // whole file was read.
  std::string error;
};

// Fills the buffer with the next bytes and returns how many, 0 at the end; throws Error
// when the source fails.
using ByteReader = std::function<std::size_t(char* buffer, std::size_t size)>;

// The lines of what `read` yields, without their line ends; a last line without one counts
// too, and a final line end adds no empty line. When the source fails, the lines completed
// before the failure are kept and the error is returned beside them.
TextLines SplitLines(const ByteReader& read);

// The file's lines, as SplitLines gives them; a file that cannot be opened gives no lines
// and the error.
TextLines ReadTextLines(const std::string& path);

}  // namespace qsopad
