// Lookup sources: the grammar, the dispatch with the call sign as looked up and as put into an address, and the
// result window's title (its everyday cases: end to end). Call-book libraries: fields, texts and names read from
// raw answers, and the lookups' calls, failures and name rule. (Reads past an answer's end are the fuzz
// target's: it hands every reader an exact-size block.)
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lookup/callbook.h"
#include "lookup/lookup.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

namespace qsopad {
namespace {

TEST(Lookup, SourceGrammarAndResultTitle) {
  using K = LookupKind;
  const struct { const char* source; LookupKind kind; const char* parameter; } rows[] = {
      {"*QRZ", K::kQrz, ""},        {"*QRZ DRIVE=E:\\", K::kQrz, ""},  // nothing after the prefix counts
      {"*QR", K::kWeb, "*QR"},      {" *QRZ", K::kWeb, " *QRZ"},        {"*qrz", K::kWeb, "*qrz"},
      {"*FLY", K::kFly, "d:\\"},    {"*FLY=", K::kFly, ""},             {"*FLYX=a=b c ", K::kFly, "a=b c "},
      {"*BUCK", K::kBuck, "d:\\"},  {"*BUC=x", K::kWeb, "*BUC=x"},      {"*BUCK=D:\\HAM0\\", K::kBuck, "D:\\HAM0\\"},
      {"*FCC", K::kFcc, "*FCC"},    {"*FCC=", K::kFcc, ""},             {"*FCC PATH=C:\\A.DAT", K::kFcc, "C:\\A.DAT"},
      {"", K::kWeb, ""},
  };
  for (const auto& row : rows) EXPECT_EQ(ParseLookupSource(row.source), (LookupSource{row.kind, row.parameter})) << row.source;
  const std::pair<const char*, const char*> titles[] = {
      {" DL1ABC", "Callsign Lookup: "}, {"A{B C", "Callsign Lookup: A{B"}, {"{", "Callsign Lookup"}};
  for (const auto& [text, title] : titles) EXPECT_EQ(LookupResultTitle(text), title) << text;
}

// One journal of the lookups and the host, with what the name box held when the result showed.
struct RecordingLookups : LocalLookups, LookupHost {
  std::string journal, *name_box = nullptr;
  std::string Answer(const std::string& what, const std::string& call, std::string& name, bool fill) {
    journal += what + " " + call + (fill ? " fill; " : "; ");
    if (fill) name = call == "K0NAME" ? "" : "John";
    return "K1ABC John Doe";
  }
  std::string QRZLookup(const std::string& c, std::string& n, bool f) override { return Answer("qrz", c, n, f); }
  std::string FLYLookup(const std::string& c, std::string& n, bool f, const std::string& d) override { return Answer("fly " + d, c, n, f); }
  std::string BuckLookup(const std::string& c, std::string& n, bool f, const std::string& d) override { return Answer("buck " + d, c, n, f); }
  std::string FCCLookup(const std::string& c, std::string& n, bool f, const std::string& p) override { return Answer("fcc " + p, c, n, f); }
  void OpenAddress(const std::string& a) override { journal += "open " + a + "; "; }
  void ShowLookupResult(const std::string& t) override { journal += "show " + t + " with \"" + *name_box + "\"; "; }
  void FocusCallsign() override { journal += "focus"; }
};

TEST(Lookup, DoLookupDispatches) {
  const std::string shown = "show K1ABC John Doe with \"\"; focus", john = "show K1ABC John Doe with \"John\"; focus";
  // source nullptr: none stored; name: the box before.
  const struct { const char *source, *callsign, *name; bool fill_box; std::string journal; const char* name_after; } rows[] = {
      {nullptr, "K1ABC", "", false, "open " + std::string(DefaultLookupSource()) + "K1ABC; ", ""},
      {"http://x/?c=", "DL1ABC/P", "", true, "open http://x/?c=DL1ABC; ", ""},
      {"http://x/?c=", "/P", "", false, "open http://x/?c=; ", ""},
      // A call set by another program is one query value: all but letters, digits and "-._~" encoded, high bytes too.
      {"http://x/?c=", "AZaz09-._~@[`{:\x7F\xE9 &=", "", false, "open http://x/?c=AZaz09-._~%40%5B%60%7B%3A%7F%E9%20%26%3D; ", ""},
      // A slashed zero (216) is looked up as a zero; its neighbours and small o with stroke are none.
      {"http://x/?c=", "DL\xD8" "A\xD7\xD9\xF8/P", "", false, "open http://x/?c=DL0A%D7%D9%F8; ", ""},
      {"*FCC", "W\xD8" "XYZ", "", false, "fcc *FCC W0XYZ; " + shown, ""},
      {"*QRZ", "EA/DL1ABC", "", true, "qrz EA fill; " + john, "John"},
      {"*QRZ", "K1ABC", " ", true, "qrz K1ABC; show K1ABC John Doe with \" \"; focus", " "},  // typed, even a blank: kept
      {"*QRZ", "K0NAME", "", true, "qrz K0NAME fill; " + shown, ""},  // found without a name
      {"*FLY=E:\\", "K1ABC", "", false, "fly E:\\ K1ABC; " + shown, ""},
      {"*BUCK", "K1ABC", "", true, "buck d:\\ K1ABC fill; " + john, "John"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.source ? row.source : "none") + " " + row.callsign);
    SettingsStore store(std::make_unique<MemoryStoreFile>());
    if (row.source) store.WriteSetting("URLS", "CSLOOKUP", row.source);
    RecordingLookups fake;
    std::string name = row.name;
    fake.name_box = &name;
    DoLookup(store, fake, fake, row.callsign, name, row.fill_box);
    EXPECT_EQ(fake.journal, row.journal);
    EXPECT_EQ(name, row.name_after);
  }
}

// ---- Call-book libraries ----

using namespace std::string_literals;

std::string F(int n) { return std::string(1, static_cast<char>(n)); }        // Flying Horse tag
std::string H(int n) { return std::string(1, static_cast<char>(180 + n)); }  // Buckmaster tag

TEST(Callbook, FieldsTextsAndNamesFromRawAnswers) {
  const std::string fly = F(1) + "W1AW" + F(2) + "Maxim, H\x1Fx" + F(2) + "2nd" + F(3) + "M\xFCller\0"s + F(25) + "past NUL";
  const std::string buck = H(4) + "Hi\x01" + H(5) + "a\x7F\x80" + H(6) + "a\0b"s + H(28) + "last";
  const auto kF = TagRule::kFlyingHorse, kB = TagRule::kBuckmaster;
  const struct { TagRule rule; std::string answer; int n; std::string field; } rows[] = {
      // A Flying Horse field ends at the next tag, any byte below 32 (31, NUL), or the answer's end.
      {kF, fly, 1, "W1AW"}, {kF, fly, 2, "Maxim, H"}, {kF, fly, 3, "M\xFCller"}, {kF, fly, 25, "past NUL"}, {kF, fly, 5, ""},
      // A Buckmaster field at any byte above 127; NUL is text (BuckAnswer cuts first); a tag as the last byte.
      {kB, buck, 4, "Hi\x01"}, {kB, buck, 5, "a\x7F"}, {kB, buck, 6, "a\0b"s}, {kB, buck, 28, "last"}, {kB, "x" + H(2), 2, ""}};
  for (const auto& row : rows) EXPECT_EQ(TaggedField(row.rule, row.n, row.answer), row.field) << row.n;
  const std::pair<const char*, const char*> lines[] = {
      {" a , b ,\tc ", "a\r\nb\r\n\tc"}, {"  no comma  ", "  no comma  "}, {",,", "\r\n\r\n"}};  // spaces only
  for (const auto& [text, want] : lines) EXPECT_EQ(CommasToLines(text), want) << text;
  const std::pair<const char*, const char*> names[] = {
      {"W1AW HIRAM PERCY", "Hiram"}, {"  W1AW    hIRAM  ", "hiram"}, {"W1AW   ", ""}, {"", ""},  // Windows-1252 capitals
      {"W1AW X\xBF\xC0\xD7\xDE\xDF\x8A\x8C\x8E\x9F\x9A", "X\xBF\xE0\xD7\xFE\xDF\x9A\x9C\x9E\xFF\x9A"}};
  for (const auto& [text, name] : names) EXPECT_EQ(QrzName(text), name) << text;
  // Flying Horse without field 6 (with it is the 32-bit end-to-end scenario's), field 2 with two commas.
  std::string fly2 = F(1) + "G3XYZ" + F(2) + "SMITH,JOHN , JR" + F(3) + "1 High St" + F(16) + "LONDON" + F(18) + "G4ABC" + F(24) + " QSL\0"s;
  fly2.resize(kFlyAnswerSize, ' ');
  EXPECT_EQ(FlyResult(fly2), "G3XYZ SMITH\r\nJOHN\r\nJR\r\n1 High St\r\nLONDON\r\nvia G4ABC QSL");
  EXPECT_EQ(FlyName(fly2), "SMITH,JOHN");
  // Buckmaster cut at the first NUL: the county past it is not read.
  const std::string fields = "W1AW" + H(4) + "HIRAM" + H(8) + "225 Main" + H(11) + "NEWINGTON" + H(20) + "41.7" + H(28) + "Exp";
  std::string buck2 = fields + "\0"s + H(18) + "HARTFORD";
  buck2.resize(kBuckAnswerSize, ' ');
  EXPECT_EQ(BuckAnswer(buck2), H(1) + fields);
  EXPECT_EQ(BuckResult(H(1) + fields), "W1AW HIRAM  \r\n225 Main\r\nNEWINGTON,  \r\nLat: 41.7 Long:  ()\r\n   Exp");
}

// Records each call and answers as told, over the start of a buffer that must come filled with spaces.
struct FakeLibraries : CallbookLibraries {
  LibraryCall QRZSearch(std::int32_t what, const std::string& c, const std::string& first, const std::string& second,
                        std::span<char, kQrzAnswerSize> buffer, std::int32_t mode) override {
    return Answer(buffer, "QRZ " + std::to_string(what) + "|" + c + "|" + first + "|" + second + "|" + std::to_string(mode));
  }
  LibraryCall sGetCallInfo(const std::string& drive, const std::string& c, std::span<char, kFlyAnswerSize> buffer,
                           std::int16_t& out) override {
    return Answer(buffer, "FLY " + drive + "|" + c + "|" + std::to_string(std::exchange(out, status)));
  }
  LibraryCall LookupCallSign(const std::string& directory, const std::string& c, std::int32_t length,
                             std::span<char, kBuckAnswerSize> buffer) override {
    return Answer(buffer, "BUCK " + directory + "|" + c + "|" + std::to_string(length));
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  LibraryCall Answer(std::span<char> buffer, const std::string& what) {
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == ' '; }));
    std::copy_n(answer.begin(), std::min(answer.size(), buffer.size()), buffer.begin());
    return call = what, LibraryCall{done, result};
  }
  bool done = true; std::int32_t result = 1; std::int16_t status = kFlyFound;
  std::string answer, call;
  std::vector<std::string> messages;
};

