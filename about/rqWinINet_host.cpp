// The host has no Internet library and no system message table; only the portable rules
// of the client are used there.
#include "about/rqWinINet.h"

namespace vm {

std::string SystemMessageText(std::int32_t) { return {}; }

}  // namespace vm
