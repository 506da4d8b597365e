// The socket port over Winsock: non-blocking sockets polled from the window's timer.
#pragma once

#include <winsock2.h>

#include "station/net_port.h"

namespace qsopad {

class Win32NetPort : public NetPort {
 public:
  Win32NetPort() = default;
  ~Win32NetPort() override { Close(); }
  Win32NetPort(const Win32NetPort&) = delete;
  Win32NetPort& operator=(const Win32NetPort&) = delete;

  NetResult StartConnect(const std::string& address, std::uint16_t port) override;
  NetResult PollConnect() override;
  NetResult Send(std::string_view bytes) override;
  NetResult Receive(char* buffer, std::size_t size) override;
  void Close() override;

 private:
  SOCKET socket_ = INVALID_SOCKET;
};

}  // namespace qsopad
