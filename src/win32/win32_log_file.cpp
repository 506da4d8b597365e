#include "win32_log_file.h"

#include <windows.h>

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
  // Write access, not append-only: a failed record must be cut off again. Others may read
  // the log while we hold it (a log program watching the file).
  HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) Fail("cannot open for appending");
  return std::make_unique<Win32LogFile>(h);
}

}  // namespace qsopad
