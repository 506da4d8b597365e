#include "win32_lookups.h"

#include <shellapi.h>

#include "lookup/fcc.h"
#include "win32_fcc_files.h"
#include "win32_text.h"

namespace qsopad {

namespace {

// The lookup's failure message, over whichever of our windows is active (the call sign
// window when the operator pressed Lookup Now); it waits for the operator.
void ReportFailure(const char* text) {
  MessageBoxW(GetActiveWindow(), Widen(text).c_str(), L"QSOPAD", MB_OK);
}

}  // namespace

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
                           [](const std::string& message, const std::string&) { ReportFailure(message.c_str()); });
}

void OpenAddress(HWND owner, const std::string& address) {
  ShellExecuteW(owner, L"open", Widen(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace qsopad
