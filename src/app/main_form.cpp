#include "app/main_form.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

#include "common/error.h"
#include "macros/text_file.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

namespace {

// Runs one step of a sequence whose failing steps are skipped.
template <typename F>
void Step(F&& f) {
  try {
    f();
  } catch (...) {
  }
}

constexpr std::string_view kFuncMessage = "QSOPADFUNC";
constexpr std::string_view kLogMessage = "QSOPADLOG";
// Record codes.
constexpr std::uintptr_t kCodeClosing = 0, kCodeCall = 1, kCodeName = 2;
// The log program's handshake: its announcement and our answer.
constexpr std::uintptr_t kLogHello = 0, kLogAnswer = 255;
constexpr std::size_t kMaxRecordText = 255;
constexpr std::string_view kFileError = "File Error: ";
// Status refresh every 21 ticks.
constexpr int kRefreshTicks = 20;

bool IsWordEnd(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\b'; }

// A blank, the text, and a blank when `after` (built by appending: GCC 12 warns falsely
// on "literal" + string).
std::string Blanked(const std::string& text, bool after) {
  std::string out(1, ' ');
  out += text;
  if (after) out += ' ';
  return out;
}

// The serial-number button's caption after a change: the menu increment puts a space after
// the colon, setting the number does not.
std::string SerialCaption(long serial, bool space) {
  std::string caption = space ? "S/&N: " : "S/&N:";
  caption += FormatSerial(serial);
  return caption;
}

}  // namespace

std::string UnexpectedErrorText(const std::string& procedure, const std::string& description) {
  return "Unexpected error. Please report the following:\r\n" + procedure + ": " + description;
}


std::string DecodeRecordText(const void* data, std::size_t size) {
  if (data == nullptr || size == 0) return {};
  const std::size_t n = size < kMaxRecordText ? size : kMaxRecordText;
  const char* bytes = static_cast<const char*>(data);
  const void* nul = std::memchr(bytes, '\0', n);
  return std::string(bytes, nul ? static_cast<const char*>(nul) - bytes : n);
}



MainForm::MainForm(SettingsStore& store, WindowSystem& windows, MainView& view,
                   ErrorReporter& reporter, Desktop& desktop, MacroPalette& palette,
                   StationFactory& stations)
    : store_(store),
      windows_(windows),
      view_(view),
      reporter_(reporter),
      desktop_(desktop),
      palette_(palette),
      sender_(windows),
      station_(stations, store, *this, sender_) {}

// ---- Start-up and shutdown ----

void MainForm::Load() {
  Step([&] { DefMacros = BuildDefMacros(); });
  Step([&] { ShowPskMenus(); });
  Step([&] { ElapsedTime = ReadBool(store_, keys::kTod); });
  txmode = 0;
  Step([&] { serialno = ReadLong(store_, keys::kSerialNo); });
  Step([&] { AttachStation(); });
  Step([&] { SetRegFont(); });
  Step([&] {
    mycall = ReadText(store_, keys::kMyCall);
    Zeros(mycall);
    view_.SetButtonCaption(3, mycall);
  });
  Step([&] { view_.SetButtonsVisible(ReadBool(store_, keys::kButtons)); });
  Step([&] { view_.Show(); });
  Step([&] {
    const TwipsRect screen = view_.ScreenTwips();
    const long top = ReadLong(store_, keys::kWinTop);
    const long left = ReadLong(store_, keys::kWinLeft);
    view_.MoveTwips(left, top);
    const long width = ReadLong(store_, keys::kWinWidth, screen.width / 2);
    const long height = ReadLong(store_, keys::kWinHeight, screen.height / 2);
    sizeready = false;
    view_.ResizeTwips(width, height);
    // When the stored size equals the current one no resize happens; the flag must not
    // then swallow the operator's first real resize.
    sizeready = true;
  });
  Step([&] {
    const std::string aux = ReadText(store_, keys::kAux);
    if (!aux.empty()) windows_.StartProgram(aux, StartMode::kNormalFocused);
  });
  Step([&] {
    if (ReadLong(store_, keys::kMpal) == 1) {
      palette_.ShowPalette();
      view_.FocusTypingArea();
    }
  });
  Step([&] {
    if (ReadLong(store_, keys::kCspal) == 1) {
      view_.OpenCallsignWindow(false);
      windows_.Pause(1);
      view_.FocusTypingArea();
    }
  });
  Step([&] {
    if (ReadLong(store_, keys::kLpal) == 1) {
      view_.ShowLookupResultWindow();
      windows_.Pause(1);
      view_.FocusTypingArea();
    }
  });
  Step([&] { wordbreak = ReadBool(store_, keys::kWordBk); });
  Step([&] {
    funcmsg = windows_.RegisterMessage(kFuncMessage);
    logmsg = windows_.RegisterMessage(kLogMessage);
  });
  Step([&] { Broadcast(0, 0); });
  Step([&] {
    try {
      adif.LoadAdifFields(store_);
    } catch (const Error& e) {
      // The table holds the built-in fields all the same; the operator learns why the
      // stored ones were not taken.
      view_.ShowMessage(e.what(), "QSOPAD");
    }
  });
  hooked_ = true;
}

void MainForm::Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  Step([&] { Broadcast(1, 0); });
  Step([&] {
    if (logwnd != 0) SendCopyData(logwnd, "x", kCodeClosing);
  });
  Step([&] { station_->SaveWindowSetup(); });
  Step([&] { station_->Leave(); });
  Step([&] { palette_.UnloadPalette(); });
  Step([&] { view_.UnloadOwnedWindows(); });
  Step([&] {
    if (ReadBool(store_, keys::kClose)) station_->Close();
  });
}

