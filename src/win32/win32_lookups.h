// The local lookup sources as this build has them: no call-book library and no FCC file
// reader yet, so each answers as a missing library or file does. And the shell's "open"
// of a lookup's web address.
#pragma once

#include <windows.h>

#include <string>

#include "lookup/lookup.h"

namespace qsopad {

// Each lookup reports its failure in a message box (owned by the active window of the
// calling thread) and returns the failure's result; the name is never written.
class Win32Lookups : public LocalLookups {
 public:
  std::string QRZLookup(const std::string& call, std::string& name, bool fill) override;
  std::string FLYLookup(const std::string& call, std::string& name, bool fill,
                        const std::string& drive) override;
  std::string BuckLookup(const std::string& call, std::string& name, bool fill,
                         const std::string& drive) override;
  std::string FCCLookup(const std::string& call, std::string& name, bool fill,
                        const std::string& path) override;
};

// Opens `address` (ANSI) with the shell's "open" verb, `owner` owning whatever the shell
// shows; the outcome is not reported.
void OpenAddress(HWND owner, const std::string& address);

}  // namespace qsopad
