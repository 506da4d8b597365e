// The ADIF log file on Windows.
#pragma once

#include "adif/adif.h"

namespace qsopad {

class Win32LogFiles : public LogFiles {
 public:
  bool CanRead(const std::string& path) override;
  std::unique_ptr<LogFile> OpenForAppend(const std::string& path) override;
  // The ANSI code page is UTF-8 (65001): the text from the edit boxes is UTF-8.
  bool TextIsUtf8() override;
};

}  // namespace qsopad
