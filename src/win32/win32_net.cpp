#include "win32_net.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <climits>

#include "win32_text.h"

namespace qsopad {

namespace {

NetResult Failed(int code) { return NetResult::Failed(code, SystemMessage(static_cast<DWORD>(code))); }

// Winsock is started once for the process and left running until it ends.
int StartWinsock() {
  static const int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

}  // namespace

NetResult Win32NetPort::StartConnect(const std::string& address, std::uint16_t port) {
  Close();
  if (const int error = StartWinsock(); error != 0) return Failed(error);
  sockaddr_storage storage{};
  int length = 0;
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
    return NetResult::Failed(WSAEINVAL, "\"" + address + "\" is not a numeric address");
  }
  socket_ = ::socket(storage.ss_family, SOCK_STREAM, IPPROTO_TCP);
  if (socket_ == INVALID_SOCKET) return Failed(WSAGetLastError());
  u_long non_blocking = 1;
  const BOOL no_delay = TRUE;  // calls are small and each waits for its answer
  if (ioctlsocket(socket_, FIONBIO, &non_blocking) != 0 ||
      setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay) != 0) {
    const int error = WSAGetLastError();
    Close();
    return Failed(error);
  }
  if (::connect(socket_, reinterpret_cast<sockaddr*>(&storage), length) == 0) return NetResult::Done();
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return NetResult::WouldBlock();
  Close();
  return Failed(error);
}

NetResult Win32NetPort::PollConnect() {
  if (socket_ == INVALID_SOCKET) return Failed(WSAENOTCONN);
  // Winsock reports a finished connect as writable, a failed one in the exception set.
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket_, &writable);
  FD_SET(socket_, &failed);
  timeval zero{0, 0};
  const int n = ::select(0, nullptr, &writable, &failed, &zero);
  if (n == SOCKET_ERROR) return Failed(WSAGetLastError());
  if (n == 0) return NetResult::WouldBlock();
  int error = 0;
  int size = sizeof error;
  if (getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
    error = WSAGetLastError();
  if (error == 0 && FD_ISSET(socket_, &failed)) error = WSAECONNREFUSED;
  if (error != 0) {
    Close();
    return Failed(error);
  }
  return NetResult::Done();
}

NetResult Win32NetPort::Send(std::string_view bytes) {
  if (socket_ == INVALID_SOCKET) return Failed(WSAENOTCONN);
  const int n = ::send(socket_, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX)), 0);
  if (n > 0) return NetResult::Done(static_cast<std::size_t>(n));
  const int error = n == 0 ? WSAECONNRESET : WSAGetLastError();
  return error == WSAEWOULDBLOCK ? NetResult::WouldBlock() : Failed(error);
}

NetResult Win32NetPort::Receive(char* buffer, std::size_t size) {
  if (socket_ == INVALID_SOCKET) return Failed(WSAENOTCONN);
  const int n = ::recv(socket_, buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
  if (n > 0) return NetResult::Done(static_cast<std::size_t>(n));
  if (n == 0) return NetResult::Closed();
  const int error = WSAGetLastError();
  return error == WSAEWOULDBLOCK ? NetResult::WouldBlock() : Failed(error);
}

void Win32NetPort::Close() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
  socket_ = INVALID_SOCKET;
}

}  // namespace qsopad
