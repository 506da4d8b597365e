// The call sign window's model over recording fakes: loading, the lookup box's stored
// value, typed capitals, the order of OK's steps and an OK overtaken while its lookup
// waits. (Captions, More/Less, palette mode and placement are the end-to-end scenarios'.)
#include <gmock/gmock.h>
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
  std::function<void()> during_lookup;  // what happens while a lookup waits on its message
  void Log(const std::string& c) { calls.push_back(c); }
  void SetCallsignText(const std::string& t) override { Log("call box " + t); }
  void SetNameText(const std::string& t) override { Log("name box " + t); }
  void SetLogEnabled(bool e) override { Log(e ? "log on" : "log off"); }
  void SetCheck(int b, bool c) override { Log("check" + std::to_string(b) + (c ? " on" : " off")); }
  void SetButtonCaptions(const std::string& ok, const std::string& cancel) override { Log(ok + "/" + cancel); }
  void SetExpanded(long w, const std::string& caption, bool on) override {
    Log(std::to_string(w) + " " + caption + (on ? " column on" : " column off"));
  }
  void PutNameFirst() override { Log("name first"); }
  void Close() override { Log("close"); }
  std::string OCall() override { return ocall; }
  std::string NameBuf() override { return namebuf; }
  void SetPartner(const std::string& c, const std::string& n) override { Log("partner " + c + "/" + n); }
  void FocusTypingArea() override { Log("focus Text1"); }
  void CopyText(const std::string& t) override { Log("clipboard " + t); }
  void ShowLogWindow() override { Log("log window"); }
  std::string QRZLookup(const std::string& c, std::string& n, bool fill) override {
    Log("qrz " + c + (fill ? " fill" : ""));
    if (during_lookup) during_lookup();
    if (fill) n = "John";
    return "K1ABC John";
  }
  std::string FLYLookup(const std::string&, std::string&, bool, const std::string&) override { return {}; }
  std::string BuckLookup(const std::string&, std::string&, bool, const std::string&) override { return {}; }
  std::string FCCLookup(const std::string&, std::string&, bool, const std::string&) override { return {}; }
  void OpenAddress(const std::string& a) override { Log("open " + a); }
  void ShowLookupResult(const std::string& t) override { Log("result " + t); }
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
  Set("UCCALL", "1");
  Set("callpal", "abc");  // neither a number nor a Boolean: unchecked
  Set("LUName", "True");
  form.Load(true);
  EXPECT_EQ(fakes.calls, (Calls{"check2 on", "check3 off", "check4 off", "check5 on", "OK/Cancel",
                                "4560 More&>>> column off", "call box dl1abc", "log on", "name box ",
                                "name box Hans", "check1 off", "name first"}));
  // "Lookup" becomes "0" or "1" at load.
  const struct {
    const char* stored;  // nullptr: absent
    const char* after;
    bool checked;
  } rows[] = {{nullptr, "0", false}, {"False", "0", false}, {"0", "0", false}, {"True", "1", true},
              {"TRUE", "1", true},    {"-1", "1", true},      {"1", "1", true},  {"5", "1", true},
              {"maybe", "maybe", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.stored ? row.stored : "absent");
    SettingsStore s{std::make_unique<MemoryStoreFile>()};
    if (row.stored) s.WriteSetting("Opt", "Lookup", row.stored);
    CallsignFormModel f{s, fakes, fakes, fakes, fakes};
    f.Load(false);
    EXPECT_EQ(s.ReadSetting("Opt", "Lookup", "<absent>"), row.after);
    EXPECT_EQ(f.checked(CallsignFormModel::kLookup), row.checked);
  }
}

