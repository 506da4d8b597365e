// The options file reader over any bytes: a load fed in small pieces stores (and writes to the settings file) what a
// load of the whole does, and our own export of the result reads back to itself without a skipped line. A file refused
// for a value the program cannot read stores nothing. The bytes as a key and a value stored by the program go through
// an export and a load unchanged. (A settings file reads back as written: its own fuzz target.)
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

// A store and a view of its settings file in memory, which starts with no file.
struct Store { MemoryStoreFile file; SettingsStore store{std::make_unique<MemoryStoreFile>(file.SharedState())}; };

// The file handed over `piece` bytes at a time, as a slow disk or a pipe might.
struct Pieces : OptionsFileSource {
  Pieces(std::string_view bytes, std::size_t piece) : rest(bytes), piece(piece) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = rest.copy(buffer, std::min(size, piece));
    return rest.remove_prefix(n), n;
  }
  std::string_view rest;
  std::size_t piece;
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

  Store whole, pieces;
  const OptionsLoadResult loaded = LoadOptionsFile(whole.store, input);
  RequireLoaded(loaded, "whole", true);
  Pieces source(input, 1 + size % 5);
  const OptionsLoadResult in_pieces = LoadOptionsFile(pieces.store, source);
  const auto settings = whole.file.Bytes();
  FUZZ_REQUIRE(in_pieces.stored == loaded.stored && in_pieces.skipped == loaded.skipped &&
                   in_pieces.error_text == loaded.error_text && settings == pieces.file.Bytes(),
               "a load in pieces counts and stores what a whole load does",
               std::fprintf(stderr, "  whole: %zu stored, %zu skipped; pieces of %zu: %zu stored, %zu skipped\n",
                            loaded.stored, loaded.skipped, 1 + size % 5, in_pieces.stored, in_pieces.skipped);
               PrintBytes("whole", settings.value_or("(no file)"));
               PrintBytes("pieces", pieces.file.Bytes().value_or("(no file)")));

  // Our own export reads back to itself, every line of it an entry or a section.
  const std::string text = OptionsFileText(whole.store);
  Store again;
  const OptionsLoadResult reloaded = LoadOptionsFile(again.store, text);
  RequireLoaded(reloaded, "export", false);
  const std::string text_again = OptionsFileText(again.store);
  FUZZ_REQUIRE(reloaded.skipped == 0 && text_again == text, "an export reads back to itself",
               std::fprintf(stderr, "  skipped %zu\n", reloaded.skipped);
               PrintBytes("export", text); PrintBytes("export of its load", text_again));

  // The input's bytes as a value and in a key go out and come back exactly.
  Store from, to;
  from.store.WriteSetting("Macro", "1", input);
  from.store.WriteSetting("Macro", std::string(input.substr(0, 40)) + "|", "v");
  RequireLoaded(LoadOptionsFile(to.store, OptionsFileText(from.store)), "awkward bytes", false);
  FUZZ_REQUIRE(to.store.ListSection("Macro") == from.store.ListSection("Macro"), "any bytes survive an export and a load",
               PrintBytes("export", OptionsFileText(from.store)); PrintBytes("read back", OptionsFileText(to.store)));
  return 0;
}
