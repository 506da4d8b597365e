// The local lookup sources: the three call-book CD-ROM libraries (win32_callbooks.h) and
// the FCC database file. And the shell's "open" of a lookup's web address.
#pragma once

#include <windows.h>

#include <string>

#include "lookup/callbook.h"
#include "lookup/lookup.h"
#include "win32_callbooks.h"

namespace qsopad {

// Each lookup reports its failures in a message box owned by the window that asks (the
// call sign window), the program's other windows taking no input until it is answered.
class Win32Lookups : public LocalLookups {
 public:
  // The window that asks for lookups from now on; nullptr while there is none.
  void SetOwner(HWND owner);

  std::string QRZLookup(const std::string& call, std::string& name, bool fill) override;
  std::string FLYLookup(const std::string& call, std::string& name, bool fill,
                        const std::string& drive) override;
  std::string BuckLookup(const std::string& call, std::string& name, bool fill,
                         const std::string& drive) override;
  std::string FCCLookup(const std::string& call, std::string& name, bool fill,
                        const std::string& path) override;

 private:
  HWND owner_ = nullptr;
  Win32CallbookLibraries libraries_;
  CallbookLookups callbooks_{libraries_};
};

// Opens `address` (ANSI) with the shell's "open" verb, `owner` owning whatever the shell
// shows; the outcome is not reported.
void OpenAddress(HWND owner, const std::string& address);

}  // namespace qsopad