void MainForm::OnResize(bool normal_state) {
  if (!sizeready) {
    sizeready = true;
    return;
  }
  if (!normal_state || nopossave) return;
  Step([&] {
    const std::optional<TwipsRect> placement = view_.NormalPlacementTwips();
    if (!placement) return;
    if (placement->width != 0) WriteLong(store_, keys::kWinWidth, placement->width);
    if (placement->height != 0) WriteLong(store_, keys::kWinHeight, placement->height);
  });
}

FontSpec MainForm::ReadFontSpec() const {
  FontSpec f;
  f.name = ReadText(store_, keys::kFontName);
  f.size = ReadNumber(store_, keys::kFontSize);
  f.bold = ReadBool(store_, keys::kFontBold);
  f.italic = ReadBool(store_, keys::kFontItalic);
  f.strikethru = ReadBool(store_, keys::kFontStrikethru);
  f.underline = ReadBool(store_, keys::kFontUnderline);
  f.color = static_cast<std::uint32_t>(ReadLong(store_, keys::kFontColor)) & 0xFFFFFFu;
  f.back_color = static_cast<std::uint32_t>(ReadLong(store_, keys::kBackColor)) & 0xFFFFFFu;
  return f;
}

void MainForm::SetRegFont() {
  Guard("SetRegFont", [&] {
    if (ReadText(store_, keys::kFontName).empty()) return;
    view_.ApplyTypingFont(ReadFontSpec());
  });
}

// ---- Slashed zeros ----

void MainForm::Zeros(std::string& s) {
  Trap(*this, "Zeros", [&] {
    if (!ReadBool(store_, keys::kZero)) return;
    for (char& c : s) {
      if (c == '0') c = static_cast<char>(kSlashedZero);
    }
  });
}

std::string MainForm::Noslash(std::string s) const {
  if (!ReadBool(store_, keys::kZero)) return s;
  for (char& c : s) {
    if (static_cast<unsigned char>(c) == kSlashedZero) c = '0';
  }
  return s;
}

// ---- The send queue ----

void MainForm::SendNKCharNB(const std::string& s) {
  Guard("SendNKCharNB", [&] {
    std::string display = s;
    sendbuf += SExpand(*this, display);
    if (!display.empty() && display.back() == '\r') display += '\n';
    view_.AppendTypingText(display);
  });
}

void MainForm::SendWord(const std::string& s) { SendNKCharNB(Blanked(s, true)); }

void MainForm::PasteText() {
  try {
    const std::optional<std::string> text = desktop_.ClipboardText();
    if (text && !text->empty()) SendNKCharNB(*text);
  } catch (...) {
    // A clipboard that cannot be read pastes nothing.
  }
}

void MainForm::SendXChars(const std::string& s) {
  Guard("SendXChars", [&] {
    for (const char c : s) station_->SendChar(static_cast<unsigned char>(c));
  });
}

