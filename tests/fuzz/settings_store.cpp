// The settings file reader over any bytes: loading never fails on content, and what a
// write after the load produces reads back as written and is the reader's fixed point (a
// second load and the same write give the same bytes), so no line is lost or changed on
// its way through.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/error.h"
#include "fuzz_check.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

using namespace qsopad;
using qsopad::fuzz::PrintBytes;

namespace {

// A store over a settings file in memory that starts with `bytes`.
struct Opened {
  explicit Opened(std::string bytes) : store([&] {
    file.SetBytes(std::move(bytes));
    return std::make_unique<MemoryStoreFile>(file.SharedState());
  }()) {}
  std::string Bytes() const { return *file.Bytes(); }
  MemoryStoreFile file;
  SettingsStore store;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Opened first(input);

  // A value of awkward bytes taken from the input itself (NUL, CR, LF, blanks, "=", "\").
  const std::string value = input.substr(0, 48) + "|";
  first.store.WriteSetting("Fuzz", "Key", value);
  // The input may hold that very entry already; then nothing was written to compare.
  if (first.file.ReplaceCount() == 0) return 0;
  const std::string written = first.Bytes();
  FUZZ_REQUIRE(first.store.ReadSetting("Fuzz", "Key", "absent") == value,
               "a written value reads back from memory", PrintBytes("value", value));

  Opened second(written);
  const std::string reread = second.store.ReadSetting("Fuzz", "Key", "absent");
  FUZZ_REQUIRE(reread == value, "a written value reads back from the file",
               PrintBytes("value", value); PrintBytes("read", reread); PrintBytes("file", written));
  FUZZ_REQUIRE(second.store.ListSection("Fuzz") == first.store.ListSection("Fuzz"),
               "a section lists the same after a reload");

  // Changing the value and changing it back rewrites the file twice; the result must be
  // the bytes the first write made.
  second.store.WriteSetting("Fuzz", "Key", "other");
  second.store.WriteSetting("Fuzz", "Key", value);
  const std::string rewritten = second.Bytes();
  FUZZ_REQUIRE(rewritten == written, "a reloaded file is written back unchanged",
               PrintBytes("first write", written); PrintBytes("after reload", rewritten));

  // Another copy's change reaches a store through Refresh.
  second.file.SetBytes(input);
  FUZZ_REQUIRE(second.store.Refresh(), "an outside change is noticed");
  second.store.DeleteSection("Fuzz");
  FUZZ_REQUIRE(second.store.ListSection("Fuzz").empty(), "a deleted section lists nothing");
  return 0;
}
