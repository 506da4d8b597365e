#include "adif/adif.h"

#include <array>
#include <optional>

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

namespace {

constexpr std::array<const char*, kBuiltInAdifFields> kBuiltInNames = {
    "CALL", "NAME", "BAND", "QSO_DATE", "TIME_ON", "TX_PWR",
    "MODE", "RST_SENT", "RST_RCVD", "FREQ", "TIME_OFF", "NOTES"};

constexpr unsigned char kSlashedZeroByte = 216;

std::string Read(const SettingsStore& store, const std::string& key, std::string_view def) {
  return store.ReadSetting(sections::kAdif, key, def);
}

// The stored "Count" as the table's highest index. Problems go to `problem`.
long StoredFieldCount(const SettingsStore& store, std::optional<std::string>& problem) {
  const std::string text = ReadText(store, keys::kAdifCount);
  long count = kBuiltInAdifFields - 1;
  try {
    count = ParseLong(text);
  } catch (const Error&) {
    // Not a number: the built-in fields, as with no "Count" at all.
    return kBuiltInAdifFields - 1;
  }
  if (count > kMaxAdifFieldCount) {
    problem = "Setting [ADIF] \"Count\" holds \"" + text + "\", which is more than " +
              std::to_string(kMaxAdifFieldCount) +
              " fields; only the twelve built-in ADIF fields are used";
    return kBuiltInAdifFields - 1;
  }
  return count < kBuiltInAdifFields - 1 ? kBuiltInAdifFields - 1 : count;
}

}  // namespace

AdifTable::AdifTable() {
  fields.resize(kBuiltInAdifFields);
  for (int i = 0; i < kBuiltInAdifFields; ++i) {
    fields[static_cast<std::size_t>(i)].Name = kBuiltInNames[static_cast<std::size_t>(i)];
    fields[static_cast<std::size_t>(i)].Tag = kBuiltInNames[static_cast<std::size_t>(i)];
    fields[static_cast<std::size_t>(i)].En = true;
  }
}

void AdifTable::LoadAdifFields(const SettingsStore& store) {
  std::optional<std::string> problem;
  const long count = StoredFieldCount(store, problem);
  std::vector<AdifField> table(static_cast<std::size_t>(count) + 1);
  const std::string custom = ReadText(store, keys::kAdifCustName);
  for (long i = 0; i <= count; ++i) {
    AdifField& f = table[static_cast<std::size_t>(i)];
    f.Name = i < kBuiltInAdifFields ? kBuiltInNames[static_cast<std::size_t>(i)] : custom;
    const int index = static_cast<int>(i);
    const std::string en = Read(store, AdifEnKey(index), "True");
    try {
      f.En = ParseBool(en);
    } catch (const Error&) {
      f.En = true;
      if (!problem)
        problem = "Setting [ADIF] \"" + AdifEnKey(index) + "\" holds \"" + en +
                  "\", which is not True or False; the field is enabled";
    }
    f.Tag = Read(store, AdifTagKey(index), f.Name);
    f.Val = Read(store, AdifValKey(index), "");
  }
  fields = std::move(table);
  fieldcount = static_cast<std::int16_t>(count);
  if (problem) throw Error(*problem);
}

void AdifTable::SaveAdifFields(SettingsStore& store) const {
  for (int i = 0; i <= fieldcount; ++i) {
    const AdifField& f = (*this)[i];
    store.WriteSetting(sections::kAdif, AdifEnKey(i), f.En ? "True" : "False");
    store.WriteSetting(sections::kAdif, AdifTagKey(i), f.Tag);
    store.WriteSetting(sections::kAdif, AdifValKey(i), f.Val);
  }
}

void AdifTable::AddCustomField(SettingsStore& store) {
  if (fieldcount >= kMaxAdifFieldCount)
    throw Error("No more ADIF fields can be added: the table holds " +
                std::to_string(fieldcount + 1) + " already");
  // Stored first: a store that cannot be written leaves the table as it was.
  WriteLong(store, keys::kAdifCount, fieldcount + 1);
  AdifField added;
  added.Name = "*Custom";
  fields.push_back(added);
  ++fieldcount;
}

bool AdifLoggingOn(const SettingsStore& store) {
  try {
    return ReadBool(store, keys::kAdifEn);
  } catch (const Error&) {
    return false;
  }
}

std::string AdifRecordText(const AdifTable& table, bool noslash) {
  std::string out;
  for (int i = 0; i <= table.fieldcount; ++i) {
    const AdifField& f = table[i];
    if (!f.En) continue;
    std::string value = f.Data.empty() ? f.Val : f.Data;
    if (value.empty()) continue;
    if (noslash) {
      for (char& c : value)
        if (static_cast<unsigned char>(c) == kSlashedZeroByte) c = '0';
    }
    out += '<';
    out += f.Tag;
    out += ':';
    out += std::to_string(value.size());
    out += '>';
    out += value;
    out += "\r\n";
  }
  if (!out.empty()) out += "<eor>\r\n";
  return out;
}

LogWriteResult WriteAdifRecord(const AdifTable& table, const SettingsStore& store,
                               LogFiles& files) {
  const std::string path = ReadText(store, keys::kAdifFile);
  if (path.empty()) return {};
  LogWriteResult result;
  std::unique_ptr<LogFile> file;
  std::uint64_t before = 0;
  bool appended = false;
  try {
    const bool is_new = !files.CanRead(path);
    file = files.OpenForAppend(path);
    before = file->Size();
    // An empty file is new as well: one that a crash left right after creating it would
    // otherwise never get its header.
    std::string bytes = is_new || before == 0 ? kAdifHeader : "";
    const std::string record = AdifRecordText(table, ReadBool(store, keys::kZero));
    bytes += record;
    if (!bytes.empty()) {
      appended = true;
      file->Append(bytes);
      file->Flush();
    }
    result.outcome = record.empty() ? LogWriteResult::kNothingToWrite : LogWriteResult::kWritten;
  } catch (const std::exception& e) {
    result.outcome = LogWriteResult::kFailed;
    result.detail = path + ": " + e.what();
    if (file && appended) {
      try {
        file->TruncateTo(before);
        file->Flush();
      } catch (const std::exception& again) {
        result.detail += "; the file could not be cut back to its former length (" +
                         std::string(again.what()) + ")";
      }
    }
  }
  return result;
}

std::string LogFileErrorText(const LogWriteResult& result) {
  return "Log file error\r\n\r\n" + result.detail;
}

}  // namespace qsopad
