// The lookup source dialog ("Enter URL"): picks the call-book source from the predefined
// list or takes it as typed.
#pragma once

#include <windows.h>

namespace qsopad {

class SettingsStore;

// Modal, owned by `owner` (the call sign window). OK stores the text as it stands; Cancel
// stores nothing.
void ShowLookupSourceDialog(HINSTANCE instance, HWND owner, SettingsStore& store);

}  // namespace qsopad
