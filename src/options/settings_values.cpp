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

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EqualsFolded(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

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
  if (EqualsFolded(t, "true")) return true;
  if (EqualsFolded(t, "false")) return false;
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

[[noreturn]] void ThrowSetting(const SettingKey& key, std::string_view text,
                               std::string_view why) {
  std::string message = "Setting [";
  message += key.section;
  message += "] " + Quoted(key.key) + " holds " + Quoted(text) + ", which is ";
  message += why;
  throw Error(message);
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
