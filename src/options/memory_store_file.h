// A settings file held in memory, for unit tests of anything that uses the settings store.
// Several MemoryStoreFile objects can view one shared buffer, which lets a test play two
// running copies of the program writing to one file.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "options/store_file.h"

namespace qsopad {

class MemoryStoreFile : public StoreFile {
 public:
  // What the views of one "file" share. Tests may inspect it through the accessors below.
  struct Shared {
    std::mutex lock;                    // the writers' lock; blocks like the real one
    mutable std::mutex data;            // guards the fields below
    std::optional<std::string> bytes;   // nullopt: the file does not exist
    std::uint64_t version = 0;          // bumped by every change; the stamp
    int reads = 0;                      // ReadAll calls, across all views
    int replaces = 0;                   // successful ReplaceAll calls, across all views
    bool fail_replace = false;          // make ReplaceAll throw, as a full disk would
  };

  // A new, empty (non-existent) file.
  MemoryStoreFile();
  // Another view of an existing file.
  explicit MemoryStoreFile(std::shared_ptr<Shared> shared);

  std::shared_ptr<Shared> SharedState() const { return shared_; }

  // Test helpers. SetBytes plays an outside edit (or, with nullopt, a deletion) and
  // changes the stamp like a real edit would.
  std::optional<std::string> Bytes() const;
  void SetBytes(std::optional<std::string> bytes);
  int ReadCount() const;
  int ReplaceCount() const;
  // While set, ReplaceAll throws Error and leaves the content as it was.
  void SetFailReplace(bool fail);

  std::unique_ptr<Lock> LockExclusive() override;
  std::optional<std::string> ReadAll() override;
  void ReplaceAll(const std::string& bytes) override;
  Stamp CurrentStamp() override;
  std::string Describe() const override;

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace qsopad
