#include "adif/log_form.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

#include "common/error.h"
#include "macros/expand.h"

namespace qsopad {

LogFormModel::LogFormModel(AdifTable& table, MacroContext& context, LogView& view,
                           LogPartner& partner, LogFiles& files)
    : table_(table), context_(context), view_(view), partner_(partner), files_(files),
      layout_(table.layout) {}

std::string LogFormModel::ValueOf(int index) const {
  const AdifField& f = table_[index];
  return f.Data.empty() ? f.Val : f.Data;
}

void LogFormModel::Remember() {
  held_.clear();
  const int shown = selected_ >= 0 ? entries_[static_cast<std::size_t>(selected_)] : -1;
  for (int i = 0; i <= table_.fieldcount; ++i) {
    const AdifField& f = table_[i];
    if (!f.Data.empty() || i == shown) held_.push_back({i, f.Tag, f.Data});
  }
  layout_ = table_.layout;
}

void LogFormModel::FollowTable() {
  if (layout_ == table_.layout) return;
  const int shown = selected_ >= 0 ? entries_[static_cast<std::size_t>(selected_)] : -1;
  for (const Held& h : held_) {
    if (h.index > table_.fieldcount || table_[h.index].Tag != h.tag) continue;
    table_[h.index].Data = h.index == shown ? view_.EditText() : h.data;
  }
  layout_ = table_.layout;
  ListFields();
  const auto at = std::find(entries_.begin(), entries_.end(), shown);
  if (!entries_.empty()) Select(at == entries_.end() ? 0 : static_cast<int>(at - entries_.begin()));
  Remember();
}

void LogFormModel::Refresh() {
  FollowTable();
  entries_.clear();
  selected_ = -1;
  view_.SetListEntries({});
  // The call sign window unreadable: CALL and NAME keep what they had.
  try {
    const std::string call = partner_.CallsignText();
    table_[0].Data = call;
    table_[1].Data = partner_.NameFieldText();
  } catch (const Error&) {
  }
  // A "GMT" that is not a number leaves the date and time as they were.
  try {
    table_[3].Data = XTime(context_, "yyyymmdd", false);
    table_[4].Data = XTime(context_, "HhNn", false);
  } catch (const Error&) {
  }
  ListFields();
  if (!entries_.empty()) Select(0);
  Remember();
}

void LogFormModel::ListFields() {
  entries_.clear();
  std::vector<std::string> tags;
  for (int i = 0; i <= table_.fieldcount; ++i) {
    if (!table_[i].En) continue;
    entries_.push_back(i);
    tags.push_back(table_[i].Tag);
  }
  view_.SetListEntries(tags);
  curfield = 0;
  selected_ = -1;
}

void LogFormModel::Select(int position) {
  if (layout_ != table_.layout) {
    // `position` is a place in the list as it was: the same field in the list that follows.
    const int wanted = position >= 0 && position < static_cast<int>(entries_.size())
                           ? entries_[static_cast<std::size_t>(position)]
                           : -1;
    FollowTable();
    const auto at = std::find(entries_.begin(), entries_.end(), wanted);
    if (at == entries_.end()) return;
    position = static_cast<int>(at - entries_.begin());
  }
  if (position < 0 || position >= static_cast<int>(entries_.size())) return;
  if (curfield != 0 && curfield <= static_cast<int>(entries_.size()))
    table_[entries_[static_cast<std::size_t>(curfield - 1)]].Data = view_.EditText();
  curfield = position + 1;
  selected_ = position;
  view_.SetListSelection(position);
  view_.SetEditText(ValueOf(entries_[static_cast<std::size_t>(position)]));
  RebuildPreview();
  view_.FocusEditSelectAll();
  Remember();
}

void LogFormModel::RebuildPreview() {
  std::string preview;
  for (int index : entries_) {
    preview += table_[index].Tag;
    preview += " = ";
    preview += ValueOf(index);
    preview += "\r\n";
  }
  view_.SetPreview(preview);
}

void LogFormModel::PreviewClick(double y_twips, int first_visible_line, double font_points) {
  Select(PreviewLineAt(y_twips, first_visible_line, font_points));
}

void LogFormModel::InsertTime() { view_.SetEditText(XTime(context_, "HhNn", false)); }

void LogFormModel::Ok() {
  FollowTable();
  if (selected_ >= 0) Select(selected_);
  const LogWriteResult result = WriteAdifRecord(table_, context_.Store(), files_);
  if (result.outcome == LogWriteResult::kFailed) {
    view_.ShowMessage(LogFileErrorText(result));
  } else if (const std::string told = LeftOutTagsText(result, table_); !told.empty()) {
    view_.ShowMessage(told);
  }
  view_.Close();
}

void LogFormModel::Cancel() { view_.Close(); }

int PreviewLineAt(double y_twips, int first_visible_line, double font_points) {
  const double height = font_points * 20;
  if (!(height > 0)) return -1;
  const double line = y_twips / height - 1 + first_visible_line;
  if (!std::isfinite(line) || std::fabs(line) > 1e9) return -1;
  // Halves to even, as the rounding of the window's own language does.
  const int mode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const double rounded = std::nearbyint(line);
  std::fesetround(mode);
  return static_cast<int>(rounded);
}

LogLayout LayOutLog(long scale_width, long scale_height, const TwipsRect& ok,
                    const TwipsRect& cancel, long text_height) {
  LogLayout l{};
  l.list = {5, 20, static_cast<long>(0.3 * static_cast<double>(scale_width)),
            scale_height - ok.height - 25};
  l.ok = {ok.left, scale_height - ok.height, ok.width, ok.height};
  l.cancel = {scale_width - cancel.width - 10, l.ok.top, cancel.width, cancel.height};
  l.text = {l.list.width + 5, l.list.top, scale_width - l.list.width - 10, text_height};
  l.preview = {l.text.left, l.list.top + text_height + 10, l.text.width,
               l.list.height - text_height - 15};
  return l;
}

}  // namespace qsopad
