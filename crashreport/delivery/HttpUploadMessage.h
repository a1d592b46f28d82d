// The pieces of the report upload's HTTP request: where it goes (server text, proxy
// setting), its header block, and the multipart form parts of fields and files. Pure
// text work, so that every byte of the request can be checked without a network.
// Tests: tests/crashreport/delivery/HttpUploadTest.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "crashreport/settings/CrashFields.h"

namespace vm {

// One fixed text without blanks; servers find the parts by it.
inline constexpr std::string_view kUploadBoundary = "----ZentrapixBoundary7d93b2c41e";

// The HTTPS port, used when an "https://" address names none.
inline constexpr int kHttpsPort = 443;

struct TUploadTarget {
  std::string Host;
  std::string Path;  // starts with "/"; "/" when the server text names none
  bool Tls = false;  // "https://": the upload goes over TLS
  int Port = 0;      // of an "https://" address: its own port or kHttpsPort; -1 when unreadable
};

// `HttpServer` without its scheme, split at the first "/". An "http://" address (or one without
// a scheme) keeps its host text whole and is sent to `HttpPort`; an "https://" one may name
// its port after the host ("host:8443").
TUploadTarget SplitHttpServer(std::string_view server);

struct TProxyAddress {
  std::string Host;
  int Port = 0;
};

// The system's proxy text ("http=host:port https=...", "host:port", "http://host:port")
// reduced to the proxy for HTTP, or with `tls` for HTTPS ("https=" entry), or nothing when
// it names none with a numeric port. A per-protocol list without an "https=" entry sends
// HTTPS directly, as the system does.
std::optional<TProxyAddress> ParseProxySetting(std::string_view setting, bool tls = false);

// The request that asks a proxy for a tunnel to host:port; what follows through it is TLS.
std::string ConnectRequestText(std::string_view host, int port);

// "<a@b>" for a bare address; a text that has its brackets already stays as it is.
std::string AngleAddress(std::string_view address);

struct TUploadHeader {
  TUploadTarget Target;
  int Port = 80;
  std::string Sender;             // empty: no "From" line
  std::string Account, Password;  // both empty: no "Authorization" line
  std::uint64_t ContentLength = 0;
};

// Every line ends in CR LF; the first form part's leading CR LF closes the block.
std::string UploadHeaderText(const TUploadHeader& header);
// CR LF "--" boundary CR LF, the disposition line, an empty line and the value.
std::string FieldPartText(std::string_view name, std::string_view value);
// The same up to the file's first byte, with the file name and the octet-stream type.
std::string AttachmentPartHead(std::string_view fieldName, std::string_view sendAs);
std::string ClosingLineText();  // CR LF "--" boundary "--" CR LF

// The body's byte count: the field parts, each file's part head and bytes, the closing
// line, less the first part's leading CR LF, which ends the header block.
std::uint64_t UploadBodyLength(const TICrashFields& fields, std::string_view attachmentHeads,
                               std::uint64_t attachmentBytes);

}  // namespace vm
