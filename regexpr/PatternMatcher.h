// The matcher: runs a compiled program over the subject copy by backtracking. Entry point:
// TPatternMatcher::Run (used by TPatternEngine::ExecAt). Covered by
// tests/regexpr/MatchTest.cpp and ReferenceTest.cpp.
#pragma once

#include <cstdint>

#include "regexpr/PatternData.h"
#include "regexpr/PatternEngine.h"

namespace vm {

class TPatternMatcher {
public:
  // The most stack that one run may take: well inside a 1 MB Windows thread stack, and
  // room for a few thousand repetitions of a complex atom. Measured in bytes rather than
  // calls, because frame sizes differ between debug, sanitizer and release builds.
  static constexpr std::size_t kMaxStackBytes = 512 * 1024;

  TPatternMatcher(TPatternEngine& engine, TPatternData& data);
  // Tries start positions from `from` (a position in the subject copy) onwards.
  bool Run(const std::uint8_t* from);

private:
  using Byte = std::uint8_t;

  bool TryAt(const Byte* start);
  bool MatchPrim(const Byte* node);
  void CheckStack();
  bool MatchRepeat(const Byte* node, const Byte* next);
  bool MatchLoopEntry(const Byte* node, const Byte* next);
  bool MatchLoop(const Byte* node, const Byte* next);
  bool MatchJumpBack(const Byte* next);
  int RegRepeat(const Byte* node, std::int32_t max);
  bool MatchBackRef(const Byte* node);
  bool AtLineStart() const;
  bool AtLineEnd() const;
  bool AtWordBoundary() const;
  const Byte* FindRequiredLiteral(const Byte* from) const;

  [[noreturn]] void Fail(int code) { FEngine.Fail(code); }

  TPatternEngine& FEngine;
  TPatternData& D;
  const Byte* FStart;  // subject start
  const Byte* FEnd;    // the subject's terminating NUL
  const Byte* FInput;  // match cursor
  const Byte* FFlip;
  std::uintptr_t FStackBase = 0;
  std::uint64_t FSteps = 0;
};

}  // namespace vm
