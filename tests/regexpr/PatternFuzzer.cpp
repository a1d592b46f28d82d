// libFuzzer target for the pattern engine: compiles arbitrary patterns under arbitrary
// modifiers and runs them over arbitrary subjects. Input layout:
//   byte 0      modifier bits (i r s g m x), bit 6: paired separator off
//   byte 1      pattern length (0..255)
//   then        the pattern, then the subject (at most 512 bytes)
// Sizes are bounded here and so is the number of matcher steps, because a backtracking
// engine may take exponential time on purpose-built patterns; the engine's own recursion
// bound must hold whatever it is given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "regexpr/PatternEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t settings = data[0];
  const std::size_t patternLen = std::min<std::size_t>(data[1], size - 2);
  const std::string pattern(reinterpret_cast<const char*>(data + 2), patternLen);
  const std::size_t subjectLen = std::min<std::size_t>(size - 2 - patternLen, 512);
  const std::string subject(reinterpret_cast<const char*>(data + 2 + patternLen), subjectLen);

  vm::TPatternEngine re;
  re.SetMatchStepLimit(20000);
  for (int index = 1; index <= 6; ++index) re.SetModifier(index, (settings >> (index - 1)) & 1);
  if (settings & 64) re.SetLinePairedSeparator("");
  re.SetExpression(pattern);
  try {
    re.DumpProgram();
    if (re.Exec(subject)) {
      for (int n = 0; n < 15; ++n) {
        std::string text = re.GroupText(n);
        if (re.MatchPos(n) >= 0 && text.size() != std::size_t(re.MatchLen(n))) std::abort();
      }
      const int next = re.MatchPos(0) + std::max(re.MatchLen(0), 1);
      re.ExecAt(next);
    }
  } catch (const vm::EPatternError&) {
    // Bad patterns and exhausted limits end in errors; that is their expected outcome.
  }
  return 0;
}
