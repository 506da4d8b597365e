// The macro palette's model: list lines, in-place editing, keys, printed page, layout.
#include "macros/macro_palette.h"

#include <algorithm>
#include <utility>

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

std::array<int, kPaletteLines> PaletteOrder() {
  std::array<int, kPaletteLines> order{};
  for (int i = 0; i < 10; ++i) {
    order[static_cast<std::size_t>(i)] = 10 + i;
    order[static_cast<std::size_t>(i + 10)] = i;
  }
  return order;
}

std::string PaletteKeyLabel(int n, bool retro) {
  if (n >= 10) {
    std::string label = std::string(retro ? "^" : " ") + "F" + std::to_string(n - 9);
    if (n != 19) label += ' ';
    return label;
  }
  std::string label = "SF" + std::to_string(n + 1);
  if (n != 9) label += ' ';
  return label;
}

std::string EditLabel(int n) {
  // Built by appending: GCC 12 warns falsely on "literal" + std::string here.
  std::string label = n >= 10 ? "F" : "SF";
  label += std::to_string(n >= 10 ? n - 9 : n + 1);
  return label;
}

void NoCRLF(std::string& text) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.replace(at, 2, "^N");
}

std::string ShownText(MacroContext& context, const std::string& stored, bool expand) {
  if (!expand || (!stored.empty() && stored.front() == '@')) return stored;
  std::string display = stored;
  // A preview that cannot be made (a damaged "GMT" option, say) is reported by the
  // expansion as its own error, like any other expansion's.
  SExpand(context, display, false, true);
  const bool blank = display.find_first_not_of(' ') == std::string::npos;
  if (blank || display == std::string(1, '\0')) return stored;
  return display;
}

PaletteLayout LayOutPalette(int width, int height, int label_width, int label_height) {
  const auto size = [](int v) { return std::max(v, 0); };
  PaletteLayout l;
  const int edit_top = height - kButtonHeight - kEditHeight - 15;
  l.list = {0, 0, size(width), size(edit_top)};
  l.edit.top = edit_top;
  l.edit.height = kEditHeight;
  l.label = {2, edit_top + 3, size(label_width), size(label_height)};
  // The edit box reaches 5 pixels past the right edge whatever the label's width.
  l.edit.left = size(label_width) + 10;
  l.edit.width = size(width - 5 - size(label_width));
  l.send = {8, height - kButtonHeight - 2, kButtonWidth, kButtonHeight};
  l.print = {80, l.send.top, kButtonWidth, kButtonHeight};
  l.auto_show = {152, height - kCheckHeight - 2 - kCheckHeight, kAutoShowWidth, kCheckHeight};
  l.expand = {152, height - kCheckHeight - 2, kExpandWidth, kCheckHeight};
  return l;
}

MacroPaletteModel::MacroPaletteModel(MacroContext& context,
                                     const std::array<std::string, kPaletteLines>& defaults,
                                     PaletteView& view)
    : context_(context), defaults_(defaults), view_(view) {}

std::string MacroPaletteModel::StoredMacro(int n) const {
  return context_.Store().ReadSetting(sections::kMacro, MacroKey(n),
                                      defaults_[static_cast<std::size_t>(n)]);
}

bool MacroPaletteModel::Retro() const {
  try {
    return ReadBool(context_.Store(), keys::kRetro);
  } catch (const Error&) {
    return false;
  }
}

void MacroPaletteModel::Load() {
  try {
    expand_ = ReadLong(context_.Store(), keys::kMacPalX) != 0;
  } catch (const Error&) {
    expand_ = true;
  }
  InitList();
}

void MacroPaletteModel::SetExpand(bool expand) {
  expand_ = expand;
  WriteLong(context_.Store(), keys::kMacPalX, expand ? 1 : 0);
  InitList();
}

std::string MacroPaletteModel::FormatEntry(int n, const std::string& text) {
  return PaletteKeyLabel(n, Retro()) + ": " + ShownText(context_, text, expand_);
}

PaletteLine MacroPaletteModel::MakeLine(int n, const std::string& text) {
  PaletteLine line{n, FormatEntry(n, text)};
  NoCRLF(line.text);
  return line;
}

