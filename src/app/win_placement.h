// Placement of the secondary windows in section "Win": prefix + "Top", "Left", "Width",
// "Height", in twips. Failures are skipped silently.
#pragma once

#include <string_view>

#include "app/main_view.h"

namespace qsopad {

class SettingsStore;

class PlacedWindow {
 public:
  virtual ~PlacedWindow() = default;
  virtual bool IsVisible() = 0;
  // Neither minimised nor maximised.
  virtual bool IsNormal() = 0;
  virtual TwipsRect GetTwips() = 0;
  virtual void SetTwips(const TwipsRect& rect) = 0;
};

void RestoreWinPos(PlacedWindow& window, const SettingsStore& store, std::string_view prefix,
                   long default_top, long default_left, long default_width,
                   long default_height);
void SaveWinPos(PlacedWindow& window, SettingsStore& store, std::string_view prefix);

}  // namespace qsopad
