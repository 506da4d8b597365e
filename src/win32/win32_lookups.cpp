#include "win32_lookups.h"

#include <shellapi.h>

#include "lookup/fcc.h"
#include "win32_fcc_files.h"
#include "win32_text.h"

namespace qsopad {

namespace {

constexpr char kError[] = "Error!";

// The lookup's failure message, over whichever of our windows is active (the call sign
// window when the operator pressed Lookup Now); it waits for the operator.
void ReportFailure(const char* text) {
  MessageBoxW(GetActiveWindow(), Widen(text).c_str(), L"QSOPAD", MB_OK);
}

}  // namespace

std::string Win32Lookups::QRZLookup(const std::string&, std::string&, bool) {
  ReportFailure("QRZ32.DLL not found or QRZ error");
  return kError;
}

std::string Win32Lookups::FLYLookup(const std::string&, std::string&, bool,
                                    const std::string&) {
  ReportFailure("Flying Horse DLL not found");
  return kError;
}

std::string Win32Lookups::BuckLookup(const std::string&, std::string&, bool,
                                     const std::string&) {
  ReportFailure("HamCal32.DLL not found or Buck error");
  return kError;
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
