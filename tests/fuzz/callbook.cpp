// The call-book answer readers over any answer: tagged fields by both rules, the result texts
// and names, each over a heap block of exactly the library's buffer size (and of the input's)
// so that AddressSanitizer stops a read past its end. (The lookups that call them: the unit
// tests and the 32-bit end-to-end scenario.) Input: one byte (a field number), then the answer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "lookup/callbook.h"

using namespace qsopad;
using qsopad::fuzz::PrintBytes;

namespace {

// A heap block of exactly `size` bytes (a vector so made holds no more): the answer, then
// the spaces the lookups fill their buffers with.
std::vector<char> Block(std::string_view answer, std::size_t size) {
  std::vector<char> block(size, ' ');
  std::copy_n(answer.data(), std::min(size, answer.size()), block.begin());
  return block;
}
std::string_view View(const std::vector<char>& block) { return {block.data(), block.size()}; }

bool HasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

// Fields 0 to 29 and `extra_n` by both rules, then each library's texts.
void CheckTexts(std::string_view fly, std::string_view buck, std::string_view qrz, int extra_n) {
  for (int n = 0; n <= 30; ++n) {
    for (const TagRule rule : {TagRule::kFlyingHorse, TagRule::kBuckmaster}) {
      const std::string field = TaggedField(rule, n == 30 ? extra_n : n, fly);
      const bool ok = std::ranges::none_of(field, [&](unsigned char c) { return rule != TagRule::kBuckmaster ? c < 32 : c > 127; });
      FUZZ_REQUIRE((field.size() < fly.size() || field.empty()) && ok,
                   "a field is shorter than its answer and holds only its rule's bytes",
                   std::fprintf(stderr, "  rule %d, field %d\n", static_cast<int>(rule), n); PrintBytes("field", field));
    }
  }
  const std::string fly_text = FlyResult(fly), fly_name = FlyName(fly);
  FUZZ_REQUIRE(!HasNul(fly_text) && !HasNul(fly_name), "Flying Horse texts have no NUL",
               PrintBytes("text", fly_text); PrintBytes("name", fly_name));
  const std::string answer = BuckAnswer(buck);
  FUZZ_REQUIRE(!answer.empty() && static_cast<unsigned char>(answer[0]) == 181 && !HasNul(answer) &&
                   answer.size() <= buck.size() + 1 && !HasNul(BuckResult(answer)),
               "a Buckmaster answer is the tag of field 1 and the buffer up to its NUL, its text has no NUL",
               PrintBytes("answer", answer); PrintBytes("text", BuckResult(answer)));
  const std::string_view qrz_text = UpToNul(qrz);
  const std::string qrz_name = QrzName(qrz_text), lines = CommasToLines(qrz_text);
  FUZZ_REQUIRE(!HasNul(qrz_text) && qrz_name.size() <= qrz_text.size() && lines.find(',') == std::string::npos,
               "a QRZ name comes from its text, and its lines keep no comma",
               PrintBytes("text", qrz_text); PrintBytes("name", qrz_name); PrintBytes("lines", lines));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view answer(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto own = Block(answer, answer.size()), fly = Block(answer, kFlyAnswerSize);
  const auto buck = Block(answer, kBuckAnswerSize), qrz = Block(answer, kQrzAnswerSize);
  CheckTexts(View(own), View(own), View(own), static_cast<signed char>(data[0]));
  CheckTexts(View(fly), View(buck), View(qrz), static_cast<signed char>(data[0]));
  return 0;
}
