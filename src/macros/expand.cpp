// Caret-code expansion and the time text. One table holds every code with its help text
// and kind; the scan dispatches on that table, so the editors' help cannot drift from
// what the codes do.
#include "macros/expand.h"

#include <array>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

namespace {

// Character 216, the slashed zero: SendMacro applies Zeros to a macro before it is
// expanded, so with the Zero option on "^0" arrives here as "^" followed by this.
constexpr MacroCode kCodes[] = {
    {"Nn", "^N  new line", MacroCodeKind::kNewLine},
    {"Mm2", "^M, ^2  your own call sign", MacroCodeKind::kMyCall},
    {"Cc3", "^C, ^3  the other station's call sign", MacroCodeKind::kOCall},
    {"Ww?", "^W, ^?  the other operator's name", MacroCodeKind::kName},
    {"Tt4", "^T, ^4  date, time and zone", MacroCodeKind::kDateTime},
    {"Hh", "^H  time and zone", MacroCodeKind::kTime},
    {"Ss5#", "^S, ^5, ^#  serial number, at least four digits", MacroCodeKind::kSerial},
    {"+6", "^+, ^6  count the serial number up by one (inserts nothing)",
     MacroCodeKind::kIncrement},
    {"Xx9", "^X, ^9  start transmitting", MacroCodeKind::kTransmit},
    {"Gg", "^G  beep", MacroCodeKind::kBeep},
    {"Rr0\\\xD8", "^R, ^0, ^\\  back to receive when the text before it has gone out",
     MacroCodeKind::kReceive},
    {".", "^.  back to receive with a CW identification", MacroCodeKind::kReceiveCwId},
    {"^", "^^  a caret; a caret before any other character gives that character",
     MacroCodeKind::kLiteral},
};
constexpr std::size_t kCodeCount = sizeof kCodes / sizeof kCodes[0];
constexpr unsigned char kNoRow = 0xFF;
static_assert(kCodeCount < kNoRow);

// Code character -> row of kCodes. A character listed in two rows stops the build.
constexpr std::array<unsigned char, 256> BuildDispatch() {
  std::array<unsigned char, 256> rows{};
  for (auto& r : rows) r = kNoRow;
  for (std::size_t row = 0; row < kCodeCount; ++row) {
    for (const char c : kCodes[row].codes) {
      auto& slot = rows[static_cast<unsigned char>(c)];
      if (slot != kNoRow) throw "a code character stands in two rows";
      slot = static_cast<unsigned char>(row);
    }
  }
  return rows;
}
constexpr std::array<unsigned char, 256> kDispatch = BuildDispatch();

MacroCodeKind KindOf(char code) {
  const unsigned char row = kDispatch[static_cast<unsigned char>(code)];
  return row == kNoRow ? MacroCodeKind::kLiteral : kCodes[row].kind;
}

// Serial numbers are 32-bit in the store; a larger one could not be read back.
constexpr long kSerialMax = 2147483647L;

// What stands in the display text for a receive marker: exactly one character, so that
// the display and transmit texts stay aligned even when the store holds a longer value
// (the options dialog allows one character; other writers may not).
std::string ReceiveChar(MacroContext& context) {
  const std::string stored = ReadText(context.Store(), keys::kRxChar);
  std::string d(1, stored.empty() ? ' ' : stored.front());
  context.Zeros(d);
  if (d.size() != 1) d.assign(1, ' ');  // Zeros is meant to keep the length
  return d;
}

void IncrementSerial(MacroContext& context) {
  const long current = context.SerialNo();
  if (current >= kSerialMax) {
    throw Error("The serial number " + std::to_string(current) + " cannot be counted up");
  }
  const long next = current + 1;
  context.SetSerialNo(next);
  WriteLong(context.Store(), keys::kSerialNo, next);
  context.SetSerialCaption("S/&N:" + FormatSerial(next));
  context.RebuildMacroList();
}

void StartTransmission(MacroContext& context) {
  context.SetTxMode(1);
  // The return goes through the queueing entry now, so it is queued ahead of the text of
  // the macro being expanded.
  if (ReadNumber(context.Store(), keys::kSendCr) == 1.0) context.QueueText("\r");
  context.ClearLastXmit();
  context.ShowTransmitCommanded();
}

// At least `width` digits, a minus sign before them for negatives; safe for LONG_MIN.
std::string PaddedNumber(long long value, std::size_t width) {
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return value < 0 ? "-" + digits : digits;
}

bool StartsWithFolded(std::string_view text, std::size_t at, std::string_view lower) {
  if (text.size() - at < lower.size()) return false;
  for (std::size_t k = 0; k < lower.size(); ++k) {
    char c = text[at + k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[k]) return false;
  }
  return true;
}

// Offsets beyond this are no time zone; the bound keeps the arithmetic far from overflow.
constexpr double kMaxGmtHours = 1000000.0;

}  // namespace

const MacroCode* MacroCodes(std::size_t& count) {
  count = kCodeCount;
  return kCodes;
}

std::string FormatSerial(long serial) { return PaddedNumber(serial, 4); }

