// The FCC database's files on Windows.
#pragma once

#include "lookup/fcc_files.h"

namespace qsopad {

class Win32FccFiles : public FccFiles {
 public:
  std::unique_ptr<FccReadFile> OpenRead(const std::string& path, bool create_missing,
                                        std::string& error) override;
  std::unique_ptr<FccWriteFile> CreateReplacement(const std::string& path) override;
  void Replace(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override;
  std::string Identity(const std::string& path) override;
};

}  // namespace qsopad
