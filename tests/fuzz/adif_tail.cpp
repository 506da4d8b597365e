// The check of an ADIF log's end before an append, over any file (the first byte: UTF-8 lengths if odd, else bytes).
// What it keeps reads as whole (checked again, it keeps all of it), and a cut ends right after an "<eor>" or "<eoh>"
// with its line end, at 0 in a log without a header, or at 0 where only a start of our own header was there.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "adif/adif.h"
#include "fuzz_check.h"

using namespace qsopad;
using qsopad::fuzz::PrintBytes;

namespace {

struct MemoryLog : LogFile {
  explicit MemoryLog(std::string b) : bytes(std::move(b)) {}
  std::uint64_t Size() override { return bytes.size(); }
  std::string ReadAt(std::uint64_t at, std::size_t n) override {
    return at >= bytes.size() ? std::string() : bytes.substr(static_cast<std::size_t>(at), n);
  }
  void Append(const std::string& b) override { bytes += b; }
  void TruncateTo(std::uint64_t s) override { bytes.resize(static_cast<std::size_t>(s)); }
  void Flush() override {}
  std::string bytes;
};

bool EndsWithMarker(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string_view ends[] = {"<eor>", "<eor>\n", "<eor>\r\n", "<eoh>", "<eoh>\n", "<eoh>\r\n"};
  return std::ranges::any_of(ends, [&](std::string_view end) { return text.ends_with(end); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool utf8 = data[0] & 1;
  const std::string log(reinterpret_cast<const char*>(data) + 1, size - 1);
  MemoryLog file(log);
  bool line_end = false;
  const std::uint64_t keep = AdifWholeEnd(file, 0, log.size(), utf8, line_end);
  FUZZ_REQUIRE(keep <= log.size(), "never past the end", PrintBytes("log", log));
  const std::string kept = log.substr(0, static_cast<std::size_t>(keep));
  FUZZ_REQUIRE(keep == log.size() || EndsWithMarker(kept) ||
                   (keep == 0 && (log[0] == '<' || std::string(kAdifHeader).rfind(log, 0) == 0)),
               "a cut ends after a record or the header, or at the start of a log without one, or "
               "removes a start of our header", PrintBytes("log", log); PrintBytes("kept", kept));
  MemoryLog again(kept);
  FUZZ_REQUIRE(AdifWholeEnd(again, 0, kept.size(), utf8, line_end) == keep,
               "what is kept is whole", PrintBytes("log", log); PrintBytes("kept", kept));
  return 0;
}
