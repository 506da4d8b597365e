// Driver helpers for the scenarios with the real fldigi.
#include "fldigi_driver.h"

#include <commctrl.h>

#include <cstdlib>
#include <stdexcept>

namespace e2e {

using qsopad::RpcResult;
using qsopad::XmlRpcValue;

FldigiAgent::FldigiAgent() {
  char unix[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("QSOPAD_FLDIGI_DIR", unix, sizeof unix);
  if (n == 0 || n >= sizeof unix)
    throw std::runtime_error("QSOPAD_FLDIGI_DIR is not set: test.sh starts fldigi and its agent for these scenarios");
  dir_ = "Z:" + std::string(unix, n);
  for (char& c : dir_)
    if (c == '/') c = '\\';
  const std::string state = ReadFileText(JoinPath(dir_, "state"));
  const size_t at = state.find("FLDIGI_PORT=");
  if (at != std::string::npos) port_ = std::atoi(state.c_str() + at + 12);
  if (port_ <= 0) throw std::runtime_error("no FLDIGI_PORT in " + JoinPath(dir_, "state") + ": \"" + state + "\"");
}

void FldigiAgent::Request(const std::string& what, int timeoutMs) {
  static int count = 0;
  const std::string id = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
  const std::string request = JoinPath(dir_, "agent\\request"), reply = JoinPath(dir_, "agent\\reply-" + id);
  // Put in place in one step: the agent never reads half a request.
  if (!WriteFileText(request + ".tmp", id + " " + what + "\n") ||
      !MoveFileExA((request + ".tmp").c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING))
    throw std::runtime_error("cannot write " + request + " (error " + std::to_string(GetLastError()) + ")");
  if (!WaitUntil([&] { return FileExists(reply); }, timeoutMs, 20))
    throw std::runtime_error("the fldigi agent did not answer \"" + what + "\" within " + std::to_string(timeoutMs) +
                             " ms (does scripts/fldigi.sh agent run?)");
  const std::string answer = ReadFileText(reply);
  DeleteFileA(reply.c_str());
  if (answer.rfind("ok", 0) != 0) throw std::runtime_error("fldigi agent, \"" + what + "\": " + answer);
}

Fldigi::Fldigi(int port) {
  qsopad::RpcChannel::Settings settings;
  settings.port = static_cast<std::uint16_t>(port);
  settings.call_limit_ms = 5000;
  channel_ = std::make_unique<qsopad::RpcChannel>(net_, settings);
}

XmlRpcValue Fldigi::Call(const std::string& method, std::vector<XmlRpcValue> params) {
  RpcResult result;
  bool done = false;
  channel_->Call(method, std::move(params), [&](const RpcResult& r) { result = r, done = true; });
  while (channel_->Poll(NowMs()), !done) Sleep(1);  // the channel's time limit ends every call
  if (result.outcome == RpcResult::Outcome::kFault)
    throw std::runtime_error("fldigi refused " + method + ": " + std::to_string(result.fault.code) + " " +
                             result.fault.text);
  if (result.outcome == RpcResult::Outcome::kFailed) throw std::runtime_error(method + ": " + result.error);
  return result.value;
}

void Fldigi::Reset() {
  // fldigi takes a new transmission only once the last has finished.
  if (Str("main.get_trx_state") != "RX") Call("main.abort");
  const auto receiving = [&] { return Str("main.get_trx_status") == "rx"; };
  if (!WaitUntil(receiving, 3000)) Call("main.rx");
  if (!WaitUntil(receiving, 5000)) throw std::runtime_error("fldigi stays in " + Str("main.get_trx_status"));
  for (const char* method : {"text.clear_tx", "text.clear_rx", "log.clear"}) Call(method);
  Call("modem.set_by_name", {XmlRpcValue::String("BPSK31")});
  Call("modem.set_carrier", {XmlRpcValue::Int(1000)});
  // Setters are carried out later by fldigi's window thread.
  if (!WaitUntil([&] { return Str("modem.get_name") == "BPSK31" && Int("modem.get_carrier") == 1000; }, 5000))
    throw std::runtime_error("fldigi did not take BPSK31 at 1000 Hz");
  Call("tx.get_data");
  sent.clear();
}

std::string Fldigi::Received() {
  return Call("text.get_rx", {XmlRpcValue::Int(0), XmlRpcValue::Int(Int("text.get_rx_length"))}).AsBytes();
}

bool Fldigi::CollectUntilReceive(int timeoutMs) {
  return WaitUntil([&] {
    const bool receiving = Str("main.get_trx_state") == "RX";  // read first: all it sent before then is collected
    Collect();
    return receiving;
  }, timeoutMs, 20);
}

bool Fldigi::CollectAtLeast(size_t count, int timeoutMs) {
  return WaitUntil([&] { return Collect(), sent.size() >= count; }, timeoutMs, 20);
}

bool Fldigi::WaitState(const std::string& state, int timeoutMs) {
  return WaitUntil([&] { return Str("main.get_trx_state") == state; }, timeoutMs, 20);
}

FldigiSession::FldigiSession(const Settings& extra) {
  agent.Request("start");
  fldigi.Reset();
  Settings settings = {{"Opt", "Station", "fldigi"}, {"Opt", "FldigiPort", std::to_string(agent.port())}};
  settings.insert(settings.end(), extra.begin(), extra.end());
  road.StartQsopad(settings);
  WaitHeard(fldigi, road.main);
}

void WaitHeard(Fldigi& fldigi, HWND main) {
  // Keys pressed before then would be dropped, as for any station not yet found.
  for (const char* mode : {"QPSK31", "BPSK31"}) {
    fldigi.Call("modem.set_by_name", {XmlRpcValue::String(mode)});
    if (!WaitUntil([&] { return PanelText(main, 4) == std::string(mode, 4); }, 10000))
      throw std::runtime_error(std::string("QSOPAD does not show fldigi's ") + mode);
  }
}

std::string PanelText(HWND main, int panel) {
  // SB_GETTEXT writes into a buffer of the program's own.
  HWND bar = FindWindowExA(main, nullptr, STATUSCLASSNAMEA, nullptr);
  HANDLE process =
      bar ? OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, ProcessOf(main)) : nullptr;
  if (!process) throw std::runtime_error("cannot reach QSOPAD's status bar (error " + std::to_string(GetLastError()) + ")");
  wchar_t text[2048] = {};  // one page: more than a panel holds
  void* remote = VirtualAllocEx(process, nullptr, sizeof text, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  DWORD_PTR result = 0;
  if (remote && SendMessageTimeoutW(bar, SB_GETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(remote),
                                    SMTO_ABORTIFHUNG, 1000, &result))
    ReadProcessMemory(process, remote, text, sizeof text - sizeof(wchar_t), nullptr);
  if (remote) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  char ansi[4096] = {};
  WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi - 1, nullptr, nullptr);
  return ansi;
}

}  // namespace e2e
