// Call-book libraries: tagged fields, the result texts and names read from raw answers
// (also answers that fill their buffer to the last byte), and the three lookups' calls,
// failures and name rule over a recording fake of the libraries.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lookup/callbook.h"

namespace qsopad {
namespace {

using namespace std::string_literals;

// A copy of `bytes` in a heap block of exactly its size, so that AddressSanitizer catches
// any read past the end.
struct ExactBuffer {
  explicit ExactBuffer(const std::string& bytes) : data(new char[bytes.size()]), size(bytes.size()) {
    std::copy(bytes.begin(), bytes.end(), data.get());
  }
  std::string_view view() const { return {data.get(), size}; }
  std::unique_ptr<char[]> data;
  std::size_t size;
};

std::string Tag(int n) { return std::string(1, static_cast<char>(n)); }

TEST(Callbook, TaggedFieldRules) {
  const std::string fly = Tag(1) + "W1AW" + Tag(2) + "Maxim, Hiram" + "\x1f" + "rest" + Tag(2) + "second" +
                          Tag(3) + "M\xFCller" + "\0"s + Tag(4) + "after the end";
  const std::string buck = "\xB5"s + "W1AW" + "\xB8" + "Hiram\x01\x1f" + "\xB9" + "M\xFCller" + "\xBA" + "a\0b"s;
  const struct {
    TagRule rule;
    const std::string* answer;
    int n;
    std::string field;
  } rows[] = {
      {TagRule::kFlyingHorse, &fly, 1, "W1AW"},                // ends at the next tag
      {TagRule::kFlyingHorse, &fly, 2, "Maxim, Hiram"},        // first tag wins; control byte ends it
      {TagRule::kFlyingHorse, &fly, 3, "M\xFCller"},           // high bytes are text, NUL ends it
      {TagRule::kFlyingHorse, &fly, 4, "after the end"},       // found past a NUL too
      {TagRule::kFlyingHorse, &fly, 5, ""},                    // no tag
      {TagRule::kBuckmaster, &buck, 1, "W1AW"},
      {TagRule::kBuckmaster, &buck, 4, "Hiram\x01\x1f"},       // control bytes are text
      {TagRule::kBuckmaster, &buck, 5, "M"},                   // a high byte ends it
      {TagRule::kBuckmaster, &buck, 6, "a\0b"s},               // NUL is text (the caller cuts first)
      {TagRule::kBuckmaster, &buck, 7, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.n);
    const ExactBuffer exact(*row.answer);
    EXPECT_EQ(TaggedField(row.rule, row.n, exact.view()), row.field);
  }
  // A field that runs to the buffer's last byte, and a tag that is the last byte.
  EXPECT_EQ(TaggedField(TagRule::kFlyingHorse, 7, ExactBuffer(Tag(7) + "tail").view()), "tail");
  EXPECT_EQ(TaggedField(TagRule::kBuckmaster, 2, ExactBuffer("x\xB6").view()), "");
  EXPECT_EQ(TaggedField(TagRule::kFlyingHorse, 1, {}), "");
}

TEST(Callbook, CommasToLinesAndQrzName) {
  const struct {
    const char* text;
    const char* lines;
  } commas[] = {{"Maxim , Hiram Percy", "Maxim\r\nHiram Percy"},
                {" a , b ,c ", "a\r\nb\r\nc"},
                {"  no comma  ", "  no comma  "},
                {",,", "\r\n\r\n"}};
  for (const auto& row : commas) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(CommasToLines(row.text), row.lines);
  }
  const struct {
    const char* text;
    const char* name;
  } names[] = {{"W1AW HIRAM PERCY MAXIM", "Hiram"}, {"  W1AW    hIRAM  ", "hiram"},
               {"W1AW", ""},  {"W1AW   ", ""},    {"\xC9MILE \xC9LISE M\xDCLLER", "\xC9lise"},
               {"", ""}};
  for (const auto& row : names) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(QrzName(row.text), row.name);
  }
}

