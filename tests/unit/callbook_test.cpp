// Call-book libraries: tagged fields, result texts and names read from raw answers, and
// the three lookups' calls, failures and name rule over a recording fake of the libraries.
// (Reads past an answer's end are the fuzz target's to find: it hands every reader a block
// of exactly the buffer's size.)
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lookup/callbook.h"

namespace qsopad {
namespace {

using namespace std::string_literals;

std::string F(int n) { return std::string(1, static_cast<char>(n)); }        // Flying Horse tag
std::string H(int n) { return std::string(1, static_cast<char>(180 + n)); }  // Buckmaster tag

TEST(Callbook, TaggedFieldsCommasAndNames) {
  const std::string fly = F(1) + "W1AW" + F(2) + "Maxim, H\x1Fx" + F(2) + "2nd" + F(3) + "M\xFCller\0"s + F(25) + "past NUL";
  const std::string buck = H(4) + "Hi\x01" + H(5) + "a\x7F\x80" + H(6) + "a\0b"s + H(28) + "last";
  const struct {
    TagRule rule;
    std::string answer;
    int n;
    std::string field;
  } rows[] = {
      {TagRule::kFlyingHorse, fly, 1, "W1AW"},       // ends at the next tag
      {TagRule::kFlyingHorse, fly, 2, "Maxim, H"},   // the first tag; 32 is text, 31 ends it
      {TagRule::kFlyingHorse, fly, 3, "M\xFCller"},  // high bytes are text, NUL ends it
      {TagRule::kFlyingHorse, fly, 25, "past NUL"},  // found past a NUL, runs to the last byte
      {TagRule::kFlyingHorse, fly, 5, ""},           // no tag
      {TagRule::kBuckmaster, buck, 4, "Hi\x01"},     // control bytes are text
      {TagRule::kBuckmaster, buck, 5, "a\x7F"},      // 127 is text, 128 ends it
      {TagRule::kBuckmaster, buck, 6, "a\0b"s},      // NUL is text: BuckAnswer cuts first
      {TagRule::kBuckmaster, buck, 28, "last"},
      {TagRule::kBuckmaster, "x" + H(2), 2, ""},  // the tag is the last byte
  };
  for (const auto& row : rows) EXPECT_EQ(TaggedField(row.rule, row.n, row.answer), row.field) << row.n;

  EXPECT_EQ(CommasToLines(" a , b ,\tc "), "a\r\nb\r\n\tc");  // spaces only
  EXPECT_EQ(CommasToLines("  no comma  "), "  no comma  ");
  EXPECT_EQ(CommasToLines(",,"), "\r\n\r\n");
  const std::pair<const char*, const char*> names[] = {
      {"W1AW HIRAM PERCY", "Hiram"}, {"  W1AW    hIRAM  ", "hiram"}, {"W1AW   ", ""}, {"", ""},
      // Windows-1252 capitals and their neighbours that are none.
      {"W1AW X\xBF\xC0\xD7\xDE\xDF\x8A\x8C\x8E\x9F\x9A", "X\xBF\xE0\xD7\xFE\xDF\x9A\x9C\x9E\xFF\x9A"}};
  for (const auto& [text, name] : names) EXPECT_EQ(QrzName(text), name) << text;
}

TEST(Callbook, ResultTexts) {
  // Flying Horse without field 6, field 2 with two commas; name from field 2 or 25.
  std::string fly = F(1) + "G3XYZ" + F(2) + "SMITH,JOHN , JR" + F(3) + "1 High St" + F(16) + "LONDON" + F(18) + "G4ABC" +
                    F(24) + " QSL\0"s;
  fly.resize(kFlyAnswerSize, ' ');
  EXPECT_EQ(FlyResult(fly), "G3XYZ SMITH\r\nJOHN\r\nJR\r\n1 High St\r\nLONDON\r\nvia G4ABC QSL");
  EXPECT_EQ(FlyName(fly), "SMITH,JOHN");
  EXPECT_EQ(FlyName(F(2) + "Jo Smith" + F(25) + "John"), "John");
  // With field 6: county, longitude and latitude.
  EXPECT_EQ(FlyResult(F(1) + "K1A" + F(2) + "X" + F(6) + "CT" + F(13) + "Hartford" + F(10) + "72" + F(11) + "41" + F(24) + "Q"),
            "K1A X ,CT (Hartford County)\r\nLong=72, Lat=41\r\nQ");

  // Buckmaster with and without a county (cut at the first NUL: the county past it is not read).
  const std::string fields = "W1AW" + H(4) + "HIRAM" + H(8) + "225 Main" + H(11) + "NEWINGTON" + H(20) + "41.7" + H(28) +
                             "Exp";
  std::string buck = fields + "\0"s + H(18) + "HARTFORD";
  buck.resize(kBuckAnswerSize, ' ');
  const std::string answer = BuckAnswer(buck);
  EXPECT_EQ(answer, H(1) + fields);
  EXPECT_EQ(BuckResult(answer), "W1AW HIRAM  \r\n225 Main\r\nNEWINGTON,  \r\nLat: 41.7 Long:  ()\r\n   Exp");
  EXPECT_EQ(BuckResult(H(1) + "W" + H(18) + "HARTFORD"), "W   \r\n\r\n,  \r\nCounty: HARTFORD\r\nLat:  Long:  ()\r\n   ");

  // No NUL anywhere: the last field runs to the buffer's end.
  std::string full = F(1) + "K2ABC" + F(24);
  full.resize(kFlyAnswerSize, 'x');
  EXPECT_EQ(FlyResult(full), "K2ABC \r\n\r\n\r\nvia " + std::string(kFlyAnswerSize - 7, 'x'));
}

// Records each call with its arguments and answers as told; the buffer must come filled
// with spaces, and the answer is written over its start.
class FakeLibraries : public CallbookLibraries {
 public:
  bool done = true;
  std::int32_t result = 1;
  std::int16_t status = kFlyFound;
  std::string answer, call;
  std::vector<std::string> messages;

