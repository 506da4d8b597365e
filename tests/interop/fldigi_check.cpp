// Drives a running fldigi through the program's own XML-RPC channel and POSIX sockets, and
// checks what the station relies on: answers and faults, the modem switch, the log fields
// with Windows-1252 text and XML's special characters, text handed over and read back as
// transmitted (UTF-8 through text.add_tx; single bytes and no control codes through
// text.add_tx_queu), an abort, and one kept-alive connection for everything.
//   fldigi_check PORT        (scripts/fldigi.sh start null gives a fldigi to check)
// Prints a line per check and "N passed, N failed"; exits 0 when all passed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "common/error.h"
#include "station/cp1252.h"
#include "station/net_posix.h"
#include "station/rpc_channel.h"

using namespace qsopad;

namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Show(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    char hex[8];
    std::snprintf(hex, sizeof hex, c >= 32 && c < 127 && c != '\\' ? "%c" : "\\x%02X", c);
    out += hex;
  }
  return "\"" + out + "\"";
}

class Fldigi {
 public:
  explicit Fldigi(std::uint16_t port) : channel_(net_, Settings(port)) {}

  RpcResult Run(const std::string& method, std::vector<XmlRpcValue> params = {}) {
    RpcResult out;
    bool done = false;
    channel_.Call(method, std::move(params), [&](const RpcResult& r) { out = r, done = true; });
    while (!done) {
      channel_.Poll(NowMs());
      if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return out;
  }
  XmlRpcValue Value(const std::string& method, std::vector<XmlRpcValue> params = {}) {
    const RpcResult r = Run(method, std::move(params));
    if (r.outcome == RpcResult::Outcome::kFault)
      throw Error(method + ": fault " + std::to_string(r.fault.code) + " " + r.fault.text);
    if (r.outcome == RpcResult::Outcome::kFailed) throw Error(method + ": " + r.error);
    return r.value;
  }
  // Polls `probe` every 20 ms until it holds; false after `limit_ms`.
  static bool WaitUntil(const std::function<bool()>& probe, int limit_ms) {
    for (const std::int64_t end = NowMs() + limit_ms; NowMs() < end;) {
      if (probe()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return probe();
  }
  // Waits until fldigi has finished with the last transmission. For about a second after
  // it reports receive again its status still says "tx", and a main.tx then is lost; one
  // right after main.abort leaves it there until main.rx.
  void WaitForReceive() {
    if (WaitUntil([&] { return Value("main.get_trx_status").AsString() == "rx"; }, 3000)) return;
    Value("main.rx");
    WaitUntil([&] { return Value("main.get_trx_status").AsString() == "rx"; }, 3000);
  }
  // Hands `text` over with `method`, keys the transmitter and collects what fldigi
  // transmits until it is back in receive. main.tx is carried out by fldigi's window
  // thread, later: wait for transmit first (5 s at most), then for receive (30 s).
  std::string Transmit(const std::string& method, const XmlRpcValue& text) {
    WaitForReceive();
    Value("text.clear_tx");
    Value("tx.get_data");
    Value(method, {text});
    Value("main.tx");
    std::string sent;
    for (const auto& [state, limit] : {std::pair{"TX", 5000}, std::pair{"RX", 30000}}) {
      WaitUntil(
          [&] {
            sent += Value("tx.get_data").AsBytes();
            return Value("main.get_trx_state").AsString() == state;
          },
          limit);
    }
    return sent + Value("tx.get_data").AsBytes();
  }
  const RpcChannel& channel() const { return channel_; }

 private:
  static RpcChannel::Settings Settings(std::uint16_t port) {
    RpcChannel::Settings s;
    s.port = port;
    s.call_limit_ms = 3000;
    return s;
  }
  PosixNetPort net_;
  RpcChannel channel_;
};

int passed = 0, failed = 0;

void Check(const char* name, const std::function<std::string()>& body) {
  std::string detail;
  bool ok = false;
  try {
    detail = body();
    ok = detail.rfind("ok", 0) == 0;
  } catch (const std::exception& e) {
    detail = e.what();
  }
  (ok ? passed : failed)++;
  std::printf("  %s  %s: %s\n", ok ? "pass" : "FAIL", name, detail.c_str());
  std::fflush(stdout);
}

std::string Verdict(bool ok, const std::string& detail) { return (ok ? "ok, " : "wrong, ") + detail; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fldigi_check PORT\n");
    return 2;
  }
  Fldigi f(static_cast<std::uint16_t>(std::atoi(argv[1])));
  using V = XmlRpcValue;

  Check("fldigi.version", [&] {
    const std::string v = f.Value("fldigi.version").AsString();
    return Verdict(!v.empty() && v[0] >= '1' && v[0] <= '9', Show(v));
  });
  Check("an unknown method is a fault", [&] {
    const RpcResult r = f.Run("qsopad.no_such_method");
    return Verdict(r.outcome == RpcResult::Outcome::kFault && r.fault.text.find("unknown method") != std::string::npos,
                   std::to_string(r.fault.code) + " " + Show(r.fault.text));
  });
  Check("modem.set_by_name / modem.get_name", [&] {
    std::string seen;
    for (const char* mode : {"QPSK31", "BPSK31"}) {
      f.Value("modem.set_by_name", {V::String(mode)});
      if (!Fldigi::WaitUntil([&] { return f.Value("modem.get_name").AsString() == mode; }, 3000))
        return "wrong, " + std::string(mode) + " not set";
      seen += std::string(seen.empty() ? "" : ", ") + mode;
    }
    return "ok, " + seen;
  });
  Check("log fields with Windows-1252 text and XML's special characters", [&] {
    const std::string call = "DL1<&>'\"", name = "J\xFCrgen \xD8 \x80";
    f.Value("log.set_call", {V::String(call)});
    f.Value("log.set_name", {V::String(Cp1252ToUtf8(name))});
    std::string got_call, got_name;
    const bool ok = Fldigi::WaitUntil(
        [&] {
          got_call = f.Value("log.get_call").AsString();
          got_name = Utf8ToCp1252(f.Value("log.get_name").AsString());
          return got_call == call && got_name == name;
        },
        3000);
    f.Value("log.clear");
    return Verdict(ok, "call " + Show(got_call) + ", name " + Show(got_name));
  });
  Check("text.add_tx: UTF-8 on the air, ^r ends the transmission", [&] {
    const std::string sent = f.Transmit("text.add_tx", V::String(Cp1252ToUtf8("0\xD8 e\xE9^r")));
    return Verdict(sent == "0\xC3\x98 e\xC3\xA9", "transmitted " + Show(sent));
  });
  Check("text.add_tx_queu: single bytes on the air, ^r sent as typed", [&] {
    const std::string sent = f.Transmit("text.add_tx_queu", V::String("0\xD8^r"));
    return Verdict(sent == "0\xD8^r", "transmitted " + Show(sent));
  });
  Check("main.abort stops a transmission", [&] {
    f.WaitForReceive();
    f.Value("text.clear_tx");
    f.Value("text.add_tx", {V::String("abort abort abort abort abort abort")});
    f.Value("main.tx");
    std::string sent;
    Fldigi::WaitUntil([&] { return !(sent += f.Value("tx.get_data").AsBytes()).empty(); }, 5000);
    const std::int64_t start = NowMs();
    f.Value("main.abort");
    const bool rx = Fldigi::WaitUntil([&] { return f.Value("main.get_trx_state").AsString() == "RX"; }, 2000);
    f.Value("text.clear_tx");
    return Verdict(!sent.empty() && rx,
                   "first " + Show(sent) + ", receive " + std::to_string(NowMs() - start) + " ms after main.abort");
  });
  Check("every call on one kept-alive connection", [&] {
    const int n = f.channel().connections();
    return Verdict(n == 1, std::to_string(n) + " connection(s)");
  });
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
