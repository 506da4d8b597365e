// Finding, launching and attaching to the PSK31 soundcard program, and the operations
// that act on it directly: its function keys, its receive frequency, and saving where its
// window stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/guarded_sender.h"
#include "link/window_system.h"
#include "station/station.h"

namespace qsopad {

class SettingsStore;

class Psk31Link {
 public:
  Psk31Link(WindowSystem& windows, SettingsStore& store, LinkHost& host);
  // With the main window's sender, shared with the messages to other programs.
  Psk31Link(WindowSystem& windows, SettingsStore& store, LinkHost& host, GuardedSender& sender);

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
  GuardedSender own_sender_;
  GuardedSender& sender_;
};

}  // namespace qsopad
