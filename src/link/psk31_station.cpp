#include "link/psk31_station.h"

namespace qsopad {
namespace {

constexpr unsigned kVkF5 = 116, kVkF6 = 117;

}  // namespace

Psk31Station::Psk31Station(WindowSystem& windows, SettingsStore& store, LinkHost& host,
                           GuardedSender& sender)
    : link(windows, store, host, sender), windows_(windows) {}

bool Psk31Station::Watch() { return windows_.IsAlive(link.formwnd); }

bool Psk31Station::Transmitting() { return !windows_.IsEnabled(link.tunewnd); }

std::string Psk31Station::ModeName() {
  const std::string caption = link.WindowText(link.formwnd);
  const bool qpsk = caption.size() >= 6 && caption.compare(caption.size() - 6, 6, "[QPSK]") == 0;
  return qpsk ? "QPSK" : "BPSK";
}

void Psk31Station::EndTransmission(bool cw_id) { link.SendKey(cw_id ? kVkF6 : kVkF5); }

void Psk31Station::Abort() {
  link.SendKey(kVkF5);
  link.SendKey(kVkF5);
}

void Psk31Station::Release() { link.SendKey(kVkF5); }

}  // namespace qsopad
