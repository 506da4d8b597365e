#include "ui_helpers.h"

#include <commctrl.h>

namespace qsopad {

UniqueFont MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    return UniqueFont(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
  return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
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
  HDC dc = GetDC(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc, vertical ? LOGPIXELSY : LOGPIXELSX) : 96;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

int TwipsToPx(long twips, bool vertical) {
  return MulDiv(static_cast<int>(twips), ScreenDpi(vertical), 1440);
}

long PxToTwips(int px, bool vertical) { return MulDiv(px, 1440, ScreenDpi(vertical)); }

}  // namespace qsopad
