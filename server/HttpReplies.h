// Small pieces shared by the server's route files (ReportServer.cpp, TriageRoutes.cpp).
#pragma once

#include <httplib.h>

#include <cstdint>
#include <string>

namespace vm::server {

inline void Html(httplib::Response& res, const std::string& page, int status = 200) {
  res.status = status;
  res.set_content(page, "text/html; charset=utf-8");
}

// A decimal number from a path or query, or `fallback` for anything else.
inline std::int64_t Number(const std::string& text, std::int64_t fallback) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return fallback;
  return std::stoll(text);
}

}  // namespace vm::server
