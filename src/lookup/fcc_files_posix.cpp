// POSIX files of the FCC database: pread for the lookup, a temporary file renamed over the
// target for the builder, a file's identity by device and inode.
#include "lookup/fcc_files_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/error.h"

namespace qsopad {

namespace {

std::string Describe(const std::string& path, int err) {
  return "\"" + path + "\": error " + std::to_string(err) + " (" + std::strerror(err) + ")";
}

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw Error(what + " " + Describe(path, err));
}

class PosixReadFile : public FccReadFile {
 public:
  PosixReadFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixReadFile() override { ::close(fd_); }
  PosixReadFile(const PosixReadFile&) = delete;
  PosixReadFile& operator=(const PosixReadFile&) = delete;

  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
    std::size_t got = 0;
    while (got < size) {
      const ssize_t n = ::pread(fd_, buffer + got, size - got, static_cast<off_t>(offset + got));
      if (n < 0) {
        if (errno == EINTR) continue;
        Fail("Cannot read", path_, errno);
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

 private:
  int fd_;
  std::string path_;
};

class PosixWriteFile : public FccWriteFile {
 public:
  explicit PosixWriteFile(std::string target) : target_(std::move(target)), temp_(target_ + ".XXXXXX") {
    fd_ = ::mkstemp(temp_.data());
    if (fd_ < 0) Fail("Cannot create a temporary file beside", target_, errno);
    // mkstemp makes the file private; the database is as readable as any other file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
  }
  ~PosixWriteFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
  }
  PosixWriteFile(const PosixWriteFile&) = delete;
  PosixWriteFile& operator=(const PosixWriteFile&) = delete;

  void Write(const char* bytes, std::size_t size) override {
    while (size > 0) {
      const ssize_t n = ::write(fd_, bytes, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        Fail("Cannot write", temp_, errno);
      }
      bytes += n;
      size -= static_cast<std::size_t>(n);
    }
  }

  void Commit() override {
    if (::fsync(fd_) != 0) Fail("Cannot write", temp_, errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail("Cannot write", temp_, errno);
    if (::rename(temp_.c_str(), target_.c_str()) != 0) Fail("Cannot replace", target_, errno);
    committed_ = true;
  }

 private:
  std::string target_, temp_;
  int fd_ = -1;
  bool committed_ = false;
};

}  // namespace

std::unique_ptr<FccReadFile> PosixFccFiles::OpenRead(const std::string& path, bool create_missing,
                                                     std::string& error) {
  // O_CREAT without O_EXCL leaves an existing file as it is and needs no write access to
  // it, so a read-only index opens; only a missing one is created.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (create_missing ? O_CREAT : 0), 0666);
  if (fd < 0) {
    error = Describe(path, errno);
    return nullptr;
  }
  return std::make_unique<PosixReadFile>(fd, path);
}

std::unique_ptr<FccWriteFile> PosixFccFiles::CreateReplacement(const std::string& path) {
  return std::make_unique<PosixWriteFile>(path);
}

void PosixFccFiles::Replace(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) Fail("Cannot rename \"" + from + "\" over", to, errno);
}

void PosixFccFiles::Remove(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) Fail("Cannot remove", path, errno);
}

std::string PosixFccFiles::Identity(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return {};
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

}  // namespace qsopad