// A Flying Horse answer in its 400-byte buffer, spaces after the NUL as the caller left them.
std::string FlyBuffer(const std::string& answer) {
  std::string buffer = answer + "\0"s;
  buffer.resize(kFlyAnswerSize, ' ');
  return buffer;
}

TEST(Callbook, FlyingHorseResultAndName) {
  const std::string with6 = Tag(1) + "W1AW" + Tag(2) + "MAXIM, HIRAM P" + Tag(6) + "NEWINGTON CT" + Tag(10) +
                            "-72.72" + Tag(11) + "41.71" + Tag(13) + "HARTFORD" + Tag(24) + "Since 1914";
  const ExactBuffer found(FlyBuffer(with6));
  EXPECT_EQ(FlyResult(found.view()),
            "W1AW MAXIM\r\nHIRAM P ,NEWINGTON CT (HARTFORD County)\r\nLong=-72.72, Lat=41.71\r\nSince 1914");
  EXPECT_EQ(FlyName(found.view()), "MAXIM,");  // no field 25: the first word of field 2
  EXPECT_EQ(FlyName(ExactBuffer(FlyBuffer(with6 + Tag(25) + "Hiram")).view()), "Hiram");
  EXPECT_EQ(FlyName(ExactBuffer(FlyBuffer(Tag(2) + "Hiram")).view()), "Hiram");

  const std::string without6 = Tag(1) + "G3XYZ" + Tag(2) + "SMITH,JOHN , JR" + Tag(3) + "1 High St" + Tag(16) +
                               "LONDON" + Tag(18) + "G4ABC" + Tag(24) + " QSL";
  EXPECT_EQ(FlyResult(ExactBuffer(FlyBuffer(without6)).view()),
            "G3XYZ SMITH\r\nJOHN\r\nJR\r\n1 High St\r\nLONDON\r\nvia G4ABC QSL");

  // No NUL: the last field runs over the padding to the buffer's end.
  std::string full = Tag(1) + "K2ABC" + Tag(24);
  full.resize(kFlyAnswerSize, 'x');
  const std::string text = FlyResult(ExactBuffer(full).view());
  EXPECT_EQ(text, "K2ABC \r\n\r\n\r\nvia " + std::string(kFlyAnswerSize - 7, 'x'));
}

TEST(Callbook, BuckmasterResultAndName) {
  const auto h = [](int n) { return std::string(1, static_cast<char>(180 + n)); };
  const std::string fields = "W1AW" + h(4) + "HIRAM" + h(6) + "P" + h(7) + "MAXIM" + h(8) + "225 Main St" + h(11) +
                             "NEWINGTON" + h(12) + "CT" + h(13) + "06111" + h(20) + "41.71" + h(21) + "-72.72" +
                             h(22) + "FN31" + h(27) + "Class A" + h(28) + "Exp 2030";
  std::string buffer = fields + "\0"s + h(18) + "stale";
  buffer.resize(kBuckAnswerSize, ' ');
  const std::string answer = BuckAnswer(ExactBuffer(buffer).view());
  EXPECT_EQ(answer, h(1) + fields);  // cut at the first NUL: no county from past it
  const std::string tail = "Lat: 41.71 Long: -72.72 (FN31)\r\nClass A   Exp 2030";
  EXPECT_EQ(BuckResult(answer), "W1AW HIRAM P MAXIM\r\n225 Main St\r\nNEWINGTON, CT 06111\r\n" + tail);
  EXPECT_EQ(BuckResult(answer + h(18) + "HARTFORD"),
            "W1AW HIRAM P MAXIM\r\n225 Main St\r\nNEWINGTON, CT 06111\r\nCounty: HARTFORD\r\n" + tail);

  // No NUL anywhere: the whole buffer, after the tag in front, and no byte beyond.
  std::string full = "K2ABC" + h(28);
  full.resize(kBuckAnswerSize, 'y');
  const std::string whole = BuckAnswer(ExactBuffer(full).view());
  EXPECT_EQ(whole.size(), kBuckAnswerSize + 1);
  EXPECT_EQ(TaggedField(TagRule::kBuckmaster, 28, whole), std::string(kBuckAnswerSize - 6, 'y'));
}

