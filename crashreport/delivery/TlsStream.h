// TLS over an open connection, through what the system provides (Schannel on Windows): the
// handshake, the server's certificate checked against the system's trusted roots and the
// host name, then records both ways. TlsStream_win32.cpp on Windows; TlsStream_posix.cpp is
// the host's stand-in, which has no system TLS and refuses. The failure texts are portable
// (TlsStream.cpp). Tests: tests/crashreport/delivery/HttpsUploadTest_win32.cpp (under Wine, against a
// local TLS upload server), HttpUploadTest.cpp (the texts).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "crashreport/delivery/Socket.h"

namespace vm {

// Why no trusted connection came about.
enum class TTlsFailure {
  Untrusted,  // the chain ends at no root the system trusts
  Expired,    // outside its validity period
  WrongName,  // made out for another host name
  Revoked,
  BadCertificate,  // refused for another reason, named by `detail`
  Handshake,       // no TLS session: the server does not speak it, or the connection broke
  Unavailable,     // the system offers no TLS
};

// The sentence the user reads; `detail` is the system's code or the connection's error.
std::string TlsFailureText(TTlsFailure failure, std::string_view host, std::string_view detail);

class TTlsStream : public IByteStream {
public:
  explicit TTlsStream(TSocket& socket);
  ~TTlsStream() override;
  TTlsStream(const TTlsStream&) = delete;
  TTlsStream& operator=(const TTlsStream&) = delete;

  // The handshake with `host` (also the name the certificate must carry) within `timeoutMs`,
  // then the certificate check. False with Error() set to a TlsFailureText otherwise; no
  // application byte has been sent then.
  bool Handshake(const std::string& host, int timeoutMs);
  bool Send(std::string_view bytes) override;
  int Receive(char* buffer, int size, int timeoutMs) override;
  const std::string& Error() const override { return FError; }

private:
  struct TSession;  // the platform's handles and buffers
  bool Fail(TTlsFailure failure, std::string_view detail);
  bool CheckCertificate();

  TSocket& FSocket;
  std::unique_ptr<TSession> FSession;
  std::string FHost;
  std::string FError;
};

}  // namespace vm
