// Stand-in for the QRZ CD-ROM's qrz32.dll: QRZSearch answers from a few canned entries. W1AW is listed; K2FULL's
// answer fills the whole buffer with no NUL; CRASH makes the library fault, as a damaged CD-ROM can; any other call
// sign, and arguments other than those the program is known to pass (1, call, "", "", buffer, 1), is not listed.
#include "answers.h"

extern "C" __declspec(dllexport) std::int32_t WINAPI QRZSearch(std::int32_t what, char* call, char* first,
                                                              char* second, char* buffer, std::int32_t mode) {
  constexpr std::size_t kAnswerSize = 1024;
  if (what != 1 || mode != 1 || *first || *second) return 0;
  if (std::strcmp(call, "W1AW") == 0) {
    const std::string answer = "W1AW HIRAM PERCY MAXIM\r\n225 Main St\r\nNewington, CT 06111";
    callbook::Put(buffer, kAnswerSize, answer + '\0');
    return 1;
  }
  if (std::strcmp(call, "K2FULL") == 0) {
    const std::string start = "K2FULL JANE DOE ";
    callbook::Put(buffer, kAnswerSize, start + std::string(kAnswerSize - start.size() - 1, '.') + "!");
    return 1;
  }
  if (std::strcmp(call, "CRASH") == 0) *static_cast<volatile int*>(nullptr) = 0;
  return 0;
}
