// The host has no system TLS that the program may use: every handshake is refused, so an
// "https://" upload fails cleanly here and sends nothing.
#include "crashreport/delivery/TlsStream.h"

namespace vm {

struct TTlsStream::TSession {};

TTlsStream::TTlsStream(TSocket& socket) : FSocket(socket) {}
TTlsStream::~TTlsStream() = default;

bool TTlsStream::Handshake(const std::string& host, int) {
  FHost = host;
  FSocket.Close();
  return Fail(TTlsFailure::Unavailable, "no system TLS on this platform");
}

bool TTlsStream::Send(std::string_view) { return false; }
int TTlsStream::Receive(char*, int, int) { return kError; }

}  // namespace vm
