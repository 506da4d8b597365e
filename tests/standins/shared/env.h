// The stand-ins' switches come from the environment, which a test sets for each run.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

// The variable's value, "" when it is not set (or too long to be a switch).
std::wstring Env(const wchar_t* name);
// Set to anything but "" or "0".
bool Switch(const wchar_t* name);
// A whole number clamped to [low, high]; `fallback` when unset or not a number.
int Number(const wchar_t* name, int fallback, int low, int high);

}  // namespace standin
