// Host side of the socket seam: BSD sockets, the same steps as the Winsock side.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "crashreport/delivery/Socket.h"

namespace vm {

namespace {

bool Resolve(const std::string& host, in_addr& address) {
  if (inet_pton(AF_INET, host.c_str(), &address) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

// Waits for the socket to become ready; false on time-out or error.
bool WaitFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  int n;
  do n = ::poll(&p, 1, timeoutMs);
  while (n < 0 && errno == EINTR);
  return n > 0;
}

}  // namespace

bool TSocket::Fail(const std::string& what) {
  FError = what + ": " + std::strerror(errno);
  Close();
  return false;
}

bool TSocket::Connect(const std::string& host, int port, int timeoutMs) {
  Close();
  FTimeoutMs = timeoutMs;
  in_addr address{};
  if (!Resolve(host, address)) {
    FError = "cannot resolve " + host;
    return false;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Fail("socket");
  FHandle = fd;
  // Connect without blocking, so that an unreachable host costs at most the time-out.
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(std::uint16_t(port));
  peer.sin_addr = address;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    if (errno != EINPROGRESS) return Fail("connect");
    if (!WaitFor(fd, POLLOUT, timeoutMs)) {
      errno = ETIMEDOUT;
      return Fail("connect");
    }
    int error = 0;
    socklen_t length = sizeof error;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) {
      errno = error;
      return Fail("connect");
    }
  }
  ::fcntl(fd, F_SETFL, flags);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  return true;
}

bool TSocket::Send(std::string_view bytes) {
  if (!Connected()) return false;
  while (!bytes.empty()) {
    ssize_t n = ::send(int(FHandle), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail("send");
    bytes.remove_prefix(size_t(n));
  }
  return true;
}

int TSocket::Receive(char* buffer, int size, int timeoutMs) {
  if (!Connected()) return kError;
  if (!WaitFor(int(FHandle), POLLIN, timeoutMs)) return kTimeout;
  ssize_t n;
  do n = ::recv(int(FHandle), buffer, size_t(size), 0);
  while (n < 0 && errno == EINTR);
  if (n < 0) {
    FError = std::string("recv: ") + std::strerror(errno);
    return kError;
  }
  return int(n);
}

void TSocket::Close() {
  if (FHandle != kNoSocket) ::close(int(FHandle));
  FHandle = kNoSocket;
}

}  // namespace vm
