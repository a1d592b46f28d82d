// The download client's rules over bytes from outside: addresses from the update file and
// header numbers from the server. Neither may crash, and a split address must be made
// of the text it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "about/rqWinINet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::int64_t value = 0;
  int bad = 0;
  if (!vm::ParseWholeNumber(text, value, bad) && (bad < 1 || size_t(bad) > text.size() + 1)) std::abort();
  vm::THttpAddress parts;
  if (vm::SplitAddress(text, parts)) {
    // The host is the start of what follows "://", the path the rest from its first "/".
    const std::string rest = text.substr(text.find("://") + 3);
    if (parts.Path.empty() || parts.Path[0] != '/' || parts.Host.find('/') != std::string::npos) std::abort();
    if (rest.compare(0, parts.Host.size(), parts.Host) != 0 || parts.Port < 1 || parts.Port > 65535) std::abort();
    if (rest.find('/') != std::string::npos && rest.substr(rest.find('/')) != parts.Path) std::abort();
  }
  return 0;
}
