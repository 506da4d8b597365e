// Lookup sources: the grammar, the predefined list, the dispatch and the result title.
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
      {"*FLY", LookupKind::kFly, "d:\\"},
      {"*FLY DRIVE=E:\\", LookupKind::kFly, "E:\\"},
      {"*FLYX=a=b c ", LookupKind::kFly, "a=b c "},  // from the first "=", spaces kept
      {"*BUCK", LookupKind::kBuck, "d:\\"},
      {"*BUCK DRIVE=D:\\HAM0\\", LookupKind::kBuck, "D:\\HAM0\\"},
      {"*FCC PATH=C:\\FCC\\APPL.DAT", LookupKind::kFcc, "C:\\FCC\\APPL.DAT"},
      {"*FCC", LookupKind::kFcc, "*FCC"},  // no "=": the whole source is the path
      {"*qrz", LookupKind::kWeb, "*qrz"},  // case counts
      {"*BUC=x", LookupKind::kWeb, "*BUC=x"},
      {"", LookupKind::kWeb, ""},
      {"http://a/?c=", LookupKind::kWeb, "http://a/?c="},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.source);
    EXPECT_EQ(ParseLookupSource(row.source), (LookupSource{row.kind, row.parameter}));
  }
}

TEST(Lookup, PredefinedWebEntriesArePlainAddressesEndingInTheirPath) {
  const auto& list = PredefinedSources();
  ASSERT_EQ(list.size(), 10u);
  EXPECT_EQ(list[0].source, DefaultLookupSource());
  const struct {
    std::size_t row;
    const char* ending;
  } web[] = {{0, "/callsign.html?callsign="},
             {4, "/perl/lookup.pl?callsign="},
             {6, "/cgi-bin/licence_callsign?callsign="},
             {7, "/CGI-bin/HAM003CL.PGM?Callsign="},
             {8, "/cgi-bin/cgiwrap/rac/callbook?name=&address=&city=&postcode=&perpage=10&callsign="},
             {9, "/nomenclature/nomenclature.shtml?rtype=IND&req="}};
  for (const auto& w : web) {
    const std::string_view source = list[w.row].source;
    SCOPED_TRACE(std::string(list[w.row].label));
    EXPECT_EQ(source.substr(0, 7), "http://");
    const std::string_view ending(w.ending);
    ASSERT_GE(source.size(), ending.size());
    EXPECT_EQ(source.substr(source.size() - ending.size()), ending);
    // Only the path follows the host.
    EXPECT_EQ(source.find('/', 7), source.size() - ending.size());
  }
  EXPECT_EQ(ParseLookupSource(list[2].source), (LookupSource{LookupKind::kFly, "D:\\"}));
  EXPECT_EQ(ParseLookupSource(list[5].source).kind, LookupKind::kFcc);
}

class RecordingLookups : public LocalLookups, public LookupHost {
 public:
  std::vector<std::string> calls;
  std::string answer = "K1ABC John Doe", name_found = "John";
  std::string Answer(const std::string& what, std::string& name, bool fill) {
    calls.push_back(what + (fill ? " fill" : ""));
    if (fill) name = name_found;
    return answer;
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
  void ShowLookupResult(const std::string& t) override { calls.push_back("show " + t); }
  void FocusCallsign() override { calls.push_back("focus"); }
};

TEST(Lookup, DoLookupDispatches) {
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
      // A call set by another program is one query value, nothing more.
      {"http://x/?c=", "K1&a=b c", "", false, {"open http://x/?c=K1%26a%3Db%20c"}, ""},
      // A slashed zero (option "Zero") is looked up as the zero it stands for.
      {"http://x/?c=", "DL\xD8" "ABC/P", "", false, {"open http://x/?c=DL0ABC"}, ""},
      {"*FCC", "W\xD8" "XYZ", "", false, {"fcc W0XYZ *FCC", "show K1ABC John Doe", "focus"}, ""},
      {"*QRZ", "EA/DL1ABC", "", true, {"qrz EA fill", "show K1ABC John Doe", "focus"}, "John"},
      {"*QRZ", "dl1abc", "Hans", true, {"qrz dl1abc", "show K1ABC John Doe", "focus"}, "Hans"},
      {"*FLY=E:\\", "K1ABC", "Hans", false, {"fly K1ABC E:\\", "show K1ABC John Doe", "focus"}, "Hans"},
      {"*BUCK", "K1ABC", "", false, {"buck K1ABC d:\\", "show K1ABC John Doe", "focus"}, ""},
      {"*FCC PATH=C:\\f.dat", "K1ABC", "", true, {"fcc K1ABC C:\\f.dat fill", "show K1ABC John Doe", "focus"}, "John"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.source) + " " + row.callsign);
    SettingsStore store(std::make_unique<MemoryStoreFile>());
    store.WriteSetting("URLS", "CSLOOKUP", row.source);
    RecordingLookups fake;
    std::string name = row.name;
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
  DoLookup(store, fake, fake, "K1ABC", name, true);
  EXPECT_EQ(name, "");
  // Nothing stored: the QRZ web page.
  SettingsStore fresh(std::make_unique<MemoryStoreFile>());
  fake.calls.clear();
  DoLookup(fresh, fake, fake, "K1ABC", name, false);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"open " + std::string(DefaultLookupSource()) + "K1ABC"}));
}

TEST(Lookup, ResultTitle) {
  EXPECT_EQ(LookupResultTitle("DL1ABC Hans Meier\r\nBerlin"), "Callsign Lookup: DL1ABC");
  EXPECT_EQ(LookupResultTitle("Error!"), "Callsign Lookup: ");
  EXPECT_EQ(LookupResultTitle(""), "Callsign Lookup: ");
  EXPECT_EQ(LookupResultTitle("{NOT FOUND}"), "Callsign Lookup");
  EXPECT_EQ(LookupResultTitle("{Not Found} x"), "Callsign Lookup");
}

}  // namespace
}  // namespace qsopad
