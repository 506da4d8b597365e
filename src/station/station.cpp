#include "station/station.h"

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_values.h"

namespace qsopad {

StationKind ReadStationKind(const SettingsStore& store) {
  std::string kind = ReadText(store, keys::kStation);
  for (char& c : kind) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return kind == "fldigi" ? StationKind::kFldigi : StationKind::kPsk31;
}

std::string StationIdentity(const SettingsStore& store) {
  if (ReadStationKind(store) == StationKind::kPsk31) return "PSK31";
  return "fldigi " + ReadText(store, keys::kFldigiAddress) + ":" + ReadText(store, keys::kFldigiPort);
}

void SaveMainPlacement(SettingsStore& store, LinkHost& host) {
  try {
    const std::optional<LinkHost::Placement> placement = host.NormalPlacementTwips();
    if (!placement) return;
    WriteLong(store, keys::kWinLeft, placement->left);
    WriteLong(store, keys::kWinTop, placement->top);
    WriteLong(store, keys::kWinWidth, placement->width);
    WriteLong(store, keys::kWinHeight, placement->height);
  } catch (const Error&) {
    // A failed write skips the rest of this step, as every step of the setup's saving.
  }
}

}  // namespace qsopad
