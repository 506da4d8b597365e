// The log stand-in's journal: the stand-ins' shared journal, appended to the file named by
// QSOLOG_JOURNAL, plus the word forms its lines use.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "shared/journal.h"

namespace qsolog {

using standin::Journal;
using standin::NowMs;

// Bytes as one blank-free journal word: bytes below 33, above 126 and '%' become "%XX"
// (upper-case hex); "" stays "".
std::string Escape(const std::string& bytes);
// A window handle or other value as lower-case hex without prefix.
std::string Hex(std::uint64_t value);
std::string Hex(HWND hwnd);

}  // namespace qsolog
