// Measurements of QSOPAD feeding the real fldigi, run by "bench/e2e_timings.sh fldigi_..."
// with fldigi and its agent up (never by test.sh): how soon a key reaches fldigi, the pace
// and turnaround of a transmission against fldigi driven directly, and QSOPAD's idle CPU.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "fldigi_driver.h"

using namespace e2e;
using qsopad::XmlRpcValue;

namespace {

void Result(const std::string& figure, double value) {
  std::printf("RESULT %s %.2f\n", figure.c_str(), value);
  std::fflush(stdout);
}

void Spread(const std::string& figure, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  Result(figure + "_median_ms", ms[ms.size() / 2]);
  Result(figure + "_p99_ms", ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]);
}

// A TCP relay between QSOPAD and fldigi that notes when each text.add_tx passes and what it
// carries: the moment a typed character reaches fldigi.
class Relay {
 public:
  explicit Relay(int fldigiPort) : target_(fldigiPort) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), length) != 0 || listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0)
      throw std::runtime_error("relay: no listening socket (error " + std::to_string(WSAGetLastError()) + ")");
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~Relay() {
    stop_ = true;
    closesocket(listener_);
    thread_.join();
  }
  int port() const { return port_; }
  // When the first text.add_tx holding `c` passed at or after `fromMs`; -1 if none did.
  std::int64_t AddedAt(char c, std::int64_t fromMs) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [ms, text] : added_)
      if (ms >= fromMs && text.find(c) != std::string::npos) return ms;
    return -1;
  }

 private:
  void Run() {
    for (SOCKET client; !stop_ && (client = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
      SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(static_cast<u_short>(target_));
      if (connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) Pump(client, server);
      closesocket(server);
      closesocket(client);
    }
  }
  void Pump(SOCKET client, SOCKET server) {
    std::string request;
    std::vector<char> buffer(1 << 16);
    while (!stop_) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(client, &readable);
      FD_SET(server, &readable);
      timeval tick{0, 100000};
      if (select(0, &readable, nullptr, nullptr, &tick) < 0) return;
      for (SOCKET from : {client, server}) {
        if (!FD_ISSET(from, &readable)) continue;
        const int n = recv(from, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (n <= 0 || send(from == client ? server : client, buffer.data(), n, 0) != n) return;
        if (from == client) Scan(request.append(buffer.data(), static_cast<size_t>(n)));
      }
    }
  }
  void Scan(std::string& request) {
    const std::int64_t now = NowMs();
    for (size_t end; (end = request.find("</methodCall>")) != std::string::npos; request.erase(0, end + 13)) {
      const std::string call = request.substr(0, end);
      const size_t a = call.find("<string>"), b = call.find("</string>");
      if (call.find("<methodName>text.add_tx</methodName>") == std::string::npos || b == std::string::npos) continue;
      const std::lock_guard<std::mutex> lock(mutex_);
      added_.emplace_back(now, call.substr(a + 8, b - a - 8));
    }
  }

  int target_, port_ = 0;
  SOCKET listener_ = INVALID_SOCKET;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::pair<std::int64_t, std::string>> added_;
  std::thread thread_;
};

// The first character fldigi reports transmitted, polled every 2 ms.
std::int64_t WaitOnAir(Fldigi& f) {
  const std::int64_t limit = NowMs() + 5000;
  for (std::string sent; NowMs() < limit; Sleep(2))
    if (!(sent = f.Call("tx.get_data").AsBytes()).empty()) return NowMs();
  throw std::runtime_error("fldigi transmitted nothing in 5 s");
}

// When each character went out, and when fldigi was back in receive.
struct Timed {
  std::vector<std::int64_t> chars;
  std::int64_t rx = 0;
  double Cps() const { return 1000.0 * static_cast<double>(chars.size() - 1) / static_cast<double>(chars.back() - chars.front()); }
};
Timed TimeTransmission(Fldigi& f, size_t count) {
  REQUIRE_MSG(f.WaitState("TX", 5000), "fldigi did not transmit");
  Timed t;
  while (t.rx == 0) {
    const bool receiving = f.Str("main.get_trx_state") == "RX";
    t.chars.insert(t.chars.end(), f.Call("tx.get_data").AsBytes().size(), NowMs());
    if (receiving) t.rx = NowMs();
    Sleep(5);
  }
  REQUIRE_MSG(t.chars.size() == count, t.chars.size() << " of " << count << " characters went out");
  return t;
}

// CPU time in ms of the Wine process running the program in `folder`, as Linux counts it
// (Wine reports no user or kernel time for another process): /proc/N/stat of the process
// whose command line is that program's path.
std::int64_t LinuxCpuMs(const std::string& folder) {
  const std::string name = folder.substr(folder.find_last_of('\\') + 1);
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
  std::int64_t ms = -1;
  for (BOOL more = find != INVALID_HANDLE_VALUE; more && ms < 0; more = FindNextFileA(find, &entry)) {
    const std::string proc = std::string("Z:\\proc\\") + entry.cFileName;
    const std::string cmdline = ReadFileText(proc + "\\cmdline");
    if (cmdline.find(name) == std::string::npos || cmdline.find("qsopad.exe") == std::string::npos) continue;
    const std::string stat = ReadFileText(proc + "\\stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 13 && fields >> field; ++i) {}  // state .. cmajflt
    if (fields >> utime >> stime) ms = (utime + stime) * 10;  // 100 ticks a second
  }
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  REQUIRE_MSG(ms >= 0, "no Linux process runs " << folder << "\\qsopad.exe");
  return ms;
}

}  // namespace