// Random answers of each buffer size, in blocks of exactly that size, many of their bytes
// tags: every reader stays inside the block (AddressSanitizer watches), and every field is
// the run that follows the first tag and keeps its library's rule.
TEST(Callbook, RandomAnswersStayInTheirBuffer) {
  std::mt19937 rng(31);
  std::uniform_int_distribution<int> any(0, 255), fly_tag(1, 25), buck_tag(181, 208), pick(0, 3);
  for (int round = 0; round < 3000; ++round) {
    const bool fly = round % 2 == 0;
    std::string bytes(fly ? kFlyAnswerSize : kQrzAnswerSize, ' ');
    for (char& c : bytes) {
      const int kind = pick(rng);
      c = static_cast<char>(kind == 0 ? (fly ? fly_tag(rng) : buck_tag(rng)) : kind == 1 ? ',' : any(rng));
    }
    const ExactBuffer raw(bytes);
    SCOPED_TRACE(round);
    if (fly) {
      FlyResult(raw.view());
      FlyName(raw.view());
    } else {
      BuckResult(BuckAnswer(raw.view()));
      QrzName(UpToNul(raw.view()));
    }
    const TagRule rule = fly ? TagRule::kFlyingHorse : TagRule::kBuckmaster;
    for (int n = 1; n <= 28; ++n) {
      const std::string field = TaggedField(rule, n, raw.view());
      const std::size_t tag = bytes.find(static_cast<char>(fly ? n : 180 + n));
      if (tag == std::string::npos) {
        ASSERT_EQ(field, "");
        continue;
      }
      ASSERT_EQ(bytes.compare(tag + 1, field.size(), field), 0);
      const std::size_t end = tag + 1 + field.size();
      const auto keeps = [&](unsigned char c) { return fly ? c >= 32 : c < 128; };
      ASSERT_TRUE(std::all_of(field.begin(), field.end(), [&](char c) { return keeps(static_cast<unsigned char>(c)); }));
      ASSERT_TRUE(end == bytes.size() || !keeps(static_cast<unsigned char>(bytes[end])));
    }
  }
}

// Records each library call with its arguments and answers as told. The buffer must come
// filled with spaces; the answer's bytes are written over its start.
class FakeLibraries : public CallbookLibraries {
 public:
  bool done = true;
  std::int32_t result = 1;
  std::int16_t status = kFlyFound;
  std::string answer;
  std::vector<std::string> calls;
  std::vector<std::string> messages;

  LibraryCall QRZSearch(std::int32_t what, const std::string& call, const std::string& first,
                        const std::string& second, std::span<char, kQrzAnswerSize> buffer,
                        std::int32_t mode) override {
    calls.push_back("QRZSearch " + std::to_string(what) + "|" + call + "|" + first + "|" + second + "|" +
                    std::to_string(mode));
    return Answer(buffer);
  }
  LibraryCall sGetCallInfo(const std::string& drive, const std::string& call,
                           std::span<char, kFlyAnswerSize> buffer, std::int16_t& out) override {
    calls.push_back("sGetCallInfo " + drive + "|" + call + "|" + std::to_string(out));
    out = status;
    return Answer(buffer);
  }
  LibraryCall LookupCallSign(const std::string& directory, const std::string& call, std::int32_t length,
                             std::span<char, kBuckAnswerSize> buffer) override {
    calls.push_back("LookupCallSign " + directory + "|" + call + "|" + std::to_string(length));
    return Answer(buffer);
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }

 private:
  LibraryCall Answer(std::span<char> buffer) {
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == ' '; }));
    std::copy_n(answer.begin(), std::min(answer.size(), buffer.size()), buffer.begin());
    return {done, result};
  }
};

