// What the intake needs to know of a request before anything else sees it: its head, where
// its body ends (Content-Length or chunks, each under the size limit), who sent it (through
// trusted proxies only), and the request passed on to the routes. No sockets here.
// Used by: server/HttpIntake.cpp. Tests: tests/server/FramingTest.cpp.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vm::server {

constexpr std::size_t kMaxHeadBytes = 32 * 1024;
constexpr std::size_t kMaxHeadFields = 100;

// A refusal: the status and the one-line reason the sender reads.
struct TRefusal {
  int Status = 0;
  std::string Why;
};

struct TRequestHead {
  std::string Method, Target, Version;
  std::vector<std::pair<std::string, std::string>> Fields;
  // Every value of the field `name` (any case), joined by ", " as HTTP allows; nothing if absent.
  std::optional<std::string> Field(const std::string& name) const;
};

// Where the head ends (the offset after its empty line), or nothing yet. `from`: the bytes
// before it were looked at already (a head arriving byte by byte is read once, not again
// on every byte).
std::optional<std::size_t> HeadEnd(const std::string& received, std::size_t from = 0);
// Reads a head (request line and fields, without the empty line) or says why not.
std::optional<TRequestHead> ParseHead(const std::string& text, TRefusal& refusal);

// How the body is framed: `Chunked`, or a length (0 for none). A length over `maxBody` is
// refused at once, before a byte of the body is read.
struct TFraming {
  bool Chunked = false;
  std::size_t Length = 0;
};
std::optional<TFraming> Framing(const TRequestHead& head, std::size_t maxBody, TRefusal& refusal);

// A chunked body decoded as it arrives; the decoded size counts against the same limit.
class TChunkedBody {
public:
  enum class TState { More, Done, Bad, TooLarge };
  explicit TChunkedBody(std::size_t limit) : FLimit(limit) {}
  // Takes what it can from the front of `received`, appending the data to `body`.
  TState Feed(std::string& received, std::string& body);

private:
  enum class TPhase { Size, Data, DataEnd, Trailer };
  TPhase FPhase = TPhase::Size;
  std::size_t FLimit, FLeft = 0, FTrailerBytes = 0;
};

// The sender and whether it used HTTPS. A request from a trusted proxy is taken at its word
// (X-Forwarded-For, read from the right up to the first untrusted address, and
// X-Forwarded-Proto); from anyone else those fields mean nothing.
struct TSender {
  std::string Address;
  bool Https = false;
};
// An address in the form it is compared in, or nothing when it is none.
std::optional<std::string> CanonicalAddress(const std::string& text);
TSender ResolveSender(const std::string& peer, const TRequestHead& head, const std::vector<std::string>& trusted);

// The names of the fields the intake tells the routes with; never taken from a sender.
constexpr const char* kSenderField = "X-Intake-Sender";
constexpr const char* kSchemeField = "X-Intake-Scheme";
constexpr const char* kKeyField = "X-Intake-Key";

// The request as the routes get it: one body with its length, Connection: close, the
// sender's fields set by us and every field of the same names the sender wrote dropped.
std::string ForwardedRequest(const TRequestHead& head, const std::string& body, const TSender& sender,
                             const std::string& key);

}  // namespace vm::server
