#include "support/net_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qsopad {

namespace {

NetResult Failed(int code) { return NetResult::Failed(code, std::strerror(code)); }

}  // namespace

NetResult PosixNetPort::StartConnect(const std::string& address, std::uint16_t port) {
  Close();
  // The bench talks to a fldigi on this machine: IPv4 numbers only.
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1)
    return NetResult::Failed(EINVAL, "\"" + address + "\" is not an IPv4 address");
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return Failed(errno);
  // Calls are small and each waits for its answer: send them at once.
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return NetResult::Done();
  if (errno == EINPROGRESS) return NetResult::WouldBlock();
  const int code = errno;
  Close();
  return Failed(code);
}

NetResult PosixNetPort::PollConnect() {
  if (fd_ < 0) return Failed(ENOTCONN);
  pollfd p{fd_, POLLOUT, 0};
  const int n = ::poll(&p, 1, 0);
  if (n < 0) return Failed(errno);
  if (n == 0) return NetResult::WouldBlock();
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
  if (error != 0) {
    Close();
    return Failed(error);
  }
  return NetResult::Done();
}

NetResult PosixNetPort::Send(std::string_view bytes) {
  if (fd_ < 0) return Failed(ENOTCONN);
  const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  if (n > 0) return NetResult::Done(static_cast<std::size_t>(n));
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return NetResult::WouldBlock();
  return Failed(n < 0 ? errno : EPIPE);
}

NetResult PosixNetPort::Receive(char* buffer, std::size_t size) {
  if (fd_ < 0) return Failed(ENOTCONN);
  const ssize_t n = ::recv(fd_, buffer, size, 0);
  if (n > 0) return NetResult::Done(static_cast<std::size_t>(n));
  if (n == 0) return NetResult::Closed();
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return NetResult::WouldBlock();
  return Failed(errno);
}

void PosixNetPort::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace qsopad
