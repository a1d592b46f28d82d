// Compiler, part 3: the hints that let the matcher skip start positions
// (firstLiteralChar, anchoredAtStart, requiredLiteral, firstCharSet). Covered by
// tests/regexpr/CompileTest.cpp (hint rows) and ReferenceTest.cpp, which would catch a
// first-character set that misses a real start.
#include <cstring>
#include <vector>

#include "regexpr/PatternCompiler.h"

namespace vm {

using namespace pattern;

namespace {

// A stack of nodes still to walk: on the stack frame while short, on the heap beyond.
class TWorkList {
public:
  using Byte = std::uint8_t;
  bool empty() const { return FCount == 0 && FSpill.empty(); }
  void push_back(const Byte* node) {
    if (FCount < kLocal)
      FLocal[FCount++] = node;
    else
      FSpill.push_back(node);
  }
  const Byte* back() const { return FSpill.empty() ? FLocal[FCount - 1] : FSpill.back(); }
  void pop_back() {
    if (FSpill.empty())
      --FCount;
    else
      FSpill.pop_back();
  }

private:
  static constexpr int kLocal = 32;
  const Byte* FLocal[kLocal];
  int FCount = 0;
  std::vector<const Byte*> FSpill;
};

}  // namespace

void TPatternCompiler::ComputeHints(int topFlags) {
  D.firstLiteralChar = 0;
  D.anchoredAtStart = false;
  D.requiredLiteral = nullptr;
  D.requiredLiteralLen = 0;
  D.startFilter.on = false;
  const Byte* first = FOut + 1;
  const Byte* after = NextNode(first);
  if (after && after[0] == End) {  // one top-level alternative
    const Byte* scan = first + kNodeHeader;
    if (scan[0] == Literal)
      D.firstLiteralChar = Operand(scan)[0];
    else if (scan[0] == InputStart)
      D.anchoredAtStart = true;
    if (scan[0] == Literal || scan[0] == LiteralFold) {
      const Byte* literal = Operand(scan);
      D.startFilter.Build(literal, std::strlen(reinterpret_cast<const char*>(literal)), scan[0] == LiteralFold,
                          D.caseFlip);
    }
    if (topFlags & RepeatStartFlag) {
      // A leading repeat makes the first character useless; a literal that every match
      // must hold still rules out subjects quickly. Ties go to the later literal.
      for (; scan; scan = NextNode(scan)) {
        if (scan[0] != Literal) continue;
        std::size_t len = std::strlen(reinterpret_cast<const char*>(Operand(scan)));
        if (len > 0 && len >= std::size_t(D.requiredLiteralLen)) {
          D.requiredLiteral = Operand(scan);
          D.requiredLiteralLen = std::int32_t(len);
        }
      }
    }
  }
  FillFirstCharSet();
}

// Walks the program from its first node and collects every character at which a match
// can begin. The walk keeps a work list instead of recursing (a pattern may hold 100,000
// alternatives or optional anchors in a row) and visits each node once, which also ends
// it where a loop comes back to a node already walked. Reaching a counted loop node again
// means its repeated part may be empty, so what follows the loop may begin a match.
void TPatternCompiler::FillFirstCharSet() {
  TByteSet& set = D.firstCharSet;
  set.Clear();
  enum : Byte { kWalked = 1, kNextWalked = 2 };
  // Small programs (the usual case) walk without allocating.
  Byte localVisited[1024];
  std::vector<Byte> bigVisited(FPos > 1024 ? std::size_t(FPos) : 0, 0);
  Byte* visited = FPos > 1024 ? bigVisited.data() : localVisited;
  if (FPos <= 1024) std::memset(localVisited, 0, std::size_t(FPos));
  TWorkList work;
  work.push_back(FOut + 1);
  auto addChars = [&set](const char* chars) {
    for (; *chars; ++chars) set.Add(Byte(*chars));
  };
  while (!work.empty()) {
    const Byte* scan = work.back();
    work.pop_back();
    while (scan) {
      const std::size_t at = std::size_t(scan - FOut);
      const Byte op = scan[0];
      if (visited[at] & kWalked) {
        // A loop node met again: its repeated part came back here without consuming.
        if ((op == Loop || op == LazyLoop) && !(visited[at] & kNextWalked)) {
          visited[at] |= kNextWalked;
          scan = NextNode(scan);
          continue;
        }
        break;
      }
      visited[at] |= kWalked;
      const Byte* operand = Operand(scan);
      switch (op) {
        case Literal:
          set.Add(operand[0]);
          scan = nullptr;
          break;
        case LiteralFold:
          set.Add(operand[0]), set.Add(D.caseFlip[operand[0]]);
          scan = nullptr;
          break;
        case SmallSet:
          for (int i = 0; i < 3; ++i) set.Add(operand[i]);
          scan = nullptr;
          break;
        case ByteSet:
          for (int c = 0; c < 256; ++c)
            if (BitSetHas(operand, Byte(c))) set.Add(Byte(c));
          scan = nullptr;
          break;
        case Digit:
          addChars("0123456789");
          scan = nullptr;
          break;
        case NonDigit:
          for (int c = 0; c < 256; ++c)
            if (c < '0' || c > '9') set.Add(Byte(c));
          scan = nullptr;
          break;
        case SmallSetNot:
          for (int c = 0; c < 256; ++c)
            if (c != operand[0] && c != operand[1] && c != operand[2]) set.Add(Byte(c));
          scan = nullptr;
          break;
        case AnyChar:
        case AnyInLine:
        case BackRef:
        case BackRefFold:
          set.AddAll();
          return;
        case End:
          scan = nullptr;
          break;
        case Alternative:
          if (NextNode(scan) && NextNode(scan)[0] == Alternative) {
            for (const Byte* alt = scan; alt && alt[0] == Alternative; alt = NextNode(alt))
              work.push_back(Operand(alt));
            scan = nullptr;
          } else {
            scan = Operand(scan);
          }
          break;
        case RepeatStar:
        case LazyStar:
          work.push_back(RepeatOperand(scan));
          scan = NextNode(scan);
          break;
        case RepeatPlus:
        case LazyPlus:
          scan = RepeatOperand(scan);
          break;
        case RepeatCount:
        case LazyCount:
          if (ReadInt(operand) == 0) work.push_back(NextNode(scan));
          scan = RepeatOperand(scan);
          break;
        case Loop:
        case LazyLoop:
          if (ReadInt(operand) == 0) work.push_back(NextNode(scan));
          scan = scan + ReadInt(operand + 8);
          break;
        case InputStart:
        case InputEnd:
        case LineStart:
        case LineEnd:
        case WordBoundary:
        case NonWordBoundary:
        case JumpBack:
        case Empty:
        case NoOp:
        case LoopEntry:
          scan = NextNode(scan);
          break;
        default:
          if (!IsGroupOpen(op) && !IsGroupClose(op)) Fail(1001);
          scan = NextNode(scan);
      }
    }
  }
}

}  // namespace vm
