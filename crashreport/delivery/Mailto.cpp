#include "crashreport/delivery/Mailto.h"

#include <algorithm>
#include <cctype>

namespace vm {

std::string MailtoEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) && u < 0x80) {
      out += c;
    } else if (c == '-' || c == '_' || c == '.' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

std::string MailtoLink(const std::vector<std::string>& recipients, std::string_view subject, std::string_view report) {
  std::string link = "mailto:";
  for (size_t i = 0; i < recipients.size(); ++i) link += (i ? "," : "") + recipients[i];
  return link + "?subject=" + MailtoEncode(subject) + "&body=" + MailtoEncode(report);
}

std::string MailtoCommandLine(std::string_view openCommand, std::string_view link, size_t limit) {
  std::string command(openCommand);
  size_t slot = command.find("%1");
  // Only the link is cut; the text after "%1" (a closing quote) must survive.
  std::string before = slot == std::string::npos ? command + " " : command.substr(0, slot);
  std::string after = slot == std::string::npos ? std::string() : command.substr(slot + 2);
  if (before.size() + after.size() >= limit) return (before + after).substr(0, limit);
  size_t room = limit - before.size() - after.size();
  std::string_view kept = link.substr(0, std::min(room, link.size()));
  // An escape is three characters; one cut short would decode to garbage.
  for (size_t back = 1; back <= 2 && back <= kept.size(); ++back)
    if (kept[kept.size() - back] == '%' && kept.size() < link.size()) {
      kept.remove_suffix(back);
      break;
    }
  return before + std::string(kept) + after;
}

}  // namespace vm
