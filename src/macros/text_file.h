// Reading a text file to send: its lines, with CR LF and LF line ends alike.
#pragma once

#include <string>
#include <vector>

namespace qsopad {

// The file's lines without their line ends; a last line without one counts too, and a
// final line end adds no empty line. Throws Error naming the file and the system's
// reason when it cannot be opened or read.
std::vector<std::string> ReadTextLines(const std::string& path);

}  // namespace qsopad