  LibraryCall QRZSearch(std::int32_t what, const std::string& c, const std::string& first, const std::string& second,
                        std::span<char, kQrzAnswerSize> buffer, std::int32_t mode) override {
    call = "QRZ " + std::to_string(what) + "|" + c + "|" + first + "|" + second + "|" + std::to_string(mode);
    return Answer(buffer);
  }
  LibraryCall sGetCallInfo(const std::string& drive, const std::string& c, std::span<char, kFlyAnswerSize> buffer,
                           std::int16_t& out) override {
    call = "FLY " + drive + "|" + c + "|" + std::to_string(out);
    out = status;
    return Answer(buffer);
  }
  LibraryCall LookupCallSign(const std::string& directory, const std::string& c, std::int32_t length,
                             std::span<char, kBuckAnswerSize> buffer) override {
    call = "BUCK " + directory + "|" + c + "|" + std::to_string(length);
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

TEST(Callbook, CallsOutcomesNamesAndMessages) {
  enum Source { kQrz, kFly, kBuck };
  const struct {
    const char* what;
    Source source;
    const char *call, *drive;
    bool done;
    std::int32_t result;
    std::int16_t status;
    std::string answer, library_call, text;
    const char* message;
    const char* name;  // with fill set; nullptr: left as it was
  } rows[] = {
      {"qrz found", kQrz, " w1aw ", "", true, 7, 0, "W1AW HIRAM MAXIM\0junk"s, "QRZ 1| w1aw |||1", "W1AW HIRAM MAXIM", "",
       "Hiram"},
      {"qrz not found", kQrz, "W1AW", "", true, 0, 0, "W1AW HIRAM\0"s, "QRZ 1|W1AW|||1", "{NOT FOUND}", "", nullptr},
      {"qrz missing", kQrz, "W1AW", "", false, 7, 0, "", "QRZ 1|W1AW|||1", "Error!", "QRZ32.DLL not found or QRZ error",
       nullptr},
      // Trimmed and in lower case; only ASCII letters change.
      {"fly found", kFly, "  W1aw/P\xC9 ", "E:\\", true, 0, kFlyFound, F(1) + "W1AW" + F(2) + "HIRAM\0"s,
       "FLY E:\\|w1aw/p\xC9|0", "W1AW HIRAM\r\n\r\n\r\nvia ", "", "HIRAM"},
      {"fly not found", kFly, "W1AW", "d:\\", true, 0, kFlyNotFound, "", "FLY d:\\|w1aw|0", "{Not Found}", "", ""},
      {"fly CD error", kFly, "W1AW", "d:\\", true, 0, 1102, "", "FLY d:\\|w1aw|0", "Error!", "Flying Horse CD error", ""},
      {"fly missing", kFly, "W1AW", "d:\\", false, 0, kFlyFound, "", "FLY d:\\|w1aw|0", "Error!",
       "Flying Horse DLL not found", ""},
      // In upper case, the directory ended by one backslash.
      {"buck found", kBuck, "w1aw\xE9", "D:\\HAM0", true, 3, 0, "W1AW" + H(4) + "HIRAM\0"s, "BUCK D:\\HAM0\\|W1AW\xE9|1024",
       "W1AW HIRAM  \r\n\r\n,  \r\nLat:  Long:  ()\r\n   ", "", "HIRAM"},
      {"buck not found", kBuck, "W1AW", "D:\\HAM0\\", true, kBuckNotFound, 0, "", "BUCK D:\\HAM0\\|W1AW|1024",
       "{NOT FOUND}", "", nullptr},
      {"buck missing", kBuck, "", "", false, 0, 0, "", "BUCK \\||1024", "Error!", "HamCal32.DLL not found or Buck error",
       nullptr},
  };
  for (const auto& row : rows) {
    for (const bool fill : {true, false}) {
      SCOPED_TRACE(std::string(row.what) + (fill ? ", fill" : ", no fill"));
      FakeLibraries fake;
      fake.done = row.done, fake.result = row.result, fake.status = row.status, fake.answer = row.answer;
      CallbookLookups lookups(fake);
      std::string name = "typed";
      const std::string text = row.source == kQrz   ? lookups.QRZLookup(row.call, name, fill)
                               : row.source == kFly ? lookups.FLYLookup(row.call, name, fill, row.drive)
                                                    : lookups.BuckLookup(row.call, name, fill, row.drive);
      EXPECT_EQ(fake.call, row.library_call);
      EXPECT_EQ(text, row.text);
      EXPECT_EQ(fake.messages, *row.message ? std::vector<std::string>{row.message} : std::vector<std::string>{});
      EXPECT_EQ(name, fill && row.name ? row.name : "typed");
    }
  }
}

}  // namespace
}  // namespace qsopad