// (QRZ and Buckmaster not found and a CD error are the 32-bit end-to-end scenario's.)
TEST(Callbook, CallsOutcomesNamesAndMessages) {
  enum Source { kQrz, kFly, kBuck };
  const struct { Source source; const char *call, *drive; bool done; std::int32_t result; std::int16_t status;
    std::string answer, library_call, text; const char *message, *name; } rows[] = {  // name nullptr: left as it was
      {kQrz, " w1aw ", "", true, 7, 0, "W1AW HIRAM MAXIM\0junk"s, "QRZ 1| w1aw |||1", "W1AW HIRAM MAXIM", "", "Hiram"},
      {kQrz, "W1AW", "", false, 0, 0, "", "QRZ 1|W1AW|||1", "Error!", "QRZ32.DLL not found or QRZ error", nullptr},
      {kFly, "  W1aw/P\xC9 ", "E:\\", true, 0, kFlyFound, F(1) + "W1AW" + F(2) + "HIRAM\0"s, "FLY E:\\|w1aw/p\xC9|0",  // trimmed, lower case: ASCII only
       "W1AW HIRAM\r\n\r\n\r\nvia ", "", "HIRAM"},
      {kFly, "W1AW", "d:\\", false, 0, kFlyFound, "", "FLY d:\\|w1aw|0", "Error!", "Flying Horse DLL not found", ""},
      {kBuck, "w1aw\xE9", "D:\\HAM0", true, 3, 0, "W1AW" + H(4) + "HIRAM\0"s, "BUCK D:\\HAM0\\|W1AW\xE9|1024",  // "\\" added
       "W1AW HIRAM  \r\n\r\n,  \r\nLat:  Long:  ()\r\n   ", "", "HIRAM"},
      {kBuck, "", "Q:\\", false, 0, 0, "", "BUCK Q:\\||1024", "Error!", "HamCal32.DLL not found or Buck error", nullptr},
  };
  for (const auto& row : rows) for (const bool fill : {true, false}) {
    SCOPED_TRACE(row.library_call + (fill ? ", fill" : ", no fill"));
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

}  // namespace
}  // namespace qsopad
