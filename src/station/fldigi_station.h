// fldigi as a station: the operator road over fldigi's XML-RPC interface.
//
// Nothing here waits: calls queue in the channel and complete in later ticks. What fldigi
// says (transmit state, modem, the log's call and name) is asked for every few ticks and
// kept; the operator's characters go over as they become due. A character that could not
// be handed over stays with us, and while fldigi does not answer the station takes none,
// so the send queue keeps them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "station/net_port.h"
#include "station/rpc_channel.h"
#include "station/station.h"

namespace qsopad {

class SettingsStore;
class WindowSystem;

// Milliseconds on a clock that only moves forward.
class MonotonicClock {
 public:
  virtual ~MonotonicClock() = default;
  virtual std::int64_t NowMs() = 0;
};

// The program's text (single bytes of the ANSI code page, or UTF-8 where that is the
// code page) to fldigi's UTF-8 and back.
class TextCodec {
 public:
  virtual ~TextCodec() = default;
  // True when the program's text is UTF-8 already: a character may then arrive in pieces.
  virtual bool Utf8() const = 0;
  virtual std::string ToUtf8(std::string_view text) const = 0;
  // A character the code page cannot hold becomes "?".
  virtual std::string FromUtf8(std::string_view text) const = 0;
};

// Windows-1252, the code page of most operators' systems (and of the tests).
class Cp1252Codec : public TextCodec {
 public:
  bool Utf8() const override { return false; }
  std::string ToUtf8(std::string_view text) const override;
  std::string FromUtf8(std::string_view text) const override;
};

class FldigiStation : public Station {
 public:
  struct Platform {
    std::unique_ptr<NetPort> net;
    MonotonicClock& clock;
    // Starting fldigi, and the short waits of the last words at shutdown.
    WindowSystem& windows;
    const TextCodec& codec;
  };
  // How often fldigi's state is asked for.
  static constexpr std::int64_t kStateEveryMs = 250;
  static constexpr std::int64_t kLogEveryMs = 500;
  static constexpr std::int64_t kModemEveryMs = 1000;
  // A call of ours that fldigi's log fields may not show yet (its setters are queued to its
  // window thread): what it says meanwhile is not taken for the operator's pick.
  static constexpr std::int64_t kEchoMs = 2000;
  // How long the last words (releasing the transmitter, closing fldigi) may keep the
  // program from ending.
  static constexpr std::int64_t kLastWordsMs = 400;
  // Characters taken but not yet answered for, at most.
  static constexpr std::size_t kMaxOutgoing = 64;
  // How long fldigi may say neither "rx" nor "tx" before it is nudged back to receive.
  static constexpr std::int64_t kStuckMs = 1500;

  FldigiStation(Platform platform, SettingsStore& store, StationHost& host);
  ~FldigiStation() override;

  void Attach() override;
  bool Watch() override;
  bool Transmitting() override;
  std::string ModeName() override;
  std::string Trouble() override;
  void KeyTransmitter() override;
  bool Ready() override;
  void SendChar(unsigned char c) override;
  void EndTransmission(bool cw_id) override;
  void Abort() override;
  void Release() override;
  void Press(StationKey key) override;
  bool Offers(StationKey key, std::string* why) override;
  void SetRxFrequency() override;
  void RxFrequencyUp() override;
  void RxFrequencyDown() override;
  void ArrowKey(unsigned vk) override;
  void SetPartner(const std::string& call, const std::string& name) override;
  void SaveWindowSetup() override;
  void Close() override;
  void Leave() override;

  // What the station believes of fldigi (tests, the status bar).
  const std::string& trx_state() const { return trx_; }
  const std::string& modem() const { return modem_; }

 private:
  std::int64_t Now() { return platform_.clock.NowMs(); }
  void NewChannel();
  void Call(std::string method, std::vector<XmlRpcValue> params, RpcChannel::Done done = {});
  // Ahead of the polls: what the operator waits for.
  void Urgent(std::string method, std::vector<XmlRpcValue> params, RpcChannel::Done done = {});
  // Moves the calls on; at most once per tick from Watch, and after queueing a hand-over.
  void Pump();
  void AskState(std::int64_t now);
  void HandOver();
  void KeyWhenReady();
  // The program's text to fldigi's (UTF-8) and back.
  std::string ToFldigi(const std::string& text) const;
  std::string FromFldigi(const std::string& text) const;
  // Appends one character of the operator's text, as fldigi's transmit text must hold it.
  void AppendText(unsigned char c);
  void AppendControl(const char* code);
  void Answered();
  void TakeLogFields(const std::string& call, const std::string& name);
  // Runs the channel for at most `limit_ms` while calls are queued.
  void Drain(std::int64_t limit_ms);

  Platform platform_;
  SettingsStore& store_;
  StationHost& host_;
  RpcChannel::Settings settings_;
  std::unique_ptr<RpcChannel> rpc_;
  std::string setting_trouble_;

  // fldigi's state as last heard.
  bool answering_ = false;
  bool heard_ = false;  // answered since the last attach
  std::string trx_ = "RX", modem_;
  std::string log_call_, log_name_;  // the log fields as last read (program's text)
  std::string set_call_, set_name_;  // what we last put there
  std::int64_t echo_until_ = 0;
  std::int64_t state_at_ = 0, log_at_ = 0, modem_at_ = 0;
  bool state_asked_ = false, log_asked_ = false, modem_asked_ = false;

  // The transmit road.
  std::string outgoing_;      // fldigi's transmit text not yet handed over (UTF-8)
  std::string utf8_partial_;  // a UTF-8 character still arriving byte by byte
  bool hand_over_in_flight_ = false;
  bool caret_open_ = false;  // the text handed over ends in a "^" that starts a pair
  bool last_cr_ = false;
  // QSOPAD keyed fldigi and has not yet handed over the return to receive.
  bool keyed_ = false;
  bool key_wanted_ = false, key_asked_ = false;
  std::int64_t key_since_ = 0;
  bool launched_ = false;
};

}  // namespace qsopad
