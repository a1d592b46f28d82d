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
  // Deep enough for real patterns over long lines, and small enough that the deepest
  // recursion stays well inside a 1 MB Windows thread stack.
  static constexpr int kMaxRecursion = 6000;

  TPatternMatcher(TPatternEngine& engine, TPatternData& data);
  // Tries start positions from `from` (a position in the subject copy) onwards.
  bool Run(const std::uint8_t* from);

private:
  using Byte = std::uint8_t;

  bool TryAt(const Byte* start);
  bool MatchPrim(const Byte* node);
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
  const Byte* FStart;   // subject start
  const Byte* FEnd;     // the subject's terminating NUL
  const Byte* FInput;   // match cursor
  const Byte* FFlip;
  int FDepth = 0;
  std::uint64_t FSteps = 0;
};

}  // namespace vm
