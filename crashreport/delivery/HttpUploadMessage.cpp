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
  TUploadTarget target{std::string(rest.substr(0, slash)),
                       slash == std::string_view::npos ? "/" : std::string(rest.substr(slash))};
  if (!SameText(std::string_view(trimmed).substr(0, 8), "https://")) return target;
  target.Tls = true;
  target.Port = kHttpsPort;
  size_t colon = target.Host.rfind(':');
  if (colon != std::string::npos) {
    std::string_view port = std::string_view(target.Host).substr(colon + 1);
    int number = AllDigits(port) ? std::stoi(std::string(port)) : 0;
    target.Port = number > 0 && number <= 65535 ? number : -1;
    target.Host.resize(colon);
  }
  return target;
}

std::optional<TProxyAddress> ParseProxySetting(std::string_view setting, bool tls) {
  std::string text = Trim(setting);
  std::string_view rest = text;
  // A per-protocol list names each protocol's proxy after "http=" or "https="; a plain entry
  // serves every protocol.
  const std::string lower = LowerCase(rest);
  size_t entry = lower.find(tls ? "https=" : "http=");
  if (entry != std::string::npos) {
    rest = rest.substr(entry + (tls ? 6 : 5));
    size_t blank = rest.find_first_of(" ;");
    if (blank != std::string_view::npos) rest = rest.substr(0, blank);
  } else if (tls && lower.find('=') != std::string::npos) {
    return std::nullopt;
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

std::string ConnectRequestText(std::string_view host, int port) {
  const std::string target = std::string(host) + ":" + std::to_string(port);
  return "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\nUser-Agent: Zentrapix/3.0\r\n\r\n";
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
