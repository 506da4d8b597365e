// Where the settings store keeps its bytes. The shell implements this over Win32 files;
// the core carries a POSIX one (native tests, benchmarks) and an in-memory one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/error.h"

namespace qsopad {

// Thrown by ReplaceAll when the operator has marked the settings file read-only: a wish
// to respect, not a failure. The file is left exactly as it was.
class ReadOnlyStoreFile : public Error {
 public:
  using Error::Error;
};

class StoreFile {
 public:
  // Released on destruction.
  class Lock {
   public:
    virtual ~Lock() = default;
  };

  // Identifies one version of the file cheaply (size, modification time, file identity);
  // two reads of an unchanged file give equal stamps.
  struct Stamp {
    std::uint64_t a = 0, b = 0, c = 0;
    bool exists = false;
    friend bool operator==(const Stamp&, const Stamp&) = default;
  };

  virtual ~StoreFile() = default;
  // Blocks until this process holds the exclusive lock that serialises writers between
  // processes. Throws Error when the lock cannot be taken.
  virtual std::unique_ptr<Lock> LockExclusive() = 0;
  // The whole file, or nullopt when it does not exist. Throws Error on a read failure.
  virtual std::optional<std::string> ReadAll() = 0;
  // Replaces the file's content atomically and durably: afterwards the file holds either
  // the old or the new bytes, never a mix. Throws Error naming the file on failure, and
  // ReadOnlyStoreFile, without touching anything, when the file is marked read-only.
  virtual void ReplaceAll(const std::string& bytes) = 0;
  virtual Stamp CurrentStamp() = 0;
  // For messages.
  virtual std::string Describe() const = 0;
};

}  // namespace qsopad