void MainForm::SendMacro(int index) {
  Guard("SendMacro", [&] {
    if (index < 0 || index >= kMacroCount) return;
    std::string text = store_.ReadSetting(sections::kMacro, MacroKey(index), DefMacros[index]);
    if (text.empty()) return;
    if (text.front() == '@') {
      SendFile(text.substr(1));
      return;
    }
    Zeros(text);
    SendNKCharNB(text);
  });
}

void MainForm::SendFile(const std::string& path) {
  TextLines file = ReadTextLines(path);
  // The lines read before a failure stay queued; then the failure is shown.
  for (std::string& line : file.lines) {
    Zeros(line);
    line += '\r';
    SendNKCharNB(line);
    view_.MoveTypingCaretToEnd();
  }
  if (!file.error.empty()) {
    std::string message(kFileError);
    message += file.error;
    view_.ShowMessage(message, "Error");
  }
}

void MainForm::mnuXFile_Click() {
  Guard("mnuXFile_Click", [&] {
    const std::optional<std::string> path = view_.AskOpenFile("Select File", "Text Files|*.txt");
    if (path && !path->empty()) SendFile(*path);
  });
}

void MainForm::mnuXRpt_Click() {
  Guard("mnuXRpt_Click", [&] {
    const std::string copy = lastxmit;
    SendNKCharNB("^9");
    SendNKCharNB(copy);
    SendNKCharNB("^0");
    view_.FocusTypingArea();
  });
}

void MainForm::mnuXSerial_Click() {
  Guard("mnuXSerial_Click", [&] {
    std::string number = FormatSerial(serialno);
    Zeros(number);
    SendWord(number);
    view_.FocusTypingArea();
  });
}

void MainForm::mnuXTime_Click() {
  Guard("mnuXTime_Click", [&] {
    SendWord(XTime(*this));
    view_.FocusTypingArea();
  });
}

void MainForm::mnuIncr_Click() {
  Guard("mnuIncr_Click", [&] {
    if (serialno >= 2147483647L)
      throw Error("the serial number " + std::to_string(serialno) + " cannot be increased");
    ++serialno;
    WriteLong(store_, keys::kSerialNo, serialno);
    view_.SetButtonCaption(6, SerialCaption(serialno, true));
    palette_.InitList();
    view_.FocusTypingArea();
  });
}

void MainForm::mnuSetSerial_Click() {
  Guard("mnuSetSerial_Click", [&] {
    const std::optional<std::string> answer = view_.AskText("Serial Number?");
    if (!answer || answer->empty()) return;
    long value = 0;
    try {
      value = ParseLong(*answer);
    } catch (const Error&) {
      view_.ShowMessage("Invalid Number", "QSOPAD");
      return;
    }
    serialno = value;
    WriteLong(store_, keys::kSerialNo, serialno);
    view_.SetButtonCaption(6, SerialCaption(serialno, false));
    palette_.InitList();
    view_.FocusTypingArea();
  });
}

void MainForm::SetMycall() {
  Guard("SetMycall", [&] {
    const std::optional<std::string> answer = view_.AskText("Set your call sign");
    if (!answer || answer->empty()) return;
    WriteText(store_, keys::kMyCall, *answer);
    mycall = *answer;
    // The button shows the call it sends.
    std::string caption = mycall;
    Zeros(caption);
    view_.SetButtonCaption(3, caption);
    view_.FocusTypingArea();
  });
}

bool MainForm::QueueEndsInMarker() {
  return !sendbuf.empty() && (sendbuf.back() == kTxOffMarker || sendbuf.back() == kCwIdMarker);
}

void MainForm::ShowTransmitCommanded() {
  view_.SetSendButton(false, MainView::SendColour::kRed);
}

void MainForm::SetSerialCaption(const std::string& caption) {
  view_.SetButtonCaption(6, caption);
}

// ---- Keys ----

bool MainForm::OnKeyDown(unsigned vk, int shift) {
  bool swallow = false;
  Guard("Form_KeyDown", [&] {
    if (vk == kVkInsert && shift == 0) {
      station_->RxFrequencyUp();
      swallow = true;
      return;
    }
    if (vk == kVkDelete && shift == 0) {
      station_->RxFrequencyDown();
      swallow = true;
      return;
    }
    if (vk == kVkInsert || vk == kVkDelete) {
      swallow = true;
      return;
    }
    if (shift == 0 && vk >= kVkLeft && vk <= kVkDown && ReadBool(store_, keys::kRetroA)) {
      station_->ArrowKey(vk);
      swallow = true;
      return;
    }
    const bool function_key = vk >= kVkF1 && vk <= kVkF10;
    if (ReadBool(store_, keys::kRetro)) {
      view_.SetMenuVisible(MainView::Menu::kPsk31, false);
      view_.SetMenuVisible(MainView::Menu::kPsk31a, true);
      if (function_key && shift == kCtrlBit) shift = 0;
    }
    if (!function_key || shift > kShiftBit) {
      view_.FocusTypingArea();
      return;
    }
    swallow = true;
    SendMacro(shift != 0 ? static_cast<int>(vk - kVkF1) : static_cast<int>(vk - kVkF1 + 10));
  });
  return swallow;
}

