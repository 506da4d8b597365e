// The station: the modem program that QSOPAD drives, seen from the operator's road. The
// send queue, the pump, the macros, the status bar and the messages to other programs talk
// to this port only; one implementation drives the PSK31 program through its windows,
// another fldigi through its XML-RPC interface.
//
// Every call returns at once: none may keep the window's thread waiting longer than a
// timer tick. A station that must ask another program over a slow road queues the
// request and finishes it in later calls of Watch().
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace qsopad {

class GuardedSender;
class SettingsStore;

// What a station asks of the main window and of the operator.
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

// A station's host also hears what happens at the station on its own.
class StationHost : public LinkHost {
 public:
  // The operator picked a partner at the station (a click on a call in its receive pane):
  // it becomes QSOPAD's partner, with the name the station has for it (perhaps none).
  virtual void OnStationPartner(const std::string& call, const std::string& name) = 0;
};

// The PSK31 program's eight function keys, and what each means at any station.
enum class StationKey {
  kMode = 1,  // BPSK/QPSK
  kSquelch,
  kAfc,
  kNet,
  kTxOff,
  kCwId,
  kCq,
  kTune,
};

class Station {
 public:
  virtual ~Station() = default;

  // Finds the station, starting it when nothing answers, and attaches to it. Failing steps
  // are skipped; what is missing is told to the operator.
  virtual void Attach() = 0;
  // First thing every tick: does the station's own work of the tick and answers whether it
  // is attached and alive.
  virtual bool Watch() = 0;
  // Whether the station transmits by its own account (also a transmission started there).
  // Asked only while Watch() answers true.
  virtual bool Transmitting() = 0;
  // The mode for the status panel: "BPSK", "QPSK", or the station's own name of another.
  virtual std::string ModeName() = 0;
  // What the status bar should say about the station beyond its mode ("" when all is well),
  // such as why it does not answer.
  virtual std::string Trouble() = 0;

  // The operator commanded transmission: key the transmitter for the text that follows.
  virtual void KeyTransmitter() = 0;
  // Whether the station takes a character now. While it does not, characters stay in the
  // send queue, so that none is lost when the station cannot be reached.
  virtual bool Ready() = 0;
  // Hands over one character that became due.
  virtual void SendChar(unsigned char c) = 0;
  // Back to receive once what was handed over has gone out; with `cw_id` after the CW
  // identification.
  virtual void EndTransmission(bool cw_id) = 0;
  // "Full Stop": stop transmitting at once and drop what was handed over.
  virtual void Abort() = 0;
  // The program ends on an error: a transmitter that QSOPAD keyed is released now.
  virtual void Release() = 0;

  // One of the operator keys of the "&PSK31" menus and the mode panel.
  virtual void Press(StationKey key) = 0;
  // Whether `key` means anything at this station; when not, `why` says so for the menu.
  virtual bool Offers(StationKey key, std::string* why) = 0;
  // Asks the operator for a receive frequency and sets it.
  virtual void SetRxFrequency() = 0;
  // One step of the receive frequency up (Insert) or down (Delete).
  virtual void RxFrequencyUp() = 0;
  virtual void RxFrequencyDown() = 0;
  // An arrow key typed with option "RetroA": the PSK31 program's own meaning.
  virtual void ArrowKey(unsigned vk) = 0;

  // The partner's call and name, where the station keeps them.
  virtual void SetPartner(const std::string& call, const std::string& name) = 0;

  // "Save &Window Setup": the main window's placement and where the station's window
  // stands.
  virtual void SaveWindowSetup() = 0;
  // Shutdown with option "Close": closes the station program.
  virtual void Close() = 0;
  // QSOPAD ends: a transmission it keyed and never told to end goes back to receive once
  // its text has gone. May take a moment, never long.
  virtual void Leave() = 0;
};

// Which station the settings choose.
enum class StationKind { kPsk31, kFldigi };
// Reads "Opt"/"Station": "fldigi" in any letter case chooses fldigi, anything else the
// PSK31 program (also a value that cannot be read).
StationKind ReadStationKind(const SettingsStore& store);
// What a change of which makes a new station: the kind, and for fldigi its address.
std::string StationIdentity(const SettingsStore& store);

// Builds the station of a kind; the shell knows the platform each one needs.
class StationFactory {
 public:
  virtual ~StationFactory() = default;
  // `sender` is the main window's guarded sender, shared so that a program that has stopped
  // answering is known to be so on every road.
  virtual std::unique_ptr<Station> Make(StationKind kind, StationHost& host,
                                        GuardedSender& sender) = 0;
};

// The station the settings choose, made anew when they come to choose another.
class ChosenStation {
 public:
  ChosenStation(StationFactory& factory, SettingsStore& store, StationHost& host,
                GuardedSender& sender);
  Station* operator->() const { return station_.get(); }
  Station& operator*() const { return *station_; }
  // After the settings changed: true when they choose another station (or fldigi at another
  // address), which is then made, not yet attached; the one before has let go of a
  // transmitter it keyed.
  bool Follow();

 private:
  StationFactory& factory_;
  SettingsStore& store_;
  StationHost& host_;
  GuardedSender& sender_;
  std::string identity_;
  std::unique_ptr<Station> station_;
};

// The main window's placement, written to "Win" whatever nopossave says (failing writes
// skipped): the first half of "Save &Window Setup" at any station.
void SaveMainPlacement(SettingsStore& store, LinkHost& host);

}  // namespace qsopad
