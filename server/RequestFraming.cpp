#include "server/RequestFraming.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace vm::server {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return std::tolower(x) == std::tolower(y); });
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsToken(const std::string& text) {
  static const std::string kExtra = "!#$%&'*+-.^_`|~";
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || kExtra.find(c) != std::string::npos;
  });
}

bool HasControl(const std::string& text, bool tabAllowed) {
  return std::any_of(text.begin(), text.end(), [&](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && !(tabAllowed && c == '\t')) || u == 0x7f;
  });
}

// Notes why and returns nothing, whatever the optional asked for.
std::nullopt_t Refuse(TRefusal& refusal, int status, const char* why) {
  refusal = {status, why};
  return std::nullopt;
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  size_t at = 0;
  while (at <= list.size()) {
    size_t end = list.find(',', at);
    if (end == std::string::npos) end = list.size();
    items.push_back(Trimmed(list.substr(at, end - at)));
    at = end + 1;
  }
  return items;
}

}  // namespace

std::optional<std::string> TRequestHead::Field(const std::string& name) const {
  std::optional<std::string> value;
  for (const auto& [n, v] : Fields)
    if (SameName(n, name)) value = value ? *value + ", " + v : v;
  return value;
}

std::optional<std::size_t> HeadEnd(const std::string& received, std::size_t from) {
  const size_t at = received.find("\r\n\r\n", from < 3 ? 0 : from - 3);
  return at == std::string::npos ? std::nullopt : std::optional<std::size_t>(at + 4);
}

std::optional<TRequestHead> ParseHead(const std::string& text, TRefusal& refusal) {
  TRequestHead head;
  size_t at = text.find("\r\n");
  const std::string line = text.substr(0, at);
  const size_t s1 = line.find(' '), s2 = line.rfind(' ');
  if (s1 == std::string::npos || s1 == s2) return Refuse(refusal, 400, "malformed request line");
  head.Method = line.substr(0, s1);
  head.Target = line.substr(s1 + 1, s2 - s1 - 1);
  head.Version = line.substr(s2 + 1);
  if (!IsToken(head.Method) || head.Target.empty() || head.Target.find(' ') != std::string::npos ||
      HasControl(head.Target, false))
    return Refuse(refusal, 400, "malformed request line");
  if (head.Version != "HTTP/1.1" && head.Version != "HTTP/1.0")
    return Refuse(refusal, 505, "HTTP version not supported");

  while (at != std::string::npos && at + 2 <= text.size()) {
    const size_t start = at + 2;
    at = text.find("\r\n", start);
    const std::string field = text.substr(start, at == std::string::npos ? std::string::npos : at - start);
    if (field.empty()) break;
    // A name followed by spaces, or a folded line, is read differently by different
    // servers: a way to slip a second request past a proxy, so neither is taken.
    const size_t colon = field.find(':');
    if (colon == std::string::npos || !IsToken(field.substr(0, colon)))
      return Refuse(refusal, 400, "malformed header field");
    const std::string value = Trimmed(field.substr(colon + 1));
    if (HasControl(value, true)) return Refuse(refusal, 400, "malformed header field");
    if (head.Fields.size() >= kMaxHeadFields) return Refuse(refusal, 431, "too many header fields");
    head.Fields.emplace_back(field.substr(0, colon), value);
  }
  return head;
}

std::optional<TFraming> Framing(const TRequestHead& head, std::size_t maxBody, TRefusal& refusal) {
  const auto chunked = head.Field("Transfer-Encoding");
  const auto length = head.Field("Content-Length");
  if (chunked && length) return Refuse(refusal, 400, "both Content-Length and Transfer-Encoding");
  if (chunked) {
    if (Lower(*chunked) != "chunked") return Refuse(refusal, 501, "only the chunked transfer coding is taken");
    if (head.Version == "HTTP/1.0") return Refuse(refusal, 400, "chunks in an HTTP/1.0 request");
    return TFraming{true, 0};
  }
  if (!length) return TFraming{};
  // Several fields must all say the same; anything but digits is no length.
  std::optional<std::string> same;
  for (const std::string& item : Split(*length)) {
    if (item.empty() || item.size() > 15 || item.find_first_not_of("0123456789") != std::string::npos ||
        (same && *same != item))
      return Refuse(refusal, 400, "malformed Content-Length");
    same = item;
  }
  const std::size_t n = std::stoull(*same);
  if (n > maxBody) return Refuse(refusal, 413, "the upload is larger than this server takes");
  return TFraming{false, n};
}

