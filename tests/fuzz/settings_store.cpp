// The settings file reader over any bytes: loading never fails on content, and what a write after the load produces
// reads back as written and is the reader's fixed point (a second load and the same write give the same bytes), so no
// line is lost or changed on its way through.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

using namespace qsopad;
using qsopad::fuzz::PrintBytes;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  MemoryStoreFile file;
  file.SetBytes(input);
  SettingsStore first(std::make_unique<MemoryStoreFile>(file.SharedState()));

  // A value of awkward bytes taken from the input itself (NUL, CR, LF, blanks, "=", "\").
  const std::string value = input.substr(0, 48) + "|";
  first.WriteSetting("Fuzz", "Key", value);
  // The input may hold that very entry already; then nothing was written to compare.
  if (file.ReplaceCount() == 0) return 0;
  const std::string written = *file.Bytes();

  // Another copy of the program reads the file the first wrote.
  SettingsStore second(std::make_unique<MemoryStoreFile>(file.SharedState()));
  const std::string reread = second.ReadSetting("Fuzz", "Key", "absent");
  FUZZ_REQUIRE(reread == value, "a written value reads back from the file",
               PrintBytes("value", value); PrintBytes("read", reread); PrintBytes("file", written));

  // Changing the value and changing it back rewrites the file twice; the result must be the bytes the first write made.
  second.WriteSetting("Fuzz", "Key", "other");
  second.WriteSetting("Fuzz", "Key", value);
  const std::string rewritten = *file.Bytes();
  FUZZ_REQUIRE(rewritten == written, "a reloaded file is written back unchanged",
               PrintBytes("first write", written); PrintBytes("after reload", rewritten));
  return 0;
}
