#include "about/rqWinINet.h"

#include <algorithm>

#include "base/Exception.h"

namespace vm {

std::string InternetAgent = "rqWinINet";

void SetInternetAgent(const std::string& agent) { InternetAgent = agent; }

void TMemoryStream::Write(const void* data, size_t size) {
  FData.replace(FPosition, std::min(size, FData.size() - FPosition), static_cast<const char*>(data), size);
  FPosition += size;
}

std::string InternetErrorText(std::int32_t code) {
  switch (code) {
    case kErrorNotFoundOnServer:
      return "File not found on server!";
    case 12007:
      return "Could not find server!";
    case 12029:
      return "Could not connect to server!";
  }
  std::string text = SystemMessageText(code);
  if (!text.empty()) return std::to_string(code) + ": " + text;
  return "Unknown error #" + std::to_string(code);
}

bool SplitAddress(const std::string& address, THttpAddress& parts) {
  size_t scheme = address.find("://");
  if (scheme == std::string::npos) return false;
  std::string rest = address.substr(scheme + 3);
  size_t slash = rest.find('/');
  parts.Host = slash == std::string::npos ? rest : rest.substr(0, slash);
  parts.Path = slash == std::string::npos ? "/" : rest.substr(slash);
  parts.Port = 80;
  // A port written after the host name is the server's port; the library would take
  // "host:8080" for a name and fail to find it.
  size_t colon = parts.Host.rfind(':');
  if (colon != std::string::npos && colon + 1 < parts.Host.size() && parts.Host.size() - colon <= 6 &&
      parts.Host.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    int port = std::stoi(parts.Host.substr(colon + 1));
    if (port >= 1 && port <= 65535) {
      parts.Port = port;
      parts.Host.erase(colon);
    }
  }
  return true;
}

std::uint8_t ProgressPercent(std::int64_t bytesRead, std::int64_t totalSize) {
  if (totalSize <= 0) return 0;
  if (bytesRead == totalSize) return 100;
  // Rounded to the nearest whole percent; a body longer than announced stays at 100.
  std::int64_t percent = (bytesRead * 200 + totalSize) / (totalSize * 2);
  return std::uint8_t(percent > 100 ? 100 : percent < 0 ? 0 : percent);
}

bool ParseWholeNumber(const std::string& text, std::int64_t& value, int& badPosition) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) {
    badPosition = int(i) + 1;
    return false;
  }
  std::int64_t number = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9' || number > (INT64_MAX - 9) / 10) {
      badPosition = int(i) + 1;
      return false;
    }
    number = number * 10 + (text[i] - '0');
  }
  value = negative ? -number : number;
  return true;
}

}  // namespace vm
