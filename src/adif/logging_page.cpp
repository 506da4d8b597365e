#include "adif/logging_page.h"

#include <iterator>

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

LoggingPageModel::LoggingPageModel(SettingsStore& store, AdifTable& table,
                                   LoggingPageView& view)
    : store_(store), table_(table), view_(view) {}

void LoggingPageModel::Fill() {
  // "En" as a box state: "0" and "1" as the page stores it, "True"/"False" as others do.
  const bool on = AdifLoggingOn(store_);
  view_.SetAdifEnabled(on);
  view_.SetControlsEnabled(on);
  view_.SetFile(ReadText(store_, keys::kAdifFile));
  curfield = 0;
  selected_ = -1;
  std::vector<std::string> names;
  for (int i = 0; i <= table_.AdifFieldCount(); ++i) names.push_back(table_[i].Name);
  entries_ = static_cast<int>(names.size());
  view_.SetList(names);
  Select(0);
}

void LoggingPageModel::OnAdifEnabledClick(bool checked) {
  WriteText(store_, keys::kAdifEn, checked ? "1" : "0");
  view_.SetControlsEnabled(checked);
}

std::string TagRefusedText(const std::string& tag) {
  return "\"" + tag + "\" is not an ADIF field name.\r\n\r\nAn ADIF tag is letters, digits and \"_\" "
         "only, for example QSL_VIA or MY_GRIDSQUARE: other programs cannot read a log with "
         "anything else in a tag. Nothing was changed.";
}

bool LoggingPageModel::Select(int position) {
  if (position < 0 || position >= entries_) return false;
  if (curfield != 0) {
    const bool enabled = view_.FieldEnabled();
    std::string tag = view_.Tag();
    // A field switched off may keep an empty tag: a new custom field before it is named.
    if (!IsAdifFieldName(tag) && (enabled || !tag.empty())) {
      view_.ShowMessage(TagRefusedText(tag));
      view_.SelectListEntry(curfield - 1);
      return false;
    }
    AdifField& f = table_[curfield - 1];
    f.En = enabled;
    f.Tag = std::move(tag);
    f.Val = view_.Content();
  }
  // Entry n shows field n: the list is the table in order.
  curfield = position + 1;
  selected_ = position;
  view_.SelectListEntry(position);
  const AdifField& f = table_[position];
  view_.ShowField(f.En, f.Tag, f.Val);
  return true;
}

void LoggingPageModel::AddCustom() {
  table_.AddCustomField(store_);
  ++entries_;
  view_.AddListEntry("*Custom");
}

void LoggingPageModel::ResetAll() {
  if (!view_.Confirm(kResetAllText)) return;
  store_.DeleteSection(sections::kAdif);
  try {
    table_.LoadAdifFields(store_);
  } catch (const Error&) {
    // The section is gone: only a damaged store could complain, and the built-in
    // fields are in place all the same.
  }
  Fill();
}

bool LoggingPageModel::CommitShown() { return selected_ < 0 || Select(selected_); }

bool LoggingPageModel::CommitAndStore(bool adif_enabled, const std::string& file) {
  if (!CommitShown()) return false;
  const auto write = [](const SettingKey& key, std::string value) {
    return SettingWrite{std::string(key.section), std::string(key.WriteName()), std::move(value)};
  };
  std::vector<SettingWrite> writes = {write(keys::kAdifEn, adif_enabled ? "1" : "0"),
                                      write(keys::kAdifFile, file)};
  std::vector<SettingWrite> fields = table_.FieldWrites();
  writes.insert(writes.end(), std::make_move_iterator(fields.begin()),
                std::make_move_iterator(fields.end()));
  store_.WriteSettings(writes);
  return true;
}

}  // namespace qsopad
