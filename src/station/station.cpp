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

ChosenStation::ChosenStation(StationFactory& factory, SettingsStore& store, StationHost& host,
                             GuardedSender& sender)
    : factory_(factory),
      store_(store),
      host_(host),
      sender_(sender),
      identity_(StationIdentity(store)),
      station_(factory.Make(ReadStationKind(store), host, sender)) {}

bool ChosenStation::Follow() {
  if (StationIdentity(store_) == identity_) return false;
  try {
    station_->Leave();
  } catch (const Error&) {
  }
  identity_ = StationIdentity(store_);
  station_.reset();
  station_ = factory_.Make(ReadStationKind(store_), host_, sender_);
  return true;
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
