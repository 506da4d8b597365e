// Caret-code expansion and the time text, against a recording main window whose queue entry expands what it is given
// again, as the real one does. (The preview's expansion, which acts on nothing: the palette's tests.)
#include "macros/expand.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "common/error.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {
namespace {

using namespace std::string_literals;
using Calls = std::vector<std::string>;

class RecordingContext : public MacroContext {
 public:
  SettingsStore store{std::make_unique<MemoryStoreFile>()};
  std::string mycall = "K1ABC", ocall = "DL2XYZ", namebuf = "Hans";
  long serialno = 41;
  std::string queue;
  LocalTime now{2024, 3, 5, 14, 7, 30};
  Calls calls;

  SettingsStore& Store() override { return store; }
  std::string MyCall() override { return mycall; }
  std::string OCall() override { return ocall; }
  std::string NameBuf() override { return namebuf; }
  long SerialNo() override { return serialno; }
  void SetSerialNo(long v) override { serialno = v, calls.push_back("serialno " + std::to_string(v)); }
  bool QueueEndsInMarker() override { return !queue.empty() && (queue.back() == '\0' || queue.back() == '\x01'); }
  void Zeros(std::string& s) override {
    if (ReadBool(store, keys::kZero)) std::replace(s.begin(), s.end(), '0', '\xD8');
  }
  void SetTxMode(int m) override { calls.push_back("txmode " + std::to_string(m)); }
  void QueueText(const std::string& text) override {
    std::string display = text;
    queue += SExpand(*this, display), calls.push_back(text == "\r" ? "queue CR" : "queue " + text);
  }
  void ClearLastXmit() override { calls.push_back("lastxmit cleared"); }
  void ShowTransmitCommanded() override { calls.push_back("send button red"); }
  void SetSerialCaption(const std::string& c) override {
    calls.push_back("caption " + c + " with " + ReadText(store, keys::kSerialNo) + " stored");
  }
  void RebuildMacroList() override { calls.push_back("list rebuilt"); }
  void Beep() override { calls.push_back("beep"); }
  void ReportError(const std::string& proc, const std::string& what) override { calls.push_back("report " + proc + ": " + what); }
  LocalTime Now() override { return now; }
  std::string MonthAbbreviation(int m) override {
    return std::string("JanFebMarAprMayJunJulAugSepOctNovDec").substr(3 * (m - 1), 3);
  }
};

struct Texts { std::string display, transmit; };

Texts Expand(MacroContext& context, const std::string& text) {
  Texts out{text, {}};
  return out.transmit = SExpand(context, out.display), out;
}

// Send mode over the stored `opt` settings: the display text, the transmit text when it differs, and the side effects
// in order. A transmit code queues a return ahead of the macro when SendCR is 1.
TEST(SExpand, TextAndCodesInSendMode) {
  const Calls tx{"txmode 1", "lastxmit cleared", "send button red"}, beep{"beep"}, cr{"txmode 1", "queue CR", tx[1], tx[2]},
      up{"serialno 42", "caption S/&N:0042 with 42 stored", "list rebuilt"};
  const struct { std::string in, display, transmit = {}; Calls calls = {}; std::vector<std::pair<const char*, const char*>> opt = {};
                std::string queue = {}; } rows[] = {
      {"cq ^M^N", "cq K1ABC\r\n"}, {"", ""}, {"^", "^"}, {"abc^", "abc^"}, {"^^", "^"}, {"^^N", "^N"},
      {"^^^N", "^\r\n"}, {"^Z^z^1^7^8", "Zz178"},
      {"^n^m^2^C^c^3^W^w^?", "\r\nK1ABCK1ABCDL2XYZDL2XYZDL2XYZHansHansHans"},
      {"^H ^h|^T|^t|^4", "14:07z 14:07z|05 Mar 2024 14:07z|05 Mar 2024 14:07z|05 Mar 2024 14:07z"},
      {"k ^R^r^0^\\^\xD8", "k \\\\\\\\\\", "k \0\0\0\0\0"s}, {"^.", "\\", "\x01"},
      {"\xE9^\xE9^\x80\xFF^", "\xE9\xE9\x80\xFF^"}, {"^=a=^,", "=a=,"},
      {"a^Xb", "ab", "", tx}, {"a^xb", "ab", "", tx}, {"a^9b", "ab", "", tx}, {"a^+b", "ab", "", up}, {"a^6b", "ab", "", up},
      {"a^Gb", "ab", "", beep}, {"a^gb", "ab", "", beep}, {"^S^s^5^#", "0041004100410041"},
      {"^Xcq^.", "cq\\", "cq\x01", cr, {{"SendCR", "1"}}}, {"^Xcq^.", "cq\\", "cq\x01", cr, {{"SendCR", "1.0"}}},
      {"^Xcq^.", "cq\\", "cq\x01", tx, {{"SendCR", "0"}}}, {"^Xcq^.", "cq\\", "cq\x01", tx, {{"SendCR", "2"}}},
      {"^Xcq^.", "cq\\", "cq\x01", tx, {{"SendCR", "0.9"}}}, {"a ^R", "a #", "a \0"s, {}, {{"RXCHAR", "#"}}},
      {"a ^R", "a  ", "a \0"s, {}, {{"RXCHAR", ""}}}, {"a ^R", "a a", "a \0"s, {}, {{"RXCHAR", "ab"}}},
      // A receive code after a marker already queued adds none (markers in the macro's own text are not asked).
      {"k ^R^.", "k ", "", {}, {}, "cq\0"s}, {"k ^.^R", "k ", "", {}, {}, "cq\x01"s},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.in + " " + (row.opt.empty() ? "" : row.opt[0].second));
    RecordingContext c;
    c.queue = row.queue;
    for (const auto& [key, value] : row.opt) c.store.WriteSetting("Opt", key, value);
    const Texts out = Expand(c, row.in);
    EXPECT_EQ(std::tuple(out.display, out.transmit, c.calls),
              std::tuple(row.display, row.transmit.empty() ? row.display : row.transmit, row.calls));
  }
}