int MainForm::OnKeyPress(int key_ascii) {
  Guard("Form_KeyPress", [&] {
    view_.MoveTypingCaretToEnd();
    if (key_ascii == '\b') {
      if (!sendbuf.empty()) {
        if (sendbuf.back() == '\n') sendbuf.pop_back();
        if (!sendbuf.empty()) sendbuf.pop_back();
        return;
      }
      if (txended) {
        key_ascii = 0;
        return;
      }
    }
    if (key_ascii == '0' && ReadBool(store_, keys::kZero)) key_ascii = kSlashedZero;
    sendbuf += static_cast<char>(key_ascii);
  });
  return key_ascii;
}

// ---- The pump ----

void MainForm::PumpStep() {
  if (sendbuf.empty() || txmode != 1 || !station_->Ready()) return;
  char c = sendbuf.front();
  sendbuf.erase(0, 1);
  if (c == kTxOffMarker || (c == kCwIdMarker && ReadLong(store_, keys::kCw1) == 1)) {
    txmode = 0;
    keyed_ = false;
    txended = true;
    view_.SetSendButton(false, MainView::SendColour::kLightRed);
    station_->EndTransmission(c == kCwIdMarker || ReadBool(store_, keys::kCwid));
    return;
  }
  if (wordbreak && !IsWordEnd(c) &&
      sendbuf.find_first_of(std::string_view(" \t\r\0\x01", 5)) == std::string::npos) {
    sendbuf.insert(sendbuf.begin(), c);
    return;
  }
  txended = false;
  if (static_cast<unsigned char>(c) == kSlashedZero && ReadBool(store_, keys::kZero)) c = '0';
  SendXChars(std::string(1, c));
  lastxmit += c;
}

void MainForm::FullStop() {
  Guard("mnuFullStop_Click", [&] {
    sendbuf.clear();
    txmode = 0;
    keyed_ = false;
    view_.ClearTypingText();
    station_->Abort();
  });
}

void MainForm::ClearBuffer() {
  sendbuf.clear();
  view_.ClearTypingText();
}

// ---- The timer ----

bool MainForm::WatchAttachment() {
  if (station_->Watch()) {
    view_.SetFindWindowEnabled(false);
    const bool retro = ReadBool(store_, keys::kRetro);
    view_.SetMenuEnabled(MainView::Menu::kPsk31, !retro);
    view_.SetMenuEnabled(MainView::Menu::kPsk31a, retro);
    attached_ = true;
    return true;
  }
  view_.SetFindWindowEnabled(true);
  view_.SetMenuEnabled(MainView::Menu::kPsk31, false);
  view_.SetMenuEnabled(MainView::Menu::kPsk31a, false);
  attached_ = false;
  return false;
}

void MainForm::Tick() {
  // After a report the program is ending: its message box must not be joined by others.
  if (reported_) return;
  Guard("Timer1_Timer", [&] {
    bool station_tx = false;
    if (WatchAttachment()) {
      station_tx = station_->Transmitting();
    } else {
      if (txon) Broadcast(0, 0);
      txmode = 0;
      keyed_ = false;
      txon = false;
    }
    if (txmode == 1 || station_tx) {
      txon = true;
    } else if (txmode == 0 && txon && !station_tx) {
      txon = false;
    }
    if (attached_ && txon != lasttx) Broadcast(0, txon ? 1 : 0);
    lasttx = txon;
    if (ticks != 0) {
      --ticks;
    } else {
      RefreshStatus(LocalSeconds(desktop_.Now()));
    }
    if (txmode == 1 && !keyed_ && attached_) {
      keyed_ = true;
      station_->KeyTransmitter();
    }
    PumpStep();
  });
}

