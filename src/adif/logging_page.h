// The options dialog's Logging page: ADIF logging on or off, the log file, and the field
// table's entries (enabled, tag, default content), custom fields and a reset. The page
// edits the shared table in place; Apply stores it.
#pragma once

#include <string>
#include <vector>

#include "adif/adif.h"

namespace qsopad {

class SettingsStore;

// The page's controls. Texts are ANSI bytes.
class LoggingPageView {
 public:
  virtual ~LoggingPageView() = default;
  virtual void SetAdifEnabled(bool checked) = 0;  // "&Enable ADIF"
  // The file box, the list, "Enable Field", the browse button and the tag and content
  // boxes follow "&Enable ADIF".
  virtual void SetControlsEnabled(bool enabled) = 0;
  virtual void SetFile(const std::string& path) = 0;
  virtual void SetList(const std::vector<std::string>& names) = 0;
  virtual void AddListEntry(const std::string& name) = 0;
  // Selects a list position without reporting it back as a selection change.
  virtual void SelectListEntry(int position) = 0;
  virtual bool FieldEnabled() = 0;  // "Enable Field"
  virtual std::string Tag() = 0;
  virtual std::string Content() = 0;
  virtual void ShowField(bool enabled, const std::string& tag, const std::string& content) = 0;
  // A message box with OK and Cancel; true for OK.
  virtual bool Confirm(const std::string& text) = 0;
  // A message box with an OK button; waits for the operator.
  virtual void ShowMessage(const std::string& text) = 0;
};

inline constexpr char kResetAllText[] =
    "Warning: This will reset all fields to defaults and clear custom fields";

// Why the Logging page refused `tag`.
std::string TagRefusedText(const std::string& tag);

class LoggingPageModel {
 public:
  LoggingPageModel(SettingsStore& store, AdifTable& table, LoggingPageView& view);

  // The dialog's Load (and Reset All): the stored state and the whole table, the first
  // field shown.
  void Fill();
  // "&Enable ADIF" clicked: stored at once.
  void OnAdifEnabledClick(bool checked);
  // A list position selected: the boxes go into the field shown so far, then show it.
  // A tag that is not an ADIF field name is refused: the operator is told, nothing is
  // committed and the list goes back to that field; false then.
  bool Select(int position);
  // "Add Custom": a new entry at the end of the list, the new count stored at once.
  void AddCustom();
  // "Reset All", after the operator's OK: the whole "ADIF" section goes and the table
  // is built again from the built-in fields.
  void ResetAll();
  // The boxes into the field shown, as the first step of Apply: false (nothing committed)
  // when Select refuses its tag, and Apply then stores nothing.
  bool CommitShown();
  // Apply: the boxes into the field shown, then "En", "File" and every field stored, in
  // one write of the settings file. False, storing nothing, when the tag is refused.
  bool CommitAndStore(bool adif_enabled, const std::string& file);

  // 1 + the table index shown in the boxes; 0 when none.
  int curfield = 0;

 private:
  SettingsStore& store_;
  AdifTable& table_;
  LoggingPageView& view_;
  int entries_ = 0;
  int selected_ = -1;
};

}  // namespace qsopad
