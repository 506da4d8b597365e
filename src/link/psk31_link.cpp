// Finding, launching and attaching to the PSK31 program, and the menu operations that act
// on it. Every message to it goes through the guarded sender, so a PSK31 program that has
// stopped answering slows these operations down but never freezes us.
#include "link/psk31_link.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <string_view>

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {
namespace {

// The PSK31 program's windows: classes and captions as that program creates them.
constexpr std::string_view kAppClass = "TApplication";
constexpr std::string_view kAppSoundcard = "PSK31 for Windows on the Soundcard";
constexpr std::string_view kAppEvm = "PSK31 for Windows on the EVM";
constexpr std::string_view kFormClass = "TForm1";
constexpr std::string_view kFormSoundcard[] = {"PSK31 SB [BPSK]", "PSK31 SB [QPSK]"};
constexpr std::string_view kFormEvm[] = {"PSK31 EVM [BPSK]", "PSK31 EVM [QPSK]"};
constexpr std::string_view kPanelClass = "TPanel";
constexpr std::string_view kButtonClass = "TButton";
constexpr std::string_view kTuneCaption = "Tune";
constexpr std::string_view kMemoClass = "TMemo";
constexpr std::string_view kGroupBoxClass = "TGroupBox";
constexpr std::string_view kEditClass = "TEdit";
constexpr std::string_view kRxFreqCaption = "Rx Freq Hz";
constexpr std::string_view kTxFreqCaption = "Tx Freq Hz";

constexpr std::string_view kErrorTitle = "Error";
constexpr std::string_view kNoWindow = "Can't find PSK31 window";
constexpr std::string_view kNoPanel = "Can't find PSK31 panel";
constexpr std::string_view kNoTune = "Can't find PSK31 tune button";
constexpr std::string_view kNoMemo = "Can't find PSK31 memo";
constexpr std::string_view kAskRxFrequency = "Enter new RX frequency";

// The frequency box holds up to eight digits; this many backspaces after End clear it.
constexpr int kFrequencyClears = 8;
constexpr std::uintptr_t kBackspace = 8;
constexpr std::uintptr_t kEnter = 13;
// Captions are read as into a 256-character buffer.
constexpr std::size_t kMaxCaption = 255;

// Runs one step of a sequence whose failing steps are skipped: a bad stored value or a
// failed write ends that step only.
template <class Step>
void SkipOnError(Step&& step) {
  try {
    step();
  } catch (const Error&) {
  }
}

void PressKey(GuardedSender& sender, WindowHandle window, unsigned vk) {
  sender.Send(window, kWmKeyDown, vk, 0);
  sender.Send(window, kWmKeyUp, vk, 0);
}

// The edit box inside the group box of this caption; 0 when either is missing.
WindowHandle FindFrequencyBox(WindowSystem& windows, WindowHandle panel, std::string_view caption) {
  const WindowHandle group = windows.FindChild(panel, kGroupBoxClass, caption);
  return windows.FindChild(group, kEditClass, std::nullopt);
}

// Puts the form where the operator last saved it. A stored "PW" of 0, or none, means no
// position was ever saved. Throws Error on a stored value that does not convert; a
// rectangle whose edges do not fit the screen's coordinates counts as such a value.
void PlaceForm(WindowSystem& windows, const SettingsStore& store, WindowHandle form) {
  if (ReadLong(store, keys::kPw, 0) == 0) return;
  if (!ReadBool(store, keys::kSavePos)) return;
  const long long left = ReadLong(store, keys::kPx);
  const long long top = ReadLong(store, keys::kPy);
  const long long right = left + ReadLong(store, keys::kPw);
  const long long bottom = top + ReadLong(store, keys::kPh);
  for (const long long edge : {left, top, right, bottom}) {
    if (edge < INT_MIN || edge > INT_MAX) throw Error("PSK31 window position out of range");
  }
  windows.Move(form, ScreenRect{static_cast<int>(left), static_cast<int>(top),
                                static_cast<int>(right), static_cast<int>(bottom)});
}

void SaveFormPosition(WindowSystem& windows, SettingsStore& store, LinkHost& host, WindowHandle app,
                      WindowHandle form) {
  // A minimised program reports its icon's position, not the form's.
  if (!windows.IsAlive(form) || windows.IsMinimised(app)) return;
  const std::optional<ScreenRect> rect = windows.GetRect(form);
  if (!rect || host.NoPosSave()) return;
  if (rect->left == 0 && rect->right == 0) return;
  WriteLong(store, keys::kPx, rect->left);
  WriteLong(store, keys::kPy, rect->top);
  WriteLong(store, keys::kPh, static_cast<long>(rect->bottom) - rect->top);
  WriteLong(store, keys::kPw, static_cast<long>(rect->right) - rect->left);
}

}  // namespace

Psk31Link::Psk31Link(WindowSystem& windows, SettingsStore& store, LinkHost& host)
    : windows_(windows), store_(store), host_(host), own_sender_(windows), sender_(own_sender_) {}

Psk31Link::Psk31Link(WindowSystem& windows, SettingsStore& store, LinkHost& host,
                     GuardedSender& sender)
    : windows_(windows), store_(store), host_(host), own_sender_(windows), sender_(sender) {}

bool Psk31Link::FindPSK31() {
  bool evm = false;
  mainwnd = windows_.FindTopLevel(kAppClass, kAppSoundcard);
  if (mainwnd == 0) {
    mainwnd = windows_.FindTopLevel(kAppClass, kAppEvm);
    if (mainwnd == 0) return false;  // formwnd keeps its old value
    evm = true;
  }
  const auto& captions = evm ? kFormEvm : kFormSoundcard;
  formwnd = windows_.FindTopLevel(kFormClass, captions[0]);
  if (formwnd == 0) formwnd = windows_.FindTopLevel(kFormClass, captions[1]);
  return true;
}

void Psk31Link::AttachPSK31() {
  if (!FindPSK31()) {
    const std::string path = ReadText(store_, keys::kPath);
    if (const auto pid = windows_.StartProgram(path, StartMode::kMinimisedFocused)) pskpid = *pid;
    // Without the wait the one search that follows would only find a half-started
    // program, so a delay that does not convert waits the usual time instead.
    long delay = 0;
    try {
      delay = ReadLong(store_, keys::kLDelay);
    } catch (const Error&) {
      delay = ParseLong(keys::kLDelay.def);
    }
    windows_.Pause(static_cast<unsigned>(std::max(delay, 0L)));
    FindPSK31();
  }
  if (formwnd == 0) {
    host_.ShowMessage(std::string(kNoWindow), std::string(kErrorTitle));
    return;
  }

  // Searches inside a missing panel find nothing, so a missing panel gives three boxes.
  panelwnd = windows_.FindChild(formwnd, kPanelClass, std::nullopt);
  if (panelwnd == 0) host_.ShowMessage(std::string(kNoPanel), std::string(kErrorTitle));
  tunewnd = windows_.FindChild(panelwnd, kButtonClass, kTuneCaption);
  if (tunewnd == 0) host_.ShowMessage(std::string(kNoTune), std::string(kErrorTitle));
  memo = windows_.FindChild(panelwnd, kMemoClass, std::nullopt);
  if (memo == 0) host_.ShowMessage(std::string(kNoMemo), std::string(kErrorTitle));
  rxfreqwnd = FindFrequencyBox(windows_, panelwnd, kRxFreqCaption);
  txfreqwnd = FindFrequencyBox(windows_, panelwnd, kTxFreqCaption);

  SkipOnError([this] { PlaceForm(windows_, store_, formwnd); });

  // Joining the PSK31 program's input lets us set the focus inside its windows.
  const WindowSystem::Owner owner = windows_.OwnerOf(formwnd);
  pskthread = owner.thread;
  if (owner.thread != 0) {
    pskpid = owner.process;
    windows_.AttachInputTo(owner.thread);
  }

  windows_.SetForeground(formwnd);
  host_.FocusTypingArea();
}

void Psk31Link::SendKey(unsigned vk) { PressKey(sender_, panelwnd, vk); }

std::string Psk31Link::WindowText(WindowHandle window) {
  const std::string text = windows_.GetText(window);
  return text.substr(0, std::min(text.find('\0'), kMaxCaption));
}

void Psk31Link::PressFunctionKey(int index) {
  if (index < 1 || index > 8) return;
  SendKey(kVkF1 - 1 + static_cast<unsigned>(index));
}

void Psk31Link::SetRxFrequency() {
  const std::optional<std::string> answer = host_.AskText(std::string(kAskRxFrequency));
  if (!answer || answer->empty()) return;
  // Focusing window 0 would take the focus from every window; without the box the
  // answer goes nowhere anyway.
  if (rxfreqwnd != 0) windows_.SetFocus(rxfreqwnd);
  PressKey(sender_, rxfreqwnd, kVkEnd);
  for (int i = 0; i < kFrequencyClears; ++i) sender_.Send(rxfreqwnd, kWmChar, kBackspace, 0);
  for (const char c : *answer) sender_.Send(rxfreqwnd, kWmChar, static_cast<unsigned char>(c), 0);
  sender_.Send(rxfreqwnd, kWmChar, kEnter, 0);
  host_.FocusTypingArea();
}

void Psk31Link::RxFrequencyUp() { PressKey(sender_, memo, kVkRight); }

void Psk31Link::RxFrequencyDown() { PressKey(sender_, memo, kVkLeft); }

void Psk31Link::SendMemoKey(unsigned vk) { PressKey(sender_, memo, vk); }

void Psk31Link::SaveWindowSetup() {
  SaveMainPlacement(store_, host_);
  SkipOnError([this] { SaveFormPosition(windows_, store_, host_, mainwnd, formwnd); });
}

void Psk31Link::ClosePSK31() { sender_.Send(formwnd, kWmClose, 0, 0); }

void Psk31Link::SendChar(unsigned char c) { sender_.Send(memo, kWmChar, c, 0); }

}  // namespace qsopad
