// Fuzzes the SMTP reply reader: any bytes must parse without a fault; a complete reply
// never claims more bytes than it was given, and its code is three digits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crashreport/delivery/SmtpReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vm;
  TSmtpReply r = ParseSmtpReply(std::string_view(reinterpret_cast<const char*>(data), size));
  if (r.Kind == TSmtpReply::TKind::Complete && (r.Length > size || r.Length == 0 || r.Code < 0 || r.Code > 999))
    std::abort();
  return 0;
}
