// The three call-book CD-ROM libraries (QRZ, Flying Horse, Buckmaster): what each lookup
// passes to its library, how the raw answer buffer becomes the result text and the
// partner's first name, and what is reported when a library is missing or fails.
//
// Every reader here is bounded by the answer buffer's size. A library that leaves a field,
// or its whole answer, without the terminating byte makes the text run to the end of the
// buffer and no further.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qsopad {

// The answer buffers, as long as each library is told or expects.
inline constexpr std::size_t kQrzAnswerSize = 1024;
inline constexpr std::size_t kFlyAnswerSize = 400;
inline constexpr std::size_t kBuckAnswerSize = 1024;

// sGetCallInfo's status: found, and not on the CD-ROM; any other value is a CD-ROM failure.
inline constexpr std::int16_t kFlyFound = 0;
inline constexpr std::int16_t kFlyNotFound = 1101;
// LookupCallSign's answer when the call sign is not found.
inline constexpr std::int16_t kBuckNotFound = -1;

// How a library marks and ends its fields: Flying Horse tags field n with byte n and a
// field runs over bytes of 32 and above; Buckmaster tags it with byte 180 + n and a field
// runs over bytes below 128.
enum class TagRule { kFlyingHorse, kBuckmaster };

// Field n of a tagged answer: the bytes after the first tag byte of field n for as long as
// they keep the rule; empty when the tag does not occur.
std::string TaggedField(TagRule rule, int n, std::string_view answer);

// Each comma, and the spaces around it, becomes a CR LF.
std::string CommasToLines(std::string_view text);

// The buffer up to its first NUL; all of it when it has none.
std::string_view UpToNul(std::string_view buffer);

// The partner's first name in a QRZ answer: its second word, first letter as it stands,
// the rest in lower case.
std::string QrzName(std::string_view text);

// Flying Horse: the result text of a found answer and the first name (field 25, else the
// first word of field 2).
std::string FlyResult(std::string_view answer);
std::string FlyName(std::string_view answer);

// Buckmaster: the answer as the fields are read from it (the tag of field 1 in front, cut
// at the first NUL), and the result text of that.
std::string BuckAnswer(std::string_view buffer);
std::string BuckResult(std::string_view answer);

// What became of a library call.
struct LibraryCall {
  // False when the library or its function could not be loaded, or when the call raised a
  // failure; the buffer and the result then mean nothing.
  bool done = false;
  std::int32_t result = 0;
};

// The libraries themselves, each loaded at its first use, and the message box their
// failures are reported in. The arguments are those of the library function, in its
// order; the strings go to the library as NUL-terminated 8-bit texts.
class CallbookLibraries {
 public:
  virtual ~CallbookLibraries() = default;
  // qrz32.dll: result is QRZSearch's 32-bit answer, 0 when the call sign is not listed.
  virtual LibraryCall QRZSearch(std::int32_t what, const std::string& call, const std::string& first,
                                const std::string& second, std::span<char, kQrzAnswerSize> answer,
                                std::int32_t mode) = 0;
  // raccd32a.dll: sGetCallInfo writes `status`; its own result is not used.
  virtual LibraryCall sGetCallInfo(const std::string& drive, const std::string& call,
                                   std::span<char, kFlyAnswerSize> answer, std::int16_t& status) = 0;
  // HAMCAL32.DLL: result is LookupCallSign's 16-bit answer, widened.
  virtual LibraryCall LookupCallSign(const std::string& directory, const std::string& call,
                                     std::int32_t length, std::span<char, kBuckAnswerSize> answer) = 0;
  // A message box with this text, an OK button and the program's title; returns once the
  // operator has answered it.
  virtual void ShowMessage(const std::string& text) = 0;
};

// The three lookups over the libraries. Each returns the result text (beginning with "{"
// when the call sign is not found, "Error!" after a failure it has reported) and writes
// `name` only when `fill` is set.
class CallbookLookups {
 public:
  explicit CallbookLookups(CallbookLibraries& libraries) : libraries_(libraries) {}

  std::string QRZLookup(const std::string& call, std::string& name, bool fill);
  std::string FLYLookup(const std::string& call, std::string& name, bool fill, const std::string& drive);
  std::string BuckLookup(const std::string& call, std::string& name, bool fill, const std::string& drive);

 private:
  CallbookLibraries& libraries_;
};

}  // namespace qsopad