void MacroPaletteModel::InitList() {
  lines_.clear();
  for (int n : PaletteOrder()) lines_.push_back(MakeLine(n, StoredMacro(n)));
  selection_.reset();
  view_.SetLines(lines_);
}

void MacroPaletteModel::Select(int index) {
  if (index < 0 || index >= static_cast<int>(lines_.size())) return;
  SaveEdit();
  selection_ = index;
  LoadEntry(index);
}

void MacroPaletteModel::LoadEntry(int index) {
  editindex_ = index;
  const int n = lines_[static_cast<std::size_t>(index)].n;
  const std::string stored = StoredMacro(n);
  view_.SetEditLabel(EditLabel(n));
  view_.SetEditText(stored);
  edit_text_ = stored;
  // Loading the text is reported as a change; it is not an edit.
  editdirty_ = false;
  editor_shown_ = true;
  view_.ShowEditor();
}

void MacroPaletteModel::OnEditChanged(const std::string& text) {
  edit_text_ = text;
  editdirty_ = true;
}

void MacroPaletteModel::SaveEdit() {
  if (!editdirty_ || !editor_shown_) return;
  editdirty_ = false;
  const int n = lines_[static_cast<std::size_t>(editindex_)].n;
  context_.Store().WriteSetting(sections::kMacro, MacroKey(n), edit_text_);
  PaletteLine& line = lines_[static_cast<std::size_t>(editindex_)];
  line = MakeLine(n, edit_text_);
  view_.SetLine(editindex_, line.text);
}

bool MacroPaletteModel::OnKey(Key key) {
  if (!editor_shown_) return false;
  if (key == Key::kEnter) {
    SaveEdit();
    return true;
  }
  editdirty_ = false;
  if (selection_) {
    Select(*selection_);
  } else {
    // A rebuild cleared the selection: reload the macro the edit box holds, and mark its
    // line again so that what is selected and what is edited agree.
    selection_ = editindex_;
    view_.SelectLine(editindex_);
    LoadEntry(editindex_);
  }
  return true;
}

std::optional<int> MacroPaletteModel::Send() {
  SaveEdit();
  if (!selection_) return std::nullopt;
  return lines_[static_cast<std::size_t>(*selection_)].n;
}

std::vector<std::string> MacroPaletteModel::PrintLines() {
  const std::string rule(80, '_');
  std::vector<std::string> page{"Macros for " + context_.MyCall() + " " + XTime(context_), rule,
                                ""};
  for (const PaletteLine& line : lines_) page.push_back(line.text);
  page.push_back("");
  page.push_back(rule);
  return page;
}

PaletteRect MacroPaletteModel::StoredPlacement() const {
  const auto read = [&](const SettingKey& key, long def) {
    try {
      return static_cast<int>(ReadLong(context_.Store(), key, def));
    } catch (const Error&) {
      return static_cast<int>(def);
    }
  };
  return {read(keys::kMpx, 0), read(keys::kMpy, 0), read(keys::kMpw, 4500),
          read(keys::kMph, 4500)};
}

bool MacroPaletteModel::StoredAutoShow() const {
  try {
    return ReadLong(context_.Store(), keys::kMpal) == 1;
  } catch (const Error&) {
    return false;
  }
}

void MacroPaletteModel::SaveOnUnload(bool auto_show, const PaletteRect& placement) {
  // The pending edit is dropped: destroying the window takes the focus off the edit box,
  // and the save that losing the focus asks for must then find nothing to store.
  editdirty_ = false;
  SettingsStore& store = context_.Store();
  const std::pair<const SettingKey*, int> steps[] = {{&keys::kMpal, auto_show ? 1 : 0},
                                                     {&keys::kMpx, placement.left},
                                                     {&keys::kMpy, placement.top},
                                                     {&keys::kMph, placement.height},
                                                     {&keys::kMpw, placement.width}};
  for (const auto& [key, twips] : steps) {
    try {
      WriteLong(store, *key, twips);
    } catch (const Error&) {
    }
  }
}

}  // namespace qsopad
