// The macro palette's model: the twenty macros as list lines with their key labels and
// optional preview, editing a macro in place, the keys Enter and Esc, the printed page and
// the window's layout rule. The window (src/win32/macros.cpp) mirrors this state.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "macros/expand.h"

namespace qsopad {

inline constexpr int kPaletteLines = 20;

struct PaletteLine {
  int n = 0;         // macro number, the line's item data
  std::string text;  // as shown: label, ": ", text, CR LF pairs as "^N"
  friend bool operator==(const PaletteLine&, const PaletteLine&) = default;
};

// Macro numbers in list order: 10..19, then 0..9.
std::array<int, kPaletteLines> PaletteOrder();
// The four-character label of a line: " F1 ".." F9 ", " F10", "^F1 " with Retro,
// "SF1 ".."SF9 ", "SF10".
std::string PaletteKeyLabel(int n, bool retro);
// The label beside the edit box: "F3", "SF2" (Retro does not change it).
std::string EditLabel(int n);
// Replaces every CR LF pair by "^N".
void NoCRLF(std::string& text);
// What a line shows of a macro: the stored text, or with `expand` the preview of it unless
// it is an "@" file macro or the preview is blank (spaces only) or the lone character 0.
std::string ShownText(MacroContext& context, const std::string& stored, bool expand);

// Placement in twips of the outer window.
struct PaletteRect {
  int left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const PaletteRect&, const PaletteRect&) = default;
};

// Where the controls go, in client pixels.
struct PaletteLayout {
  PaletteRect list, label, edit, send, print, expand, auto_show;
};
inline constexpr int kButtonWidth = 65, kButtonHeight = 25, kEditHeight = 19,
                     kCheckHeight = 17, kExpandWidth = 65, kAutoShowWidth = 81;
// The layout for a client area of width x height; the label sizes itself to its caption.
// Sizes never go below zero, however small the window.
PaletteLayout LayOutPalette(int width, int height, int label_width, int label_height);

// What the model asks of the window.
class PaletteView {
 public:
  virtual ~PaletteView() = default;
  // Replaces every line; afterwards no line is selected.
  virtual void SetLines(const std::vector<PaletteLine>& lines) = 0;
  // Replaces the text of the line at `index`; the selection stays where it is.
  virtual void SetLine(int index, const std::string& text) = 0;
  // Highlights the line at `index` (no selection notification follows).
  virtual void SelectLine(int index) = 0;
  // Puts the text into the edit box. A real box reports the change back through
  // OnEditChanged before this returns.
  virtual void SetEditText(const std::string& text) = 0;
  virtual void SetEditLabel(const std::string& label) = 0;
  // Shows the edit box and enables "&Send" (once a macro has been selected).
  virtual void ShowEditor() = 0;
};

class MacroPaletteModel {
 public:
  // `defaults` are the built-in macro texts (the main window's DefMacros).
  MacroPaletteModel(MacroContext& context, const std::array<std::string, kPaletteLines>& defaults,
                    PaletteView& view);

  // Window load: the Expand box from the store, then the list.
  void Load();
  bool expand() const { return expand_; }
  // "Expand" clicked: stores the state and rebuilds the list.
  void SetExpand(bool expand);
  // Rebuilds every line. The selection goes; the edit box keeps its text and editindex.
  void InitList();
  // The line text before "^N" replacement.
  std::string FormatEntry(int n, const std::string& text);

  // A line was selected: a pending edit is stored, then the line's macro is loaded.
  void Select(int index);
  // The edit box's text changed (the operator typed, or the model loaded a macro).
  void OnEditChanged(const std::string& text);
  // Stores a pending edit under its macro's number and rebuilds that one line.
  void SaveEdit();
  enum class Key { kEnter, kEscape };
  // The window sees Enter and Esc before its controls; true when the key was used.
  bool OnKey(Key key);
  // "&Send" or a double click: a pending edit is stored first; the macro number to send,
  // when a line is selected.
  std::optional<int> Send();

  // The printed page, line by line.
  std::vector<std::string> PrintLines();

  // The stored placement (twips); a value that is not a number falls back to its default.
  PaletteRect StoredPlacement() const;
  bool StoredAutoShow() const;
  // Window unload: "Auto Show" and the placement. A pending edit is dropped, not stored. A
  // write that fails is skipped, as every placement step is: closing a window never ends
  // the program.
  void SaveOnUnload(bool auto_show, const PaletteRect& placement);

  const std::vector<PaletteLine>& lines() const { return lines_; }
  std::optional<int> selection() const { return selection_; }
  bool editdirty() const { return editdirty_; }
  int editindex() const { return editindex_; }
  bool editor_shown() const { return editor_shown_; }
  const std::string& edit_text() const { return edit_text_; }

 private:
  std::string StoredMacro(int n) const;
  bool Retro() const;
  PaletteLine MakeLine(int n, const std::string& text);
  void LoadEntry(int index);

  MacroContext& context_;
  const std::array<std::string, kPaletteLines>& defaults_;
  PaletteView& view_;
  std::vector<PaletteLine> lines_;
  std::optional<int> selection_;
  bool expand_ = true;
  bool editdirty_ = false;
  int editindex_ = 0;
  bool editor_shown_ = false;
  std::string edit_text_;
};

}  // namespace qsopad
