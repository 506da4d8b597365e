// The ADIF log file on Windows.
#pragma once

#include "adif/adif.h"

namespace qsopad {

class Win32LogFiles : public LogFiles {
 public:
  bool CanRead(const std::string& path) override;
  std::unique_ptr<LogFile> OpenForAppend(const std::string& path) override;
};

}  // namespace qsopad
