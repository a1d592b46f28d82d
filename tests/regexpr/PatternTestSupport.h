// Helpers shared by the pattern engine's tests.
#pragma once

#include <stdexcept>
#include <string>

#include "regexpr/PatternEngine.h"

namespace vm::test {

// Applies modifier letters on top of the defaults (r s g on): "i" switches i on, "-g"
// switches g off, "i-s" both.
inline void SetModifiers(TPatternEngine& re, const std::string& letters) {
  std::uint32_t word = re.ModifierWord();
  if (!TPatternEngine::ReadModifierLetters(letters, word)) throw std::invalid_argument(letters);
  for (int index = 1; index <= 6; ++index) re.SetModifier(index, (word >> (index - 1)) & 1);
}

// The code of the EPatternError that `action` raises, or -1 when it raises none.
template <class F>
int CodeOf(F action) {
  try {
    action();
  } catch (const EPatternError& e) {
    return e.Code;
  }
  return -1;
}

// The client ID's pattern as Chrome's file is searched with it.
inline const char* ClientIdPattern() {
  return "\"client_id\": \"([0-9A-Z]{8}-[0-9A-Z]{4}-[0-9A-Z]{4}-[0-9A-Z]{4}-[0-9A-Z]{12})\"";
}

}  // namespace vm::test
