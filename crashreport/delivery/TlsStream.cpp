#include "crashreport/delivery/TlsStream.h"

namespace vm {

std::string TlsFailureText(TTlsFailure failure, std::string_view host, std::string_view detail) {
  const std::string server = std::string(host);
  const std::string identity = "The server " + server + " could not prove its identity: its certificate ";
  switch (failure) {
    case TTlsFailure::Untrusted:
      return identity + "was not issued by an authority that this computer trusts.";
    case TTlsFailure::Expired:
      return identity + "has expired or is not valid yet.";
    case TTlsFailure::WrongName:
      return identity + "was made out for another name.";
    case TTlsFailure::Revoked:
      return identity + "has been revoked.";
    case TTlsFailure::BadCertificate:
      return identity + "was refused (" + std::string(detail) + ").";
    case TTlsFailure::Handshake:
      return "No secure connection to " + server + " could be made (" + std::string(detail) + ").";
    case TTlsFailure::Unavailable:
      break;
  }
  return "This computer offers no secure connection to " + server + " (" + std::string(detail) + ").";
}

bool TTlsStream::Fail(TTlsFailure failure, std::string_view detail) {
  FError = TlsFailureText(failure, FHost, detail);
  return false;
}

}  // namespace vm
