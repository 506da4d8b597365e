// Faults found when the program was used: one report per error under the name of the
// procedure whose trap caught it, a shutdown that runs once, a file macro that keeps the
// lines read before a read error, and the ADIF section's written spelling.
#include <gtest/gtest.h>

#include "common/error.h"
#include "macros/text_file.h"
#include "main_form_fixture.h"
#include "options/settings_catalogue.h"
#include "options/settings_values.h"

namespace qsopad::fakes {
namespace {

using Messages = std::vector<std::pair<unsigned, std::uintptr_t>>;

TEST_F(MainFormTest, AnErrorIsReportedOnceAndReleasesTheTransmitterOnce) {
  Started();
  Set("Opt", "GMT", "abc");
  Model().SendNKCharNB("^9");  // transmitting; the next status refresh needs the time
  Ticks(60);
  EXPECT_THAT(reporter.reports, ElementsAre(::testing::AllOf(StartsWith("Timer1_Timer: "), HasSubstr("abc"))));
  EXPECT_EQ(PanelKeys(), (std::vector<unsigned>{kVkF5}));
  // While the message box is open nothing else is reported, and the station gets nothing
  // more: no tick runs.
  Model().SendMacro(13);  // "^4 " needs the time too
  Type("abc ");
  Ticks(10);
  EXPECT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(PanelKeys(), (std::vector<unsigned>{kVkF5}));
  EXPECT_EQ(MemoChars(), "");
}

TEST_F(MainFormTest, ErrorsCarryTheNameOfTheProcedureWhoseTrapCaughtThem) {
  const struct {
    const char* key;
    const char* value;
    std::function<void(MainForm&)> action;
    const char* procedure;
  } rows[] = {
      // The expansion traps its own errors and those of the time text it calls.
      {"GMT", "abc", [](MainForm& m) { m.SendMacro(13); }, "SExpand: "},
      {"GMT", "abc", [](MainForm& m) { m.SendNKCharNB("at ^H"); }, "SExpand: "},
      // Called outside an expansion, the time text's error is its caller's.
      {"GMT", "abc", [](MainForm& m) { m.mnuXTime_Click(); }, "mnuXTime_Click: "},
      {"Zero", "maybe", [](MainForm& m) { m.mnuXSerial_Click(); }, "Zeros: "},
      {"Zero", "maybe", [](MainForm& m) { m.SendMacro(11); }, "Zeros: "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.procedure);
    Reset();
    reporter.reports.clear();
    Set("Opt", "GMT", "0");
    Set("Opt", "Zero", "False");
    Started();
    Set("Opt", row.key, row.value);
    row.action(Model());
    EXPECT_THAT(reporter.reports, ElementsAre(StartsWith(row.procedure)));
  }
}

TEST_F(MainFormTest, ShutdownRunsOnceWhateverEndsTheWindow) {
  Set("Opt", "Close", "True");
  Started();
  Model().Unload();  // the session ends
  Model().Unload();  // and the window is closed after it
  // One announcement of the transmitter's release and one close reach the PSK31 form.
  EXPECT_EQ(windows.MessagesTo(form), (Messages{{Model().funcmsg, 1}, {kWmClose, 0}}));
}

TEST_F(MainFormTest, InsertAndDeleteNeverReachTheTypingArea) {
  Started();
  for (const unsigned vk : {kVkInsert, kVkDelete})
    for (const int shift : {0, kShiftBit, kCtrlBit, kShiftBit | kCtrlBit})
      EXPECT_TRUE(Model().OnKeyDown(vk, shift)) << vk << " with " << shift;
  // Only the plain keys nudge the frequency: Insert up, Delete down.
  EXPECT_EQ(windows.MessagesTo(memo),
            (Messages{{kWmKeyDown, kVkRight}, {kWmKeyUp, kVkRight}, {kWmKeyDown, kVkLeft}, {kWmKeyUp, kVkLeft}}));
}

TEST(AccessKeys, FindTheButtonWhoseCaptionHasTheKey) {
  const std::array<std::string, 6> captions{"&Send", "", "K1&&X", "", "Time/&Date", "S/&N "};
  EXPECT_EQ(AccessKeyButton(captions, 's'), 1);
  EXPECT_EQ(AccessKeyButton(captions, 'D'), 5);
  EXPECT_EQ(AccessKeyButton(captions, 'n'), 6);
  EXPECT_EQ(AccessKeyButton(captions, 'r'), 0);  // "&Rcv" hidden or disabled: no caption
  EXPECT_EQ(AccessKeyButton(captions, 'x'), 0);  // "&&" is an ampersand, not a key
}

TEST(TextFile, LinesReadBeforeAFailureAreKept) {
  int calls = 0;
  const TextLines out = SplitLines([&](char* buffer, std::size_t size) -> std::size_t {
    if (++calls == 2) throw Error("cannot read \"x.txt\": Input/output error");
    EXPECT_GE(size, 12u);
    return std::string("one\r\ntwo\nthr").copy(buffer, 12);
  });
  EXPECT_EQ(out.lines, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(out.error, "cannot read \"x.txt\": Input/output error");

  const TextLines whole = SplitLines([done = false](char* buffer, std::size_t) mutable {
    return std::exchange(done, true) ? 0 : std::string("a\r\n\r\nb").copy(buffer, 6);
  });
  EXPECT_EQ(whole.lines, (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(whole.error, "");
}

TEST(SettingsCatalogue, TheAdifSectionIsCreatedAsWrittenAndReadInEverySpelling) {
  auto shared = MemoryStoreFile().SharedState();
  SettingsStore store(std::make_unique<MemoryStoreFile>(shared));
  WriteBool(store, keys::kAdifEn, true);
  EXPECT_NE(shared->bytes.value_or("").find("[ADIF]"), std::string::npos) << shared->bytes.value_or("");
  for (const char* spelling : {"ADif", "Adif", "ADIF"})
    EXPECT_EQ(store.ReadSetting(spelling, "En", ""), "True") << spelling;
}

}  // namespace
}  // namespace qsopad::fakes
