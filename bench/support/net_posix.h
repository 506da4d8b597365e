// The socket port over POSIX sockets, for the XML-RPC bench against a fldigi on this machine.
#pragma once

#include "station/net_port.h"

namespace qsopad {

class PosixNetPort : public NetPort {
 public:
  PosixNetPort() = default;
  ~PosixNetPort() override { Close(); }
  PosixNetPort(const PosixNetPort&) = delete;
  PosixNetPort& operator=(const PosixNetPort&) = delete;

  NetResult StartConnect(const std::string& address, std::uint16_t port) override;
  NetResult PollConnect() override;
  NetResult Send(std::string_view bytes) override;
  NetResult Receive(char* buffer, std::size_t size) override;
  void Close() override;

 private:
  int fd_ = -1;
};

}  // namespace qsopad