TEST(Callbook, LookupsPassTheirArguments) {
  FakeLibraries fake;
  CallbookLookups lookups(fake);
  std::string name;
  lookups.QRZLookup(" w1aw ", name, false);
  lookups.FLYLookup("  W1aw/P ", name, false, "E:\\");
  lookups.BuckLookup("w1aw", name, false, "D:\\HAM0");
  lookups.BuckLookup("w1aw", name, false, "D:\\HAM0\\");
  lookups.BuckLookup("", name, false, "");
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"QRZSearch 1| w1aw |||1", "sGetCallInfo E:\\|w1aw/p|0",
                                                  "LookupCallSign D:\\HAM0\\|W1AW|1024",
                                                  "LookupCallSign D:\\HAM0\\|W1AW|1024", "LookupCallSign \\||1024"}));
  EXPECT_TRUE(fake.messages.empty());
}

TEST(Callbook, OutcomesNamesAndMessages) {
  enum Source { kQrz, kFly, kBuck };
  const struct {
    const char* what;
    Source source;
    bool done;
    std::int32_t result;
    std::int16_t status;
    std::string answer;
    std::string text;
    const char* message;
    const char* name;  // with fill set; nullptr: left as it was
  } rows[] = {
      {"qrz found", kQrz, true, 7, 0, "W1AW HIRAM MAXIM\0junk"s, "W1AW HIRAM MAXIM", "", "Hiram"},
      {"qrz one word", kQrz, true, 7, 0, "W1AW\0"s, "W1AW", "", ""},
      {"qrz not found", kQrz, true, 0, 0, "W1AW HIRAM\0"s, "{NOT FOUND}", "", nullptr},
      {"qrz missing", kQrz, false, 7, 0, "", "Error!", "QRZ32.DLL not found or QRZ error", nullptr},
      {"qrz without NUL", kQrz, true, 7, 0, std::string(kQrzAnswerSize, 'q'),
       std::string(kQrzAnswerSize, 'q'), "", ""},
      {"fly found", kFly, true, 0, kFlyFound, Tag(1) + "W1AW" + Tag(2) + "HIRAM" + "\0"s, "W1AW HIRAM\r\n\r\n\r\nvia ",
       "", "HIRAM"},
      {"fly not found", kFly, true, 0, kFlyNotFound, "", "{Not Found}", "", ""},
      {"fly CD error", kFly, true, 0, 1102, "", "Error!", "Flying Horse CD error", ""},
      {"fly missing", kFly, false, 0, kFlyFound, "", "Error!", "Flying Horse DLL not found", ""},
      {"buck found", kBuck, true, 3, 0, "W1AW\xB8HIRAM\0"s, "W1AW HIRAM  \r\n\r\n,  \r\nLat:  Long:  ()\r\n   ", "",
       "HIRAM"},
      {"buck not found", kBuck, true, kBuckNotFound, 0, "", "{NOT FOUND}", "", nullptr},
      {"buck missing", kBuck, false, 0, 0, "", "Error!", "HamCal32.DLL not found or Buck error", nullptr},
  };
  for (const auto& row : rows) {
    for (const bool fill : {true, false}) {
      SCOPED_TRACE(std::string(row.what) + (fill ? ", fill" : ", no fill"));
      FakeLibraries fake;
      fake.done = row.done;
      fake.result = row.result;
      fake.status = row.status;
      fake.answer = row.answer;
      CallbookLookups lookups(fake);
      std::string name = "typed";
      const std::string text = row.source == kQrz   ? lookups.QRZLookup("W1AW", name, fill)
                               : row.source == kFly ? lookups.FLYLookup("W1AW", name, fill, "d:\\")
                                                    : lookups.BuckLookup("W1AW", name, fill, "d:\\");
      EXPECT_EQ(text, row.text);
      EXPECT_EQ(fake.calls.size(), 1u);
      EXPECT_EQ(fake.messages, *row.message ? std::vector<std::string>{row.message} : std::vector<std::string>{});
      EXPECT_EQ(name, fill && row.name ? row.name : "typed");
    }
  }
}

}  // namespace
}  // namespace qsopad
