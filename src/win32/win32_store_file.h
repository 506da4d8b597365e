// The settings file on Windows, and where it lives.
#pragma once

#include <string>

#include "options/store_file.h"

namespace qsopad {

class Win32StoreFile : public StoreFile {
 public:
  // `path` names the settings file; "<path>.lock" and "<path>.tmp" sit beside it.
  explicit Win32StoreFile(std::wstring path);

  std::unique_ptr<Lock> LockExclusive() override;
  std::optional<std::string> ReadAll() override;
  void ReplaceAll(const std::string& bytes) override;
  Stamp CurrentStamp() override;
  std::string Describe() const override;

  const std::wstring& TempPath() const { return temp_; }

 private:
  std::wstring path_, lock_, temp_;
};

// QSOPAD.ini beside the executable when that file exists (a portable install; the tests
// run that way), otherwise QSOPAD.ini in a QSOPAD folder of the user's roaming application
// data, whose folder is created here. Throws Error when neither can be determined.
std::wstring Win32SettingsPath();

}  // namespace qsopad
