// The call-book answer readers over any answer: tagged fields by both rules, the result
// texts and names, each over a heap block of exactly the library's buffer size (and one of
// exactly the input's size) so that AddressSanitizer stops a read past its end; then the
// three lookups over libraries that answer with the input.
//
// Input: one control byte (how the libraries answer), then the answer bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "lookup/callbook.h"

using namespace qsopad;
using qsopad::fuzz::PrintBytes;

namespace {

// A heap block of exactly `size` bytes: the answer, then the spaces the lookups fill their
// buffers with.
class Block {
 public:
  Block(std::string_view answer, std::size_t size) : data_(new char[size]), size_(size) {
    std::fill_n(data_.get(), size, ' ');
    std::copy_n(answer.data(), std::min(size, answer.size()), data_.get());
  }
  std::string_view View() const { return {data_.get(), size_}; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_;
};

bool HasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

void CheckFields(std::string_view answer, int extra_n) {
  for (int n = 0; n <= 30; ++n) {
    const int field_n = n == 30 ? extra_n : n;
    const std::string fly = TaggedField(TagRule::kFlyingHorse, field_n, answer);
    FUZZ_REQUIRE(fly.size() < answer.size() || fly.empty(), "a field is shorter than its answer");
    FUZZ_REQUIRE(std::none_of(fly.begin(), fly.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }),
                 "a Flying Horse field has no control byte", PrintBytes("field", fly));
    const std::string buck = TaggedField(TagRule::kBuckmaster, field_n, answer);
    FUZZ_REQUIRE(buck.size() < answer.size() || buck.empty(), "a field is shorter than its answer");
    FUZZ_REQUIRE(std::none_of(buck.begin(), buck.end(), [](char c) { return static_cast<unsigned char>(c) >= 128; }),
                 "a Buckmaster field has no high byte", PrintBytes("field", buck));
  }
}

void CheckTexts(std::string_view fly, std::string_view buck, std::string_view qrz) {
  const std::string fly_text = FlyResult(fly), fly_name = FlyName(fly);
  FUZZ_REQUIRE(!HasNul(fly_text) && !HasNul(fly_name), "Flying Horse texts have no NUL",
               PrintBytes("text", fly_text); PrintBytes("name", fly_name));
  const std::string answer = BuckAnswer(buck);
  FUZZ_REQUIRE(!answer.empty() && static_cast<unsigned char>(answer[0]) == 181 && !HasNul(answer) &&
                   answer.size() <= buck.size() + 1,
               "a Buckmaster answer is the tag of field 1 and the buffer up to its NUL",
               PrintBytes("answer", answer));
  const std::string buck_text = BuckResult(answer);
  FUZZ_REQUIRE(!HasNul(buck_text), "a Buckmaster text has no NUL", PrintBytes("text", buck_text));
  const std::string_view qrz_text = UpToNul(qrz);
  const std::string qrz_name = QrzName(qrz_text);
  FUZZ_REQUIRE(!HasNul(qrz_text) && qrz_name.size() <= qrz_text.size(), "a QRZ name comes from its text",
               PrintBytes("text", qrz_text); PrintBytes("name", qrz_name));
  const std::string lines = CommasToLines(qrz_text);
  FUZZ_REQUIRE(lines.find(',') == std::string::npos, "no comma is left", PrintBytes("lines", lines));
}

// Libraries that answer every call with the input, as the control byte says.
class InputLibraries : public CallbookLibraries {
 public:
  InputLibraries(std::uint8_t control, std::string_view answer) : control_(control), answer_(answer) {}
  std::vector<std::string> messages;

  LibraryCall QRZSearch(std::int32_t, const std::string&, const std::string&, const std::string&,
                        std::span<char, kQrzAnswerSize> buffer, std::int32_t) override {
    return Answer(buffer, control_ & 4 ? 0 : 1);
  }
  LibraryCall sGetCallInfo(const std::string&, const std::string&, std::span<char, kFlyAnswerSize> buffer,
                           std::int16_t& status) override {
    static constexpr std::int16_t kStatuses[] = {kFlyFound, kFlyNotFound, 1102, -1};
    status = kStatuses[(control_ >> 3) & 3];
    return Answer(buffer, 0);
  }
  LibraryCall LookupCallSign(const std::string&, const std::string&, std::int32_t,
                             std::span<char, kBuckAnswerSize> buffer) override {
    return Answer(buffer, control_ & 32 ? kBuckNotFound : 1);
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

 private:
  LibraryCall Answer(std::span<char> buffer, std::int32_t result) {
    std::copy_n(answer_.data(), std::min(answer_.size(), buffer.size()), buffer.begin());
    return {(control_ & 3) != 0, result};  // one in four calls fails
  }
  std::uint8_t control_;
  std::string_view answer_;
};

void CheckLookups(std::uint8_t control, std::string_view answer) {
  InputLibraries libraries(control, answer);
  CallbookLookups lookups(libraries);
  const bool done = (control & 3) != 0;
  for (int source = 0; source < 3; ++source) {
    std::string name = "unchanged";
    libraries.messages.clear();
    const std::string text = source == 0   ? lookups.QRZLookup("W1AW", name, true)
                             : source == 1 ? lookups.FLYLookup("W1AW", name, true, "E:\\")
                                           : lookups.BuckLookup("W1AW", name, true, "D:\\HAM0");
    FUZZ_REQUIRE(!HasNul(text) && !HasNul(name), "a lookup's text and name have no NUL",
                 std::fprintf(stderr, "  source %d\n", source); PrintBytes("text", text); PrintBytes("name", name));
    if (!done) {
      FUZZ_REQUIRE(text == "Error!" && libraries.messages.size() == 1, "a failed library call is reported once",
                   std::fprintf(stderr, "  source %d, %zu messages\n", source, libraries.messages.size()));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t control = data[0];
  const std::string_view answer(reinterpret_cast<const char*>(data) + 1, size - 1);

  const Block own(answer, answer.size());
  const Block fly(answer, kFlyAnswerSize), buck(answer, kBuckAnswerSize), qrz(answer, kQrzAnswerSize);
  CheckFields(own.View(), static_cast<signed char>(control));
  CheckFields(fly.View(), static_cast<signed char>(control));
  CheckTexts(own.View(), own.View(), own.View());
  CheckTexts(fly.View(), buck.View(), qrz.View());
  CheckLookups(control, answer);
  return 0;
}
