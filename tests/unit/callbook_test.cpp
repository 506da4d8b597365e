// Call-book libraries: tagged fields, result texts and names read from raw answers, also
// answers that fill their buffer to the last byte, and the three lookups' calls, failures
// and name rule over a recording fake of the libraries. (Reads past an answer's end are
// the fuzz target's to find: it hands every reader a block of exactly the buffer's size.)
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "lookup/callbook.h"

namespace qsopad {
namespace {

using namespace std::string_literals;

std::string F(int n) { return std::string(1, static_cast<char>(n)); }        // Flying Horse tag
std::string H(int n) { return std::string(1, static_cast<char>(180 + n)); }  // Buckmaster tag

TEST(Callbook, TaggedFieldRules) {
  const std::string fly = F(1) + "W1AW" + F(2) + "Maxim, H" + "\x1f" + "x" + F(2) + "2nd" + F(3) + "M\xFCller\0"s +
                          F(4) + "past NUL";
  const std::string buck = H(1) + "W1AW" + H(4) + "Hi\x01" + H(5) + "a\x7F\x80" + H(6) + "a\0b"s + H(28) + "last";
  const struct {
    TagRule rule;
    const std::string& answer;
    int n;
    std::string field;
  } rows[] = {
      {TagRule::kFlyingHorse, fly, 1, "W1AW"},         // ends at the next tag
      {TagRule::kFlyingHorse, fly, 2, "Maxim, H"},     // first tag wins; a control byte ends it
      {TagRule::kFlyingHorse, fly, 3, "M\xFCller"},    // high bytes are text, NUL ends it
      {TagRule::kFlyingHorse, fly, 4, "past NUL"},     // found past a NUL too
      {TagRule::kFlyingHorse, fly, 5, ""},             // no tag
      {TagRule::kBuckmaster, buck, 4, "Hi\x01"},       // control bytes are text
      {TagRule::kBuckmaster, buck, 5, "a\x7F"},       // 127 is text, 128 ends it
      {TagRule::kBuckmaster, buck, 28, "last"},
      {TagRule::kBuckmaster, buck, 6, "a\0b"s},        // NUL is text: BuckAnswer cuts first
      {TagRule::kFlyingHorse, F(7) + "tail", 7, "tail"},  // runs to the buffer's last byte
      {TagRule::kBuckmaster, "x" + H(2), 2, ""},          // the tag is the last byte
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.n);
    EXPECT_EQ(TaggedField(row.rule, row.n, row.answer), row.field);
  }
}

TEST(Callbook, CommasToLinesAndQrzName) {
  EXPECT_EQ(CommasToLines(" a , b ,\tc "), "a\r\nb\r\n\tc");  // spaces only
  EXPECT_EQ(CommasToLines("  no comma  "), "  no comma  ");
  EXPECT_EQ(CommasToLines(",,"), "\r\n\r\n");
  const struct {
    const char* text;
    const char* name;
  } rows[] = {{"W1AW HIRAM PERCY", "Hiram"}, {"  W1AW    hIRAM  ", "hiram"}, {"W1AW   ", ""},
              {"\xC9MILE \xC9LISE M\xDCLLER", "\xC9lise"}, {"", ""},
              // Windows-1252 capitals and their neighbours that are none.
              {"W1AW X\xBF\xC0\xD7\xDE\xDF\x8A\x8C\x8E\x9F\x9A", "X\xBF\xE0\xD7\xFE\xDF\x9A\x9C\x9E\xFF\x9A"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(QrzName(row.text), row.name);
  }
}

TEST(Callbook, ResultTextsAndNames) {
  // Flying Horse without field 6, field 2 with two commas; name from field 2 or 25.
  std::string fly = F(1) + "G3XYZ" + F(2) + "SMITH,JOHN , JR" + F(3) + "1 High St" + F(16) + "LONDON" + F(18) + "G4ABC" +
                    F(24) + " QSL\0"s;
  fly.resize(kFlyAnswerSize, ' ');
  EXPECT_EQ(FlyResult(fly), "G3XYZ SMITH\r\nJOHN\r\nJR\r\n1 High St\r\nLONDON\r\nvia G4ABC QSL");
  EXPECT_EQ(FlyName(fly), "SMITH,JOHN");
  EXPECT_EQ(FlyName(F(2) + "Jo Smith" + F(25) + "John"), "John");

  // Buckmaster without a county, cut at the first NUL (the county past it is not read).
  const std::string fields = "W1AW" + H(4) + "HIRAM" + H(8) + "225 Main" + H(11) + "NEWINGTON" + H(20) + "41.7" + H(28) +
                             "Exp";
  std::string buck = fields + "\0"s + H(18) + "HARTFORD";
  buck.resize(kBuckAnswerSize, ' ');
  const std::string answer = BuckAnswer(buck);
  EXPECT_EQ(answer, H(1) + fields);
  EXPECT_EQ(BuckResult(answer), "W1AW HIRAM  \r\n225 Main\r\nNEWINGTON,  \r\nLat: 41.7 Long:  ()\r\n   Exp");

  // No NUL anywhere: the last field runs to the buffer's end and no further.
  std::string full = F(1) + "K2ABC" + F(24);
  full.resize(kFlyAnswerSize, 'x');
  EXPECT_EQ(FlyResult(full), "K2ABC \r\n\r\n\r\nvia " + std::string(kFlyAnswerSize - 7, 'x'));
  full = "K2ABC" + H(28);
  full.resize(kBuckAnswerSize, 'y');
  EXPECT_EQ(BuckAnswer(full), H(1) + full);
}

// Records each call with its arguments and answers as told; the buffer must come filled
// with spaces, and the answer is written over its start.
class FakeLibraries : public CallbookLibraries {
 public:
  bool done = true;
  std::int32_t result = 1;
  std::int16_t status = kFlyFound;
  std::string answer;
  std::vector<std::string> calls, messages;

  LibraryCall QRZSearch(std::int32_t what, const std::string& call, const std::string& first, const std::string& second,
                        std::span<char, kQrzAnswerSize> buffer, std::int32_t mode) override {
    calls.push_back("QRZ " + std::to_string(what) + "|" + call + "|" + first + "|" + second + "|" + std::to_string(mode));
    return Answer(buffer);
  }
  LibraryCall sGetCallInfo(const std::string& drive, const std::string& call, std::span<char, kFlyAnswerSize> buffer,
                           std::int16_t& out) override {
    calls.push_back("FLY " + drive + "|" + call + "|" + std::to_string(out));
    out = status;
    return Answer(buffer);
  }
  LibraryCall LookupCallSign(const std::string& directory, const std::string& call, std::int32_t length,
                             std::span<char, kBuckAnswerSize> buffer) override {
    calls.push_back("BUCK " + directory + "|" + call + "|" + std::to_string(length));
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
  lookups.FLYLookup("  W1aw/P\xC9 ", name, false, "E:\\");  // ASCII letters only change case
  lookups.BuckLookup("w1aw\xE9", name, false, "D:\\HAM0");
  lookups.BuckLookup("w1aw", name, false, "D:\\HAM0\\");
  lookups.BuckLookup("", name, false, "");
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"QRZ 1| w1aw |||1", "FLY E:\\|w1aw/p\xC9|0", "BUCK D:\\HAM0\\|W1AW\xE9|1024",
                                                  "BUCK D:\\HAM0\\|W1AW|1024", "BUCK \\||1024"}));
}

