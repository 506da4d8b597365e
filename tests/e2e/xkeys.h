// Real key presses for the end-to-end scenarios. Posted key messages carry no Shift, Ctrl
// or Alt state, so keys with modifiers go through the X server: the driver runs xdotool,
// a Linux program, which Wine starts when given its Unix path.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// Gives the top-level window the X keyboard focus, then presses the keys one after the
// other; each is an xdotool key name such as "F1", "ctrl+F1", "alt+BackSpace" or "q".
// Waits for xdotool to end; false (with the reason in `error`) when it failed.
bool PressKeys(HWND top, const std::vector<std::string>& keys, std::string* error = nullptr);

// Whether the thread owning the window is tracking a menu (menu bar or pop-up).
bool InMenuMode(HWND hwnd);

}  // namespace e2e
