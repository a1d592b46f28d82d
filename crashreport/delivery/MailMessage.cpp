#include "crashreport/delivery/MailMessage.h"

#include "base/Exception.h"
#include "base/FileIO.h"
#include "base/Text.h"
#include "crashreport/delivery/Base64.h"

namespace vm {

namespace {

constexpr std::string_view kMailBoundary = "----ZentrapixMailPart5e21a0";

bool PlainHeader(std::string_view text) {
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || (u < 0x20 && c != '\t')) return false;
  }
  return true;
}

// A body with every line break as CR LF, as SMTP wants.
std::string CrLfLines(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> SplitRecipients(std::string_view list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find_first_of(",;", start);
    std::string entry = Trim(list.substr(start, end == std::string_view::npos ? end : end - start));
    if (!entry.empty()) out.push_back(entry);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return out;
}

std::string BareAddress(std::string_view address) {
  size_t open = address.find('<'), close = address.rfind('>');
  if (open != std::string_view::npos && close != std::string_view::npos && close > open)
    return Trim(address.substr(open + 1, close - open - 1));
  return Trim(address);
}

std::string EncodeHeaderText(std::string_view text, std::string_view charset) {
  if (PlainHeader(text)) return std::string(text);
  // Each word carries whole 3-byte groups, so that it decodes on its own.
  const std::string prefix = "=?" + std::string(charset) + "?B?";
  const size_t room = 75 - prefix.size() - 2;
  const size_t perWord = room / 4 * 3;
  std::string out;
  for (size_t at = 0; at < text.size(); at += perWord) {
    if (!out.empty()) out += "\r\n ";
    out += prefix + Base64Encode(text.substr(at, perWord)) + "?=";
  }
  return out;
}

std::string EncodeAddressHeader(std::string_view address, std::string_view charset) {
  size_t open = address.find('<');
  if (open == std::string_view::npos || open == 0) return Trim(address);
  std::string name = Trim(address.substr(0, open));
  return EncodeHeaderText(name, charset) + " " + Trim(address.substr(open));
}

std::string BuildMimeMessage(const TMailMessage& mail, std::string_view charset, std::string_view date) {
  std::string m;
  if (!mail.Sender.empty()) m += "From: " + EncodeAddressHeader(mail.Sender, charset) + "\r\n";
  std::string to;
  for (const auto& r : mail.Recipients) to += (to.empty() ? "" : ", ") + r;
  m += "To: " + to + "\r\n";
  m += "Subject: " + EncodeHeaderText(mail.Subject, charset) + "\r\n";
  if (!date.empty()) m += "Date: " + std::string(date) + "\r\n";
  m += "MIME-Version: 1.0\r\n";
  m += "Content-Type: multipart/mixed; boundary=\"" + std::string(kMailBoundary) + "\"\r\n";
  m += "\r\nThis is a multi-part message in MIME format.\r\n";
  m += "\r\n--" + std::string(kMailBoundary) + "\r\n";
  m += "Content-Type: text/plain; charset=" + std::string(charset) + "\r\n";
  m += "Content-Transfer-Encoding: 8bit\r\n\r\n";
  m += CrLfLines(mail.Body) + "\r\n";
  for (const TMailFile& f : mail.Files) {
    std::string bytes;
    try {
      bytes = ReadFileDenyWrite(f.Path);
    } catch (const Exception&) {
      continue;
    }
    const std::string name = EncodeHeaderText(f.SendAs, charset);
    m += "\r\n--" + std::string(kMailBoundary) + "\r\n";
    m += "Content-Type: application/octet-stream; name=\"" + name + "\"\r\n";
    m += "Content-Transfer-Encoding: base64\r\n";
    m += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n";
    m += Base64Lines(bytes);
  }
  m += "\r\n--" + std::string(kMailBoundary) + "--\r\n";
  return m;
}

}  // namespace vm
