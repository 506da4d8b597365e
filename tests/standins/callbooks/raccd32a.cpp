// Stand-in for the Flying Horse CD-ROM's raccd32a.dll: sGetCallInfo reads "its CD-ROM" in drive Q:\ only; any other
// drive answers status 1102 (a CD-ROM failure). On it, w1aw has every field, k2abc has no field 6, any other call
// sign is not there (status 1101). Call signs are matched exactly: the program passes them trimmed and in lower case.
#include "answers.h"

extern "C" __declspec(dllexport) void WINAPI sGetCallInfo(char* drive, char* call, char* buffer, std::int16_t* status) {
  using callbook::Tag;
  std::string answer;
  if (std::strcmp(call, "w1aw") == 0)
    answer = Tag(1) + "W1AW" + Tag(2) + "MAXIM, HIRAM PERCY" + Tag(6) + "NEWINGTON CT" + Tag(10) + "-72.72" +
             Tag(11) + "41.71" + Tag(13) + "HARTFORD" + Tag(24) + "ARRL HQ" + Tag(25) + "Hiram";
  else if (std::strcmp(call, "k2abc") == 0)
    answer = Tag(1) + "K2ABC" + Tag(2) + "JANE DOE" + Tag(3) + "12 Elm St" + Tag(16) + "Albany NY" + Tag(18) + "W2XYZ";
  *status = std::strcmp(drive, "Q:\\") != 0 ? 1102 : answer.empty() ? 1101 : 0;
  if (*status == 0) callbook::Put(buffer, 400, answer + '\0');
}
