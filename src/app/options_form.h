// The options dialog's model ("Options"): what Load shows from the store, what Apply
// stores and pushes into the running program, the FKeys captions, the GMT box's rules and
// what the main window re-applies once the dialog has closed.
#pragma once

#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/main_view.h"

namespace qsopad {

class SettingsStore;
struct SettingKey;

// The option boxes by their number on the Options page (Check7, "Clear &window
// positions", is a one-shot command). Check1..Check11 are on/off; Check12..Check15 hold a
// box state (0 unchecked, 1 checked, 2 greyed) as stored.
inline constexpr int kOptionBoxes = 15;

// Everything the dialog's controls show, as the dialog reads and writes it.
struct OptionsControls {
  std::string Path, LDelay, GMT, TZone, Callsign, RxChar, AuxPath;
  FontSpec sample;  // the sample label: font, text colour and background
  std::array<int, kOptionBoxes + 1> checks{};  // [1..15]; 0 unused
  std::array<std::string, 20> Macro;           // Macro(0..19)
  // The station: 0 the PSK31 program, 1 fldigi at FldigiAddress:FldigiPort.
  int Station = 0;
  std::string FldigiAddress, FldigiPort;
};

// The FKeys tab's and frame's captions.
struct FKeysCaptions {
  std::string tab, frame;
};

// What Apply pushes into the running program.
class OptionsHost {
 public:
  virtual ~OptionsHost() = default;
  // The main window's typing area takes the stored font and colours.
  virtual void SetRegFont() = 0;
  // Shows or hides the button row at once.
  virtual void Buttons(bool visible) = 0;
  virtual void SetElapsedTime(bool on) = 0;
  virtual void SetMyCall(const std::string& call) = 0;
  virtual void SetNoPosSave() = 0;
  // The macro palette's "&Auto Show" box (the palette is created hidden when needed).
  virtual void SetPaletteAutoShow(bool on) = 0;
  // The call sign window's palette mode on, with its Apply/Close captions.
  virtual void SetCallsignPaletteMode() = 0;
  // A message box with OK and Cancel; true for OK.
  virtual bool Confirm(const std::string& text) = 0;
};

inline constexpr char kClearPositionsText[] =
    "Window positions will not be saved until you restart QSOPAD or manually save (press "
    "cancel to just clear positions)";
inline constexpr char kGmtRefusedText[] = "Please enter an integer number";
inline constexpr char kDamagedValuesText[] =
    "These settings hold values QSOPAD cannot read. The dialog shows their defaults instead; "
    "Apply or OK stores them.";

class OptionsFormModel {
 public:
  // `defaults` are the built-in macro texts, for macros never stored.
  OptionsFormModel(SettingsStore& store, const std::array<std::string, 20>& defaults,
                   OptionsHost& host);

  // The controls as stored. `current_font` is the sample label's font name before Load
  // (the default of "FontName"). The Logging page is filled by its own model. A stored
  // value that does not convert (a hand-edited settings file) shows as its default, which
  // Apply then stores, and is kept for DamagedValuesText: the dialog always opens, so that
  // the operator can repair the settings from it.
  OptionsControls Load(const std::string& current_font);
  // Stores every control in the dialog's order and pushes the values into the program.
  // "Clear &window positions" acts once: `controls.checks[7]` is cleared.
  void Apply(OptionsControls& controls);
  FKeysCaptions Captions();
  // The message naming the stored values that did not convert since the last call; each
  // value is named once for the life of the model (one opening of the dialog). nullopt
  // when there is nothing new to name.
  std::optional<std::string> DamagedValuesText();

 private:
  // The stored text of `key`, or its default when the stored text does not convert.
  std::string Readable(const SettingKey& key);

  SettingsStore& store_;
  const std::array<std::string, 20>& defaults_;
  OptionsHost& host_;
  std::vector<std::string> damaged_;  // not yet named
  std::set<std::string> named_;
};

// The GMT box. A typed character: whether it goes in (control characters always; "-" and
// "+" only with the caret at the start; digits).
bool GmtKeyAllowed(char c, int caret);
// Leaving the box: its text must be a 16-bit integer.
bool GmtTextValid(const std::string& text);

}  // namespace qsopad
