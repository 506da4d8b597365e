// The log entry window's model ("Logging"): the enabled fields of the ADIF table in a
// list, one field's value in the edit box, a preview of the whole record, and OK that
// appends the record. The values live in the table's Data, so they outlive the window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "adif/adif.h"
#include "app/main_view.h"

namespace qsopad {

class MacroContext;

// The controls the model changes. Texts are ANSI bytes.
class LogView {
 public:
  virtual ~LogView() = default;
  // List1: replaces every entry; nothing is selected afterwards.
  virtual void SetListEntries(const std::vector<std::string>& tags) = 0;
  // Selects a list position without reporting it back as a selection change.
  virtual void SetListSelection(int position) = 0;
  // Text1, the value of the selected field.
  virtual std::string EditText() = 0;
  virtual void SetEditText(const std::string& text) = 0;
  // Label1, the preview.
  virtual void SetPreview(const std::string& text) = 0;
  // The keyboard into Text1 with all of its text selected.
  virtual void FocusEditSelectAll() = 0;
  // A message box with an OK button and the program's title; waits for the operator.
  virtual void ShowMessage(const std::string& text) = 0;
  virtual void Close() = 0;
};

// The call sign window's boxes, read when the list is refreshed. Each may throw Error
// when the window cannot be read.
class LogPartner {
 public:
  virtual ~LogPartner() = default;
  virtual std::string CallsignText() = 0;
  virtual std::string NameFieldText() = 0;
};

class LogFormModel {
 public:
  LogFormModel(AdifTable& table, MacroContext& context, LogView& view, LogPartner& partner,
               LogFiles& files);

  // "&Refresh", and the last step of opening: the automatic values and the list again.
  void Refresh();
  // A selection of list position `position` (a click, or any change): commits the edit
  // box into the field shown so far and shows the selected one.
  void Select(int position);
  // A press in the preview, `y_twips` below its top, its first visible line, its font
  // size in points.
  void PreviewClick(double y_twips, int first_visible_line, double font_points);
  // "Insert &Time": the GMT time in the edit box, committed only with the next selection.
  void InsertTime();
  // Commits, appends the record, closes (also when the file could not be written). Tags
  // left out of the record because they are not field names are named once per run.
  void Ok();
  void Cancel();

  // 1 + the list position shown in the edit box; 0 when none is shown yet.
  int curfield = 0;
  // Table index of each list position.
  const std::vector<int>& entries() const { return entries_; }

 private:
  std::string ValueOf(int index) const;
  void RebuildPreview();
  // The options dialog may rebuild the table ("Reset All", a field added) while the window
  // is open: the list then follows the new table, and each field that is still there under
  // the same tag keeps this contact's value, the edit box's text included.
  void FollowTable();
  // What FollowTable needs from before such a change.
  void Remember();
  // The enabled fields into the list, none selected.
  void ListFields();

  AdifTable& table_;
  MacroContext& context_;
  LogView& view_;
  LogPartner& partner_;
  LogFiles& files_;
  std::vector<int> entries_;
  int selected_ = -1;
  struct Held {
    int index;
    std::string tag, data;
  };
  std::vector<Held> held_;  // the fields with a value, as Remember last saw them
  int layout_ = 0;          // the table's layout then
};

// The preview line under a press: round(y / (points * 20) - 1 + first), halves to even.
// May be negative or past the last line.
int PreviewLineAt(double y_twips, int first_visible_line, double font_points);

// The layout of the window for an inner size, in twips: List1 5 from the left under a
// 20 margin, 0.3 of the width; the buttons on the bottom; Text1 and the preview to the
// right of the list.
struct LogLayout {
  TwipsRect list, ok, cancel, text, preview;
};
LogLayout LayOutLog(long scale_width, long scale_height, const TwipsRect& ok,
                    const TwipsRect& cancel, long text_height);

}  // namespace qsopad
