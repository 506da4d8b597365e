// The main window's layout rule: the typing area fills the top, the six buttons stand on
// one row above the status bar. Works in any unit; the shell feeds it pixels.
#pragma once

#include <array>
#include <string>

namespace qsopad {

struct Size {
  int width = 0, height = 0;
};

struct LayoutInput {
  int inner_width = 0;   // W
  int inner_height = 0;  // H
  int status_height = 0; // S
  // Command1..Command6, index 0 = Command1.
  std::array<Size, 6> buttons{};
  bool command1_visible = true;
};

struct Position {
  int left = 0, top = 0;
  friend bool operator==(const Position&, const Position&) = default;
};

struct LayoutResult {
  // Which parts the rule set (a zero W or H leaves that dimension alone).
  bool heights_set = false;
  bool widths_set = false;
  int text_width = 0, text_height = 0;
  // Command1..Command6; only the coordinates that were set are meaningful.
  std::array<Position, 6> buttons{};
};

LayoutResult ComputeLayout(const LayoutInput& in);

// Alt and a letter clicks the button whose caption has that access key ("&Send": S), as
// in a dialog. `captions` are Command1..Command6's, "" for a hidden or disabled button.
// Returns the button 1..6, or 0 when no caption has the key.
int AccessKeyButton(const std::array<std::string, 6>& captions, char letter);

}  // namespace qsopad
