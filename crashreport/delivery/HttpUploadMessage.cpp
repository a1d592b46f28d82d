#include "crashreport/delivery/HttpUploadMessage.h"

#include <cctype>

#include "base/Text.h"
#include "crashreport/delivery/Base64.h"

namespace vm {

namespace {

std::string_view AfterScheme(std::string_view text) {
  size_t at = text.find("://");
  return at == std::string_view::npos ? text : text.substr(at + 3);
}

bool AllDigits(std::string_view s) {
  if (s.empty() || s.size() > 5) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string PartStart(std::string_view name) {
  std::string s = "\r\n--";
  s += kUploadBoundary;
  s += "\r\nContent-Disposition: form-data; name=\"";
  s += name;
  s += '"';
  return s;
}

}  // namespace

TUploadTarget SplitHttpServer(std::string_view server) {
  const std::string trimmed = Trim(server);
  std::string_view rest = AfterScheme(trimmed);
  size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return {std::string(rest), "/"};
  return {std::string(rest.substr(0, slash)), std::string(rest.substr(slash))};
}

std::optional<TProxyAddress> ParseProxySetting(std::string_view setting) {
  std::string text = Trim(setting);
  std::string_view rest = text;
  // A per-protocol list names the HTTP proxy after "http="; a plain entry serves every protocol.
  size_t http = LowerCase(rest).find("http=");
  if (http != std::string::npos) {
    rest = rest.substr(http + 5);
    size_t blank = rest.find_first_of(" ;");
    if (blank != std::string_view::npos) rest = rest.substr(0, blank);
  }
  rest = AfterScheme(rest);
  while (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view port = rest.substr(colon + 1);
  if (!AllDigits(port)) return std::nullopt;
  int number = std::stoi(std::string(port));
  if (number <= 0 || number > 65535) return std::nullopt;
  return TProxyAddress{std::string(rest.substr(0, colon)), number};
}

std::string AngleAddress(std::string_view address) {
  std::string text = Trim(address);
  if (text.find('<') != std::string::npos && text.find('>') != std::string::npos) return text;
  return "<" + text + ">";
}

std::string UploadHeaderText(const TUploadHeader& h) {
  std::string s;
  s += "POST " + h.Target.Path + " HTTP/1.1\r\n";
  s += "Host: " + h.Target.Host + ":" + std::to_string(h.Port) + "\r\n";
  s += "Connection: close\r\n";
  s += "Pragma: no-cache\r\n";
  s += "User-Agent: Zentrapix/3.0\r\n";
  s += "Content-Type: multipart/form-data; boundary=";
  s += kUploadBoundary;
  s += "\r\n";
  s += "Content-Length: " + std::to_string(h.ContentLength) + "\r\n";
  if (!h.Sender.empty()) s += "From: " + AngleAddress(h.Sender) + "\r\n";
  if (!h.Account.empty() || !h.Password.empty())
    s += "Authorization: Basic " + Base64Encode(h.Account + ":" + h.Password) + "\r\n";
  return s;
}

std::string FieldPartText(std::string_view name, std::string_view value) {
  std::string s = PartStart(name);
  s += "\r\n\r\n";
  s += value;
  return s;
}

std::string AttachmentPartHead(std::string_view fieldName, std::string_view sendAs) {
  std::string s = PartStart(fieldName);
  s += "; filename=\"";
  s += sendAs;
  s += "\"\r\nContent-Type: application/octet-stream\r\n\r\n";
  return s;
}

std::string ClosingLineText() {
  std::string s = "\r\n--";
  s += kUploadBoundary;
  s += "--\r\n";
  return s;
}

std::uint64_t UploadBodyLength(const TICrashFields& fields, std::string_view attachmentHeads,
                               std::uint64_t attachmentBytes) {
  std::uint64_t length = attachmentHeads.size() + attachmentBytes + ClosingLineText().size();
  for (int i = 0; i < fields.Count(); ++i) length += FieldPartText(fields.Name(i), fields.Value(i)).size();
  // The first part's leading CR LF is the header block's empty line, not body.
  return length - 2;
}

}  // namespace vm
