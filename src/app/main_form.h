// The main window's model: the state every other window reads and writes, start-up and
// shutdown, the send queue and its pump, the key rules, the timer's tick, the partner
// state and the messages exchanged with other programs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "adif/adif.h"
#include "app/layout.h"
#include "app/main_view.h"
#include "link/guarded_sender.h"
#include "link/window_system.h"
#include "macros/expand.h"
#include "station/station.h"

namespace qsopad {

class SettingsStore;

inline constexpr unsigned char kSlashedZero = 216;


// Modifier bits of a key as the key rules see them.
inline constexpr int kShiftBit = 1, kCtrlBit = 2, kAltBit = 4;

// Virtual keys the rules name.
inline constexpr unsigned kVkBack = 8, kVkInsert = 45, kVkDelete = 46, kVkUp = 38,
                          kVkDown = 40, kVkF5 = 116, kVkF6 = 117, kVkF10 = 121;

// The text of a WM_COPYDATA record as this program reads it: at most 255 bytes, cut at
// the first NUL; no bytes (or none to read) is the empty text.
std::string DecodeRecordText(const void* data, std::size_t size);

class MainForm : public StationHost, public MacroContext {
 public:
  MainForm(SettingsStore& store, WindowSystem& windows, MainView& view, ErrorReporter& reporter,
           Desktop& desktop, MacroPalette& palette, StationFactory& stations);

  // The station QSOPAD drives.
  Station& station() { return *station_; }

  std::string mycall, ocall, namebuf;
  bool Lookup = false;
  unsigned logmsg = 0;
  WindowHandle logwnd = 0;
  bool nopossave = false;
  bool ElapsedTime = true;
  std::array<std::string, kMacroCount> DefMacros;
  // The ADIF field table, built at start-up; the log window and the options dialog use it.
  AdifTable adif;

  std::string sendbuf, lastxmit;
  bool txended = false;
  int txmode = 0;
  bool sizeready = false;
  long serialno = 1;
  bool wordbreak = false;
  bool lasttx = false;
  unsigned funcmsg = 0;

  // The timer's own state.
  double txstart = 0;  // seconds, on the clock of LocalSeconds()
  int ticks = 0;
  bool txon = false;

  // Start-up: every failing step is skipped and the sequence goes on.
  void Load();
  // Shutdown: every failing step is skipped. Runs once, however the window goes (closed,
  // or the session ending); a later call does nothing.
  void Unload();
  // The saving half of the layout rule; the shell calls it after placing the controls.
  void OnResize(bool normal_state);
  // Applies the font options to the typing area when "FontName" is set.
  void SetRegFont();
  FontSpec ReadFontSpec() const;

  // With option "Zero" on, every "0" becomes the slashed zero (character 216).
  void Zeros(std::string& s) override;
  std::string Noslash(std::string s) const;

  // Queueing prepared text: expand, append to the queue, echo into the typing area.
  void SendNKCharNB(const std::string& s);
  // The same with a blank before and after.
  void SendWord(const std::string& s);
  void PasteText();
  // Hands the characters to the station.
  void SendXChars(const std::string& s);
  // Function-key and palette macros 0..19; a text starting with "@" sends a file.
  void SendMacro(int index);
  // Queues every line of a text file, each with a carriage return.
  void SendFile(const std::string& path);

  // The transmit shortcuts and serial-number commands.
  void mnuXFile_Click();
  void mnuXRpt_Click();
  void mnuXSerial_Click();
  void mnuXTime_Click();
  void mnuXTime1_Click() { mnuXTime_Click(); }
  void mnuIncr_Click();
  void mnuSetSerial_Click();
  void SetMycall();

  // Key down: true when the key is swallowed. `shift` holds kShiftBit, kCtrlBit, kAltBit.
  // Insert and Delete are always swallowed: with a modifier they would paste, cut or
  // delete in the typing area behind the queue's back.
  bool OnKeyDown(unsigned vk, int shift);
  // Key press: the character that goes on to the typing area, 0 when it is swallowed.
  int OnKeyPress(int key_ascii);

  // One pump step: at most one character to the station.
  void PumpStep();
  // "Full Stop &Now!" and "Clear &Buffer".
  void FullStop();
  void ClearBuffer();

  // The timer's tick.
  void Tick();

  // Publish a new partner call or name (store it in ocall / namebuf first).
  void SetOcall(bool xmit = true);
  void SetNamebuf(bool xmit = true);

