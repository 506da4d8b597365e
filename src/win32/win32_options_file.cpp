#include "win32_options_file.h"

#include "common/error.h"
#include "win32_text.h"

namespace qsopad {

namespace {

[[noreturn]] void Fail(const char* what, const std::wstring& path) {
  const DWORD code = GetLastError();
  throw Error(std::string(what) + " \"" + Narrow(path) + "\": error " + SystemErrorText(code));
}

}  // namespace

void Win32OptionsFileSink::WriteWhole(const std::string& bytes) {
  // Beside the target and renamed over it: an older file of that name survives a failure.
  const std::wstring temp = path_ + L".tmp";
  {
    FileHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) Fail("cannot create", temp);
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
      DWORD wrote = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
      ok = WriteFile(file.get(), bytes.data() + done, chunk, &wrote, nullptr) && wrote > 0;
      done += wrote;
    }
    if (!ok || !FlushFileBuffers(file.get()) || !file.Close()) {
      const DWORD code = GetLastError();
      DeleteFileW(temp.c_str());
      SetLastError(code);
      Fail("cannot write", temp);
    }
  }
  if (!MoveFileExW(temp.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    DeleteFileW(temp.c_str());
    SetLastError(code);
    Fail("cannot replace", path_);
  }
}

Win32OptionsFileSource::Win32OptionsFileSource(const std::wstring& path)
    : path_(path),
      file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
  if (!file_.valid()) Fail("cannot open", path_);
}

std::size_t Win32OptionsFileSource::Read(char* buffer, std::size_t size) {
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
  if (!ReadFile(file_.get(), buffer, want, &got, nullptr)) Fail("cannot read", path_);
  return got;
}

}  // namespace qsopad
