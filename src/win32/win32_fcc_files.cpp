// Win32 files of the FCC database: positioned reads for the lookup, a temporary file
// moved over the target for the builder, a file's identity by volume and file index.
#include "win32_fcc_files.h"

#include <windows.h>

#include <algorithm>

#include "common/error.h"
#include "win32_text.h"

namespace qsopad {

namespace {

std::string Describe(const std::string& path, DWORD error) {
  return "\"" + path + "\": error " + SystemErrorText(error);
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, DWORD error) {
  throw Error(what + " " + Describe(path, error));
}

class Win32ReadFile : public FccReadFile {
 public:
  Win32ReadFile(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
  ~Win32ReadFile() override { CloseHandle(file_); }
  Win32ReadFile(const Win32ReadFile&) = delete;
  Win32ReadFile& operator=(const Win32ReadFile&) = delete;

  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
    std::size_t got = 0;
    while (got < size) {
      const std::uint64_t at = offset + got;
      OVERLAPPED where{};
      where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      where.OffsetHigh = static_cast<DWORD>(at >> 32);
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
      DWORD n = 0;
      if (!ReadFile(file_, buffer + got, want, &n, &where)) {
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF) break;
        Fail("Cannot read", path_, error);
      }
      if (n == 0) break;
      got += n;
    }
    return got;
  }

 private:
  HANDLE file_;
  std::string path_;
};

class Win32WriteFile : public FccWriteFile {
 public:
  explicit Win32WriteFile(std::string target) : target_(std::move(target)) {
    static LONG serial = 0;
    temp_ = target_ + "." + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(InterlockedIncrement(&serial)) + ".tmp";
    file_ = CreateFileW(Widen(temp_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) Fail("Cannot create a temporary file", temp_, GetLastError());
  }
  ~Win32WriteFile() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (!committed_) DeleteFileW(Widen(temp_).c_str());
  }
  Win32WriteFile(const Win32WriteFile&) = delete;
  Win32WriteFile& operator=(const Win32WriteFile&) = delete;

  void Write(const char* bytes, std::size_t size) override {
    while (size > 0) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      DWORD n = 0;
      if (!WriteFile(file_, bytes, want, &n, nullptr)) Fail("Cannot write", temp_, GetLastError());
      bytes += n;
      size -= n;
    }
  }

  void Commit() override {
    if (!FlushFileBuffers(file_)) Fail("Cannot write", temp_, GetLastError());
    const HANDLE file = file_;
    file_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file)) Fail("Cannot write", temp_, GetLastError());
    if (!MoveFileExW(Widen(temp_).c_str(), Widen(target_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      Fail("Cannot replace", target_, GetLastError());
    }
    committed_ = true;
  }

 private:
  std::string target_, temp_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<FccReadFile> Win32FccFiles::OpenRead(const std::string& path, bool create_missing,
                                                     std::string& error) {
  // Read access only, so that an index on a CD-ROM or marked read-only opens; OPEN_ALWAYS
  // creates a missing one without touching an existing one. Sharing deletion lets a new
  // database be moved over the old one while a lookup reads it.
  const HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  create_missing ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = Describe(path, GetLastError());
    return nullptr;
  }
  return std::make_unique<Win32ReadFile>(file, path);
}

std::unique_ptr<FccWriteFile> Win32FccFiles::CreateReplacement(const std::string& path) {
  return std::make_unique<Win32WriteFile>(path);
}

void Win32FccFiles::Replace(const std::string& from, const std::string& to) {
  if (!MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Fail("Cannot rename \"" + from + "\" over", to, GetLastError());
  }
}

void Win32FccFiles::Remove(const std::string& path) {
  if (!DeleteFileW(Widen(path).c_str())) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) Fail("Cannot remove", path, error);
  }
}

std::string Win32FccFiles::Identity(const std::string& path) {
  // No access rights are needed to read a file's volume and index, and a folder opens only
  // with backup semantics.
  const HANDLE file = CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL got = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (!got) return {};
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
         std::to_string(info.nFileIndexLow);
}

}  // namespace qsopad
