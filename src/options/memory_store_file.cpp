// In-memory settings file for tests.
#include "options/memory_store_file.h"

#include <utility>

#include "common/error.h"

namespace qsopad {

namespace {

class MemoryLock : public StoreFile::Lock {
 public:
  explicit MemoryLock(std::shared_ptr<MemoryStoreFile::Shared> shared)
      : shared_(std::move(shared)), hold_(shared_->lock) {}

 private:
  std::shared_ptr<MemoryStoreFile::Shared> shared_;  // keeps the mutex alive while held
  std::unique_lock<std::mutex> hold_;
};

}  // namespace

MemoryStoreFile::MemoryStoreFile() : shared_(std::make_shared<Shared>()) {}

MemoryStoreFile::MemoryStoreFile(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {
  if (!shared_) throw Error("MemoryStoreFile needs a shared state");
}

std::optional<std::string> MemoryStoreFile::Bytes() const {
  std::lock_guard<std::mutex> g(shared_->data);
  return shared_->bytes;
}

void MemoryStoreFile::SetBytes(std::optional<std::string> bytes) {
  std::lock_guard<std::mutex> g(shared_->data);
  shared_->bytes = std::move(bytes);
  ++shared_->version;
}

int MemoryStoreFile::ReadCount() const {
  std::lock_guard<std::mutex> g(shared_->data);
  return shared_->reads;
}

int MemoryStoreFile::ReplaceCount() const {
  std::lock_guard<std::mutex> g(shared_->data);
  return shared_->replaces;
}

void MemoryStoreFile::SetFailReplace(bool fail) {
  std::lock_guard<std::mutex> g(shared_->data);
  shared_->fail_replace = fail;
}

std::unique_ptr<StoreFile::Lock> MemoryStoreFile::LockExclusive() {
  return std::make_unique<MemoryLock>(shared_);
}

std::optional<std::string> MemoryStoreFile::ReadAll() {
  std::lock_guard<std::mutex> g(shared_->data);
  ++shared_->reads;
  return shared_->bytes;
}

void MemoryStoreFile::ReplaceAll(const std::string& bytes) {
  std::lock_guard<std::mutex> g(shared_->data);
  if (shared_->fail_replace) {
    throw Error("Cannot write the settings file \"" + Describe() + "\": simulated failure");
  }
  shared_->bytes = bytes;
  ++shared_->version;
  ++shared_->replaces;
}

StoreFile::Stamp MemoryStoreFile::CurrentStamp() {
  std::lock_guard<std::mutex> g(shared_->data);
  Stamp s;
  s.exists = shared_->bytes.has_value();
  s.a = shared_->version;
  return s;
}

std::string MemoryStoreFile::Describe() const { return "(memory)"; }

}  // namespace qsopad
