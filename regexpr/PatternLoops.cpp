// The matcher's counted loops on complex atoms (LoopEntry, Loop, LazyLoop) and its
// position tests (line anchors, word boundaries). Covered by tests/regexpr/MatchTest.cpp.
#include "regexpr/PatternMatcher.h"

namespace vm {

using namespace pattern;

// LoopEntry opens a loop level with its counter at 0, then runs the loop node.
bool TPatternMatcher::MatchLoopEntry(const Byte* /*scan*/, const Byte* next) {
  const std::int32_t depth = D.loopDepth;
  if (depth + 1 > kMaxLoopDepth) Fail(1014);
  D.loopDepth = depth + 1;
  D.loopCounters[depth + 1] = 0;
  D.loopIterStart[depth + 1] = nullptr;
  const Byte* saved = FInput;
  const bool matched = MatchPrim(next);
  D.loopDepth = depth;
  if (!matched) FInput = saved;
  return matched;
}

// Each repetition of the repeated part ends at this node again. The level's counter and
// iteration start are put back after every attempt, so a failed attempt leaves no trace.
bool TPatternMatcher::MatchLoop(const Byte* scan, const Byte* next) {
  const std::int32_t level = D.loopDepth;
  if (level == 0) Fail(1015);
  const Byte* operand = Operand(scan);
  const std::int32_t min = ReadInt(operand), max = ReadInt(operand + 4);
  const Byte* body = scan + ReadInt(operand + 8);
  const std::int32_t count = D.loopCounters[level];
  const Byte* iterStart = D.loopIterStart[level];
  const Byte* saved = FInput;

  auto restore = [&] {
    D.loopDepth = level;
    D.loopCounters[level] = count;
    D.loopIterStart[level] = iterStart;
  };
  auto repeatOnce = [&] {
    D.loopCounters[level] = count + 1;
    D.loopIterStart[level] = FInput;
    const bool matched = MatchPrim(body);
    restore();
    if (!matched) FInput = saved;
    return matched;
  };
  auto leave = [&] {
    D.loopDepth = level - 1;
    const bool matched = MatchPrim(next);
    restore();
    if (!matched) FInput = saved;
    return matched;
  };

  // A repetition that consumed nothing still counts towards the minimum: the next one may
  // see other captures or anchors and consume. Once the minimum is met, it ends the loop
  // (greedy or lazy alike), since more of them could only go round for ever.
  if (count < min) return repeatOnce();
  if (count > 0 && iterStart == FInput) return leave();
  if (scan[0] == Loop) return (count < max && repeatOnce()) || leave();
  return leave() || (count < max && repeatOnce());
}

// With the paired separator H T (CR LF by default) the pair counts as one line break:
// a line starts after it, not between its two characters.
bool TPatternMatcher::AtLineStart() const {
  if (FInput == FStart) return true;
  const Byte before = FInput[-1];
  if (D.pairSet) {
    if (before == D.pairTail && FInput - 1 > FStart && FInput[-2] == D.pairHead) return true;
    if (before == D.pairHead && *FInput == D.pairTail) return false;
  }
  return D.lineBreakSet.Has(before);
}

bool TPatternMatcher::AtLineEnd() const {
  if (FInput == FEnd) return true;
  const Byte c = *FInput;
  if (D.pairSet) {
    if (c == D.pairHead && FInput[1] == D.pairTail) return true;
    if (c == D.pairTail && FInput > FStart && FInput[-1] == D.pairHead) return false;
  }
  return D.lineBreakSet.Has(c);
}

bool TPatternMatcher::AtWordBoundary() const {
  const bool wordBefore = FInput > FStart && D.wordSet.Has(FInput[-1]);
  const bool wordHere = FInput < FEnd && D.wordSet.Has(*FInput);
  return wordBefore != wordHere;
}

}  // namespace vm
