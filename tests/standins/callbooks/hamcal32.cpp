// Stand-in for the Buckmaster CD-ROM's HAMCAL32.DLL: LookupCallSign finds its data only in the folder
// Q:\HAM0\ (written so, with the trailing backslash) and only when told the buffer's length of 1024; there it knows
// W1AW (the answer starts with field 1 untagged, field n is tagged 180 + n). Anything else is -1, not found.
#include "answers.h"

namespace {
std::string H(int n) { return callbook::Tag(180 + n); }
}  // namespace

extern "C" __declspec(dllexport) std::int16_t WINAPI LookupCallSign(char* directory, char* call, std::int32_t length,
                                                                   char* buffer) {
  if (std::strcmp(directory, "Q:\\HAM0\\") != 0 || length != 1024 || std::strcmp(call, "W1AW") != 0) return -1;
  const std::string answer = "W1AW" + H(4) + "HIRAM" + H(6) + "P" + H(7) + "MAXIM" + H(8) + "225 Main St" + H(11) +
                             "NEWINGTON" + H(12) + "CT" + H(13) + "06111" + H(18) + "HARTFORD" + H(20) + "41.71" +
                             H(21) + "-72.72" + H(22) + "FN31" + H(27) + "Class A" + H(28) + "Exp 2030";
  callbook::Put(buffer, static_cast<std::size_t>(length), answer + '\0');
  return 0;
}
