// Conversions between stored text and the types its readers want.
#include "options/settings_values.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <system_error>

#include "common/error.h"

namespace qsopad {

namespace {

constexpr std::string_view kNotBool = "not True, False or a number";
constexpr std::string_view kNotNumber = "not a number";
constexpr std::string_view kOutOfRange = "outside the range of a 32-bit whole number";
constexpr std::string_view kNotBoxState =
    "not a check box state (a whole number from -32768 to 32767)";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Equal but for the letter case of ASCII letters, as the store compares names.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// [blanks] [sign] digits [. digits] [blanks], or with the digits only after the point.
std::optional<double> TryNumber(std::string_view text) {
  std::string_view t = Trim(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  std::size_t i = 0;
  std::size_t digits = 0;
  const auto skip_digits = [&] {
    for (; i < t.size() && IsDigit(t[i]); ++i) ++digits;
  };
  skip_digits();
  if (i < t.size() && t[i] == '.') {
    ++i;
    skip_digits();
  }
  if (digits == 0 || i != t.size()) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value,
                                         std::chars_format::fixed);
  // Only an overflowing value fails here; the syntax was checked above.
  if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return negative ? -value : value;
}

// Half-way cases go to the even neighbour, independent of the floating-point mode.
double RoundHalfEven(double x) {
  const double lower = std::floor(x);
  const double diff = x - lower;
  if (diff < 0.5) return lower;
  if (diff > 0.5) return lower + 1;
  return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

std::optional<long> TryLong(double number) {
  const double r = RoundHalfEven(number);
  if (r < -2147483648.0 || r > 2147483647.0) return std::nullopt;
  return static_cast<long>(r);
}

std::optional<bool> TryBool(std::string_view text) {
  const std::string_view t = Trim(text);
  if (SameName(t, "true")) return true;
  if (SameName(t, "false")) return false;
  if (const auto n = TryNumber(t)) return *n != 0;
  return std::nullopt;
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  out += text;
  out += '"';
  return out;
}

[[noreturn]] void ThrowValue(std::string_view text, std::string_view why) {
  throw Error(Quoted(text) + " is " + std::string(why));
}

std::string SettingProblem(std::string_view section, std::string_view key, std::string_view text,
                           std::string_view why) {
  std::string message = "Setting [";
  message += section;
  message += "] " + Quoted(key) + " holds " + Quoted(text) + ", which is ";
  message += why;
  return message;
}

[[noreturn]] void ThrowSetting(const SettingKey& key, std::string_view text,
                               std::string_view why) {
  throw Error(SettingProblem(key.section, key.key, text, why));
}

// The key's own default; an empty one means the reader must supply a default itself.
std::string_view CatalogueDefault(const SettingKey& key) {
  if (key.def.empty()) {
    throw Error("Setting [" + std::string(key.section) + "] " + Quoted(key.key) +
                " has no default in the catalogue; its reader must pass one");
  }
  return key.def;
}

bool BoolFrom(const SettingKey& key, const std::string& text) {
  if (const auto b = TryBool(text)) return *b;
  ThrowSetting(key, text, kNotBool);
}

double NumberFrom(const SettingKey& key, const std::string& text) {
  if (const auto n = TryNumber(text)) return *n;
  ThrowSetting(key, text, kNotNumber);
}

long LongFrom(const SettingKey& key, const std::string& text) {
  if (const auto l = TryLong(NumberFrom(key, text))) return *l;
  ThrowSetting(key, text, kOutOfRange);
}

// The keys whose readers convert without a fallback, by what they convert to. Readers that
// fall back on a default (window placement, the call sign window's boxes, the launch delay)
// are not listed: whatever such a key holds, the program goes on.
enum class Kind { kBool, kNumber, kLong, kBoxState };
struct TypedKey {
  const SettingKey* key;
  Kind kind;
};
constexpr TypedKey kTypedKeys[] = {
    {&keys::kFontBold, Kind::kBool},     {&keys::kFontItalic, Kind::kBool},
    {&keys::kFontStrikethru, Kind::kBool}, {&keys::kFontUnderline, Kind::kBool},
    {&keys::kSavePos, Kind::kBool},      {&keys::kTod, Kind::kBool},
    {&keys::kLookup, Kind::kBool},       {&keys::kZero, Kind::kBool},
    {&keys::kCwid, Kind::kBool},         {&keys::kClose, Kind::kBool},
    {&keys::kRetro, Kind::kBool},        {&keys::kRetroA, Kind::kBool},
    {&keys::kButtons, Kind::kBool},      {&keys::kWordBk, Kind::kBool},
    {&keys::kAdifEn, Kind::kBool},       {&keys::kFontSize, Kind::kNumber},
    {&keys::kGmt, Kind::kNumber},        {&keys::kSendCr, Kind::kNumber},
    {&keys::kFontColor, Kind::kLong},    {&keys::kBackColor, Kind::kLong},
    {&keys::kSerialNo, Kind::kLong},     {&keys::kMpal, Kind::kBoxState},
    {&keys::kCspal, Kind::kBoxState},    {&keys::kLpal, Kind::kBoxState},
    {&keys::kCw1, Kind::kBoxState},
};

std::optional<std::string_view> KindProblem(Kind kind, std::string_view value) {
  switch (kind) {
    case Kind::kBool:
      if (!TryBool(value)) return kNotBool;
      return std::nullopt;
    case Kind::kNumber:
    case Kind::kLong:
    case Kind::kBoxState: break;
  }
  const std::optional<double> number = TryNumber(value);
  if (!number) return kNotNumber;
  if (kind == Kind::kNumber) return std::nullopt;
  const std::optional<long> whole = TryLong(*number);
  if (!whole) return kind == Kind::kLong ? kOutOfRange : kNotBoxState;
  if (kind == Kind::kBoxState && (*whole < -32768 || *whole > 32767)) return kNotBoxState;
  return std::nullopt;
}

// The shortest text that reads back as the same double (fixed notation needs up to
// about 330 characters for the extremes).
std::string NumberText(double value) {
  char buf[400];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  return std::string(buf, result.ptr);
}

}  // namespace

bool ParseBool(std::string_view text) {
  if (const auto b = TryBool(text)) return *b;
  ThrowValue(text, kNotBool);
}

double ParseNumber(std::string_view text) {
  if (const auto n = TryNumber(text)) return *n;
  ThrowValue(text, kNotNumber);
}

long ParseLong(std::string_view text) {
  if (const auto l = TryLong(ParseNumber(text))) return *l;
  ThrowValue(text, kOutOfRange);
}

std::string BoolText(bool value) { return value ? "True" : "False"; }

std::optional<std::string> UnreadableValue(std::string_view section, std::string_view key,
                                           std::string_view value) {
  for (const TypedKey& typed : kTypedKeys) {
    if (!SameName(typed.key->section, section) || !SameName(typed.key->key, key)) continue;
    const std::optional<std::string_view> why = KindProblem(typed.kind, value);
    if (!why) return std::nullopt;
    return SettingProblem(section, key, value, *why);
  }
  return std::nullopt;
}

std::string ReadText(const SettingsStore& store, const SettingKey& key) {
  return store.ReadSetting(key.section, key.key, key.def);
}

std::string ReadText(const SettingsStore& store, const SettingKey& key, std::string_view def) {
  return store.ReadSetting(key.section, key.key, def);
}

bool ReadBool(const SettingsStore& store, const SettingKey& key) {
  return BoolFrom(key, store.ReadSetting(key.section, key.key, CatalogueDefault(key)));
}

bool ReadBool(const SettingsStore& store, const SettingKey& key, bool def) {
  return BoolFrom(key, store.ReadSetting(key.section, key.key, BoolText(def)));
}

long ReadLong(const SettingsStore& store, const SettingKey& key) {
  return LongFrom(key, store.ReadSetting(key.section, key.key, CatalogueDefault(key)));
}

long ReadLong(const SettingsStore& store, const SettingKey& key, long def) {
  return LongFrom(key, store.ReadSetting(key.section, key.key, std::to_string(def)));
}

double ReadNumber(const SettingsStore& store, const SettingKey& key) {
  return NumberFrom(key, store.ReadSetting(key.section, key.key, CatalogueDefault(key)));
}

double ReadNumber(const SettingsStore& store, const SettingKey& key, double def) {
  return NumberFrom(key, store.ReadSetting(key.section, key.key, NumberText(def)));
}

void WriteText(SettingsStore& store, const SettingKey& key, std::string_view value) {
  store.WriteSetting(key.section, key.WriteName(), value);
}

void WriteLong(SettingsStore& store, const SettingKey& key, long value) {
  store.WriteSetting(key.section, key.WriteName(), std::to_string(value));
}

void WriteBool(SettingsStore& store, const SettingKey& key, bool value) {
  store.WriteSetting(key.section, key.WriteName(), BoolText(value));
}

}  // namespace qsopad