TEST_F(CallsignFormTest, TypedLettersBecomeCapitalsAndTheCallIsCopiedWithItsZeros) {
  form.Load(false);
  EXPECT_EQ(form.OnCallsignChar('k'), 'k');
  form.OnCheckClicked(CallsignFormModel::kUpperCase, true);
  EXPECT_EQ(store.ReadSetting("Opt", "UCCALL", ""), "1");  // stored at once
  const std::pair<char, char> typed[] = {{'a', 'A'}, {'z', 'Z'}, {'`', '`'}, {'{', '{'}, {'/', '/'}, {'A', 'A'}};
  for (const auto& [in, out] : typed) EXPECT_EQ(form.OnCallsignChar(in), out) << in;
  // With option "Zero" the main window hands the call over with slashed zeros (character
  // 216); the clipboard gets the call with its zeros.
  form.SetCallsign("DL\xD8" "AB\xD8");
  fakes.calls.clear();
  form.Log();
  EXPECT_EQ(fakes.calls, (Calls{"clipboard DL0AB0"}));
}

TEST_F(CallsignFormTest, OkRunsItsStepsInOrder) {
  Set("callclip", "1");
  Set("Lookup", "1");
  Set("luname", "1");
  store.WriteSetting("URLS", "CSLOOKUP", "*QRZ");
  fakes.namebuf = "";
  form.Load(false);
  fakes.calls.clear();
  form.Ok();
  // The name found by the lookup reaches the main window in the same OK.
  EXPECT_EQ(fakes.calls, (Calls{"clipboard dl1abc", "qrz dl1abc fill", "name box John", "result K1ABC John",
                                "focus call box", "partner dl1abc/John", "focus Text1", "close"}));
  // "Always Copy" with an empty call copies nothing.
  form.OnCheckClicked(CallsignFormModel::kLookup, false);
  form.SetCallsign("");
  fakes.calls.clear();
  form.Ok();
  EXPECT_EQ(fakes.calls, (Calls{"partner /", "focus Text1", "close"}));
  // Palette mode and ADIF logging on: nothing is copied, the window stays, Log opens the
  // log window.
  form.SetCallsign("dl1abc");
  store.WriteSetting("ADIF", "En", "True");
  form.OnCheckClicked(CallsignFormModel::kPaletteMode, true);
  fakes.calls.clear();
  form.Ok();
  form.Log();
  EXPECT_EQ(fakes.calls, (Calls{"partner dl1abc/", "focus Text1", "log window"}));
}

// An OK whose lookup waits on a message: when the program shuts down (the window is
// unloaded) or another program sets a new partner meanwhile, nothing after the lookup runs.
TEST_F(CallsignFormTest, AnOkInterruptedWhileItsLookupWaitsGoesNoFurther) {
  Set("Lookup", "1");
  Set("luname", "1");
  store.WriteSetting("URLS", "CSLOOKUP", "*QRZ");
  fakes.namebuf = "";
  const struct {
    const char* name;
    std::function<void(CallsignFormModel&)> during;
    Calls after;  // the journal from the lookup on
  } rows[] = {
      {"undisturbed", [](CallsignFormModel&) {},
       {"qrz dl1abc fill", "name box John", "result K1ABC John", "focus call box", "partner dl1abc/John", "focus Text1", "close"}},
      {"shutdown", [](CallsignFormModel& f) { f.Unload({}); }, {"qrz dl1abc fill"}},
      {"new partner", [](CallsignFormModel& f) { f.SetCallsign("W1AW"); },
       {"qrz dl1abc fill", "call box W1AW", "log on", "name box "}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    CallsignFormModel f{store, fakes, fakes, fakes, fakes};
    f.Load(false);
    fakes.calls.clear();
    fakes.during_lookup = [&] { row.during(f); };
    f.Ok();
    EXPECT_EQ(fakes.calls, row.after);
  }
  // Closing stores the place; a settings file that cannot be written does not stop it.
  form.Unload({100, 200});
  EXPECT_EQ(store.ReadSetting("Win", "CPT", "") + "," + store.ReadSetting("Win", "CPL", ""), "100,200");
  MemoryStoreFile failing;
  failing.SetFailReplace(true);
  SettingsStore unwritable{std::make_unique<MemoryStoreFile>(failing.SharedState())};
  EXPECT_NO_THROW((CallsignFormModel{unwritable, fakes, fakes, fakes, fakes}.Unload({100, 200})));
}

}  // namespace
}  // namespace qsopad
