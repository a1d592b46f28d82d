// Windows side of the socket seam: Winsock, started once per process.
#include <winsock2.h>

#include <ws2tcpip.h>

#include <mutex>

#include "base/Text.h"
#include "crashreport/delivery/Socket.h"

namespace vm {

namespace {

bool StartWinsock() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    WSADATA data;
    ready = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return ready;
}

bool Resolve(const std::string& host, in_addr& address) {
  unsigned long dotted = inet_addr(host.c_str());
  if (dotted != INADDR_NONE || host == "255.255.255.255") {
    address.s_addr = dotted;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

SOCKET Handle(std::intptr_t h) { return SOCKET(h); }

}  // namespace

bool TSocket::Fail(const std::string& what) {
  FError = what + ": error " + std::to_string(WSAGetLastError());
  Close();
  return false;
}

bool TSocket::Connect(const std::string& host, int port, int timeoutMs) {
  Close();
  FTimeoutMs = timeoutMs;
  if (!StartWinsock()) {
    FError = "Winsock unavailable";
    return false;
  }
  in_addr address{};
  if (!Resolve(host, address)) {
    FError = "cannot resolve " + host;
    return false;
  }
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return Fail("socket");
  FHandle = std::intptr_t(s);
  // Connect without blocking, so that an unreachable host costs at most the time-out.
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(u_short(port));
  peer.sin_addr = address;
  if (::connect(s, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) return Fail("connect");
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    int n = ::select(0, nullptr, &writable, &failed, &limit);
    if (n <= 0 || FD_ISSET(s, &failed)) {
      if (n == 0) WSASetLastError(WSAETIMEDOUT);
      return Fail("connect");
    }
  }
  nonBlocking = 0;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  DWORD sendLimit = DWORD(timeoutMs);
  ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendLimit), sizeof sendLimit);
  return true;
}

bool TSocket::Send(std::string_view bytes) {
  if (!Connected()) return false;
  while (!bytes.empty()) {
    int n = ::send(Handle(FHandle), bytes.data(), int(bytes.size()), 0);
    if (n == SOCKET_ERROR || n == 0) return Fail("send");
    bytes.remove_prefix(size_t(n));
  }
  return true;
}

int TSocket::Receive(char* buffer, int size, int timeoutMs) {
  if (!Connected()) return kError;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Handle(FHandle), &readable);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int ready = ::select(0, &readable, nullptr, nullptr, &limit);
  if (ready == 0) return kTimeout;
  if (ready < 0) return kError;
  int n = ::recv(Handle(FHandle), buffer, size, 0);
  if (n == SOCKET_ERROR) {
    FError = "recv: error " + std::to_string(WSAGetLastError());
    return kError;
  }
  return n;
}

void TSocket::Close() {
  if (FHandle != kNoSocket) ::closesocket(Handle(FHandle));
  FHandle = kNoSocket;
}

}  // namespace vm
