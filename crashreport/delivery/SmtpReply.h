// Reading an SMTP server's replies: "250-..." lines continue, "250 ..." ends a reply.
// Outside bytes: fuzzed by tests/crashreport/delivery/SmtpReplyFuzzer.cpp.
#pragma once

#include <string>
#include <string_view>

namespace vm {

// The most one reply may take; a server that goes on longer has failed.
inline constexpr size_t kSmtpReplyLimit = 16384;

struct TSmtpReply {
  enum class TKind { NeedMore, Complete, Malformed };
  TKind Kind = TKind::NeedMore;
  int Code = 0;       // the three-digit code of a complete reply
  std::string Text;   // the texts of its lines, joined by LF
  size_t Length = 0;  // the bytes it took, its last CR LF included
};

// The first reply in `bytes`. Lines end in CR LF (a lone LF is accepted).
TSmtpReply ParseSmtpReply(std::string_view bytes);

}  // namespace vm
