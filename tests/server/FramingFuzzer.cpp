// Arbitrary bytes as a request reaching the intake: reading its head and body must never
// crash, a body never grows past the limit, and the request passed on to the routes is
// well formed, with its length and the sender's fields exactly as the intake set them.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/RequestFraming.h"

namespace {

using namespace vm::server;

constexpr std::size_t kLimit = 4096;

void Check(bool ok) {
  if (!ok) std::abort();
}

// Reads the body in pieces of `step` bytes, as they may arrive.
bool ReadBody(const TFraming& framing, const std::string& rest, size_t step, std::string& body) {
  if (!framing.Chunked) {
    if (rest.size() < framing.Length) return false;
    body = rest.substr(0, framing.Length);
    return true;
  }
  TChunkedBody chunks(kLimit);
  std::string received;
  for (size_t at = 0; at < rest.size(); at += step) {
    received += rest.substr(at, step);
    const auto state = chunks.Feed(received, body);
    Check(body.size() <= kLimit);
    if (state == TChunkedBody::TState::Done) return true;
    if (state != TChunkedBody::TState::More) return false;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t step = 1 + data[0] % 17;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto end = HeadEnd(bytes);
  if (!end || *end > kMaxHeadBytes) return 0;
  TRefusal refusal;
  const auto head = ParseHead(bytes.substr(0, *end - 2), refusal);
  // Room for the fields the intake adds, so that the request passed on reads back here.
  if (!head || head->Fields.size() > kMaxHeadFields - 5) return 0;
  const auto framing = Framing(*head, kLimit, refusal);
  if (!framing) return 0;
  std::string body;
  if (!ReadBody(*framing, bytes.substr(*end), step, body)) return 0;

  const TSender sender = ResolveSender("10.0.0.1", *head, {"10.0.0.1"});
  Check(CanonicalAddress(sender.Address).has_value());
  const std::string forwarded = ForwardedRequest(*head, body, sender, "KEY");
  const auto forwardedEnd = HeadEnd(forwarded);
  Check(forwardedEnd.has_value());
  const auto again = ParseHead(forwarded.substr(0, *forwardedEnd - 2), refusal);
  Check(again.has_value());
  const auto length = Framing(*again, kLimit, refusal);
  Check(length && !length->Chunked && length->Length == body.size());
  Check(forwarded.substr(*forwardedEnd) == body);
  Check(again->Field(kSenderField) == sender.Address && again->Field(kKeyField) == "KEY");
  return 0;
}
