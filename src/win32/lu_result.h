// The lookup result window: a resizable tool window whose one text box shows what a
// call-book or file lookup answered. It stays open between lookups and remembers where it
// stood ("Win"/"LUTop", "LULeft", "LUWidth", "LUHeight", in twips).
#pragma once

#include <windows.h>

#include <string>

#include "window_base.h"

namespace qsopad {

class SettingsStore;

class LUResult : public WindowBase {
 public:
  LUResult(HINSTANCE instance, SettingsStore& store);
  ~LUResult() override;
  LUResult(const LUResult&) = delete;
  LUResult& operator=(const LUResult&) = delete;

  // Puts the text in the box and sets the title; creates the window at its stored place
  // when needed; shows it modeless with `owner` (nullptr: no owner) and brings it forward.
  void ShowResult(const std::string& text, HWND owner);
  // Start-up: shows the window (created when needed) owned by `owner`, keeping its text.
  void Show(HWND owner);
  // Saves the placement and destroys the window, when it exists.
  void Unload();
  HWND Window() const { return hwnd_; }

 protected:
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  // Makes sure the window exists with `owner` as its owner. An owner cannot be changed
  // once a top-level window exists, so a window with another owner is made again where
  // it stands. False when the window cannot be created.
  bool EnsureOwnedBy(HWND owner);
  bool Create(HWND owner, const RECT& place);
  // The stored place, in pixels; a stored value that is not a number gives its default.
  RECT StoredPlace() const;
  void SavePlacement();
  void PutText();
  LRESULT OnCreate();
  void OnSize();
  void OnNcDestroy();

  HINSTANCE instance_;
  SettingsStore& store_;
  // The result text shown (the whole text, not only the call sign); kept when the window
  // closes or is made again.
  std::string callsign_;
  std::string title_;
  HWND text1_ = nullptr;
  UniqueFont font_;
};

}  // namespace qsopad