TEST(SExpand, SerialNumbers) {
  RecordingContext c;
  c.serialno = 2147483647L;
  EXPECT_THROW(Expand(c, "^+"), Error);
  EXPECT_EQ(std::pair(c.serialno, c.store.ReadSetting("Opt", "SerialNo", "<absent>")), std::pair(2147483647L, "<absent>"s));
  const std::pair<long, std::string> rows[] = {
      {0, "0000"}, {999, "0999"}, {9999, "9999"}, {10000, "10000"}, {-7, "-0007"}, {-999, "-0999"},
      {-9999, "-9999"}, {-10000, "-10000"}, {LONG_MIN, std::to_string(LONG_MIN)}};
  for (const auto& [serial, text] : rows) EXPECT_EQ(FormatSerial(serial), text) << serial;
}

// Zeros are slashed in inserted text only, and inserted text is never scanned again.
TEST(SExpand, InsertedText) {
  RecordingContext c, z;
  z.store.WriteSetting("Opt", "Zero", "True"), z.store.WriteSetting("Opt", "RXCHAR", "0");
  z.serialno = 10, z.mycall = "K0ABC";
  const Texts zeros = Expand(z, "10 ^# ^M^R");
  EXPECT_EQ(std::pair(zeros.display, zeros.transmit),
            std::pair("10 \xD8\xD8" "1\xD8 K\xD8" "ABC\xD8"s, "10 \xD8\xD8" "1\xD8 K\xD8" "ABC\0"s));
  c.namebuf = "Jo^Xe^R^", c.ocall = "^^";
  const Texts out = Expand(c, "^W^C^N");
  EXPECT_EQ(std::tuple(out.display, out.transmit, c.calls), std::tuple("Jo^Xe^R^^^\r\n"s, "Jo^Xe^R^^^\r\n"s, Calls{}));
}

TEST(XTime, OffsetRolloverTokensAndBadOffsets) {
  const struct { LocalTime now; const char *gmt, *fmt; bool zf; const char* text; } rows[] = {
      {{2023, 12, 31, 23, 30, 0}, "1", "dd mmm yyyy Hh:Nn", true, "01 Jan 2024 00:30z"},
      {{2024, 2, 28, 23, 0, 0}, "1", "dd mmm yyyy", true, "29 Feb 2024z"},
      {{2023, 2, 28, 23, 0, 0}, "1", "dd mmm yyyy", true, "01 Mar 2023z"},
      {{2024, 1, 1, 0, 15, 0}, "-1", "dd mmm yyyy Hh:Nn", true, "31 Dec 2023 23:15z"},
      {{1965, 6, 10, 10, 0, 0}, "-3.25", "dd Hh:Nn", false, "10 06:45"},
      {{1999, 12, 31, 8, 15, 0}, "0", "yyyymmdd", false, "19991231"},
      {{2024, 6, 9, 7, 5, 0}, "0", "[dd/x] hh:NN m", false, "[09/x] 07:05 m"},
      {{2024, 3, 5, 14, 7, 30}, "-1000000", "yyyy", false, "1910"},  // the largest offset taken
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    RecordingContext c;
    c.now = row.now, c.store.WriteSetting("Opt", "GMT", row.gmt);
    EXPECT_EQ(XTime(c, row.fmt, row.zf), row.text);
  }
  // The zone, and slashed zeros, with the zone flag only.
  RecordingContext c;
  c.now = {2020, 10, 10, 10, 5, 0};
  c.store.WriteSetting("Opt", "Zero", "True"), c.store.WriteSetting("Opt", "Zone", "UTC0");
  EXPECT_EQ(std::pair(XTime(c), XTime(c, "HhNn", false)), std::pair("1\xD8 Oct 2\xD8" "2\xD8 1\xD8:\xD8" "5UTC\xD8"s, "1005"s));
  // A bad offset names key and value.
  for (const char* gmt : {"abc", "1000000.5", ""}) {
    c.store.WriteSetting("Opt", "GMT", gmt);
    EXPECT_THAT([&] { XTime(c); }, ::testing::ThrowsMessage<Error>(::testing::HasSubstr("\"GMT\" holds \""s + gmt)));
  }
}

}  // namespace
}  // namespace qsopad
