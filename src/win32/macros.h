// The macro palette window: the twenty macros with their keys, edit in place, preview,
// send and print.
#pragma once

#include <windows.h>

#include "window_base.h"

namespace qsopad {

class MainForm;

class Macros : public WindowBase {
 public:
  Macros(HINSTANCE instance, HWND owner, MainForm& form);
  ~Macros() override;

  // Creates the window (hidden) when it does not exist yet.
  bool EnsureCreated();
  void Show();
  void InitList();
  // Saves its settings and destroys the window.
  void Unload();
  // The window, when it exists (for the message loop's dialog keys).
  HWND Window() const { return hwnd_; }

 protected:
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  HINSTANCE instance_;
  HWND owner_;
  MainForm& form_;
};

}  // namespace qsopad