// Key to fldigi while it transmits idles: to the text.add_tx that carries it (through the
// relay), and to tx.get_data reporting it sent; fldigi's own share measured by handing it
// characters directly.
E2E_BENCHMARK(fldigi_latency) {
  FldigiAgent agent;
  agent.Request("start");
  Fldigi f(agent.port());
  f.Reset();
  Relay relay(agent.port());
  Session s("bench");
  s.StartQsopad({{"Opt", "Station", "fldigi"}, {"Opt", "FldigiPort", std::to_string(relay.port())}});
  WaitHeard(f, s.main);
  // Send: fldigi transmits idles, after its preamble.
  ClickButton(GetDlgItem(s.main, IDC_COMMAND1));
  REQUIRE_MSG(f.WaitState("TX", 5000), "Send did not key fldigi");
  Sleep(1500);
  const std::string letters = "etaoinshrdlucmfwypvbgkqjxz";
  std::vector<double> toFldigi, toAir, direct;
  unsigned seed = 12345;
  for (int i = 0; i < 60; ++i) {
    const char c = letters[static_cast<size_t>(i) % letters.size()];
    Sleep(static_cast<int>((seed = seed * 1103515245 + 12345) >> 16) % 150);  // any phase of the idles
    const std::int64_t t0 = NowMs();
    TypeKeys(s.text1, std::string(1, c));
    toAir.push_back(static_cast<double>(WaitOnAir(f) - t0));
    toFldigi.push_back(static_cast<double>(relay.AddedAt(c, t0) - t0));
  }
  for (int i = 0; i < 60; ++i) {
    Sleep(static_cast<int>((seed = seed * 1103515245 + 12345) >> 16) % 150);
    const std::int64_t t0 = NowMs();
    f.Call("text.add_tx", {XmlRpcValue::String(std::string(1, letters[static_cast<size_t>(i) % letters.size()]))});
    direct.push_back(static_cast<double>(WaitOnAir(f) - t0));
  }
  Spread("key_to_add_tx", toFldigi);
  Spread("key_to_sent", toAir);
  Spread("add_tx_to_sent", direct);
  std::sort(toAir.begin(), toAir.end());
  std::sort(direct.begin(), direct.end());
  Result("key_to_sent_minus_fldigi_median_ms", toAir[toAir.size() / 2] - direct[direct.size() / 2]);
  ClickButton(GetDlgItem(s.main, IDC_COMMAND2));
}

// One text sent through QSOPAD (typed, Send, Rcv) and the same handed to fldigi directly
// with main.tx: characters a second, last character to receive, and their ratios.
E2E_BENCHMARK(fldigi_throughput) {
  const std::string text = "cq cq cq de n0call n0call pse k";
  FldigiSession s;
  TypeKeys(s.road.text1, text);
  REQUIRE(WaitUntil([&] { return TextOf(s.road.text1) == text; }));
  ClickButton(GetDlgItem(s.road.main, IDC_COMMAND1));
  ClickButton(GetDlgItem(s.road.main, IDC_COMMAND2));
  const Timed ours = TimeTransmission(s.fldigi, text.size());
  REQUIRE(WaitUntil([&] { return s.fldigi.Str("main.get_trx_status") == "rx"; }, 5000));
  s.fldigi.Call("text.add_tx", {XmlRpcValue::String(text + "^r")});
  s.fldigi.Call("main.tx");
  const Timed direct = TimeTransmission(s.fldigi, text.size());
  Result("qsopad_cps", ours.Cps());
  Result("direct_cps", direct.Cps());
  Result("cps_ratio", ours.Cps() / direct.Cps());
  Result("qsopad_turnaround_ms", static_cast<double>(ours.rx - ours.chars.back()));
  Result("direct_turnaround_ms", static_cast<double>(direct.rx - direct.chars.back()));
  Result("turnaround_ratio",
         static_cast<double>(ours.rx - ours.chars.back()) / static_cast<double>(direct.rx - direct.chars.back()));
}

// QSOPAD attached to fldigi and left alone for 30 s: its polling's share of one core; and
// the same attached to the PSK31 stand-in, for comparison.
E2E_BENCHMARK(fldigi_idle_cpu) {
  auto idle = [](Session& road) {
    Sleep(3000);  // start-up over
    const std::int64_t cpu0 = LinuxCpuMs(road.folder()), t0 = NowMs();
    Sleep(30000);
    return 100.0 * static_cast<double>(LinuxCpuMs(road.folder()) - cpu0) / static_cast<double>(NowMs() - t0);
  };
  {
    FldigiSession s;
    Result("idle_cpu_percent", idle(s.road));
  }
  Session road("bench");
  road.StartStation();
  road.StartQsopad({});
  Result("idle_cpu_percent_psk31_standin", idle(road));
}