namespace {

std::string Expand(MacroContext& context, std::string& s1, bool action, bool disp) {
  std::string transmit = s1;
  // 0-based: a caret at i is a code only when a character follows it, so a caret in the
  // last position is never examined.
  std::size_t i = 0;
  while (i + 1 < s1.size()) {
    if (s1[i] != '^') {
      ++i;
      continue;
    }
    const char code = s1[i + 1];
    const MacroCodeKind kind = KindOf(code);
    std::string d;
    std::string t;
    bool separate_t = false;
    switch (kind) {
      case MacroCodeKind::kNewLine: d = "\r\n"; break;
      case MacroCodeKind::kMyCall: d = context.MyCall(); break;
      case MacroCodeKind::kOCall: d = context.OCall(); break;
      case MacroCodeKind::kName: d = context.NameBuf(); break;
      case MacroCodeKind::kDateTime: d = XTime(context); break;
      case MacroCodeKind::kTime: d = XTime(context, "Hh:Nn"); break;
      case MacroCodeKind::kSerial: d = FormatSerial(context.SerialNo()); break;
      case MacroCodeKind::kIncrement:
        if (action) IncrementSerial(context);
        break;
      case MacroCodeKind::kTransmit:
        if (action) StartTransmission(context);
        break;
      case MacroCodeKind::kBeep:
        if (action) context.Beep();
        break;
      case MacroCodeKind::kReceive:
      case MacroCodeKind::kReceiveCwId:
        // Only the real queue is asked: this macro's own text is not in it yet, so two
        // receive codes in one macro both insert a marker.
        if (!action || !context.QueueEndsInMarker()) {
          d = ReceiveChar(context);
          t.assign(1, kind == MacroCodeKind::kReceive ? kTxOffMarker : kCwIdMarker);
          separate_t = true;
        }
        break;
      case MacroCodeKind::kLiteral: d.assign(1, code); break;
    }
    if (!separate_t) {
      context.Zeros(d);
      if (!action && disp && d.empty()) d = s1.substr(i, 2);
      t = d;
    }
    s1.replace(i, 2, d);
    // The two texts agree beyond position i, so replacing in place keeps them aligned.
    transmit.replace(i, 2, t);
    i += d.size();
  }
  return transmit;
}

}  // namespace

std::string SExpand(MacroContext& context, std::string& s1, bool action, bool disp) {
  return Trap(context, "SExpand", [&] { return Expand(context, s1, action, disp); });
}

std::string XTime(MacroContext& context, std::string_view fmt, bool zf) {
  using namespace std::chrono;
  SettingsStore& store = context.Store();
  const std::string zone = zf ? ReadText(store, keys::kZone) : std::string();
  // The offset is a decimal number of hours: 5.5 is 5 hours 30 minutes.
  const double gmt = ReadNumber(store, keys::kGmt);
  if (std::fabs(gmt) > kMaxGmtHours) {
    throw Error("Setting [" + std::string(keys::kGmt.section) + "] \"" +
                std::string(keys::kGmt.key) + "\" holds \"" + ReadText(store, keys::kGmt) +
                "\", which is not an offset of at most 1000000 hours");
  }

  const LocalTime now = context.Now();
  const auto bad_clock = [&] {
    return Error("The clock gave the impossible date " + std::to_string(now.year) + "-" +
                 std::to_string(now.month) + "-" + std::to_string(now.day));
  };
  if (now.year < 1 || now.year > 9999 || now.month < 1 || now.month > 12 || now.day < 1 ||
      now.day > 31) {
    throw bad_clock();
  }
  const year_month_day date{year{now.year}, month{static_cast<unsigned>(now.month)},
                            day{static_cast<unsigned>(now.day)}};
  if (!date.ok()) throw bad_clock();
  const sys_seconds moment = sys_days{date} + hours{now.hour} + minutes{now.minute} +
                             seconds{now.second} + seconds{std::llround(gmt * 3600.0)};
  const sys_days day_start = floor<days>(moment);
  const year_month_day shifted{day_start};
  const hh_mm_ss<seconds> clock{moment - day_start};

  std::string out;
  for (std::size_t i = 0; i < fmt.size();) {
    if (StartsWithFolded(fmt, i, "yyyy")) {
      out += PaddedNumber(static_cast<int>(shifted.year()), 4);
      i += 4;
    } else if (StartsWithFolded(fmt, i, "mmm")) {
      out += context.MonthAbbreviation(static_cast<int>(unsigned{shifted.month()}));
      i += 3;
    } else if (StartsWithFolded(fmt, i, "mm")) {
      out += PaddedNumber(unsigned{shifted.month()}, 2);
      i += 2;
    } else if (StartsWithFolded(fmt, i, "dd")) {
      out += PaddedNumber(unsigned{shifted.day()}, 2);
      i += 2;
    } else if (StartsWithFolded(fmt, i, "hh")) {
      out += PaddedNumber(clock.hours().count(), 2);
      i += 2;
    } else if (StartsWithFolded(fmt, i, "nn")) {
      out += PaddedNumber(clock.minutes().count(), 2);
      i += 2;
    } else {
      out += fmt[i];
      ++i;
    }
  }
  if (zf) {
    out += zone;
    context.Zeros(out);
  }
  return out;
}

std::array<std::string, kMacroCount> BuildDefMacros() {
  std::array<std::string, kMacroCount> m{};
  m[10] = " ^3 de ^2 ";
  m[11] = "^2 ";
  m[12] = "^3 ";
  m[13] = "^4 ";
  m[14] = "^5 ";
  m[15] = "^6";
  m[16] = "^? ";
  m[17] = "";
  m[18] = "^9";
  m[19] = "^\\";
  return m;
}

double LocalSeconds(const LocalTime& t) {
  using namespace std::chrono;
  const sys_days day = year{t.year} / month{static_cast<unsigned>(t.month)} /
                       std::chrono::day{static_cast<unsigned>(t.day)};
  return static_cast<double>(day.time_since_epoch().count()) * 86400.0 + t.hour * 3600.0 +
         t.minute * 60.0 + t.second;
}

std::string FormatElapsed(double seconds) {
  long s = static_cast<long>(std::floor(seconds));
  s %= 86400;
  if (s < 0) s += 86400;
  char text[16];
  std::snprintf(text, sizeof text, " %02ld:%02ld:%02ld ", s / 3600, s / 60 % 60, s % 60);
  return text;
}

}  // namespace qsopad
