// The files of the FCC database: the lookup reads the data file and its index at any
// position; the builder reads the FCC's download and writes a new database beside the old
// one, putting it in place only when it is complete. The shell implements this over Win32
// files; the core carries a POSIX one (native tests, the tool, benchmarks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qsopad {

// A file open for reading only.
class FccReadFile {
 public:
  virtual ~FccReadFile() = default;
  // Reads up to `size` bytes from byte `offset` (the file's first byte is 0) into
  // `buffer` and returns how many it read: fewer than `size` only at the end of the file,
  // 0 at or past it. Throws Error naming the file and the system error on a read failure.
  virtual std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) = 0;
};

// A new file written beside its target. Commit puts it in the target's place (replacing
// an older file of that name); dropped without Commit, it is removed and the target is
// untouched.
class FccWriteFile {
 public:
  virtual ~FccWriteFile() = default;
  // Throws Error naming the file and the system error.
  virtual void Write(const char* bytes, std::size_t size) = 0;
  // Flushes, closes and renames over the target. Throws Error as Write does.
  virtual void Commit() = 0;
};

class FccFiles {
 public:
  virtual ~FccFiles() = default;
  // Opens `path` for reading only. With `create_missing`, a file that does not exist is
  // first created empty (an existing one is never written). Returns null when the file
  // cannot be opened, with `error` naming the path and the system error.
  virtual std::unique_ptr<FccReadFile> OpenRead(const std::string& path, bool create_missing,
                                                std::string& error) = 0;
  // Starts a file that will replace `path`. Throws Error naming the file on failure.
  virtual std::unique_ptr<FccWriteFile> CreateReplacement(const std::string& path) = 0;
  // Renames `from` over `to`, replacing it, durably. Throws Error naming both on failure.
  virtual void Replace(const std::string& from, const std::string& to) = 0;
  // Removes `path`; one that does not exist is no failure. Throws Error naming it.
  virtual void Remove(const std::string& path) = 0;
  // Text that is the same for two paths exactly when they name one file (another
  // spelling, a link); empty when `path` names no file that can be examined.
  virtual std::string Identity(const std::string& path) = 0;
};

}  // namespace qsopad
