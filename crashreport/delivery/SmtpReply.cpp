#include "crashreport/delivery/SmtpReply.h"

#include <cctype>

namespace vm {

namespace {
TSmtpReply Malformed() {
  TSmtpReply r;
  r.Kind = TSmtpReply::TKind::Malformed;
  return r;
}
}  // namespace

TSmtpReply ParseSmtpReply(std::string_view bytes) {
  TSmtpReply reply;
  size_t at = 0;
  for (;;) {
    size_t end = bytes.find('\n', at);
    if (end == std::string_view::npos) return bytes.size() > kSmtpReplyLimit ? Malformed() : reply;
    std::string_view line = bytes.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0])) ||
        !std::isdigit(static_cast<unsigned char>(line[1])) || !std::isdigit(static_cast<unsigned char>(line[2])))
      return Malformed();
    int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    // Every line of one reply carries the same code.
    if (reply.Code != 0 && code != reply.Code) return Malformed();
    reply.Code = code;
    char mark = line.size() > 3 ? line[3] : ' ';
    if (mark != ' ' && mark != '-') return Malformed();
    if (!reply.Text.empty()) reply.Text += '\n';
    reply.Text += line.size() > 4 ? line.substr(4) : std::string_view();
    at = end + 1;
    if (mark == ' ') {
      reply.Kind = TSmtpReply::TKind::Complete;
      reply.Length = at;
      return reply;
    }
    if (at > kSmtpReplyLimit) return Malformed();
  }
}

}  // namespace vm
