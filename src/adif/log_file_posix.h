// The ADIF log file on a POSIX file system: native tests, benchmarks and tools use it.
#pragma once

#include "adif/adif.h"

namespace qsopad {

class PosixLogFiles : public LogFiles {
 public:
  bool CanRead(const std::string& path) override;
  std::unique_ptr<LogFile> OpenForAppend(const std::string& path) override;
};

}  // namespace qsopad
