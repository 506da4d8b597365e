#include "win32_stations.h"

#include <windows.h>

#include "link/psk31_station.h"
#include "station/fldigi_station.h"
#include "win32_net.h"

namespace qsopad {
namespace {

class TickClock : public MonotonicClock {
 public:
  std::int64_t NowMs() override { return static_cast<std::int64_t>(GetTickCount64()); }
};

TickClock tick_clock;

// Through the wide characters of Windows, from and to the ANSI code page.
class AnsiCodec : public TextCodec {
 public:
  bool Utf8() const override { return GetACP() == CP_UTF8; }
  std::string ToUtf8(std::string_view text) const override { return Convert(text, CP_ACP, CP_UTF8); }
  std::string FromUtf8(std::string_view text) const override {
    return Convert(text, CP_UTF8, CP_ACP);
  }

 private:
  static std::string Convert(std::string_view text, UINT from, UINT to) {
    if (text.empty()) return {};
    const int n = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(from, 0, text.data(), n, nullptr, 0);
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(from, 0, text.data(), n, w.data(), wide);
    // No best fit: a character the code page lacks is "?", not a look-alike.
    const DWORD flags = to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int bytes = WideCharToMultiByte(to, flags, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(to, flags, w.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
  }
};

AnsiCodec ansi_codec;

}  // namespace

std::unique_ptr<Station> Win32Stations::Make(StationKind kind, StationHost& host,
                                             GuardedSender& sender) {
  if (kind == StationKind::kFldigi) {
    // The program's text is in the ANSI code page; fldigi's in UTF-8.
    FldigiStation::Platform platform{std::make_unique<Win32NetPort>(), tick_clock, windows_,
                                     ansi_codec};
    return std::make_unique<FldigiStation>(std::move(platform), store_, host);
  }
  return Psk31Stations(windows_, store_).Make(StationKind::kPsk31, host, sender);
}

}  // namespace qsopad
