#include "adif/logging_page.h"

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

void LoggingPageModel::Select(int position) {
  if (position < 0 || position >= entries_) return;
  if (curfield != 0) {
    AdifField& f = table_[curfield - 1];
    f.En = view_.FieldEnabled();
    f.Tag = view_.Tag();
    f.Val = view_.Content();
  }
  // Entry n shows field n: the list is the table in order.
  curfield = position + 1;
  selected_ = position;
  view_.SelectListEntry(position);
  const AdifField& f = table_[position];
  view_.ShowField(f.En, f.Tag, f.Val);
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

void LoggingPageModel::CommitAndStore(bool adif_enabled, const std::string& file) {
  if (selected_ >= 0) Select(selected_);
  WriteText(store_, keys::kAdifEn, adif_enabled ? "1" : "0");
  WriteText(store_, keys::kAdifFile, file);
  table_.SaveAdifFields(store_);
}

}  // namespace qsopad
