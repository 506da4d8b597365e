// Lookup sources: the grammar, the dispatch with the call sign as looked up and as put
// into an address, and the result window's title.
#include <gtest/gtest.h>

#include <memory>

#include "lookup/lookup.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

namespace qsopad {
namespace {

TEST(Lookup, SourceGrammar) {
  const struct {
    const char* source;
    LookupKind kind;
    const char* parameter;
  } rows[] = {
      {"*QRZ", LookupKind::kQrz, ""},
      {"*QRZ DRIVE=E:\\", LookupKind::kQrz, ""},  // nothing after the prefix counts
      {"*QR", LookupKind::kWeb, "*QR"},
      {" *QRZ", LookupKind::kWeb, " *QRZ"},
      {"*FLY", LookupKind::kFly, "d:\\"},
      {"*FLY=", LookupKind::kFly, ""},
      {"*FLYX=a=b c ", LookupKind::kFly, "a=b c "},  // from the first "=", spaces kept
      {"*BUCK", LookupKind::kBuck, "d:\\"},
      {"*BUCK DRIVE=D:\\HAM0\\", LookupKind::kBuck, "D:\\HAM0\\"},
      {"*BUC=x", LookupKind::kWeb, "*BUC=x"},
      {"*FCC PATH=C:\\FCC\\APPL.DAT", LookupKind::kFcc, "C:\\FCC\\APPL.DAT"},
      {"*FCC", LookupKind::kFcc, "*FCC"},  // no "=": the whole source is the path
      {"*FCC=", LookupKind::kFcc, ""},
      {"*qrz", LookupKind::kWeb, "*qrz"},  // case counts
      {"", LookupKind::kWeb, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.source);
    EXPECT_EQ(ParseLookupSource(row.source), (LookupSource{row.kind, row.parameter}));
  }
}

// Records the calls, and what the name box held when the result window was shown.
class RecordingLookups : public LocalLookups, public LookupHost {
 public:
  std::vector<std::string> calls;
  std::string name_found = "John";
  const std::string* name_box = nullptr;
  std::string Answer(const std::string& what, std::string& name, bool fill) {
    calls.push_back(what + (fill ? " fill" : ""));
    if (fill) name = name_found;
    return "K1ABC John Doe";
  }
  std::string QRZLookup(const std::string& c, std::string& n, bool f) override { return Answer("qrz " + c, n, f); }
  std::string FLYLookup(const std::string& c, std::string& n, bool f, const std::string& d) override {
    return Answer("fly " + c + " " + d, n, f);
  }
  std::string BuckLookup(const std::string& c, std::string& n, bool f, const std::string& d) override {
    return Answer("buck " + c + " " + d, n, f);
  }
  std::string FCCLookup(const std::string& c, std::string& n, bool f, const std::string& p) override {
    return Answer("fcc " + c + " " + p, n, f);
  }
  void OpenAddress(const std::string& a) override { calls.push_back("open " + a); }
  void ShowLookupResult(const std::string& t) override { calls.push_back("show " + t + ", name box " + *name_box); }
  void FocusCallsign() override { calls.push_back("focus"); }
};

TEST(Lookup, DoLookupDispatches) {
  const std::vector<std::string> shown = {"show K1ABC John Doe, name box ", "focus"};
  const std::vector<std::string> shown_john = {"show K1ABC John Doe, name box John", "focus"};
  const auto then = [](std::string first, const std::vector<std::string>& rest) {
    std::vector<std::string> all{std::move(first)};
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
  };
  const struct {
    const char* source;
    const char* callsign;
    const char* name;  // the name box before
    bool fill_box;
    std::vector<std::string> calls;
    const char* name_after;
  } rows[] = {
      {"http://x/?c=", "DL1ABC/P", "", true, {"open http://x/?c=DL1ABC"}, ""},
      {"http://x/?c=", "", "", false, {"open http://x/?c="}, ""},
      {"http://x/?c=", "/P", "", false, {"open http://x/?c="}, ""},
      // A call set by another program is one query value, nothing more: all but letters,
      // digits and "-._~" encoded, bytes above 127 as themselves.
      {"http://x/?c=", "K1&a=b c", "", false, {"open http://x/?c=K1%26a%3Db%20c"}, ""},
      {"http://x/?c=", "AZaz09-._~@[`{:\x7F\xE9", "", false,
       {"open http://x/?c=AZaz09-._~%40%5B%60%7B%3A%7F%E9"}, ""},
      // A slashed zero (option "Zero", 216) is looked up as the zero it stands for; its
      // neighbours and the small o with stroke are not zeros.
      {"http://x/?c=", "DL\xD8" "A\xD7\xD9\xF8/P", "", false, {"open http://x/?c=DL0A%D7%D9%F8"}, ""},
      {"*FCC", "W\xD8" "XYZ", "", false, then("fcc W0XYZ *FCC", shown), ""},
      {"*QRZ", "EA/DL1ABC", "", true, then("qrz EA fill", shown_john), "John"},
      {"*QRZ", "dl1abc", "Hans", true, then("qrz dl1abc", shown), "Hans"},
      {"*QRZ", "dl1abc", " ", true, then("qrz dl1abc", shown), " "},  // a blank is a name
      {"*FLY=E:\\", "K1ABC", "Hans", false, then("fly K1ABC E:\\", shown), "Hans"},
      {"*BUCK", "K1ABC", "", false, then("buck K1ABC d:\\", shown), ""},
      {"*FCC PATH=C:\\f.dat", "K1ABC", "", true, then("fcc K1ABC C:\\f.dat fill", shown_john), "John"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.source) + " " + row.callsign);
    SettingsStore store(std::make_unique<MemoryStoreFile>());
    store.WriteSetting("URLS", "CSLOOKUP", row.source);
    RecordingLookups fake;
    std::string name = row.name;
    fake.name_box = &name;
    DoLookup(store, fake, fake, row.callsign, name, row.fill_box);
    EXPECT_EQ(fake.calls, row.calls);
    EXPECT_EQ(name, row.name_after);
  }
  // A found call without a name empties the name box when filling.
  SettingsStore store(std::make_unique<MemoryStoreFile>());
  store.WriteSetting("URLS", "CSLOOKUP", "*QRZ");
  RecordingLookups fake;
  fake.name_found = "";
  std::string name;
  fake.name_box = &name;
  DoLookup(store, fake, fake, "K1ABC", name, true);
  EXPECT_EQ(name, "");
  // Nothing stored: the QRZ web page.
  SettingsStore fresh(std::make_unique<MemoryStoreFile>());
  fake.calls.clear();
  DoLookup(fresh, fake, fake, "K1ABC", name, false);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"open " + std::string(DefaultLookupSource()) + "K1ABC"}));
}

TEST(Lookup, ResultTitle) {
  const std::pair<const char*, const char*> rows[] = {
      {"DL1ABC Hans Meier\r\nBerlin", "Callsign Lookup: DL1ABC"},
      {"Error!", "Callsign Lookup: "},  // no space, no first word
      {"", "Callsign Lookup: "},
      {" DL1ABC", "Callsign Lookup: "},
      {"A{B C", "Callsign Lookup: A{B"},
      {"{NOT FOUND}", "Callsign Lookup"},
      {"{", "Callsign Lookup"},
  };
  for (const auto& [text, title] : rows) EXPECT_EQ(LookupResultTitle(text), title) << text;
}

}  // namespace
}  // namespace qsopad
