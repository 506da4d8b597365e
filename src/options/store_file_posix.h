// The settings file on a POSIX file system: native tests and benchmarks use it.
#pragma once

#include <string>

#include "options/store_file.h"

namespace qsopad {

class PosixStoreFile : public StoreFile {
 public:
  // `path` names the settings file; "<path>.lock" and "<path>.tmp" sit beside it.
  explicit PosixStoreFile(std::string path);

  std::unique_ptr<Lock> LockExclusive() override;
  std::optional<std::string> ReadAll() override;
  void ReplaceAll(const std::string& bytes) override;
  Stamp CurrentStamp() override;
  std::string Describe() const override;

  const std::string& TempPath() const { return temp_; }

 private:
  std::string path_, lock_, temp_;
};

}  // namespace qsopad
