// TLS through Schannel (SSPI) over our own socket, so that the request stays byte for byte
// ours and every wait keeps its bound. Schannel is told to leave the certificate alone and
// the chain is checked here with the system's SSL policy: the same check on every Windows
// version, and one whose reason we can name to the user.
#define SECURITY_WIN32
#include <winsock2.h>

#include <windows.h>

#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "crashreport/delivery/TlsStream.h"

namespace vm {

namespace {

using Clock = std::chrono::steady_clock;

// Schannel needs at most one record (16 KB and its framing) at a time; a server that sends
// more without it being taken is not speaking TLS.
constexpr size_t kMostPending = 64 * 1024;

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

std::string Code(long status) {
  char text[32];
  std::snprintf(text, sizeof text, "error 0x%08lX", static_cast<unsigned long>(status));
  return text;
}

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? int(left) : 0;
}

TTlsFailure CertificateFailure(DWORD error) {
  switch (error) {
    case DWORD(CERT_E_UNTRUSTEDROOT):
    case DWORD(CERT_E_CHAINING):
    case DWORD(CERT_E_UNTRUSTEDTESTROOT):
      return TTlsFailure::Untrusted;
    case DWORD(CERT_E_EXPIRED):
    case DWORD(CERT_E_VALIDITYPERIODNESTING):
      return TTlsFailure::Expired;
    case DWORD(CERT_E_CN_NO_MATCH):
      return TTlsFailure::WrongName;
    case DWORD(CRYPT_E_REVOKED):
      return TTlsFailure::Revoked;
    default:
      return TTlsFailure::BadCertificate;
  }
}

unsigned long Size(size_t n) { return static_cast<unsigned long>(n); }

// The chain's own verdict in the policy's terms.
DWORD ChainError(DWORD status) {
  if (status & (CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_CYCLIC))
    return DWORD(CERT_E_UNTRUSTEDROOT);
  if (status & CERT_TRUST_IS_NOT_TIME_VALID) return DWORD(CERT_E_EXPIRED);
  if (status & CERT_TRUST_IS_REVOKED) return DWORD(CRYPT_E_REVOKED);
  if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return DWORD(TRUST_E_CERT_SIGNATURE);
  if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return DWORD(CERT_E_WRONG_USAGE);
  return 0;
}

SecBuffer Buffer(unsigned long type, void* data = nullptr, unsigned long size = 0) {
  SecBuffer b;
  b.BufferType = type;
  b.pvBuffer = data;
  b.cbBuffer = size;
  return b;
}

}  // namespace

struct TTlsStream::TSession {
  CredHandle Credentials{};
  CtxtHandle Context{};
  bool HaveCredentials = false, HaveContext = false;
  SecPkgContext_StreamSizes Sizes{};
  std::string Received;  // records, or the start of one, not decrypted yet
  std::string Plain;     // decrypted bytes not handed out yet
  bool Ended = false;    // the server closed the session

  ~TSession() {
    if (HaveContext) DeleteSecurityContext(&Context);
    if (HaveCredentials) FreeCredentialsHandle(&Credentials);
  }
};

TTlsStream::TTlsStream(TSocket& socket) : FSocket(socket), FSession(std::make_unique<TSession>()) {}
TTlsStream::~TTlsStream() = default;

bool TTlsStream::Handshake(const std::string& host, int timeoutMs) {
  FHost = host;
  TSession& s = *FSession;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);

  // TLS 1.2 asked for by name: Windows 7 has it but leaves it off unless a program asks.
  SCHANNEL_CRED cred{};
  cred.dwVersion = SCHANNEL_CRED_VERSION;
  cred.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  char* package = const_cast<char*>(UNISP_NAME_A);
  SECURITY_STATUS status = AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &cred, nullptr,
                                                     nullptr, &s.Credentials, nullptr);
  if (status != SEC_E_OK) return Fail(TTlsFailure::Unavailable, Code(status));
  s.HaveCredentials = true;

  // Each round hands Schannel what the server sent so far and sends what it answers.
  char* target = const_cast<char*>(host.c_str());
  bool first = true;
  for (;;) {
    if (MsLeft(deadline) == 0) return Fail(TTlsFailure::Handshake, "no answer in time");
    SecBuffer in[2] = {Buffer(SECBUFFER_TOKEN, s.Received.data(), Size(s.Received.size())), Buffer(SECBUFFER_EMPTY)};
    SecBuffer out[1] = {Buffer(SECBUFFER_TOKEN)};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in}, outDesc{SECBUFFER_VERSION, 1, out};
    unsigned long attributes = 0;
    CtxtHandle* context = first ? nullptr : &s.Context;
    status = InitializeSecurityContextA(&s.Credentials, context, target, kContextFlags, 0, 0, first ? nullptr : &inDesc,
                                        0, first ? &s.Context : nullptr, &outDesc, &attributes, nullptr);
    if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) s.HaveContext = true;
    first = false;
    if (out[0].pvBuffer) {
      std::string_view token(static_cast<char*>(out[0].pvBuffer), out[0].cbBuffer);
      bool sent = token.empty() || FSocket.Send(token);
      FreeContextBuffer(out[0].pvBuffer);
      if (!sent) return Fail(TTlsFailure::Handshake, FSocket.Error());
    }
    if (status != SEC_E_INCOMPLETE_MESSAGE && status != SEC_I_INCOMPLETE_CREDENTIALS) {
      // What Schannel did not take belongs to the next message.
      size_t extra = in[1].BufferType == SECBUFFER_EXTRA ? in[1].cbBuffer : 0;
      s.Received.erase(0, s.Received.size() - extra);
    }
    if (status == SEC_E_OK) break;
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) continue;  // a client certificate is asked for: go on without
    if (status != SEC_I_CONTINUE_NEEDED && status != SEC_E_INCOMPLETE_MESSAGE)
      return Fail(TTlsFailure::Handshake, Code(status));
    if (status == SEC_I_CONTINUE_NEEDED && !s.Received.empty()) continue;
    char buffer[4096];
    int n = FSocket.Receive(buffer, sizeof buffer, MsLeft(deadline));
    if (n == kTimeout) return Fail(TTlsFailure::Handshake, "no answer in time");
    if (n == kClosed) return Fail(TTlsFailure::Handshake, "the server closed the connection");
    if (n < 0) return Fail(TTlsFailure::Handshake, FSocket.Error());
    s.Received.append(buffer, size_t(n));
    if (s.Received.size() > kMostPending) return Fail(TTlsFailure::Handshake, "no TLS from the server");
  }
  status = QueryContextAttributesA(&s.Context, SECPKG_ATTR_STREAM_SIZES, &s.Sizes);
  if (status != SEC_E_OK) return Fail(TTlsFailure::Handshake, Code(status));
  return CheckCertificate();
}

