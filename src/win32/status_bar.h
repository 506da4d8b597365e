// The main window's status bar: six panels that grow to show their text, each with a tip,
// a greyed look when disabled, and a click that the main window hears.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

namespace qsopad {

class StatusBar {
 public:
  static constexpr int kPanels = 6;

  // Creates the bar as the child `id` of `parent`, its tips in `tooltip`.
  void Create(HWND parent, HINSTANCE instance, int id, HFONT font, HWND tooltip);
  HWND hwnd() const { return bar_; }
  // After the parent's size changed, and when a panel's text changes its length.
  void Layout();
  void SetText(int panel, const std::string& text);
  void SetEnabled(int panel, bool enabled);
  // The panel's tip; "" gives back its own.
  void SetTip(int panel, const std::string& text);
  // WM_DRAWITEM for the bar; false when the item is not the bar's.
  bool Draw(const DRAWITEMSTRUCT& item) const;
  // The panel a WM_NOTIFY from the bar clicked, if it was one.
  std::optional<int> ClickedPanel(const NMHDR& header) const;

 private:
  void Show(int panel) const;

  HWND bar_ = nullptr, tooltip_ = nullptr;
  HFONT font_ = nullptr;
  std::array<std::string, kPanels> text_{"", "", "", "TX", "BPSK", ""};
  std::array<bool, kPanels> enabled_{true, true, true, false, true, false};
};

}  // namespace qsopad
