// The macro palette window: the twenty macros with their keys, edit in place, preview,
// send and print. The decisions are MacroPaletteModel's; this file shows its state.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "macros/macro_palette.h"
#include "window_base.h"

namespace qsopad {

class MainForm;

class Macros : public WindowBase, private PaletteView {
 public:
  Macros(HINSTANCE instance, HWND owner, MainForm& form);
  ~Macros() override;
  Macros(const Macros&) = delete;
  Macros& operator=(const Macros&) = delete;

  // Creates the window (hidden) when it does not exist yet.
  bool EnsureCreated();
  void Show();
  void InitList();
  // Saves its settings and destroys the window.
  void Unload();
  // The window, when it exists.
  HWND Window() const { return hwnd_; }
  // Sets "&Auto Show" (the options dialog's start-up choice).
  void SetAutoShow(bool auto_show);

  // For the message loop: Enter and Esc reach the palette before its controls, then the
  // dialog keys (Tab, access keys). True when the message was used up.
  static bool PreTranslate(MSG& msg);

 protected:
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  // PaletteView.
  void SetLines(const std::vector<PaletteLine>& lines) override;
  void SetLine(int index, const std::string& text) override;
  void SelectLine(int index) override;
  void SetEditText(const std::string& text) override;
  void SetEditLabel(const std::string& label) override;
  void ShowEditor() override;

  LRESULT OnCreate();
  void OnCommand(int id, int code);
  void OnClose();
  void OnSend();
  void OnPrint();
  void Layout();
  HWND CreateControl(DWORD ex_style, const wchar_t* cls, const wchar_t* text, DWORD style,
                     int id, HFONT font);
  bool KeyDown(MSG& msg);
  // Prints the page on the default printer; the text of what failed, or "" when done.
  std::string PrintPage(const std::vector<std::string>& page);


  HINSTANCE instance_;
  HWND owner_;
  MainForm& form_;
  std::unique_ptr<MacroPaletteModel> model_;
  HWND list1_ = nullptr, label1_ = nullptr, text1_ = nullptr, command1_ = nullptr,
       command2_ = nullptr, check1_ = nullptr, check2_ = nullptr, tooltip_ = nullptr;
  UniqueFont courier_, ui_font_;
  // The control that had the keyboard when the window was last deactivated.
  HWND last_focus_ = nullptr;
};

}  // namespace qsopad
