// The decoder of the text records (WM_COPYDATA) other programs send: any size from 0 to 300 over a heap block of
// exactly that size, so that AddressSanitizer stops a read past it. Input: the size (16 bits, little-endian, taken
// modulo 301), then the bytes, repeated to fill the block.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "fuzz_check.h"

using namespace qsopad;
using qsopad::fuzz::PrintBytes;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t length = static_cast<std::size_t>(data[0] | (data[1] << 8)) % 301;
  const std::uint8_t* fill = data + 2;
  const std::size_t fill_size = size - 2;
  std::unique_ptr<char[]> block(new char[length]);
  for (std::size_t i = 0; i < length; ++i) block[i] = fill_size ? static_cast<char>(fill[i % fill_size]) : 'A';
  const std::string_view record(block.get(), length);

  const std::string text = DecodeRecordText(block.get(), length);
  FUZZ_REQUIRE(text == record.substr(0, std::min<std::size_t>(record.find('\0'), 255)),
               "the text is the record up to its first NUL, at most 255 bytes",
               PrintBytes("record", record); PrintBytes("text", text));
  FUZZ_REQUIRE(DecodeRecordText(nullptr, length).empty(), "no data is the empty text");
  return 0;
}
