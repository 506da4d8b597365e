// Builds the station the settings choose, over the real window calls.
#pragma once

#include "link/window_system.h"
#include "station/station.h"

namespace qsopad {

class Win32Stations : public StationFactory {
 public:
  Win32Stations(SettingsStore& store, WindowSystem& windows) : store_(store), windows_(windows) {}
  std::unique_ptr<Station> Make(StationKind kind, StationHost& host,
                                GuardedSender& sender) override;

 private:
  SettingsStore& store_;
  WindowSystem& windows_;
};

}  // namespace qsopad
