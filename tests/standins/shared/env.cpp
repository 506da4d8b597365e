#include "env.h"

namespace standin {

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[1024];
  const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

bool Switch(const wchar_t* name) {
  const std::wstring value = Env(name);
  return !value.empty() && value != L"0";
}

int Number(const wchar_t* name, int fallback, int low, int high) {
  const std::wstring value = Env(name);
  if (value.empty()) return fallback;
  try {
    const int n = std::stoi(value);
    return n < low ? low : n > high ? high : n;
  } catch (...) {
    return fallback;
  }
}

}  // namespace standin
