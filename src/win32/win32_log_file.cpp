#include "win32_log_file.h"

#include <windows.h>

#include <algorithm>

#include "common/error.h"
#include "win32_text.h"
#include "window_base.h"

namespace qsopad {

namespace {

[[noreturn]] void Fail(const char* what) {
  throw Error(std::string(what) + ": error " + SystemErrorText(GetLastError()));
}

class Win32LogFile : public LogFile {
 public:
  explicit Win32LogFile(HANDLE h) : file_(h) {}

  std::uint64_t Size() override {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_.get(), &size)) Fail("cannot read the file's length");
    return static_cast<std::uint64_t>(size.QuadPart);
  }
  std::string ReadAt(std::uint64_t offset, std::size_t count) override {
    std::string out(count, '\0');
    std::size_t done = 0;
    while (done < count) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset + done);
      at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
      DWORD got = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 20));
      if (!ReadFile(file_.get(), out.data() + done, chunk, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        Fail("cannot read");
      }
      if (got == 0) break;
      done += got;
    }
    out.resize(done);
    return out;
  }
  void Append(const std::string& bytes) override {
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file_.get(), zero, nullptr, FILE_END)) Fail("cannot seek to the end");
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD wrote = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
      if (!WriteFile(file_.get(), bytes.data() + done, chunk, &wrote, nullptr)) Fail("cannot write");
      if (wrote == 0) Fail("cannot write (no byte taken)");
      done += wrote;
    }
  }
  void TruncateTo(std::uint64_t size) override {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file_.get(), at, nullptr, FILE_BEGIN) || !SetEndOfFile(file_.get()))
      Fail("cannot cut the file back");
  }
  void Flush() override {
    if (!FlushFileBuffers(file_.get())) Fail("cannot flush to the disk");
  }

 private:
  FileHandle file_;
};

}  // namespace

bool Win32LogFiles::CanRead(const std::string& path) {
  const FileHandle file(CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid();
}

std::unique_ptr<LogFile> Win32LogFiles::OpenForAppend(const std::string& path) {
  // Write access, not append-only: a failed record must be cut off again; and read access,
  // to find a record that a kill left half-written. Others may read the log while we hold
  // it (a log program watching the file).
  HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) Fail("cannot open for appending");
  return std::make_unique<Win32LogFile>(h);
}

bool Win32LogFiles::TextIsUtf8() { return GetACP() == CP_UTF8; }

}  // namespace qsopad
