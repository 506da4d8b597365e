// The ADIF log file on a POSIX file system: native tests, benchmarks and tools use it.
#pragma once

#include "adif/adif.h"

namespace qsopad {

class PosixLogFiles : public LogFiles {
 public:
  // `utf8`: the text is UTF-8, as under a UTF-8 code page.
  explicit PosixLogFiles(bool utf8 = false) : utf8_(utf8) {}
  bool CanRead(const std::string& path) override;
  std::unique_ptr<LogFile> OpenForAppend(const std::string& path) override;
  bool TextIsUtf8() override { return utf8_; }

 private:
  bool utf8_;
};

}  // namespace qsopad
