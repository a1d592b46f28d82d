// Host side of the UTF-16 conversion: the host stands in for the Western code page 1252,
// which agrees with Latin-1 outside 0x80-0x9F; other characters become "?", as the
// system's conversion writes its default character.
#include "crashreport/settings/CrashSettingsStream.h"

namespace vm {

std::string Utf16ToAnsi(const std::u16string& units) {
  std::string out;
  out.reserve(units.size());
  for (char16_t u : units) out += (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) ? char(u) : '?';
  return out;
}

}  // namespace vm