void MainForm::RefreshStatus(double now) {
  view_.SetPanelText(MainView::Panel::kTime, Blanked(XTime(*this), true));
  view_.SetPanelText(MainView::Panel::kPsk, station_->ModeName());
  view_.SetStationTrouble(station_->Trouble());
  if (txon) {
    view_.SetPanelEnabled(MainView::Panel::kEt, true);
    view_.SetPanelEnabled(MainView::Panel::kXmit, true);
    if (ReadBool(store_, keys::kTod)) {
      std::string elapsed = FormatElapsed(now - txstart);
      Zeros(elapsed);
      view_.SetPanelText(MainView::Panel::kEt, elapsed);
    }
  } else {
    txstart = now;
    view_.SetPanelEnabled(MainView::Panel::kEt, false);
    view_.SetPanelEnabled(MainView::Panel::kXmit, false);
    view_.SetSendButton(true, MainView::SendColour::kNormal);
  }
  ticks = kRefreshTicks;
}

// ---- Partner state ----

void MainForm::SetOcall(bool xmit) {
  Zeros(ocall);
  view_.SetButtonCaption(4, ocall);
  view_.SetPanelText(MainView::Panel::kOcall, Blanked(ocall, false));
  palette_.InitList();
  if (logwnd != 0 && xmit) SendCopyData(logwnd, Noslash(ocall), kCodeCall);
  Step([&] { station_->SetPartner(Noslash(ocall), Noslash(namebuf)); });
  Step([&] { view_.SetCallsignWindowCall(ocall); });
}

void MainForm::SetNamebuf(bool xmit) {
  view_.SetPanelText(MainView::Panel::kQName, Blanked(namebuf, false));
  palette_.InitList();
  if (logwnd != 0 && xmit) SendCopyData(logwnd, Noslash(namebuf), kCodeName);
  Step([&] { station_->SetPartner(Noslash(ocall), Noslash(namebuf)); });
  Step([&] { view_.SetCallsignWindowName(namebuf); });
}

void MainForm::OnPanelClick(MainView::Panel panel, bool shift_held) {
  Guard("StatusBar1_PanelClick", [&] {
    switch (panel) {
      case MainView::Panel::kOcall:
        if (shift_held) {
          ocall.clear();
          namebuf.clear();
          SetOcall();
          SetNamebuf();
        } else {
          view_.OpenCallsignWindow(false);
        }
        break;
      case MainView::Panel::kQName:
        if (shift_held) {
          namebuf.clear();
          SetNamebuf();
        } else {
          Step([&] { view_.OpenCallsignWindow(true); });
        }
        break;
      case MainView::Panel::kXmit:
        OnButtonClick(txmode != 0 ? 2 : 1);
        break;
      case MainView::Panel::kPsk:
        station_->Press(StationKey::kMode);
        break;
      case MainView::Panel::kTime:
      case MainView::Panel::kEt:
        break;
    }
  });
}

void MainForm::OnPskCommand(PskCommand command, int key) {
  switch (command) {
    case PskCommand::kFunctionKey:
      Guard("mnupsk_Click", [&] { PressStationKey(key); });
      break;
    case PskCommand::kFunctionKeyRetro:
      Guard("mnupska_Click", [&] { PressStationKey(key); });
      break;
    case PskCommand::kSetRx: Guard("mnuSetRX_Click", [&] { station_->SetRxFrequency(); }); break;
    case PskCommand::kRxUp: Guard("mnuFreqplus_Click", [&] { station_->RxFrequencyUp(); }); break;
    case PskCommand::kRxDown:
      Guard("mnuFreqMinus_Click", [&] { station_->RxFrequencyDown(); });
      break;
    case PskCommand::kFind: Guard("mnuFindWin_Click", [&] { AttachStation(); }); break;
    case PskCommand::kSave:
      Guard("mnuSaveWin_Click", [&] { station_->SaveWindowSetup(); });
      break;
  }
}


void MainForm::OnButtonClick(int button) {
  switch (button) {
    case 1: SendNKCharNB("^9"); break;
    case 2: SendNKCharNB("^0"); break;
    case 3: SendWord(mycall); break;
    case 4: SendWord(ocall); break;
    case 5: mnuXTime_Click(); return;
    case 6: mnuXSerial_Click(); return;
    default: return;
  }
  view_.FocusTypingArea();
}

void MainForm::OnButtonRightClick(int button) {
  if (button == 3) SetMycall();
  if (button == 4) view_.OpenCallsignWindow(false);
  if (button == 6) mnuSetSerial_Click();
}

