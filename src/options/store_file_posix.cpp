// POSIX settings file: flock on a companion lock file, replace by rename.
#include "options/store_file_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/error.h"

namespace qsopad {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw Error(what + " \"" + path + "\": error " + std::to_string(err) + " (" +
              std::strerror(err) + ")");
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now, reporting the error that a deferred write may only show here.
  int Close() {
    const int r = ::close(fd_);
    fd_ = -1;
    return r;
  }

 private:
  int fd_;
};

// flock, not fcntl: fcntl locks belong to the process, so two stores in one process would
// not exclude each other; flock locks belong to the open file.
class FlockLock : public StoreFile::Lock {
 public:
  explicit FlockLock(int fd) : fd_(fd) {}
  ~FlockLock() override {
    ::flock(fd_.get(), LOCK_UN);
  }

 private:
  Fd fd_;
};

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::uint64_t Nanoseconds(const struct timespec& t) {
  return static_cast<std::uint64_t>(t.tv_sec) * 1000000000u + static_cast<std::uint64_t>(t.tv_nsec);
}

}  // namespace

PosixStoreFile::PosixStoreFile(std::string path)
    : path_(std::move(path)), lock_(path_ + ".lock"), temp_(path_ + ".tmp") {}

std::unique_ptr<StoreFile::Lock> PosixStoreFile::LockExclusive() {
  Fd fd(::open(lock_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) {
    const int err = errno;
    // The lock file is ours, not the operator's: a missing folder is reported as the
    // settings file's.
    if (err == ENOENT || err == ENOTDIR) {
      throw Error("Cannot write the settings file \"" + path_ + "\": its folder \"" +
                  FolderOf(path_) + "\" does not exist (error " + std::to_string(err) + ": " +
                  std::strerror(err) + ")");
    }
    Fail("Cannot open the settings lock file", lock_, err);
  }
  while (::flock(fd.get(), LOCK_EX) != 0) {
    if (errno != EINTR) Fail("Cannot lock the settings lock file", lock_, errno);
  }
  return std::make_unique<FlockLock>(fd.Release());
}

std::optional<std::string> PosixStoreFile::ReadAll() {
  Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    Fail("Cannot open the settings file", path_, errno);
  }
  std::string bytes;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot read the settings file", path_, errno);
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  return bytes;
}

void PosixStoreFile::ReplaceAll(const std::string& bytes) {
  // Every version gets a modification time later than the one it replaces, even within
  // one tick of the file system's clock, so that the stamps of two versions never match.
  struct stat old {};
  const bool had_old = ::stat(path_.c_str(), &old) == 0;
  // No write permission for anyone is this system's read-only flag; a rename would replace
  // the file regardless (and root may write anything).
  if (had_old && (old.st_mode & 0222) == 0) {
    throw ReadOnlyStoreFile("The settings file \"" + path_ + "\" is read-only");
  }

  Fd fd(::open(temp_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) Fail("Cannot create the temporary settings file", temp_, errno);
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd.get(), p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::unlink(temp_.c_str());
      Fail("Cannot write the temporary settings file", temp_, err);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  if (had_old && Nanoseconds(now) <= Nanoseconds(old.st_mtim)) {
    now = old.st_mtim;
    if (++now.tv_nsec == 1000000000) {
      now.tv_nsec = 0;
      ++now.tv_sec;
    }
  }
  const struct timespec times[2] = {now, now};
  ::futimens(fd.get(), times);  // best effort: without it the stamp is merely coarser
  if (::fsync(fd.get()) != 0 || fd.Close() != 0) {
    const int err = errno;
    ::unlink(temp_.c_str());
    Fail("Cannot write the temporary settings file", temp_, err);
  }
  if (::rename(temp_.c_str(), path_.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp_.c_str());
    Fail("Cannot replace the settings file", path_, err);
  }
  // The rename is durable only once the folder is on disk.
  const std::string folder = FolderOf(path_);
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // Some file systems cannot sync a folder and say so with EINVAL; nothing to do then.
  if (dir.get() < 0 || (::fsync(dir.get()) != 0 && errno != EINVAL)) {
    Fail("Cannot flush the settings folder", folder, errno);
  }
}

StoreFile::Stamp PosixStoreFile::CurrentStamp() {
  struct stat st {};
  Stamp stamp;
  if (::stat(path_.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return stamp;
    Fail("Cannot examine the settings file", path_, errno);
  }
  stamp.exists = true;
  stamp.a = static_cast<std::uint64_t>(st.st_size);
  stamp.b = Nanoseconds(st.st_mtim);
  stamp.c = static_cast<std::uint64_t>(st.st_ino);
  return stamp;
}

std::string PosixStoreFile::Describe() const { return path_; }

}  // namespace qsopad
