// A TCP connection for the reporter's own network channels, with every wait bounded.
// One narrow class: Socket_posix.cpp (BSD sockets) on the host, Socket_win32.cpp (Winsock)
// on Windows. Tests: tests/crashreport/delivery/HttpUploadTest.cpp, MailChannelsTest.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vm {

// What the upload writes to and reads from: a plain connection, or TLS over one.
class IByteStream {
public:
  enum : int { kClosed = 0, kError = -1, kTimeout = -2 };
  virtual ~IByteStream() = default;
  // All bytes or false; a peer that has gone away is an error, never a signal.
  virtual bool Send(std::string_view bytes) = 0;
  // Bytes read (> 0), kClosed, kError, or kTimeout when nothing came within `timeoutMs`.
  virtual int Receive(char* buffer, int size, int timeoutMs) = 0;
  // What failed last, for the caller's log or failure text.
  virtual const std::string& Error() const = 0;
};

class TSocket : public IByteStream {
public:
  TSocket() = default;
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;
  ~TSocket() override { Close(); }

  // Resolves `host` (a dotted address is taken as it is) and connects within `timeoutMs`.
  // Sends made afterwards fail when the peer takes no data for `timeoutMs` either.
  bool Connect(const std::string& host, int port, int timeoutMs);
  bool Send(std::string_view bytes) override;
  int Receive(char* buffer, int size, int timeoutMs) override;
  void Close();

  bool Connected() const { return FHandle != kNoSocket; }
  const std::string& Error() const override { return FError; }

private:
  static constexpr std::intptr_t kNoSocket = -1;
  bool Fail(const std::string& what);

  std::intptr_t FHandle = kNoSocket;
  int FTimeoutMs = 7000;
  std::string FError;
};

}  // namespace vm
