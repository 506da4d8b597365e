// Typed reads and writes over the settings store. Values are text; they convert on use.
// A value that does not convert is an Error whose text names section, key and value.
#pragma once

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

// The text form of defaults: 0 -> "0", true -> "True".
std::string BoolText(bool value);

}  // namespace qsopad
