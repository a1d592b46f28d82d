#include "server/StoreText.h"

#include <ctime>

namespace vm::server {

std::string UtcNow() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
  return buf;
}

std::string LikePattern(const std::string& search) {
  std::string p = "%";
  for (char c : search) {
    if (c == '%' || c == '_' || c == '\\') p += '\\';
    p += c;
  }
  return p + "%";
}

}  // namespace vm::server
