// The one error type of the core. Conversions and file operations throw it; each named
// procedure catches it at its boundary and hands its name and the description to the
// error reporter.
#pragma once

#include <stdexcept>
#include <string>

namespace qsopad {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& description) : std::runtime_error(description) {}
};

}  // namespace qsopad
