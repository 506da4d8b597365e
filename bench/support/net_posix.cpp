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
  sockaddr_storage storage{};
  socklen_t length = 0;
  const std::string numeric = address == "localhost" ? "127.0.0.1" : address;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  if (inet_pton(AF_INET, numeric.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    length = sizeof *v4;
  } else if (inet_pton(AF_INET6, numeric.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    length = sizeof *v6;
  } else {
    return NetResult::Failed(EINVAL, "\"" + address + "\" is not a numeric address");
  }
  fd_ = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return Failed(errno);
  // Calls are small and each waits for its answer: send them at once.
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&storage), length) == 0) return NetResult::Done();
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
