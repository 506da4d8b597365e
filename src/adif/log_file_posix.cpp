#include "adif/log_file_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/error.h"

namespace qsopad {

namespace {

[[noreturn]] void Fail(const std::string& what, int error) {
  throw Error(what + ": " + std::strerror(error));
}

class PosixLogFile : public LogFile {
 public:
  explicit PosixLogFile(int fd) : fd_(fd) {}
  ~PosixLogFile() override { ::close(fd_); }
  PosixLogFile(const PosixLogFile&) = delete;
  PosixLogFile& operator=(const PosixLogFile&) = delete;

  std::uint64_t Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("cannot read the file's length", errno);
    return static_cast<std::uint64_t>(st.st_size);
  }
  std::string ReadAt(std::uint64_t offset, std::size_t count) override {
    std::string out(count, '\0');
    std::size_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(fd_, out.data() + done, count - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        Fail("cannot read", errno);
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    out.resize(done);
    return out;
  }
  void Append(const std::string& bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        Fail("cannot write", errno);
      }
      done += static_cast<std::size_t>(n);
    }
  }
  void TruncateTo(std::uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("cannot cut the file back", errno);
  }
  void Flush() override {
    if (::fsync(fd_) != 0) Fail("cannot flush to the disk", errno);
  }

 private:
  int fd_;
};

}  // namespace

bool PosixLogFiles::CanRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  const bool file = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return file;
}

std::unique_ptr<LogFile> PosixLogFiles::OpenForAppend(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) Fail("cannot open for appending", errno);
  return std::make_unique<PosixLogFile>(fd);
}

}  // namespace qsopad
