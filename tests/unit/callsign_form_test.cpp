// The call sign window's model over recording fakes: loading, typed capitals, OK's steps and an OK overtaken.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "lookup/callsign_form.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

namespace qsopad {
namespace {

using Calls = std::vector<std::string>;

// One journal for the window, the main window and the lookups: the order of OK's steps.
class Fakes : public CallsignView, public CallsignHost, public LocalLookups, public LookupHost {
 public:
  Calls calls;
  std::string ocall = "dl1abc", namebuf = "Hans";
  std::function<void()> during_lookup;  // while a lookup waits on its message
  void Log(const std::string& c) { calls.push_back(c); }
  void SetCallsignText(const std::string& t) override { Log("call box " + t); }
  void SetNameText(const std::string& t) override { Log("name box " + t); }
  void SetLogEnabled(bool e) override { Log(e ? "log on" : "log off"); }  void SetCheck(int b, bool c) override { Log("check" + std::to_string(b) + (c ? " on" : " off")); }
  void SetButtonCaptions(const std::string& ok, const std::string& cancel) override { Log(ok + "/" + cancel); }
  void SetExpanded(long w, const std::string& cap, bool on) override { Log(std::to_string(w) + " " + cap + (on ? " on" : " off")); }
  void PutNameFirst() override { Log("name first"); }  void Close() override { Log("close"); }
  std::string OCall() override { return ocall; }  std::string NameBuf() override { return namebuf; }
  void SetPartner(const std::string& c, const std::string& n) override { Log("partner " + c + "/" + n); }
  void FocusTypingArea() override { Log("focus Text1"); }  void CopyText(const std::string& t) override { Log("clipboard " + t); }
  void ShowLogWindow() override { Log("log window"); }
  std::string QRZLookup(const std::string& c, std::string& n, bool fill) override {
    Log("qrz " + c + (fill ? " fill" : ""));
    if (during_lookup) during_lookup();
    return n = fill ? "John" : n, "K1ABC John";
  }
  std::string FLYLookup(const std::string&, std::string&, bool, const std::string&) override { return {}; }
  std::string BuckLookup(const std::string&, std::string&, bool, const std::string&) override { return {}; }
  std::string FCCLookup(const std::string&, std::string&, bool, const std::string&) override { return {}; }
  void OpenAddress(const std::string& a) override { Log("open " + a); }  void ShowLookupResult(const std::string& t) override { Log("result " + t); }
  void FocusCallsign() override { Log("focus call box"); }
};

class CallsignFormTest : public ::testing::Test {
 protected:
  SettingsStore store{std::make_unique<MemoryStoreFile>()};
  Fakes fakes;
  CallsignFormModel form{store, fakes, fakes, fakes, fakes};
  void Set(const char* key, const char* value) { store.WriteSetting("Opt", key, value); }
};

TEST_F(CallsignFormTest, LoadsCollapsedWithTheMainWindowsPartnerAndTheBoxesAsStored) {
  Set("UCCALL", "1"), Set("LUName", "True"), Set("callpal", "abc");  // neither a number nor a Boolean: unchecked
  form.Load(true);
  EXPECT_EQ(fakes.calls, (Calls{"check2 on", "check3 off", "check4 off", "check5 on", "OK/Cancel",
                                "4560 More&>>> off", "call box dl1abc", "log on", "name box ",
                                "name box Hans", "check1 off", "name first"}));
  // "Lookup" becomes "0" or "1" at load.
  const struct { const char *stored, *after; bool checked; } rows[] = {  // stored nullptr: absent
      {nullptr, "0", false}, {"False", "0", false}, {"0", "0", false}, {"True", "1", true}, {"TRUE", "1", true},
      {"-1", "1", true}, {"1", "1", true}, {"5", "1", true}, {"maybe", "maybe", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stored ? row.stored : "absent");
    store.DeleteSection("Opt");
    if (row.stored) Set("Lookup", row.stored);
    form.Load(false);
    EXPECT_EQ(store.ReadSetting("Opt", "Lookup", "<absent>"), row.after);
    EXPECT_EQ(form.checked(CallsignFormModel::kLookup), row.checked);
  }
  // Typed capitals, once the box is ticked (and stored at once).
  EXPECT_EQ(form.OnCallsignChar('k'), 'k');
  form.OnCheckClicked(CallsignFormModel::kUpperCase, true);
  EXPECT_EQ(store.ReadSetting("Opt", "UCCALL", ""), "1");
  const std::pair<char, char> typed[] = {{'a', 'A'}, {'z', 'Z'}, {'`', '`'}, {'{', '{'}, {'/', '/'}, {'A', 'A'}};
  for (const auto& [in, out] : typed) EXPECT_EQ(form.OnCallsignChar(in), out) << in;
  // With option "Zero" the call comes with slashed zeros (216); the clipboard gets zeros.
  form.SetCallsign("DL\xD8" "AB\xD8"), fakes.calls.clear(), form.Log();
  EXPECT_EQ(fakes.calls, (Calls{"clipboard DL0AB0"}));
  // Ticking Palette Mode turns OK and Cancel into Apply and Close at once; another box leaves them.
  fakes.calls.clear(), form.OnCheckClicked(CallsignFormModel::kUpperCase, false);
  form.OnCheckClicked(CallsignFormModel::kPaletteMode, true);
  EXPECT_EQ(fakes.calls, (Calls{"Apply/Close"}));
}

// OK's steps in order; when its lookup waits on a message and meanwhile the program shuts down
// (unloads the window) or another program sets a new partner, nothing after it runs.
TEST_F(CallsignFormTest, OkRunsItsStepsInOrderAndNoFurtherWhenOvertakenDuringItsLookup) {
  Set("callclip", "1"), Set("Lookup", "1"), Set("luname", "1"), store.WriteSetting("URLS", "CSLOOKUP", "*QRZ");
  fakes.namebuf = "";  // the name found reaches the main window in the same OK
  const auto nothing = [](CallsignFormModel&) {};
  const struct { const char* name; std::function<void(CallsignFormModel&)> before, during; Calls after; } rows[] = {
      {"undisturbed", nothing, nothing, {"clipboard dl1abc", "qrz dl1abc fill", "name box John", "result K1ABC John",
                                         "focus call box", "partner dl1abc/John", "focus Text1", "close"}},
      {"shutdown", nothing, [](CallsignFormModel& f) { f.Unload({}); }, {"clipboard dl1abc", "qrz dl1abc fill"}},
      {"new partner", nothing, [](CallsignFormModel& f) { f.SetCallsign("W1AW"); },
       {"clipboard dl1abc", "qrz dl1abc fill", "call box W1AW", "log on", "name box "}},
      {"\"Always Copy\" with an empty call", [](CallsignFormModel& f) { f.OnCheckClicked(CallsignFormModel::kLookup, false),
       f.SetCallsign(""); }, nothing, {"partner /", "focus Text1", "close"}},
      // Palette mode and ADIF logging on: nothing is copied, the window stays, Log opens the log window.
      {"palette mode", [&](CallsignFormModel& f) { store.WriteSetting("ADIF", "En", "True"), f.OnCheckClicked(
       CallsignFormModel::kPaletteMode, true); }, nothing, {"partner dl1abc/", "focus Text1", "log window"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    form.Load(false);
    row.before(form);
    fakes.calls.clear();
    fakes.during_lookup = [&] { row.during(form); };
    form.Ok();
    if (std::string(row.name) == "palette mode") form.Log();
    EXPECT_EQ(fakes.calls, row.after);
  }
  // A settings file that cannot be written does not stop the window closing.
  auto failing = std::make_unique<MemoryStoreFile>();
  failing->SetFailReplace(true);
  SettingsStore unwritable{std::move(failing)};
  EXPECT_NO_THROW((CallsignFormModel{unwritable, fakes, fakes, fakes, fakes}.Unload({100, 200})));
}

}  // namespace
}  // namespace qsopad
