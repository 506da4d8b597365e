// Conversions at the shell's edge: the core's text is single-byte ANSI; the windows are
// driven through the W functions.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace qsopad {

std::wstring Widen(std::string_view ansi);
std::string Narrow(std::wstring_view wide);
// "<number>: <system text>" for a Win32 error code.
std::string SystemErrorText(DWORD code);
// The system's text alone ("Connection refused.") for a Win32 or Winsock error code.
std::string SystemMessage(DWORD code);
// The text of a window (any length), converted to ANSI.
std::string GetWindowAnsiText(HWND window);

}  // namespace qsopad
