// The socket port over POSIX sockets: native tests, the fldigi check and benchmarks.
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
