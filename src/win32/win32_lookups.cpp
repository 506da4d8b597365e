#include "win32_lookups.h"

#include <shellapi.h>

#include "lookup/fcc.h"
#include "ui_helpers.h"
#include "win32_fcc_files.h"
#include "win32_text.h"

namespace qsopad {

void Win32Lookups::SetOwner(HWND owner) {
  owner_ = owner;
  libraries_.SetOwner(owner);
}

std::string Win32Lookups::QRZLookup(const std::string& call, std::string& name, bool fill) {
  return callbooks_.QRZLookup(call, name, fill);
}

std::string Win32Lookups::FLYLookup(const std::string& call, std::string& name, bool fill,
                                    const std::string& drive) {
  return callbooks_.FLYLookup(call, name, fill, drive);
}

std::string Win32Lookups::BuckLookup(const std::string& call, std::string& name, bool fill,
                                     const std::string& drive) {
  return callbooks_.BuckLookup(call, name, fill, drive);
}

std::string Win32Lookups::FCCLookup(const std::string& call, std::string& name, bool fill,
                                    const std::string& path) {
  Win32FccFiles files;
  return qsopad::FCCLookup(call, name, fill, path, files,
                           [&](const std::string& message, const std::string&) {
                             OwnedMessageBox(owner_, message);
                           });
}

void OpenAddress(HWND owner, const std::string& address) {
  ShellExecuteW(owner, L"open", Widen(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace qsopad