  void OnPanelClick(MainView::Panel panel, bool shift_held);
  // The menu items that act on the PSK31 program, each under its own error trap.
  enum class PskCommand { kFunctionKey, kFunctionKeyRetro, kSetRx, kRxUp, kRxDown, kFind, kSave };
  // `key` 1..8 for the function keys.
  void OnPskCommand(PskCommand command, int key = 0);

  // The six buttons' left clicks, 1..6, and their right clicks (or Shift and left click).
  void OnButtonClick(int button);
  void OnButtonRightClick(int button);

  // Messages from other programs (the shell's window procedure hands them over once
  // start-up has installed the hook). Both return nothing: the message always goes on to
  // the normal handling.
  void OnCopyData(std::uintptr_t code, const std::string& text);
  void OnRegisteredMessage(unsigned message, std::uintptr_t wparam, std::intptr_t lparam);
  // Sends one text record (code 0, 1, 2) to `target`; texts over 255 bytes are cut.
  void SendCopyData(WindowHandle target, const std::string& text, std::uintptr_t code);
  bool hooked() const { return hooked_; }

  // After the options dialog has closed, by any means: word-break mode, the own-call
  // button, the function-key menus and the macro palette's list follow the store.
  void ReapplyOptions();

  // "Lo&g" in the Tools menu: usable while ADIF logging is on ("ADIF"/"En"; a value that
  // is not a boolean counts as off).
  bool LogMenuEnabled() const;

  // The attachment watch: which PSK31 menus and "Launch/Find" are usable.
  // Returns true while the station is attached and alive.
  bool WatchAttachment();

  // Runs `action` under the error trap of `procedure`: an error goes to the reporter under
  // that name, unless a procedure called from it has reported it already.
  void Guard(const char* procedure, const std::function<void()>& action);
  // The one error path, taken once: it stops the tick, releases the transmitter when we
  // keyed it and hands over to the reporter, which ends the program. Any later report (a
  // second error while the first one's message box is open) is dropped.
  void ReportError(const std::string& procedure, const std::string& description) override;
  bool reported() const { return reported_; }

  // StationHost.
  void ShowMessage(const std::string& text, const std::string& title) override;
  std::optional<std::string> AskText(const std::string& prompt) override;
  void FocusTypingArea() override;
  std::optional<Placement> NormalPlacementTwips() override;
  bool NoPosSave() override { return nopossave; }
  void OnStationPartner(const std::string& call, const std::string& name) override;

  // MacroContext.
  SettingsStore& Store() override { return store_; }
  std::string MyCall() override { return mycall; }
  std::string OCall() override { return ocall; }
  std::string NameBuf() override { return namebuf; }
  long SerialNo() override { return serialno; }
  void SetSerialNo(long value) override { serialno = value; }
  bool QueueEndsInMarker() override;
  void SetTxMode(int mode) override { txmode = mode; }
  void QueueText(const std::string& text) override { SendNKCharNB(text); }
  void ClearLastXmit() override { lastxmit.clear(); }
  void ShowTransmitCommanded() override;
  void SetSerialCaption(const std::string& caption) override;
  void RebuildMacroList() override { palette_.InitList(); }
  void Beep() override { desktop_.Beep(); }
  LocalTime Now() override { return desktop_.Now(); }
  std::string MonthAbbreviation(int month) override { return desktop_.MonthAbbreviation(month); }

  SettingsStore& store() { return store_; }

  // How long a broadcast waits for each receiver that has answered so far.
  static constexpr unsigned kBroadcastWaitMs = 1000;

 private:
  void Broadcast(std::uintptr_t wparam, std::intptr_t lparam);
  // 1..8: the PSK31 program's F1..F8; other numbers do nothing.
  void PressStationKey(int key);
  // Attaches and tells the menus which of the eight keys the station offers.
  void AttachStation();
  // The "&PSK31" menu the key map asks for ("Retro").
  void ShowPskMenus();
  void RefreshStatus(double now);

  SettingsStore& store_;
  WindowSystem& windows_;
  MainView& view_;
  ErrorReporter& reporter_;
  Desktop& desktop_;
  MacroPalette& palette_;
  // One sender for every message to another program, the station's included.
  GuardedSender sender_;
  ChosenStation station_;
  // Whether the station's transmitter was keyed for the transmission commanded now.
  bool keyed_ = false;
  bool attached_ = false;
  bool hooked_ = false;
  bool reported_ = false;
  bool unloaded_ = false;
};



}  // namespace qsopad
