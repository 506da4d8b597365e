// Small pieces the program's windows share: the system's message font, tool tips on
// controls, and the screen's real resolution for twips.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/main_view.h"
#include "window_base.h"

namespace qsopad {

// The font the system uses for message boxes (the native look of buttons and labels).
UniqueFont MessageFont();
// A font with the name, size (points), weight and effects of `font`; its colours are the
// caller's.
UniqueFont FontFromSpec(const FontSpec& font);
// The tool-tip window of a window of ours (shown whenever the pointer rests, without
// access-key prefixes); null when it cannot be created.
HWND CreateToolTips(HWND owner, HINSTANCE instance);
// Adds a tool tip for `control` (a child of `owner`) to the tool-tip window `tooltip`.
void AddToolTip(HWND tooltip, HWND owner, HWND control, const wchar_t* text);
// While it lives, every visible, enabled top-level window of this thread but `keep` takes
// no input, as under a modal dialog; Restore (or the end of its life) enables again those
// that still exist.
class ThreadWindowsDisabled {
 public:
  explicit ThreadWindowsDisabled(HWND keep);
  ~ThreadWindowsDisabled() { Restore(); }
  ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
  ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;
  void Restore();

 private:
  std::vector<HWND> disabled_;
};

// A message box titled "QSOPAD", owned by `owner` (the window that asked for it), that
// keeps every window of the program from taking input until it is answered: a box
// disables only its owner, and the main window would otherwise let the operator change or
// close what the asking window is in the middle of. The box's answer.
int OwnedMessageBox(HWND owner, const std::string& text, UINT flags = MB_OK);

// The screen's pixels per inch, across or down.
int ScreenDpi(bool vertical = false);
// Twips (1/1440 inch) and screen pixels, with the screen's real resolution.
int TwipsToPx(long twips, bool vertical = false);
long PxToTwips(int px, bool vertical = false);

}  // namespace qsopad
