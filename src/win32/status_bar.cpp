#include "status_bar.h"

#include <commctrl.h>

#include <algorithm>

#include "ui_helpers.h"
#include "win32_text.h"
#include "window_base.h"

namespace qsopad {
namespace {

// Panel widths in HIMETRIC (1/100 mm); the last one springs, with a minimum.
constexpr int kPanelHimetric[] = {2540, 1270, 1270, 847, 1693, 4842};
constexpr int kLastMinimumHimetric = 2540;
constexpr const wchar_t* kPanelTips[StatusBar::kPanels] = {
    L"Current Time",  L"QSO Callsign",        L"QSO Name",
    L"Transmit Mode", L"BPSK/QPSK Indicator", L"Elapsed Time"};

TTTOOLINFOW Tool(HWND bar, int panel) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = bar;
  tool.uId = static_cast<UINT_PTR>(panel + 1);
  return tool;
}

}  // namespace

void StatusBar::Create(HWND parent, HINSTANCE instance, int id, HFONT font, HWND tooltip) {
  font_ = font;
  tooltip_ = tooltip;
  bar_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0,
                         0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         instance, nullptr);
  SendMessageW(bar_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  for (int i = 0; i < kPanels; ++i) {
    TTTOOLINFOW tool = Tool(bar_, i);
    tool.uFlags = TTF_SUBCLASS;
    tool.lpszText = const_cast<wchar_t*>(kPanelTips[i]);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  Layout();
}

void StatusBar::Layout() {
  if (!bar_) return;
  RECT bar;
  GetClientRect(bar_, &bar);
  const int dpi = ScreenDpi();
  int right[kPanels];
  int x = 0;
  // Panels have their design width and grow to show their whole text.
  {
    const WindowDc dc(bar_);
    const SelectGuard font(dc.get(), font_);
    for (int i = 0; i < kPanels - 1; ++i) {
      const std::wstring text = Widen(text_[static_cast<size_t>(i)]);
      SIZE extent{};
      if (dc) GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
      x += std::max(MulDiv(kPanelHimetric[i], dpi, 2540), static_cast<int>(extent.cx) + 12);
      right[i] = x;
    }
  }
  right[kPanels - 1] =
      x + std::max<int>(bar.right - x, MulDiv(kLastMinimumHimetric, dpi, 2540));
  SendMessageW(bar_, SB_SETPARTS, kPanels, reinterpret_cast<LPARAM>(right));
  for (int i = 0; i < kPanels; ++i) {
    Show(i);
    TTTOOLINFOW tool = Tool(bar_, i);
    SendMessageW(bar_, SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tool.rect));
    SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void StatusBar::SetText(int panel, const std::string& text) {
  std::string& now = text_.at(static_cast<size_t>(panel));
  if (now == text) return;
  const bool relayout = now.size() != text.size();
  now = text;
  if (relayout) Layout();
  Show(panel);
}

void StatusBar::SetEnabled(int panel, bool enabled) {
  if (enabled_.at(static_cast<size_t>(panel)) == enabled) return;
  enabled_[static_cast<size_t>(panel)] = enabled;
  Show(panel);
}

void StatusBar::SetTip(int panel, const std::string& text) {
  std::wstring tip = text.empty() ? kPanelTips[panel] : Widen(text);
  TTTOOLINFOW tool = Tool(bar_, panel);
  tool.lpszText = tip.data();
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool StatusBar::Draw(const DRAWITEMSTRUCT& item) const {
  if (item.hwndItem != bar_) return false;
  const int panel = static_cast<int>(item.itemData);
  if (panel < 0 || panel >= kPanels) return true;
  RECT r = item.rcItem;
  r.left += 4;
  const std::wstring text = Widen(text_[static_cast<size_t>(panel)]);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC,
               GetSysColor(enabled_[static_cast<size_t>(panel)] ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  const SelectGuard font(item.hDC, font_);
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  return true;
}

std::optional<int> StatusBar::ClickedPanel(const NMHDR& header) const {
  if (header.hwndFrom != bar_ || header.code != NM_CLICK) return std::nullopt;
  const auto& mouse = reinterpret_cast<const NMMOUSE&>(header);
  if (mouse.dwItemSpec >= static_cast<DWORD_PTR>(kPanels)) return std::nullopt;
  return static_cast<int>(mouse.dwItemSpec);
}

// An enabled panel is a text part of the bar, which screen readers (and the end-to-end
// driver) read with SB_GETTEXT; a greyed one is drawn here, as the bar has no grey text.
void StatusBar::Show(int panel) const {
  const auto i = static_cast<size_t>(panel);
  if (enabled_[i]) {
    const std::wstring text = Widen(text_[i]);
    SendMessageW(bar_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(text.c_str()));
  } else {
    SendMessageW(bar_, SB_SETTEXTW, i | SBT_OWNERDRAW, static_cast<LPARAM>(i));
  }
}

}  // namespace qsopad