TChunkedBody::TState TChunkedBody::Feed(std::string& received, std::string& body) {
  size_t at = 0;
  TState state = TState::More;
  while (state == TState::More) {
    if (FPhase == TPhase::Data) {
      const size_t n = std::min(FLeft, received.size() - at);
      if (n == 0) break;
      body.append(received, at, n);
      at += n;
      FLeft -= n;
      if (FLeft == 0) FPhase = TPhase::DataEnd;
      continue;
    }
    const size_t end = received.find("\r\n", at);
    if (end == std::string::npos) {
      // A size line or trailer without end: wait, but not for ever.
      if (received.size() - at > 1024) state = TState::Bad;
      break;
    }
    const std::string line = received.substr(at, end - at);
    at = end + 2;
    if (FPhase == TPhase::DataEnd) {
      if (!line.empty()) state = TState::Bad;
      FPhase = TPhase::Size;
    } else if (FPhase == TPhase::Trailer) {
      FTrailerBytes += line.size() + 2;
      if (line.empty())
        state = TState::Done;
      else if (FTrailerBytes > kMaxHeadBytes)
        state = TState::Bad;
    } else {
      const std::string size = Trimmed(line.substr(0, line.find(';')));
      if (size.empty() || size.size() > 15 || size.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        state = TState::Bad;
        break;
      }
      FLeft = std::stoull(size, nullptr, 16);
      if (FLeft > FLimit - std::min(FLimit, body.size())) state = TState::TooLarge;
      FPhase = FLeft == 0 ? TPhase::Trailer : TPhase::Data;
    }
  }
  received.erase(0, at);
  return state;
}

std::optional<std::string> CanonicalAddress(const std::string& text) {
  unsigned char raw[16];
  char out[INET6_ADDRSTRLEN];
  const int family = text.find(':') == std::string::npos ? AF_INET : AF_INET6;
  if (inet_pton(family, text.c_str(), raw) != 1 || !inet_ntop(family, raw, out, sizeof out)) return std::nullopt;
  return std::string(out);
}

TSender ResolveSender(const std::string& peer, const TRequestHead& head, const std::vector<std::string>& trusted) {
  const auto isTrusted = [&](const std::string& a) {
    return std::find(trusted.begin(), trusted.end(), a) != trusted.end();
  };
  TSender sender{peer, false};
  if (!isTrusted(peer)) return sender;
  // Each proxy appends the address it was called from; only the entries our own proxies
  // added can be believed, so the first untrusted one from the right is the sender.
  const auto chain = Split(head.Field("X-Forwarded-For").value_or(""));
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const auto address = CanonicalAddress(*it);
    if (!address) break;
    sender.Address = *address;
    if (!isTrusted(*address)) break;
  }
  const auto schemes = Split(head.Field("X-Forwarded-Proto").value_or(""));
  sender.Https = Lower(schemes.back()) == "https";
  return sender;
}

std::string ForwardedRequest(const TRequestHead& head, const std::string& body, const TSender& sender,
                             const std::string& key) {
  static const char* kDropped[] = {"Connection", "Keep-Alive", "Transfer-Encoding", "Content-Length",
                                   "Expect",     "TE",         "Upgrade",           "Proxy-Connection",
                                   kSenderField, kSchemeField, kKeyField,           "Trailer"};
  std::string out = head.Method + " " + head.Target + " HTTP/1.1\r\n";
  for (const auto& field : head.Fields) {
    if (std::any_of(std::begin(kDropped), std::end(kDropped), [&](const char* d) { return SameName(field.first, d); }))
      continue;
    out += field.first + ": " + field.second + "\r\n";
  }
  if (!body.empty() || head.Field("Content-Length") || head.Field("Transfer-Encoding"))
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  out += std::string("Connection: close\r\n") + kSenderField + ": " + sender.Address + "\r\n" + kSchemeField + ": " +
         (sender.Https ? "https" : "http") + "\r\n" + kKeyField + ": " + key + "\r\n\r\n";
  return out + body;
}

}  // namespace vm::server
