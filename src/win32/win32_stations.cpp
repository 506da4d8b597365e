#include "win32_stations.h"

#include "link/psk31_station.h"

namespace qsopad {

std::unique_ptr<Station> Win32Stations::Make(StationKind, StationHost& host,
                                             GuardedSender& sender) {
  return Psk31Stations(windows_, store_).Make(StationKind::kPsk31, host, sender);
}

}  // namespace qsopad
