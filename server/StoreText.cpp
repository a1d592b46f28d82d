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

const char* StateName(TGroupState state) {
  return state == TGroupState::Resolved ? "resolved" : state == TGroupState::Ignored ? "ignored" : "open";
}

TGroupState StateOf(const std::string& name) {
  return name == "resolved" ? TGroupState::Resolved : name == "ignored" ? TGroupState::Ignored : TGroupState::Open;
}

const char* StateCondition(TStateFilter filter) {
  switch (filter) {
    case TStateFilter::Open:
      return "g.state = 'open'";
    case TStateFilter::Regressed:
      return "g.state = 'open' AND g.regressed";
    case TStateFilter::Resolved:
      return "g.state = 'resolved'";
    case TStateFilter::Ignored:
      return "g.state = 'ignored'";
    case TStateFilter::All:
      break;
  }
  return nullptr;
}

}  // namespace vm::server
