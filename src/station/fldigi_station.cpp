#include "station/fldigi_station.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "common/error.h"
#include "link/window_system.h"
#include "options/settings_catalogue.h"
#include "options/settings_values.h"
#include "station/cp1252.h"

namespace qsopad {
namespace {

constexpr char kAskRxFrequency[] = "Enter new RX frequency";
// In fldigi's transmit text "^" and one of these letters is a command ("^r": back to
// receive when the text has gone); "^" and any other character go out as they stand, both
// of them, which is also how "^^" goes out.
constexpr char kCommandLetters[] = "rRpLC!ai";

bool IsCommandLetter(unsigned char c) {
  return c != 0 && std::strchr(kCommandLetters, static_cast<char>(c)) != nullptr;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A UTF-8 lead byte's sequence length; 1 for anything else.
std::size_t Utf8Length(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

}  // namespace

FldigiStation::FldigiStation(Platform platform, SettingsStore& store, StationHost& host)
    : platform_(std::move(platform)), store_(store), host_(host) {
  settings_.address = ReadText(store_, keys::kFldigiAddress);
  // A port that cannot be used is told in the status bar, and the usual one is tried.
  const std::string port = ReadText(store_, keys::kFldigiPort);
  long number = 0;
  try {
    number = ParseLong(port);
  } catch (const Error&) {
  }
  if (number >= 1 && number <= 65535) {
    settings_.port = static_cast<std::uint16_t>(number);
  } else {
    settings_.port = static_cast<std::uint16_t>(ParseLong(keys::kFldigiPort.def));
    setting_trouble_ = "fldigi's port \"" + port + "\" (Opt, FldigiPort) is not a port number (1 to 65535); trying " +
                       std::string(keys::kFldigiPort.def);
  }
  settings_.path = "/RPC2";
  NewChannel();
}

FldigiStation::~FldigiStation() = default;

void FldigiStation::NewChannel() {
  // Calls of the old channel are dropped without their callbacks: nothing they would tell
  // applies to the new one.
  rpc_ = std::make_unique<RpcChannel>(*platform_.net, settings_);
  hand_over_in_flight_ = false;
  state_asked_ = log_asked_ = modem_asked_ = false;
}

void FldigiStation::Call(std::string method, std::vector<XmlRpcValue> params,
                         RpcChannel::Done done) {
  rpc_->Call(std::move(method), std::move(params), std::move(done));
}

void FldigiStation::Urgent(std::string method, std::vector<XmlRpcValue> params,
                           RpcChannel::Done done) {
  rpc_->CallAhead(std::move(method), std::move(params), std::move(done));
}

void FldigiStation::Pump() { rpc_->Poll(Now()); }

// ---- Attaching and watching ----

void FldigiStation::Attach() {
  // A fresh channel: no wait left over from an earlier failure delays the first try.
  NewChannel();
  heard_ = false;
  Call("fldigi.version", {}, [this](const RpcResult& r) {
    if (r.outcome != RpcResult::Outcome::kFailed || launched_) return;
    // Nothing answers: start fldigi when "PSK31 Path" names it.
    const std::string path = ReadText(store_, keys::kPath);
    if (Lower(path).find("fldigi") == std::string::npos) return;
    launched_ = true;
    platform_.windows.StartProgram(path, StartMode::kMinimisedFocused);
  });
  Pump();
}

bool FldigiStation::Watch() {
  const std::int64_t now = Now();
  AskState(now);
  KeyWhenReady();
  HandOver();
  Pump();
  // Silence since the last answer: the next answer is a return.
  if (!rpc_->status().empty()) heard_ = false;
  answering_ = rpc_->status().empty() && heard_;
  return answering_;
}

void FldigiStation::AskState(std::int64_t now) {
  if (!state_asked_ && now >= state_at_) {
    state_asked_ = true;
    state_at_ = now + kStateEveryMs;
    Call("main.get_trx_state", {}, [this](const RpcResult& r) {
      state_asked_ = false;
      if (r.outcome != RpcResult::Outcome::kAnswered) return;
      Answered();
      if (r.value.type() == XmlRpcValue::Type::kString) trx_ = r.value.AsString();
    });
  }
  if (!modem_asked_ && now >= modem_at_) {
    modem_asked_ = true;
    modem_at_ = now + kModemEveryMs;
    Call("modem.get_name", {}, [this](const RpcResult& r) {
      modem_asked_ = false;
      if (r.outcome == RpcResult::Outcome::kAnswered &&
          r.value.type() == XmlRpcValue::Type::kString)
        modem_ = r.value.AsString();
    });
  }
  if (!log_asked_ && now >= log_at_) {
    log_asked_ = true;
    log_at_ = now + kLogEveryMs;
    auto call = std::make_shared<std::optional<std::string>>();
    Call("log.get_call", {}, [this, call](const RpcResult& r) {
      if (r.outcome == RpcResult::Outcome::kAnswered &&
          r.value.type() == XmlRpcValue::Type::kString)
        *call = FromFldigi(r.value.AsString());
    });
    Call("log.get_name", {}, [this, call](const RpcResult& r) {
      log_asked_ = false;
      if (*call && r.outcome == RpcResult::Outcome::kAnswered &&
          r.value.type() == XmlRpcValue::Type::kString)
        TakeLogFields(**call, FromFldigi(r.value.AsString()));
    });
  }
}

void FldigiStation::Answered() {
  if (heard_) return;
  heard_ = true;
  // fldigi answers again after a spell of silence. A transmitter we had keyed and not
  // handed the return to receive would stay keyed: take it back now.
  // What we had not yet handed over stays ours, for the operator's next Send.
  if (keyed_) {
    keyed_ = false;
    Urgent("main.abort", {});
    Urgent("text.clear_tx", {});
  }
}

void FldigiStation::TakeLogFields(const std::string& call, const std::string& name) {
  if (Now() < echo_until_) {
    // fldigi may still show what was there before our own change.
    if (call != set_call_ || name != set_name_) return;
    echo_until_ = 0;
  }
  if (call == log_call_ && name == log_name_) return;
  log_call_ = call;
  log_name_ = name;
  if (call.empty() || (call == set_call_ && name == set_name_)) return;
  // The operator picked a partner in fldigi. What the program then tells us back is ours.
  set_call_ = call;
  set_name_ = name;
  host_.OnStationPartner(call, name);
}

bool FldigiStation::Transmitting() { return trx_ == "TX" || trx_ == "TUNE"; }

std::string FldigiStation::ModeName() {
  if (modem_ == "BPSK31") return "BPSK";
  if (modem_ == "QPSK31") return "QPSK";
  return modem_;
}

std::string FldigiStation::Trouble() {
  if (!rpc_->status().empty()) return rpc_->status();
  return setting_trouble_;
}

// ---- The transmit road ----

void FldigiStation::KeyTransmitter() {
  keyed_ = true;
  key_wanted_ = true;
  key_since_ = Now();
  KeyWhenReady();
  Pump();
}

// fldigi still finishes a transmission for about a second after it says RX, and a main.tx
// sent then is lost (right after main.abort it even leaves fldigi stuck there): key only
// once its status says "rx", and nudge it with main.rx when that does not come.
void FldigiStation::KeyWhenReady() {
  if (!key_wanted_ || key_asked_) return;
  key_asked_ = true;
  Urgent("main.get_trx_status", {}, [this](const RpcResult& r) {
    key_asked_ = false;
    if (!key_wanted_ || r.outcome != RpcResult::Outcome::kAnswered ||
        r.value.type() != XmlRpcValue::Type::kString)
      return;
    const std::string status = r.value.AsString();
    if (status == "tx" && trx_ == "TX") {
      key_wanted_ = false;  // transmitting already
    } else if (status == "rx") {
      key_wanted_ = false;
      Urgent("main.tx", {});
    } else if (Now() - key_since_ > kStuckMs) {
      key_since_ = Now();
      Urgent("main.rx", {});
    }
  });
}

bool FldigiStation::Ready() { return answering_ && outgoing_.size() < kMaxOutgoing; }

void FldigiStation::SendChar(unsigned char c) {
  AppendText(c);
  HandOver();
  Pump();
}

void FldigiStation::AppendText(unsigned char c) {
  if (c == '\n' && last_cr_) {
    last_cr_ = false;
    return;
  }
  last_cr_ = c == '\r';
  // fldigi sends "\n" as CR LF, the line end of the air.
  if (c == '\r') c = '\n';
  std::string piece;
  if (platform_.codec.Utf8()) {
    utf8_partial_ += static_cast<char>(c);
    if (utf8_partial_.size() < Utf8Length(static_cast<unsigned char>(utf8_partial_[0]))) return;
    piece = ToFldigi(utf8_partial_);
    utf8_partial_.clear();
  } else {
    piece = ToFldigi(std::string(1, static_cast<char>(c)));
  }
  // Keep the operator's "^" from starting one of fldigi's commands: a pair that would is
  // closed with a second "^" first (fldigi then sends both carets, and the letter).
  for (const char ch : piece) {
    const auto u = static_cast<unsigned char>(ch);
    if (caret_open_) {
      if (IsCommandLetter(u)) outgoing_ += '^';
      outgoing_ += ch;
      caret_open_ = false;
    } else {
      outgoing_ += ch;
      caret_open_ = ch == '^';
    }
  }
}

void FldigiStation::AppendControl(const char* code) {
  // A "^" left open would pair with the command's own and send it as text.
  if (caret_open_) outgoing_ += ' ';
  caret_open_ = false;
  outgoing_ += code;
}

void FldigiStation::HandOver() {
  // Nothing goes to a fldigi not heard since it was silent: its first answer may call for
  // taking back a transmitter, which must come before any new text.
  if (hand_over_in_flight_ || outgoing_.empty() || !heard_) return;
  hand_over_in_flight_ = true;
  std::string text = std::move(outgoing_);
  outgoing_.clear();
  Urgent("text.add_tx", {XmlRpcValue::String(text)}, [this, text](const RpcResult& r) {
    hand_over_in_flight_ = false;
    // Not handed over: it goes again, ahead of what came since. Handed over but not
    // answered: fldigi took it (it acts on a call before answering), so it is not sent twice.
    if (r.outcome == RpcResult::Outcome::kFailed && !r.maybe_done) outgoing_.insert(0, text);
  });
}

void FldigiStation::EndTransmission(bool) {
  // A key still wanted stays wanted: the text and its "^r" go out once fldigi is ready (a
  // word and Rcv typed right after Send, or a macro that does both).
  // fldigi has no command for a CW identification: with one set up in fldigi it sends it
  // at the end of every transmission itself.
  AppendControl("^r");
  keyed_ = false;
  HandOver();
  Pump();
}

void FldigiStation::Abort() {
  key_wanted_ = false;
  outgoing_.clear();
  utf8_partial_.clear();
  caret_open_ = false;
  keyed_ = false;
  Urgent("main.abort", {});
  Urgent("text.clear_tx", {});
  Pump();
}

void FldigiStation::Release() {
  if (!keyed_) return;
  Abort();
  Drain(kLastWordsMs);
}

void FldigiStation::Drain(std::int64_t limit_ms) {
  const std::int64_t until = Now() + limit_ms;
  while (rpc_->pending() > 0 && Now() < until) {
    Pump();
    if (rpc_->pending() > 0) platform_.windows.Pause(5);
  }
}

// ---- The operator's keys ----

bool FldigiStation::Offers(StationKey key, std::string* why) {
  const char* reason = nullptr;
  switch (key) {
    case StationKey::kCwId:
      reason = "not with fldigi: set up its own CW ID, sent after each transmission";
      break;
    case StationKey::kCq:
      reason = "not with fldigi: send a CQ macro instead";
      break;
    default:
      return true;
  }
  if (why) *why = reason;
  return false;
}

void FldigiStation::Press(StationKey key) {
  switch (key) {
    case StationKey::kMode: {
      // A mode change moves fldigi's carrier to its sweet spot: keep the operator's.
      const std::string next = modem_ == "QPSK31" ? "BPSK31" : "QPSK31";
      Call("modem.get_carrier", {}, [this, next](const RpcResult& r) {
        Call("modem.set_by_name", {XmlRpcValue::String(next)});
        if (r.outcome == RpcResult::Outcome::kAnswered && r.value.type() == XmlRpcValue::Type::kInt)
          Call("modem.set_carrier", {XmlRpcValue::Int(r.value.AsInt())});
        modem_at_ = 0;
      });
      break;
    }
    case StationKey::kSquelch: Call("main.toggle_squelch", {}); break;
    case StationKey::kAfc: Call("main.toggle_afc", {}); break;
    // The transmit-frequency lock holds the transmit frequency while the receive frequency
    // moves: what "Net" asks of the PSK31 program.
    case StationKey::kNet: Call("main.toggle_lock", {}); break;
    case StationKey::kTxOff:
      if (trx_ == "TUNE") {
        Call("main.abort", {});
      } else {
        EndTransmission(false);
      }
      break;
    case StationKey::kTune:
      Call(trx_ == "TUNE" ? "main.abort" : "main.tune", {});
      break;
    case StationKey::kCwId:
    case StationKey::kCq: break;
  }
  state_at_ = 0;
  Pump();
}

void FldigiStation::SetRxFrequency() {
  const std::optional<std::string> answer = host_.AskText(kAskRxFrequency);
  if (!answer || answer->empty()) return;
  long hz = 0;
  try {
    hz = ParseLong(*answer);
  } catch (const Error&) {
    hz = 0;
  }
  if (hz < 1 || hz > 20000) {
    host_.ShowMessage("\"" + *answer + "\" is not a receive frequency in Hz (1 to 20000)",
                      "Error");
    return;
  }
  Call("modem.set_carrier", {XmlRpcValue::Int(static_cast<std::int32_t>(hz))});
  Pump();
  host_.FocusTypingArea();
}

void FldigiStation::RxFrequencyUp() {
  Call("modem.inc_carrier", {XmlRpcValue::Int(1)});
  Pump();
}

void FldigiStation::RxFrequencyDown() {
  Call("modem.inc_carrier", {XmlRpcValue::Int(-1)});
  Pump();
}

void FldigiStation::ArrowKey(unsigned vk) {
  if (vk == kVkRight) RxFrequencyUp();
  if (vk == kVkLeft) RxFrequencyDown();
}

// ---- The partner ----

void FldigiStation::SetPartner(const std::string& call, const std::string& name) {
  bool changed = false;
  if (call != set_call_) {
    set_call_ = call;
    Call("log.set_call", {XmlRpcValue::String(ToFldigi(call))});
    changed = true;
  }
  if (name != set_name_) {
    set_name_ = name;
    Call("log.set_name", {XmlRpcValue::String(ToFldigi(name))});
    changed = true;
  }
  if (!changed) return;
  echo_until_ = Now() + kEchoMs;
  Pump();
}

// ---- Setup and shutdown ----

void FldigiStation::SaveWindowSetup() { SaveMainPlacement(store_, host_); }

void FldigiStation::Close() {
  // Options, log and macros saved (bits 0 to 2).
  Call("fldigi.terminate", {XmlRpcValue::Int(7)});
  Drain(kLastWordsMs);
}

void FldigiStation::Leave() {
  if (!keyed_) return;
  EndTransmission(false);
  Drain(kLastWordsMs);
}

std::string FldigiStation::ToFldigi(const std::string& text) const {
  return platform_.codec.ToUtf8(text);
}

std::string FldigiStation::FromFldigi(const std::string& text) const {
  return platform_.codec.FromUtf8(text);
}

std::string Cp1252Codec::ToUtf8(std::string_view text) const { return Cp1252ToUtf8(text); }

std::string Cp1252Codec::FromUtf8(std::string_view text) const { return Utf8ToCp1252(text); }

}  // namespace qsopad
