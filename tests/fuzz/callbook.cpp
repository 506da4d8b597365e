// The call-book answer readers over any answer: tagged fields by both rules, the result texts
// and names, each over a heap block of exactly the library's buffer size (and of the input's)
// so that AddressSanitizer stops a read past its end; then the three lookups over libraries
// answering with the input. Input: one control byte (how they answer), then the answer bytes.
#include <algorithm>
#include <array>
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

// Libraries that answer every call with the input, as the control byte says.
struct InputLibraries : CallbookLibraries {
  InputLibraries(std::uint8_t c, std::string_view a) : control(c), answer(a) {}
  LibraryCall QRZSearch(std::int32_t, const std::string&, const std::string&, const std::string&,
                        std::span<char, kQrzAnswerSize> buffer, std::int32_t) override {
    return Answer(buffer, control & 4 ? 0 : 1);
  }
  LibraryCall sGetCallInfo(const std::string&, const std::string&, std::span<char, kFlyAnswerSize> buffer,
                           std::int16_t& status) override {
    return status = std::array<std::int16_t, 4>{kFlyFound, kFlyNotFound, 1102, -1}[(control >> 3) & 3], Answer(buffer, 0);
  }
  LibraryCall LookupCallSign(const std::string&, const std::string&, std::int32_t,
                             std::span<char, kBuckAnswerSize> buffer) override {
    return Answer(buffer, control & 32 ? kBuckNotFound : 1);
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  LibraryCall Answer(std::span<char> buffer, std::int32_t result) {
    std::copy_n(answer.data(), std::min(answer.size(), buffer.size()), buffer.begin());
    return {(control & 3) != 0, result};  // one in four calls fails
  }
  std::uint8_t control; std::string_view answer;
  std::vector<std::string> messages;
};

void CheckLookups(std::uint8_t control, std::string_view answer) {
  InputLibraries libraries(control, answer);
  CallbookLookups lookups(libraries);
  for (int source = 0; source < 3; ++source) {
    std::string name = "unchanged";
    libraries.messages.clear();
    const std::string text = source == 0   ? lookups.QRZLookup("W1AW", name, true)
                             : source == 1 ? lookups.FLYLookup("W1AW", name, true, "E:\\")
                                           : lookups.BuckLookup("W1AW", name, true, "D:\\HAM0");
    FUZZ_REQUIRE(!HasNul(text) && !HasNul(name) && ((control & 3) || (text == "Error!" && libraries.messages.size() == 1)),
                 "a lookup's text and name have no NUL; a failed library call is reported once",
                 std::fprintf(stderr, "  source %d, %zu messages\n", source, libraries.messages.size());
                 PrintBytes("text", text); PrintBytes("name", name));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view answer(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto own = Block(answer, answer.size()), fly = Block(answer, kFlyAnswerSize);
  const auto buck = Block(answer, kBuckAnswerSize), qrz = Block(answer, kQrzAnswerSize);
  CheckTexts(View(own), View(own), View(own), static_cast<signed char>(data[0]));
  CheckTexts(View(fly), View(buck), View(qrz), static_cast<signed char>(data[0]));
  CheckLookups(data[0], answer);
  return 0;
}
