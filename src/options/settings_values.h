// Typed reads and writes over the settings store. Values are text; they convert on use.
// A value that does not convert is an Error whose text names section, key and value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "options/settings_catalogue.h"
#include "options/settings_store.h"

namespace qsopad {

// The boolean rule: "True"/"False" in any letter case, or a decimal number where 0 is
// false and anything else true; blanks around the text are allowed. Throws Error.
bool ParseBool(std::string_view text);
// A decimal number with optional sign, fraction and surrounding blanks. Throws Error.
double ParseNumber(std::string_view text);
// ParseNumber rounded half to even into a 32-bit integer. Throws Error when out of range.
long ParseLong(std::string_view text);

std::string ReadText(const SettingsStore& store, const SettingKey& key);
std::string ReadText(const SettingsStore& store, const SettingKey& key, std::string_view def);
bool ReadBool(const SettingsStore& store, const SettingKey& key);
bool ReadBool(const SettingsStore& store, const SettingKey& key, bool def);
long ReadLong(const SettingsStore& store, const SettingKey& key);
long ReadLong(const SettingsStore& store, const SettingKey& key, long def);
double ReadNumber(const SettingsStore& store, const SettingKey& key);
double ReadNumber(const SettingsStore& store, const SettingKey& key, double def);

void WriteText(SettingsStore& store, const SettingKey& key, std::string_view value);
void WriteLong(SettingsStore& store, const SettingKey& key, long value);
// Writes "True" or "False".
void WriteBool(SettingsStore& store, const SettingKey& key, bool value);

// Why `value` cannot stand under (section, key), in the words a reader of that key would
// throw (section, key and value named), or nullopt when it can. Only keys whose readers
// have no fallback are checked: the options dialog's on/off options, font and colours,
// the time offset, the start-up boxes, the carriage-return and serial-number options and
// ADIF logging; a value they cannot convert would end the program at its next use. Names
// compare without regard to case, as in the store.
std::optional<std::string> UnreadableValue(std::string_view section, std::string_view key,
                                           std::string_view value);

// The text form of defaults: 0 -> "0", true -> "True".
std::string BoolText(bool value);

}  // namespace qsopad
