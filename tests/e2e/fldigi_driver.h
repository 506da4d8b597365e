// Helpers for scenarios with the real fldigi: the driver's own XML-RPC client (the program's channel over Winsock,
// waited on), the agent on the Unix side that kills fldigi, starts it again and plays sound into it (scripts/fldigi.sh
// agent, found through QSOPAD_FLDIGI_DIR), QSOPAD started as fldigi's console, and its status panels.
#pragma once

#include <memory>

#include "driver.h"
#include "station/rpc_channel.h"
#include "win32_net.h"

namespace e2e {

// Asks the agent to act and waits for its answer ("start", "kill", "freeze", "thaw",
// "play FILE.wav"); throws std::runtime_error when it cannot be asked or the request fails.
class FldigiAgent {
 public:
  FldigiAgent();
  void Request(const std::string& what, int timeoutMs = 60000);
  int port() const { return port_; }

 private:
  std::string dir_;  // Windows path of the fldigi folder
  int port_ = 0;
};

// fldigi as the driver sees it. Each call waits for its answer and throws
// std::runtime_error naming the method when fldigi does not answer or refuses.
class Fldigi {
 public:
  explicit Fldigi(int port);
  qsopad::XmlRpcValue Call(const std::string& method, std::vector<qsopad::XmlRpcValue> params = {});
  std::string Str(const std::string& method) { return Call(method).AsString(); }
  int Int(const std::string& method) { return Call(method).AsInt(); }
  std::string Received();  // the whole receive pane
  // Back to receive, nothing to send or read back, BPSK31 at 1000 Hz (the recordings' carrier), log fields empty.
  void Reset();
  // Collect what fldigi transmits into `sent`: until it is in receive again (transmission
  // must have started), or until `sent` holds `count` bytes. False when that did not come.
  bool CollectUntilReceive(int timeoutMs);
  bool CollectAtLeast(size_t count, int timeoutMs);
  bool WaitState(const std::string& state, int timeoutMs);

  std::string sent;  // what tx.get_data reported so far

 private:
  void Collect() { sent += Call("tx.get_data").AsBytes(); }
  qsopad::Win32NetPort net_;
  std::unique_ptr<qsopad::RpcChannel> channel_;
};

// QSOPAD as fldigi's console: makes sure fldigi runs, resets it, starts QSOPAD with fldigi
// as its station and `extra` settings, and waits until it has found fldigi.
struct FldigiSession {
  explicit FldigiSession(const Settings& extra = {});
  std::string Title() const { return TextOf(road.main); }
  // The title while fldigi does not answer, up to the reason.
  std::string TroubleTitle() const {
    return "QSOPAD: fldigi not answering at 127.0.0.1:" + std::to_string(agent.port()) + ": ";
  }

  FldigiAgent agent;
  Fldigi fldigi{agent.port()};
  Session road{"fldigi"};
};

// Waits until QSOPAD shows fldigi's mode as fldigi changes it: it has found fldigi.
void WaitHeard(Fldigi& fldigi, HWND main);

// The text of one of the main window's status panels (0 time, 1 call, 2 name, 3 TX,
// 4 BPSK/QPSK, 5 elapsed); "" for a greyed panel, whose text only the program draws.
std::string PanelText(HWND main, int panel);

}  // namespace e2e