// ---- Other programs ----

void MainForm::Broadcast(std::uintptr_t wparam, std::intptr_t lparam) {
  if (funcmsg == 0) return;
  // One window at a time through the guarded sender rather than HWND_BROADCAST: a program
  // on the desktop that has stopped answering then costs one wait, not one every time.
  for (const WindowHandle window : windows_.TopLevelWindows())
    sender_.Send(window, funcmsg, wparam, lparam, kBroadcastWaitMs);
}

void MainForm::SendCopyData(WindowHandle target, const std::string& text, std::uintptr_t code) {
  const std::string_view bytes(text.data(), std::min(text.size(), kMaxRecordText));
  sender_.SendCopyData(target, view_.Handle(), code, bytes);
}

void MainForm::OnCopyData(std::uintptr_t code, const std::string& text) {
  // Once shutdown has begun, a partner from another program has nowhere to go.
  if (!hooked_ || unloaded_) return;
  Guard("MainWndProc", [&] {
    if (code == kCodeCall) {
      ocall = text;
      SetOcall(false);
    } else if (code == kCodeName) {
      namebuf = text;
      SetNamebuf(false);
    }
  });
}

void MainForm::OnRegisteredMessage(unsigned message, std::uintptr_t wparam,
                                   std::intptr_t lparam) {
  if (!hooked_ || message == 0 || message != logmsg || wparam != kLogHello) return;
  logwnd = static_cast<WindowHandle>(lparam);
  windows_.Post(logwnd, logmsg, kLogAnswer, static_cast<std::intptr_t>(view_.Handle()));
}

// ---- Errors ----

void MainForm::Guard(const char* procedure, const std::function<void()>& action) {
  try {
    action();
  } catch (const Reported&) {
  } catch (const std::exception& e) {
    ReportError(procedure, e.what());
  } catch (...) {
    ReportError(procedure, "unknown error");
  }
}

void MainForm::ReportError(const std::string& procedure, const std::string& description) {
  if (reported_) return;
  reported_ = true;
  // The program ends after the report: never leave the transmitter keyed behind us.
  if (txmode == 1) Step([&] { station_->Release(); });
  reporter_.Report(procedure, description);
}

void MainForm::ShowPskMenus() {
  const bool retro = ReadBool(store_, keys::kRetro);
  view_.SetMenuVisible(MainView::Menu::kPsk31, !retro);
  view_.SetMenuVisible(MainView::Menu::kPsk31a, retro);
}

void MainForm::ReapplyOptions() {
  Guard("mnuOptions_Click", [&] {
    wordbreak = ReadBool(store_, keys::kWordBk);
    std::string caption = mycall;
    Zeros(caption);
    view_.SetButtonCaption(3, caption);
    ShowPskMenus();
    if (station_.Follow()) {
      // What is queued waits for the operator's next Send.
      txmode = 0;
      keyed_ = false;
      AttachStation();
    }
  });
  try {
    palette_.InitList();
  } catch (...) {
  }
}

bool MainForm::LogMenuEnabled() const { return AdifLoggingOn(store_); }

void MainForm::ShowMessage(const std::string& text, const std::string& title) {
  view_.ShowMessage(text, title);
}

std::optional<std::string> MainForm::AskText(const std::string& prompt) {
  return view_.AskText(prompt);
}

void MainForm::FocusTypingArea() { view_.FocusTypingArea(); }

void MainForm::OnStationPartner(const std::string& call, const std::string& name) {
  Guard("OnStationPartner", [&] {
    ocall = call;
    namebuf = name;
    SetOcall();
    SetNamebuf();
  });
}

void MainForm::AttachStation() {
  station_->Attach();
  for (int key = 1; key <= 8; ++key) {
    std::string why;
    const bool offered = station_->Offers(static_cast<StationKey>(key), &why);
    view_.SetStationKey(key, offered, why);
  }
}

void MainForm::PressStationKey(int key) {
  if (key < 1 || key > 8) return;
  station_->Press(static_cast<StationKey>(key));
}

std::optional<LinkHost::Placement> MainForm::NormalPlacementTwips() {
  const std::optional<TwipsRect> r = view_.NormalPlacementTwips();
  if (!r) return std::nullopt;
  return Placement{r->left, r->top, r->width, r->height};
}

}  // namespace qsopad
