// The small modal dialogs of the main window: the about box and the input box.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace qsopad {

// Modal, owned by `owner`: program title and version from the version resource, OK.
void ShowAboutBox(HINSTANCE instance, HWND owner);
// A modal input box with `prompt`, an empty edit box, OK and Cancel. nullopt on Cancel.
std::optional<std::string> AskTextBox(HINSTANCE instance, HWND owner, const std::string& prompt);

}  // namespace qsopad
