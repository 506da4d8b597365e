#include "lookup/callbook.h"

#include <array>

namespace qsopad {

namespace {

constexpr char kError[] = "Error!";
constexpr char kCrLf[] = "\r\n";

// Spaces only, as the libraries pad with them; tabs and other blanks are text.
std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The text before the first space, or all of it.
std::string_view FirstWord(std::string_view text) { return text.substr(0, text.find(' ')); }

// Letters of the Windows Western code page, the one the call books' names come in.
char LowerAnsi(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char>(c + 0x20);
  if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<char>(c + 0x10);  // S, OE, Z with caron
  if (c == 0x9F) return static_cast<char>(0xFF);                                // Y with diaeresis
  return ch;
}

// Call signs are ASCII; other bytes are left as they are.
std::string AsciiCase(std::string_view text, bool upper) {
  std::string out(text);
  for (char& c : out) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

template <std::size_t N>
std::array<char, N> SpaceFilled() {
  std::array<char, N> buffer;
  buffer.fill(' ');
  return buffer;
}

template <std::size_t N>
std::string_view View(const std::array<char, N>& buffer) {
  return {buffer.data(), buffer.size()};
}

std::string Fly(std::string_view answer, int n) { return TaggedField(TagRule::kFlyingHorse, n, answer); }
std::string Buck(std::string_view answer, int n) { return TaggedField(TagRule::kBuckmaster, n, answer); }

}  // namespace

std::string TaggedField(TagRule rule, int n, std::string_view answer) {
  const bool fly = rule == TagRule::kFlyingHorse;
  const std::size_t tag = answer.find(static_cast<char>(fly ? n : 180 + n));
  if (tag == std::string_view::npos) return {};
  std::size_t end = tag + 1;
  while (end < answer.size()) {
    const auto c = static_cast<unsigned char>(answer[end]);
    if (fly ? c < 32 : c >= 128) break;
    ++end;
  }
  return std::string(answer.substr(tag + 1, end - tag - 1));
}

std::string CommasToLines(std::string_view text) {
  std::string out(text);
  for (std::size_t comma; (comma = out.find(',')) != std::string::npos;) {
    const std::string_view whole(out);
    out = std::string(Trim(whole.substr(0, comma))) + kCrLf + std::string(Trim(whole.substr(comma + 1)));
  }
  return out;
}

std::string_view UpToNul(std::string_view buffer) { return buffer.substr(0, buffer.find('\0')); }

std::string QrzName(std::string_view text) {
  const std::string_view trimmed = Trim(text);
  const std::size_t space = trimmed.find(' ');
  if (space == std::string_view::npos) return {};
  std::string name(FirstWord(Trim(trimmed.substr(space + 1))));
  for (std::size_t i = 1; i < name.size(); ++i) name[i] = LowerAnsi(name[i]);
  return name;
}

std::string FlyResult(std::string_view answer) {
  const auto f = [&](int n) { return Fly(answer, n); };
  const std::string first = f(1) + " " + CommasToLines(f(2));
  const std::string f6 = f(6);
  if (!f6.empty())
    return first + " ," + f6 + " (" + f(13) + " County)" + kCrLf + "Long=" + f(10) + ", Lat=" + f(11) + kCrLf +
           f(24);
  return first + kCrLf + f(3) + kCrLf + f(16) + kCrLf + "via " + f(18) + f(24);
}

std::string FlyName(std::string_view answer) {
  std::string name = Fly(answer, 25);
  if (name.empty()) name = std::string(FirstWord(Fly(answer, 2)));
  return name;
}

std::string BuckAnswer(std::string_view buffer) {
  std::string answer(1, static_cast<char>(181));
  answer += UpToNul(buffer);
  return answer;
}

std::string BuckResult(std::string_view answer) {
  const auto h = [&](int n) { return Buck(answer, n); };
  std::string text = h(1) + " " + h(4) + " " + h(6) + " " + h(7) + kCrLf;
  text += h(8) + kCrLf;
  text += h(11) + ", " + h(12) + " " + h(13) + kCrLf;
  const std::string county = h(18);
  if (!county.empty()) text += "County: " + county + kCrLf;
  text += "Lat: " + h(20) + " Long: " + h(21) + " (" + h(22) + ")" + kCrLf;
  text += h(27) + "   " + h(28);
  return text;
}

std::string CallbookLookups::QRZLookup(const std::string& call, std::string& name, bool fill) {
  auto buffer = SpaceFilled<kQrzAnswerSize>();
  const LibraryCall searched = libraries_.QRZSearch(1, call, "", "", buffer, 1);
  if (!searched.done) {
    libraries_.ShowMessage("QRZ32.DLL not found or QRZ error");
    return kError;
  }
  if (searched.result == 0) return "{NOT FOUND}";
  std::string text(UpToNul(View(buffer)));
  if (fill) name = QrzName(text);
  return text;
}

std::string CallbookLookups::FLYLookup(const std::string& call, std::string& name, bool fill,
                                       const std::string& drive) {
  auto buffer = SpaceFilled<kFlyAnswerSize>();
  std::int16_t status = kFlyFound;
  const LibraryCall asked = libraries_.sGetCallInfo(drive, AsciiCase(Trim(call), false), buffer, status);
  std::string failed;
  if (!asked.done) {
    libraries_.ShowMessage("Flying Horse DLL not found");
    failed = kError;
  } else if (status == kFlyNotFound) {
    failed = "{Not Found}";
  } else if (status != kFlyFound) {
    libraries_.ShowMessage("Flying Horse CD error");
    failed = kError;
  }
  if (!failed.empty()) {
    if (fill) name.clear();
    return failed;
  }
  if (fill) name = FlyName(View(buffer));
  return FlyResult(View(buffer));
}

std::string CallbookLookups::BuckLookup(const std::string& call, std::string& name, bool fill,
                                        const std::string& drive) {
  const std::string directory = !drive.empty() && drive.back() == '\\' ? drive : drive + "\\";
  auto buffer = SpaceFilled<kBuckAnswerSize>();
  const LibraryCall looked =
      libraries_.LookupCallSign(directory, AsciiCase(call, true), static_cast<std::int32_t>(kBuckAnswerSize), buffer);
  if (!looked.done) {
    libraries_.ShowMessage("HamCal32.DLL not found or Buck error");
    return kError;
  }
  if (looked.result == kBuckNotFound) return "{NOT FOUND}";
  const std::string answer = BuckAnswer(View(buffer));
  if (fill) name = Buck(answer, 4);
  return BuckResult(answer);
}

}  // namespace qsopad
