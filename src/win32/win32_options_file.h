// The options file on Windows: the chosen file, written whole beside itself and renamed
// over, or read in chunks.
#pragma once

#include <windows.h>

#include <string>

#include "options/options_file.h"
#include "window_base.h"

namespace qsopad {

class Win32OptionsFileSink : public OptionsFileSink {
 public:
  explicit Win32OptionsFileSink(std::wstring path) : path_(std::move(path)) {}
  void WriteWhole(const std::string& bytes) override;

 private:
  std::wstring path_;
};

class Win32OptionsFileSource : public OptionsFileSource {
 public:
  // Opens the file; throws Error naming it and the system's reason when it cannot.
  explicit Win32OptionsFileSource(const std::wstring& path);
  std::size_t Read(char* buffer, std::size_t size) override;

 private:
  std::wstring path_;
  FileHandle file_;
};

}  // namespace qsopad
