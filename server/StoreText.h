// Small texts that both stores build the same way.
#pragma once

#include <string>

#include "server/ReportStore.h"

namespace vm::server {

// Now in UTC as the stores keep times: "YYYY-MM-DD HH:MM:SS" (sorts as it reads).
std::string UtcNow();
// A LIKE pattern (escape character '\') that finds `search` literally anywhere in a text.
std::string LikePattern(const std::string& search);

// A group's state as the stores keep it ("open", "resolved", "ignored"), and back; an
// unknown name reads as open.
const char* StateName(TGroupState state);
TGroupState StateOf(const std::string& name);
// The condition on the groups' table `g` that a state filter makes; nothing for all groups.
const char* StateCondition(TStateFilter filter);

}  // namespace vm::server