bool TTlsStream::CheckCertificate() {
  PCCERT_CONTEXT certificate = nullptr;
  SECURITY_STATUS status = QueryContextAttributesA(&FSession->Context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
  if (status != SEC_E_OK || !certificate) return Fail(TTlsFailure::BadCertificate, Code(status));

  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  // The server's intermediates come with its certificate's store.
  HCERTSTORE sent = certificate->hCertStore;
  BOOL built = CertGetCertificateChain(nullptr, certificate, nullptr, sent, &chainPara, 0, nullptr, &chain);
  DWORD error = built ? 0 : GetLastError();
  if (built) {
    wchar_t name[256] = {};
    MultiByteToWideChar(CP_ACP, 0, FHost.c_str(), -1, name, 255);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = name;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS verdict{};
    verdict.cbSize = sizeof verdict;
    bool judged = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &verdict);
    error = judged ? verdict.dwError : GetLastError();
    // Not every SSL policy refuses a chain that ends short of a trusted root (Wine's does not).
    if (error == 0) error = ChainError(chain->TrustStatus.dwErrorStatus);
    CertFreeCertificateChain(chain);
  }
  CertFreeCertificateContext(certificate);
  if (error == 0) return true;
  return Fail(CertificateFailure(error), Code(long(error)));
}

bool TTlsStream::Send(std::string_view bytes) {
  TSession& s = *FSession;
  const size_t most = s.Sizes.cbMaximumMessage;
  std::string record;
  while (!bytes.empty()) {
    const size_t piece = std::min(bytes.size(), most);
    record.assign(s.Sizes.cbHeader, '\0');
    record.append(bytes.data(), piece);
    record.append(s.Sizes.cbTrailer, '\0');
    SecBuffer parts[4] = {
        Buffer(SECBUFFER_STREAM_HEADER, record.data(), s.Sizes.cbHeader),
        Buffer(SECBUFFER_DATA, record.data() + s.Sizes.cbHeader, Size(piece)),
        Buffer(SECBUFFER_STREAM_TRAILER, &record[record.size() - s.Sizes.cbTrailer], s.Sizes.cbTrailer),
        Buffer(SECBUFFER_EMPTY)};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
    SECURITY_STATUS status = EncryptMessage(&s.Context, 0, &desc, 0);
    if (status != SEC_E_OK) {
      FError = "encrypt: " + Code(status);
      return false;
    }
    if (!FSocket.Send({record.data(), size_t(parts[0].cbBuffer) + parts[1].cbBuffer + parts[2].cbBuffer})) {
      FError = FSocket.Error();
      return false;
    }
    bytes.remove_prefix(piece);
  }
  return true;
}

int TTlsStream::Receive(char* buffer, int size, int timeoutMs) {
  TSession& s = *FSession;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (!s.Plain.empty()) {
      size_t n = std::min(s.Plain.size(), size_t(size));
      s.Plain.copy(buffer, n);
      s.Plain.erase(0, n);
      return int(n);
    }
    if (s.Ended) return kClosed;
    SECURITY_STATUS status = SEC_E_INCOMPLETE_MESSAGE;
    if (!s.Received.empty()) {
      SecBuffer parts[4] = {Buffer(SECBUFFER_DATA, s.Received.data(), Size(s.Received.size())), Buffer(SECBUFFER_EMPTY),
                            Buffer(SECBUFFER_EMPTY), Buffer(SECBUFFER_EMPTY)};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, parts};
      status = DecryptMessage(&s.Context, &desc, 0, nullptr);
      if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) {
        // The plain text lies inside the received bytes, so it is taken before they go.
        size_t extra = 0;
        for (const SecBuffer& p : parts) {
          if (p.BufferType == SECBUFFER_DATA) s.Plain.append(static_cast<char*>(p.pvBuffer), p.cbBuffer);
          if (p.BufferType == SECBUFFER_EXTRA) extra = p.cbBuffer;
        }
        s.Received.erase(0, s.Received.size() - extra);
        s.Ended = status == SEC_I_CONTEXT_EXPIRED;
        continue;
      }
      if (status != SEC_E_INCOMPLETE_MESSAGE) {
        FError = "decrypt: " + Code(status);
        return kError;
      }
    }
    char piece[4096];
    int n = FSocket.Receive(piece, sizeof piece, MsLeft(deadline));
    if (n <= 0) {
      FError = FSocket.Error();
      return n;
    }
    s.Received.append(piece, size_t(n));
    if (s.Received.size() > kMostPending) {
      FError = "no TLS record from the server";
      return kError;
    }
  }
}

}  // namespace vm
