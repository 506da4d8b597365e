// Finding, launching and attaching to the PSK31 soundcard program, and the operations
// that act on it directly: its function keys, its receive frequency, and saving where its
// window stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/guarded_sender.h"
#include "link/window_system.h"

namespace qsopad {

class SettingsStore;

// What the link asks of the main window and of the operator.
class LinkHost {
 public:
  virtual ~LinkHost() = default;
  // A message box with an OK button.
  virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
  // A modal input box; nullopt when cancelled.
  virtual std::optional<std::string> AskText(const std::string& prompt) = 0;
  // Gives the typing area (Text1) the keyboard focus.
  virtual void FocusTypingArea() = 0;
  // The main window's placement in twips while it is in its normal state; nullopt when it
  // is minimised or maximised.
  struct Placement {
    long left = 0, top = 0, width = 0, height = 0;
  };
  virtual std::optional<Placement> NormalPlacementTwips() = 0;
  // True when window positions must not be written (set by the options dialog).
  virtual bool NoPosSave() = 0;
};

class Psk31Link {
 public:
  Psk31Link(WindowSystem& windows, SettingsStore& store, LinkHost& host);

  // Handles of the PSK31 program; 0 when not found.
  WindowHandle mainwnd = 0, formwnd = 0, memo = 0;
  WindowHandle panelwnd = 0, tunewnd = 0, txfreqwnd = 0, rxfreqwnd = 0;
  std::uint32_t pskpid = 0, pskthread = 0;

  // Sets mainwnd and formwnd; true when the application window was found.
  bool FindPSK31();
  // The whole attach sequence; every failing step is skipped.
  void AttachPSK31();
  // WM_KEYDOWN then WM_KEYUP with `vk` to the panel.
  void SendKey(unsigned vk);
  // A window's caption, "" when it cannot be read.
  std::string WindowText(WindowHandle window);

  // Menu operations.
  void PressFunctionKey(int index);  // 1..8 -> F1..F8
  void SetRxFrequency();             // asks "Enter new RX frequency"
  void RxFrequencyUp();              // VK_RIGHT to the memo
  void RxFrequencyDown();            // VK_LEFT to the memo
  // WM_KEYDOWN then WM_KEYUP with `vk` to the memo (the arrow keys with "RetroA").
  void SendMemoKey(unsigned vk);
  void SaveWindowSetup();
  // Sends WM_CLOSE to the main form (shutdown with option "Close").
  void ClosePSK31();
  // Sends one character to the memo as WM_CHAR (the pump's road).
  void SendChar(unsigned char c);

  GuardedSender& sender() { return sender_; }

 private:
  WindowSystem& windows_;
  SettingsStore& store_;
  LinkHost& host_;
  GuardedSender sender_;
};

}  // namespace qsopad
