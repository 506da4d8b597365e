// Round trips of XML-RPC calls to a running fldigi through the program's channel and POSIX
// sockets: median and 99th percentile from a call being made to its answer, with the
// channel polled as the window's 25 ms timer polls it and polled without pause.
//   bench_rpc PORT [CALLS]        (bench/fldigi_rpc.sh starts a fldigi for it)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/net_posix.h"
#include "station/rpc_channel.h"

using namespace qsopad;
using Clock = std::chrono::steady_clock;

namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

enum class Polling {
  kTight,         // Poll without pause
  kTickAtCall,    // the call is made in a tick's handler, which then polls: the pump's case
  kTickAnyTime,   // the call is made between ticks (a key press) and waits for the next
};

struct Figures {
  double median, p99;
};

Figures Measure(RpcChannel& channel, const std::string& method, std::vector<XmlRpcValue> params, Polling polling,
                int calls) {
  constexpr auto kTick = std::chrono::milliseconds(25);
  std::mt19937 random(1);
  std::vector<double> ms;
  Clock::time_point next_tick = Clock::now();
  for (int i = 0; i < calls; ++i) {
    if (polling == Polling::kTickAtCall) std::this_thread::sleep_until(next_tick += kTick);
    if (polling == Polling::kTickAnyTime)
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 25000));
    bool done = false;
    const Clock::time_point start = Clock::now();
    Clock::time_point end;
    channel.Call(method, params, [&](const RpcResult& r) {
      end = Clock::now(), done = true;
      if (r.outcome != RpcResult::Outcome::kAnswered) {
        std::fprintf(stderr, "%s: %s%s\n", method.c_str(), r.error.c_str(), r.fault.text.c_str());
        std::exit(1);
      }
    });
    if (polling == Polling::kTickAtCall) channel.Poll(NowMs());
    while (!done) {
      if (polling != Polling::kTight) {
        // The ticks run on a 25 ms grid, whatever the calls do.
        if (next_tick <= Clock::now()) next_tick += kTick * ((Clock::now() - next_tick) / kTick + 1);
        std::this_thread::sleep_until(next_tick);
      }
      channel.Poll(NowMs());
    }
    ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_rpc PORT [CALLS]\n");
    return 2;
  }
  const int calls = argc > 2 ? std::atoi(argv[2]) : 200;
  PosixNetPort net;
  RpcChannel::Settings settings;
  settings.port = static_cast<std::uint16_t>(std::atoi(argv[1]));
  RpcChannel channel(net, settings);
  const struct {
    const char* name;
    Polling polling;
  } pollings[] = {{"polled without pause", Polling::kTight},
                  {"25 ms tick, call made in the tick", Polling::kTickAtCall},
                  {"25 ms tick, call made between ticks", Polling::kTickAnyTime}};
  const struct {
    const char* method;
    std::vector<XmlRpcValue> params;
    int calls;
  } methods[] = {{"main.get_trx_state", {}, calls},
                 {"text.add_tx", {XmlRpcValue::String("")}, calls},
                 {"modem.set_by_name", {XmlRpcValue::String("BPSK31")}, std::max(10, calls / 10)}};
  std::printf("%-20s %-38s %10s %10s\n", "method", "polling", "median ms", "p99 ms");
  for (const auto& m : methods) {
    for (const auto& p : pollings) {
      const Figures f = Measure(channel, m.method, m.params, p.polling, m.calls);
      std::printf("%-20s %-38s %10.2f %10.2f\n", m.method, p.name, f.median, f.p99);
      std::fflush(stdout);
    }
  }
  std::printf("connections: %d\n", channel.connections());
  return 0;
}
