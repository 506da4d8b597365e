// What the fuzz targets share: a check that stops the run with the broken rule named,
// which libFuzzer then reports as a crash and keeps the input for.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace qsopad::fuzz {

// Quotes up to 200 bytes of `bytes` with the unprintable ones as \xNN, for a failure message.
inline void PrintBytes(const char* label, std::string_view bytes) {
  std::fprintf(stderr, "  %s (%zu bytes): \"", label, bytes.size());
  for (std::size_t i = 0; i < bytes.size() && i < 200; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 32 && c < 127 && c != '"' && c != '\\') {
      std::fputc(c, stderr);
    } else {
      std::fprintf(stderr, "\\x%02X", c);
    }
  }
  std::fprintf(stderr, bytes.size() > 200 ? "\"...\n" : "\"\n");
}

[[noreturn]] inline void Fail(const char* rule, const char* file, int line) {
  std::fprintf(stderr, "\nFUZZ CHECK FAILED at %s:%d: %s\n", file, line, rule);
  std::abort();
}

}  // namespace qsopad::fuzz

// Stops the run when `cond` is false; `...` are statements printing details (PrintBytes).
#define FUZZ_REQUIRE(cond, rule, ...)                     \
  do {                                                    \
    if (!(cond)) {                                        \
      std::fprintf(stderr, "\nbroken: %s\n", #cond);      \
      __VA_ARGS__;                                        \
      ::qsopad::fuzz::Fail(rule, __FILE__, __LINE__);     \
    }                                                     \
  } while (false)
