#include "app/win_placement.h"

#include <cmath>
#include <string>

#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

namespace {

long ReadTwips(const SettingsStore& store, std::string_view prefix, std::string_view what,
               long def) {
  const std::string key = PlacementKey(prefix, what);
  const std::string text = store.ReadSetting(sections::kWin, key, std::to_string(def));
  return static_cast<long>(std::lround(ParseNumber(text)));
}

}  // namespace

void RestoreWinPos(PlacedWindow& window, const SettingsStore& store, std::string_view prefix,
                   long default_top, long default_left, long default_width,
                   long default_height) {
  try {
    TwipsRect rect;
    rect.top = ReadTwips(store, prefix, "Top", default_top);
    rect.left = ReadTwips(store, prefix, "Left", default_left);
    rect.width = ReadTwips(store, prefix, "Width", default_width);
    rect.height = ReadTwips(store, prefix, "Height", default_height);
    window.SetTwips(rect);
  } catch (...) {
    // Placement is a convenience: a bad stored value leaves the window where it is.
  }
}

void SaveWinPos(PlacedWindow& window, SettingsStore& store, std::string_view prefix) {
  try {
    if (!window.IsVisible() || !window.IsNormal()) return;
    const TwipsRect rect = window.GetTwips();
    store.WriteSetting(sections::kWin, PlacementKey(prefix, "Top"), std::to_string(rect.top));
    store.WriteSetting(sections::kWin, PlacementKey(prefix, "Left"), std::to_string(rect.left));
    store.WriteSetting(sections::kWin, PlacementKey(prefix, "Width"),
                       std::to_string(rect.width));
    store.WriteSetting(sections::kWin, PlacementKey(prefix, "Height"),
                       std::to_string(rect.height));
  } catch (...) {
  }
}

}  // namespace qsopad
