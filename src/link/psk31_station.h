// The PSK31 program as a station: the link's window messages behind the station port.
#pragma once

#include "link/psk31_link.h"
#include "station/station.h"

namespace qsopad {

class Psk31Station : public Station {
 public:
  Psk31Station(WindowSystem& windows, SettingsStore& store, LinkHost& host,
               GuardedSender& sender);

  // The PSK31 program's handles: link.mainwnd, link.formwnd, link.memo...
  Psk31Link link;

  void Attach() override { link.AttachPSK31(); }
  bool Watch() override;
  // The Tune button is disabled while the program transmits.
  bool Transmitting() override;
  // The form's caption ends in "[QPSK]" in QPSK mode.
  std::string ModeName() override;
  std::string Trouble() override { return {}; }
  // Typing into the memo starts a transmission: there is no key of its own.
  void KeyTransmitter() override {}
  bool Ready() override { return true; }
  void SendChar(unsigned char c) override { link.SendChar(c); }
  // F6 sends the CW identification and ends the transmission, F5 ends it.
  void EndTransmission(bool cw_id) override;
  // F5 twice: the first may only end the character being sent.
  void Abort() override;
  void Release() override;
  void Press(StationKey key) override { link.PressFunctionKey(static_cast<int>(key)); }
  bool Offers(StationKey, std::string*) override { return true; }
  void SetRxFrequency() override { link.SetRxFrequency(); }
  void RxFrequencyUp() override { link.RxFrequencyUp(); }
  void RxFrequencyDown() override { link.RxFrequencyDown(); }
  void ArrowKey(unsigned vk) override { link.SendMemoKey(vk); }
  // The program keeps no partner.
  void SetPartner(const std::string&, const std::string&) override {}
  void SaveWindowSetup() override { link.SaveWindowSetup(); }
  void Close() override { link.ClosePSK31(); }
  // The PSK31 program goes on with what it was given.
  void Leave() override {}

 private:
  WindowSystem& windows_;
};

// Makes PSK31 stations over a window system, whatever kind is asked for (the unit tests'
// and benchmarks' factory).
class Psk31Stations : public StationFactory {
 public:
  Psk31Stations(WindowSystem& windows, SettingsStore& store) : windows_(windows), store_(store) {}
  std::unique_ptr<Station> Make(StationKind, StationHost& host, GuardedSender& sender) override {
    return std::make_unique<Psk31Station>(windows_, store_, host, sender);
  }

 private:
  WindowSystem& windows_;
  SettingsStore& store_;
};

}  // namespace qsopad
