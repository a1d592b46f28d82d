// Small texts that both stores build the same way.
#pragma once

#include <string>

namespace vm::server {

// Now in UTC as the stores keep times: "YYYY-MM-DD HH:MM:SS" (sorts as it reads).
std::string UtcNow();
// A LIKE pattern (escape character '\') that finds `search` literally anywhere in a text.
std::string LikePattern(const std::string& search);

}  // namespace vm::server
