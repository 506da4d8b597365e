// Word forms of the log stand-in's journal lines.
#include "journal.h"

namespace qsolog {

std::string Escape(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string word;
  word.reserve(bytes.size());
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 33 || b > 126 || b == '%') {
      word.push_back('%');
      word.push_back(kDigits[b >> 4]);
      word.push_back(kDigits[b & 15]);
    } else {
      word.push_back(c);
    }
  }
  return word;
}

std::string Hex(std::uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 15]);
    value >>= 4;
  } while (value != 0);
  return text;
}

std::string Hex(HWND hwnd) { return Hex(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(hwnd))); }

}  // namespace qsolog
