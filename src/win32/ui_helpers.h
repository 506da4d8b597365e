// Small pieces the program's windows share: the system's message font, tool tips on
// controls, and the screen's real resolution for twips.
#pragma once

#include <windows.h>

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
// The screen's pixels per inch, across or down.
int ScreenDpi(bool vertical = false);
// Twips (1/1440 inch) and screen pixels, with the screen's real resolution.
int TwipsToPx(long twips, bool vertical = false);
long PxToTwips(int px, bool vertical = false);

}  // namespace qsopad
