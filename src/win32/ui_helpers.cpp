#include "ui_helpers.h"

#include <commctrl.h>

#include <cmath>

#include "win32_text.h"

namespace qsopad {

namespace {

BOOL CALLBACK CollectEnabled(HWND w, LPARAM list) {
  auto& windows = *reinterpret_cast<std::vector<HWND>*>(list);
  if (IsWindowVisible(w) && IsWindowEnabled(w)) windows.push_back(w);
  return TRUE;
}

}  // namespace

ThreadWindowsDisabled::ThreadWindowsDisabled(HWND keep) {
  EnumThreadWindows(GetCurrentThreadId(), &CollectEnabled, reinterpret_cast<LPARAM>(&disabled_));
  std::erase(disabled_, keep);
  for (HWND w : disabled_) EnableWindow(w, FALSE);
}

void ThreadWindowsDisabled::Restore() {
  for (HWND w : disabled_)
    if (IsWindow(w)) EnableWindow(w, TRUE);
  disabled_.clear();
}

int OwnedMessageBox(HWND owner, const std::string& text, UINT flags) {
  if (owner && !IsWindow(owner)) owner = nullptr;
  const ThreadWindowsDisabled others(owner);
  return MessageBoxW(owner, Widen(text).c_str(), L"QSOPAD", flags);
}

UniqueFont MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
  // A stock font is the system's and must never be deleted: the fallback is a copy of it.
  LOGFONTW stock{};
  if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof stock, &stock) != sizeof stock)
    return nullptr;
  return UniqueFont(CreateFontIndirectW(&stock));
}

UniqueFont FontFromSpec(const FontSpec& font) {
  LOGFONTW lf{};
  lf.lfHeight = -static_cast<LONG>(std::lround(font.size * ScreenDpi(true) / 72.0));
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = font.italic;
  lf.lfUnderline = font.underline;
  lf.lfStrikeOut = font.strikethru;
  lf.lfCharSet = DEFAULT_CHARSET;
  const std::wstring face = Widen(font.name);
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  return UniqueFont(CreateFontIndirectW(&lf));
}

HWND CreateToolTips(HWND owner, HINSTANCE instance) {
  return CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, instance,
                         nullptr);
}

void AddToolTip(HWND tooltip, HWND owner, HWND control, const wchar_t* text) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<wchar_t*>(text);
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

int ScreenDpi(bool vertical) {
  const WindowDc dc(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc.get(), vertical ? LOGPIXELSY : LOGPIXELSX) : 96;
  return dpi > 0 ? dpi : 96;
}

int TwipsToPx(long twips, bool vertical) {
  return MulDiv(static_cast<int>(twips), ScreenDpi(vertical), 1440);
}

long PxToTwips(int px, bool vertical) { return MulDiv(px, 1440, ScreenDpi(vertical)); }

}  // namespace qsopad
