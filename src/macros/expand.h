// The macro language: caret codes expanded into a transmit text and a display text, and
// the time text of the time codes. Expansion knows no window: what it reads and changes
// of the main window goes through MacroContext.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "common/error.h"

namespace qsopad {

class SettingsStore;

struct LocalTime {
  int year = 2000, month = 1, day = 1;  // month 1..12
  int hour = 0, minute = 0, second = 0;
};

// What the expansion reads and changes. The main window implements it; its error sink is
// the program's one error reporter.
class MacroContext : public ErrorSink {
 public:
  virtual ~MacroContext() = default;
  virtual SettingsStore& Store() = 0;
  virtual std::string MyCall() = 0;
  virtual std::string OCall() = 0;
  virtual std::string NameBuf() = 0;
  virtual long SerialNo() = 0;
  virtual void SetSerialNo(long value) = 0;
  // True when the send queue's last character is a receive marker (0 or 1).
  virtual bool QueueEndsInMarker() = 0;
  // With option "Zero" on, every "0" becomes character 216 (the length never changes).
  virtual void Zeros(std::string& s) = 0;
  virtual void SetTxMode(int mode) = 0;
  // Queues a text at once through the main window's one queueing entry (it is expanded
  // again, so it must hold no caret code).
  virtual void QueueText(const std::string& text) = 0;
  virtual void ClearLastXmit() = 0;
  // "&Send" disabled with a pure red background: transmission commanded.
  virtual void ShowTransmitCommanded() = 0;
  // Caption of the serial-number button.
  virtual void SetSerialCaption(const std::string& caption) = 0;
  // The macro palette rebuilds its list (created hidden when it does not exist yet).
  virtual void RebuildMacroList() = 0;
  virtual void Beep() = 0;
  // The local clock.
  virtual LocalTime Now() = 0;
  // The locale's abbreviated month name, month 1..12.
  virtual std::string MonthAbbreviation(int month) = 0;
};

inline constexpr char kTxOffMarker = '\0';
inline constexpr char kCwIdMarker = '\x01';

// Expands `s1` (which becomes the display text) and returns the transmit text.
// Send mode: action = true, disp = false. Preview: action = false, disp = true.
// An error (for example a non-numeric "GMT" or "SendCR") is reported as "SExpand" through
// the context, then Reported is thrown.
std::string SExpand(MacroContext& context, std::string& s1, bool action = true,
                    bool disp = false);

// Current local time plus option "GMT" hours, formatted with `fmt`; with `zf` the "Zone"
// text is appended and slashed zeros applied. "GMT" is a decimal number of hours (5.5 is
// 5 h 30 min, rounded to the second). Tokens, in any letter case: "yyyy" year, "mmm"
// month abbreviation, "mm" two-digit month, "dd" day, "Hh" hour 00-23, "Nn" minute; every
// other character is copied. Throws Error for a non-numeric or absurd "GMT".
std::string XTime(MacroContext& context, std::string_view fmt = "dd mmm yyyy Hh:Nn",
                  bool zf = true);

// The serial number as the macros send it: at least four digits ("0041", "-0007").
std::string FormatSerial(long serial);

// What a row of the code table does. The expansion dispatches on it, so the help texts
// and the behaviour come from the same row.
enum class MacroCodeKind {
  kNewLine,
  kMyCall,
  kOCall,
  kName,
  kDateTime,
  kTime,
  kSerial,
  kIncrement,
  kTransmit,
  kBeep,
  kReceive,      // TX-off marker
  kReceiveCwId,  // CW-ID marker
  kLiteral,      // the code character itself (any character not in another row)
};

// One row per caret code, for the expansion and for help texts in the editors.
struct MacroCode {
  std::string_view codes;  // the code characters that select this row
  std::string_view help;   // what it does, for the operator
  MacroCodeKind kind;
};
// Rows in display order.
const MacroCode* MacroCodes(std::size_t& count);

inline constexpr int kMacroCount = 20;
// Built-in texts of the twenty function-key macros: 0..9 Shift+F1..F10, 10..19 F1..F10.
std::array<std::string, kMacroCount> BuildDefMacros();

// Seconds since 1 Jan 1970 of a local date and time (for differences only).
double LocalSeconds(const LocalTime& t);
// " Hh:Nn:ss " of an elapsed time, hours counted within one day.
std::string FormatElapsed(double seconds);

}  // namespace qsopad