TEST(Callbook, OutcomesNamesAndMessages) {
  enum Source { kQrz, kFly, kBuck };
  const struct {
    const char* what;
    Source source;
    bool done;
    std::int32_t result;
    std::int16_t status;
    std::string answer, text;
    const char* message;
    const char* name;  // with fill set; nullptr: left as it was
  } rows[] = {
      {"qrz found", kQrz, true, 7, 0, "W1AW HIRAM MAXIM\0junk"s, "W1AW HIRAM MAXIM", "", "Hiram"},
      {"qrz not found", kQrz, true, 0, 0, "W1AW HIRAM\0"s, "{NOT FOUND}", "", nullptr},
      {"qrz missing", kQrz, false, 7, 0, "", "Error!", "QRZ32.DLL not found or QRZ error", nullptr},
      {"fly found", kFly, true, 0, kFlyFound, F(1) + "W1AW" + F(2) + "HIRAM\0"s, "W1AW HIRAM\r\n\r\n\r\nvia ", "", "HIRAM"},
      {"fly not found", kFly, true, 0, kFlyNotFound, "", "{Not Found}", "", ""},
      {"fly CD error", kFly, true, 0, 1102, "", "Error!", "Flying Horse CD error", ""},
      {"fly missing", kFly, false, 0, kFlyFound, "", "Error!", "Flying Horse DLL not found", ""},
      {"buck found", kBuck, true, 3, 0, "W1AW" + H(4) + "HIRAM\0"s, "W1AW HIRAM  \r\n\r\n,  \r\nLat:  Long:  ()\r\n   ",
       "", "HIRAM"},
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
      EXPECT_EQ(fake.messages, *row.message ? std::vector<std::string>{row.message} : std::vector<std::string>{});
      EXPECT_EQ(name, fill && row.name ? row.name : "typed");
    }
  }
}

}  // namespace
}  // namespace qsopad
