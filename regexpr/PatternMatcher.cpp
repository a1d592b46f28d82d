// The matcher: MatchPrim walks the node program recursively, RegRepeat counts runs of a
// one-character operand without recursion. Entry point: TPatternMatcher::Run. Covered by
// tests/regexpr/MatchTest.cpp (match rows, anchors, loops, bounds) and ReferenceTest.cpp.
#include "regexpr/PatternMatcher.h"

#include <cstring>

namespace vm {

using namespace pattern;

namespace {

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

}  // namespace

TPatternMatcher::TPatternMatcher(TPatternEngine& engine, TPatternData& data)
    : FEngine(engine), D(data), FFlip(data.caseFlip) {
  FStart = reinterpret_cast<const Byte*>(D.subject.c_str());
  FEnd = FStart + D.subject.size();
  FInput = FStart;
}

bool TPatternMatcher::TryAt(const Byte* start) {
  FInput = start;
  if (!MatchPrim(D.program.get() + 1)) return false;
  D.groupStart[0] = start;
  D.groupEnd[0] = FInput;
  return true;
}

// Each recursion level costs a frame; past the budget the run ends in an orderly error.
void TPatternMatcher::CheckStack() {
  const char here = 0;
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(&here);
  const std::uintptr_t used = FStackBase > at ? FStackBase - at : at - FStackBase;
  if (used > kMaxStackBytes) Fail(TPatternEngine::kErrRecursionTooDeep);
}

// --- MatchPrim ---------------------------------------------------------------------

bool TPatternMatcher::MatchPrim(const Byte* scan) {
  CheckStack();
  if (D.stepLimit && ++FSteps > D.stepLimit) Fail(TPatternEngine::kErrStepLimit);

  while (scan) {
    const Byte* next = NextNode(scan);
    const Byte* operand = Operand(scan);
    const Byte op = scan[0];
    switch (op) {
      case End:
        return true;
      case InputStart:
        if (FInput != FStart) return false;
        break;
      case InputEnd:
        if (FInput != FEnd) return false;
        break;
      case LineStart:
        if (!AtLineStart()) return false;
        break;
      case LineEnd:
        if (!AtLineEnd()) return false;
        break;
      case AnyChar:
        if (FInput == FEnd) return false;
        ++FInput;
        break;
      case AnyInLine:
        if (FInput == FEnd || D.lineBreakSet.Has(*FInput) ||
            (D.pairSet && FInput[0] == D.pairHead && FInput[1] == D.pairTail))
          return false;
        ++FInput;
        break;
      case Literal: {
        // The subject ends in NUL and operands hold none, so a short subject mismatches.
        if (operand[0] == 0) return false;
        int i = 0;
        for (; operand[i]; ++i)
          if (FInput[i] != operand[i]) return false;
        FInput += i;
        break;
      }
      case LiteralFold: {
        if (operand[0] == 0) return false;
        int i = 0;
        for (; operand[i]; ++i)
          if (FInput[i] != operand[i] && FInput[i] != FFlip[operand[i]]) return false;
        FInput += i;
        break;
      }
      case Digit:
        if (!IsDigit(*FInput)) return false;
        ++FInput;
        break;
      case NonDigit:
        if (FInput == FEnd || IsDigit(*FInput)) return false;
        ++FInput;
        break;
      case SmallSet:
        if (FInput == FEnd || (*FInput != operand[0] && *FInput != operand[1] && *FInput != operand[2])) return false;
        ++FInput;
        break;
      case SmallSetNot:
        if (FInput == FEnd || *FInput == operand[0] || *FInput == operand[1] || *FInput == operand[2]) return false;
        ++FInput;
        break;
      case ByteSet:
        if (FInput == FEnd || !BitSetHas(operand, *FInput)) return false;
        ++FInput;
        break;
      case BackRef:
      case BackRefFold:
        if (!MatchBackRef(scan)) return false;
        break;
      case WordBoundary:
        if (!AtWordBoundary()) return false;
        break;
      case NonWordBoundary:
        if (AtWordBoundary()) return false;
        break;
      case Alternative:
        if (!next || next[0] != Alternative) {
          next = operand;  // a single alternative: no choice to make
          break;
        }
        for (const Byte* alt = scan; alt && alt[0] == Alternative; alt = NextNode(alt)) {
          const Byte* saved = FInput;
          if (MatchPrim(Operand(alt))) return true;
          FInput = saved;
        }
        return false;
      case JumpBack:
        return MatchJumpBack(next);
      case Empty:
      case NoOp:
        break;
      case RepeatStar:
      case RepeatPlus:
      case RepeatCount:
      case LazyStar:
      case LazyPlus:
      case LazyCount:
        return MatchRepeat(scan, next);
      case LoopEntry:
        return MatchLoopEntry(scan, next);
      case Loop:
      case LazyLoop:
        return MatchLoop(scan, next);
      default: {
        if (!IsGroupOpen(op) && !IsGroupClose(op)) Fail(1001);
        const Byte** slot = IsGroupOpen(op) ? &D.groupStart[GroupOf(op)] : &D.groupEnd[GroupOf(op)];
        const Byte* saved = *slot;
        *slot = FInput;
        if (MatchPrim(next)) return true;
        *slot = saved;
        return false;
      }
    }
    if (!next) Fail(1002);
    scan = next;
  }
  Fail(1002);
}

// A greedy `*` or `+` over a group goes round through JumpBack. A round that consumed
// nothing ends the loop: only what follows the loop is tried, with the captures of that
// round, since another round from the same place could only go round for ever. For `*`
// JumpBack ends a round, so the way out is the loop's second alternative; for `+` it begins
// the next round after the first, which counts towards the minimum of one whatever it
// consumed, and failing here leaves through the second alternative. The group's start is
// where the round began. Only group loops can be empty; other complex atoms consume.
bool TPatternMatcher::MatchJumpBack(const Byte* next) {
  if (!next) Fail(1002);
  const bool star = next[0] == Alternative;
  const Byte* body = star ? Operand(next) : next;
  if (!IsGroupOpen(body[0]) || D.groupStart[GroupOf(body[0])] != FInput) return MatchPrim(next);
  if (!star) return false;
  const Byte* out = NextNode(next);
  if (!out) Fail(1002);
  return MatchPrim(Operand(out));
}

// --- One-node repeats ---------------------------------------------------------------

bool TPatternMatcher::MatchRepeat(const Byte* scan, const Byte* next) {
  const Byte op = scan[0];
  const Byte* operand = RepeatOperand(scan);
  std::int32_t min = 0, max = 2147483647;
  if (op == RepeatPlus || op == LazyPlus) min = 1;
  if (op == RepeatCount || op == LazyCount) min = ReadInt(Operand(scan)), max = ReadInt(Operand(scan) + 4);
  const int nextLiteral = (next && next[0] == Literal) ? Operand(next)[0] : -1;
  const Byte* start = FInput;

  std::ptrdiff_t width = 1;
  if (operand[0] == BackRef || operand[0] == BackRefFold) {
    const int group = Operand(operand)[0];
    const Byte* from = D.groupStart[group];
    const Byte* to = D.groupEnd[group];
    width = (from && to && to >= from) ? to - from : 1;
    if (from && to && to == from) {
      // Copies of an empty capture all end where they start: one try stands for them all.
      if (nextLiteral >= 0 && *FInput != nextLiteral) return false;
      return MatchPrim(next);
    }
  }
  auto tryNext = [&]() { return (nextLiteral < 0 || *FInput == nextLiteral) && MatchPrim(next); };

  if (op == RepeatStar || op == RepeatPlus || op == RepeatCount) {
    std::int32_t n = RegRepeat(operand, max);
    if (n < min) return false;
    for (;;) {
      if (tryNext()) return true;
      if (--n < min) return false;
      FInput = start + n * width;
    }
  }
  const std::int32_t most = RegRepeat(operand, max);
  for (std::int32_t n = min; n <= most; ++n) {
    FInput = start + n * width;
    if (tryNext()) return true;
    if (n == most) break;
  }
  return false;
}

// How many times the simple node matches in a row at the cursor, at most max; moves past them.
int TPatternMatcher::RegRepeat(const Byte* node, std::int32_t max) {
  const Byte* operand = Operand(node);
  if (node[0] == BackRef || node[0] == BackRefFold) {
    std::int32_t n = 0;
    while (n < max && MatchBackRef(node)) ++n;
    return n;
  }
  const Byte* limit = (FEnd - FInput > max) ? FInput + max : FEnd;
  const Byte* p = FInput;
  switch (node[0]) {
    case AnyChar:
      p = limit;
      break;
    case Literal:
      while (p < limit && *p == operand[0]) ++p;
      break;
    case LiteralFold:
      while (p < limit && (*p == operand[0] || *p == FFlip[operand[0]])) ++p;
      break;
    case Digit:
      while (p < limit && IsDigit(*p)) ++p;
      break;
    case NonDigit:
      while (p < limit && !IsDigit(*p)) ++p;
      break;
    case SmallSet:
      while (p < limit && (*p == operand[0] || *p == operand[1] || *p == operand[2])) ++p;
      break;
    case SmallSetNot:
      while (p < limit && *p != operand[0] && *p != operand[1] && *p != operand[2]) ++p;
      break;
    case ByteSet:
      while (p < limit && BitSetHas(operand, *p)) ++p;
      break;
    default:
      Fail(1000);
  }
  const int n = int(p - FInput);
  FInput = p;
  return n;
}

bool TPatternMatcher::MatchBackRef(const Byte* node) {
  const int group = Operand(node)[0];
  const Byte* from = D.groupStart[group];
  const Byte* to = D.groupEnd[group];
  // Inside its own group a capture may have a new start and an old end: it is not set yet.
  if (!from || !to || to < from) return false;
  const std::ptrdiff_t len = to - from;
  if (FEnd - FInput < len) return false;
  if (node[0] == BackRef) {
    if (std::memcmp(FInput, from, std::size_t(len)) != 0) return false;
  } else {
    for (std::ptrdiff_t i = 0; i < len; ++i)
      if (FInput[i] != from[i] && FInput[i] != FFlip[from[i]]) return false;
  }
  FInput += len;
  return true;
}

}  // namespace vm
