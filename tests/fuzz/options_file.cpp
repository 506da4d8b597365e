// The options file reader over any bytes: a load fed in small pieces stores what a load of
// the whole does, our own export of the result reads back to itself without a skipped
// line, and the settings file written on the way holds every entry byte for byte. A file
// refused for a value the program cannot read stores nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "options/memory_store_file.h"
#include "options/options_file.h"
#include "options/settings_store.h"

using namespace qsopad;
using qsopad::fuzz::PrintBytes;

namespace {

struct Store {
  std::shared_ptr<MemoryStoreFile::Shared> shared;
  std::unique_ptr<SettingsStore> store;
};

Store NewStore(std::optional<std::string> bytes = std::nullopt) {
  auto file = std::make_unique<MemoryStoreFile>();
  if (bytes) file->SetBytes(std::move(bytes));
  Store s{file->SharedState(), nullptr};
  s.store = std::make_unique<SettingsStore>(std::move(file));
  return s;
}

// The file handed over `piece` bytes at a time, as a slow disk or a pipe might.
class Pieces : public OptionsFileSource {
 public:
  Pieces(std::string_view bytes, std::size_t piece) : rest_(bytes), piece_(piece) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = rest_.copy(buffer, std::min(size, piece_));
    rest_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view rest_;
  std::size_t piece_;
};

// A load from memory into memory fails only by refusing a value, and then stores nothing.
void RequireLoaded(const OptionsLoadResult& r, const char* how, bool refusal_allowed) {
  const bool refused = r.error_text && r.error_text->rfind("File error: line ", 0) == 0;
  FUZZ_REQUIRE(!r.error_text || (refusal_allowed && refused && r.stored == 0),
               "a load from memory into memory reports no error but a refused value",
               std::fprintf(stderr, "  %s: %s\n", how, r.error_text->c_str()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  Store whole = NewStore();
  const OptionsLoadResult loaded = LoadOptionsFile(*whole.store, input);
  RequireLoaded(loaded, "whole", true);
  const std::string text = OptionsFileText(*whole.store);

  Store pieces = NewStore();
  Pieces source(input, 1 + size % 5);
  const OptionsLoadResult in_pieces = LoadOptionsFile(*pieces.store, source);
  RequireLoaded(in_pieces, "in pieces", true);
  FUZZ_REQUIRE(in_pieces.stored == loaded.stored && in_pieces.skipped == loaded.skipped &&
                   in_pieces.error_text == loaded.error_text,
               "a load in pieces counts what a whole load counts",
               std::fprintf(stderr, "  whole: %zu stored, %zu skipped; pieces of %zu: %zu stored, %zu skipped\n",
                            loaded.stored, loaded.skipped, 1 + size % 5, in_pieces.stored,
                            in_pieces.skipped));
  const auto settings = MemoryStoreFile(whole.shared).Bytes();
  const auto settings_pieces = MemoryStoreFile(pieces.shared).Bytes();
  FUZZ_REQUIRE(settings == settings_pieces, "a load in pieces stores what a whole load stores",
               PrintBytes("whole", settings.value_or("(no file)"));
               PrintBytes("pieces", settings_pieces.value_or("(no file)")));

  // Our own export reads back to itself, every line of it an entry or a section.
  Store again = NewStore();
  const OptionsLoadResult reloaded = LoadOptionsFile(*again.store, text);
  RequireLoaded(reloaded, "export", false);
  const std::string text_again = OptionsFileText(*again.store);
  FUZZ_REQUIRE(reloaded.skipped == 0 && text_again == text, "an export reads back to itself",
               std::fprintf(stderr, "  skipped %zu\n", reloaded.skipped);
               PrintBytes("export", text); PrintBytes("export of its load", text_again));

  // The settings file the load wrote holds the entries exactly.
  if (settings) {
    Store from_file = NewStore(*settings);
    const std::string text_from_file = OptionsFileText(*from_file.store);
    FUZZ_REQUIRE(text_from_file == text, "the settings file keeps every loaded entry",
                 PrintBytes("export", text); PrintBytes("after reading the settings file", text_from_file));
  }
  return 0;
}
