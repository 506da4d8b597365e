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
  for (const unsigned char c : bytes.substr(0, 200))
    std::fprintf(stderr, c >= 32 && c < 127 && c != '"' && c != '\\' ? "%c" : "\\x%02X", c);
  std::fprintf(stderr, bytes.size() > 200 ? "\"...\n" : "\"\n");
}

}  // namespace qsopad::fuzz

// Stops the run when `cond` is false; `...` are statements printing details (PrintBytes).
#define FUZZ_REQUIRE(cond, rule, ...)                                                       \
  do {                                                                                      \
    if (!(cond)) {                                                                          \
      std::fprintf(stderr, "\nbroken: %s\n", #cond);                                        \
      __VA_ARGS__;                                                                          \
      std::fprintf(stderr, "\nFUZZ CHECK FAILED at %s:%d: %s\n", __FILE__, __LINE__, rule); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)
