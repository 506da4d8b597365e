// The call-book CD-ROM libraries as the operator installs them: qrz32.dll, raccd32a.dll
// and HAMCAL32.DLL, each loaded by the system's search order (the program's folder first,
// then the system folders and PATH) at the first lookup that needs it and kept loaded.
// They are 32-bit libraries: only the 32-bit build can load them; in the 64-bit build the
// load fails and each lookup reports its library as missing.
#pragma once

#include <windows.h>

#include "lookup/callbook.h"

namespace qsopad {

class Win32CallbookLibraries : public CallbookLibraries {
 public:
  Win32CallbookLibraries() = default;
  Win32CallbookLibraries(const Win32CallbookLibraries&) = delete;
  Win32CallbookLibraries& operator=(const Win32CallbookLibraries&) = delete;
  ~Win32CallbookLibraries() override;

  LibraryCall QRZSearch(std::int32_t what, const std::string& call, const std::string& first,
                        const std::string& second, std::span<char, kQrzAnswerSize> answer,
                        std::int32_t mode) override;
  LibraryCall sGetCallInfo(const std::string& drive, const std::string& call,
                           std::span<char, kFlyAnswerSize> answer, std::int16_t& status) override;
  LibraryCall LookupCallSign(const std::string& directory, const std::string& call, std::int32_t length,
                             std::span<char, kBuckAnswerSize> answer) override;
  // Owned by the window set last with SetOwner (the call sign window), the program's other
  // windows taking no input until it is answered; titled with the program's name.
  void ShowMessage(const std::string& text) override;
  void SetOwner(HWND owner) { owner_ = owner; }

 private:
  struct Library {
    const char* file;
    const char* function;
    HMODULE module = nullptr;
    FARPROC entry = nullptr;
  };
  // The library's function, loading the library first when needed; null when either
  // cannot be had (a later lookup tries again: the operator may have installed it since).
  FARPROC Entry(Library& library);

  HWND owner_ = nullptr;
  Library qrz_{"qrz32.dll", "QRZSearch"};
  Library fly_{"raccd32a.dll", "sGetCallInfo"};
  Library buck_{"HAMCAL32.DLL", "LookupCallSign"};
};

}  // namespace qsopad
