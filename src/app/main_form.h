// The main window's model: the state every other window reads and writes, the start-up
// and shutdown sequences, the size-saving part of the layout and the font options.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "app/main_view.h"
#include "link/psk31_link.h"
#include "link/window_system.h"

namespace qsopad {

class SettingsStore;

inline constexpr int kMacroCount = 20;

// Built-in texts of the twenty function-key macros: 0..9 Shift+F1..F10, 10..19 F1..F10.
std::array<std::string, kMacroCount> BuildDefMacros();

class MainForm : public LinkHost {
 public:
  MainForm(SettingsStore& store, WindowSystem& windows, MainView& view, ErrorReporter& reporter);

  // The PSK31 program's handles live in the link: link.mainwnd, link.formwnd, link.memo...
  Psk31Link link;

  std::string mycall, ocall, namebuf;
  bool Lookup = false;
  unsigned logmsg = 0;
  WindowHandle logwnd = 0;
  bool nopossave = false;
  bool ElapsedTime = true;
  std::array<std::string, kMacroCount> DefMacros;

  std::string sendbuf, lastxmit;
  bool txended = false;
  int txmode = 0;
  bool sizeready = false;
  long serialno = 1;
  bool wordbreak = false;
  bool lasttx = false;
  unsigned funcmsg = 0;

  // Start-up: every failing step is skipped and the sequence goes on.
  void Load();
  // Shutdown: every failing step is skipped.
  void Unload();
  // The saving half of the layout rule; the shell calls it after placing the controls.
  void OnResize(bool normal_state);
  // Applies the font options to the typing area when "FontName" is set.
  void SetRegFont();
  FontSpec ReadFontSpec() const;

  // With option "Zero" on, every "0" becomes the slashed zero (character 216).
  void Zeros(std::string& s) const;
  std::string Noslash(std::string s) const;

  // The attachment watch of the timer: which PSK31 menus and "Launch/Find" are usable.
  // Returns true while the PSK31 program's form is alive.
  bool WatchAttachment();

  // Runs `action`; an error goes to the reporter under `procedure`.
  void Guard(const char* procedure, const std::function<void()>& action);

  // LinkHost.
  void ShowMessage(const std::string& text, const std::string& title) override;
  std::optional<std::string> AskText(const std::string& prompt) override;
  void FocusTypingArea() override;
  std::optional<Placement> NormalPlacementTwips() override;
  bool NoPosSave() override { return nopossave; }

  SettingsStore& store() { return store_; }

 private:
  SettingsStore& store_;
  WindowSystem& windows_;
  MainView& view_;
  ErrorReporter& reporter_;
};

inline constexpr unsigned char kSlashedZero = 216;

}  // namespace qsopad
