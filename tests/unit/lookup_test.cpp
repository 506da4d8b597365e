// Lookup sources: the grammar, the dispatch with the call sign as looked up and as put
// into an address, and the result window's title (its everyday cases: end to end).
#include <gtest/gtest.h>

#include <memory>

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
class RecordingLookups : public LocalLookups, public LookupHost {
 public:
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
      // A call set by another program is one query value: all but letters, digits and "-._~"
      // encoded, bytes above 127 too.
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

}  // namespace
}  // namespace qsopad
