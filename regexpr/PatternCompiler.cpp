// Compiler, part 1: the driver, emission and the recursive descent over alternatives,
// sequences, pieces and atoms. Entry point: TPatternCompiler::Compile. Covered by
// tests/regexpr/CompileTest.cpp (golden dumps and error rows).
//
// The parser runs twice over the pattern: a sizing pass that only counts bytes, then an
// emitting pass into a buffer of exactly that size. Both passes take the same decisions.
#include "regexpr/PatternCompiler.h"

#include <cstring>

namespace vm {

using namespace pattern;

namespace {

// Characters that end a literal run.
const char kMeta[] = "^$.[()|?+*\\{";

bool IsQuantifier(char c) { return c == '*' || c == '+' || c == '?' || c == '{'; }
bool IsExtendedSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

void TPatternCompiler::Compile() {
  FEngine.FreeProgram();
  if (!D.hasPattern || D.pattern.empty()) Fail(100);
  D.patternStart = D.pattern.c_str();
  try {
    D.programModifiers = D.modifiers;
    FOut = nullptr;
    Pass();
    std::size_t size = std::size_t(FPos);
    auto program = std::make_unique<Byte[]>(size);
    FOut = program.get();
    Pass();
    D.program = std::move(program);
    D.programSize = size;
  } catch (...) {
    FEngine.FreeProgram();
    D.patternStart = nullptr;
    throw;
  }
  D.patternStart = nullptr;
  D.compiled = true;
}

void TPatternCompiler::Pass() {
  D.compileModifiers = D.modifiers;
  D.parseCursor = D.pattern.c_str();
  D.nextGroup = 1;
  FPos = 0;
  EmitByte(kProgramMagic);
  int flags = 0;
  ParseReg(false, flags);
  if (!Sizing()) ComputeHints(flags);
}

// --- Emission ---------------------------------------------------------------------

int TPatternCompiler::EmitNode(Byte op) {
  int node = FPos;
  EmitByte(op);
  EmitInt(0);
  return Sizing() ? kNone : node;
}

void TPatternCompiler::EmitByte(Byte b) {
  if (!Sizing()) FOut[FPos] = b;
  ++FPos;
}

void TPatternCompiler::EmitInt(std::int32_t v) {
  if (!Sizing()) WriteInt(FOut + FPos, v);
  FPos += 4;
}

// Moves the bytes from `before` to the write position up by `size` and puts a node with
// zeroed operands in the gap. Offsets inside the moved part are relative and stay right.
void TPatternCompiler::InsertNode(Byte op, int before, int size) {
  if (!Sizing()) {
    std::memmove(FOut + before + size, FOut + before, std::size_t(FPos - before));
    std::memset(FOut + before, 0, std::size_t(size));
    FOut[before] = op;
  }
  FPos += size;
}

int TPatternCompiler::Next(int node) const {
  std::int32_t offset = ReadInt(FOut + node + 1);
  return offset == 0 ? kNone : node + offset;
}

// Points the last node of the chain that starts at `node` at `target`.
void TPatternCompiler::SetTail(int node, int target) {
  if (Sizing() || node == kNone) return;
  for (int next = Next(node); next != kNone; next = Next(node)) node = next;
  WriteInt(FOut + node + 1, target - node);
}

// The same for the own chain of an Alternative node; other nodes are left alone.
void TPatternCompiler::SetAlternativeTail(int node, int target) {
  if (Sizing() || node == kNone || FOut[node] != Alternative) return;
  SetTail(node + kNodeHeader, target);
}

// --- Alternation and groups ---------------------------------------------------------
//   GroupOpen n -> Alternative -> Alternative ... -> GroupClose n   (End at the top level)
//   each Alternative's own chain follows it and ends at the closer.

int TPatternCompiler::ParseReg(bool inParens, int& flags) {
  flags = WidthFlag;
  const std::uint32_t savedModifiers = D.compileModifiers;
  int first = kNone;
  int group = 0;
  if (inParens) {
    if (D.nextGroup >= kMaxGroups) Fail(102);
    group = D.nextGroup++;
    first = EmitNode(GroupOpenOp(group));
  }
  int last = first;  // linking from the last alternative keeps long alternations linear
  for (bool more = true; more;) {
    int branchFlags = 0;
    int branch = ParseBranch(branchFlags);
    if (first == kNone)
      first = branch;
    else
      SetTail(last, branch);
    last = branch;
    if (!(branchFlags & WidthFlag)) flags &= ~WidthFlag;
    flags |= branchFlags & RepeatStartFlag;
    more = Peek() == '|';
    if (more) ++D.parseCursor;
  }
  int closer = EmitNode(inParens ? GroupCloseOp(group) : Byte(End));
  SetTail(last, closer);
  if (!Sizing())
    for (int node = first; node != kNone; node = Next(node)) SetAlternativeTail(node, closer);
  if (inParens) {
    if (Peek() != ')') Fail(103);
    ++D.parseCursor;
  } else if (Peek() != '\0') {
    Fail(Peek() == ')' ? 104 : 105);
  }
  D.compileModifiers = savedModifiers;
  return first;
}

// Alternative, then the pieces chained one after another (Empty when there are none).
int TPatternCompiler::ParseBranch(int& flags) {
  flags = 0;
  int node = EmitNode(Alternative);
  bool firstPiece = true;
  int chain = kNone;
  while (Peek() != '\0' && Peek() != '|' && Peek() != ')') {
    int pieceFlags = 0;
    int piece = ParsePiece(pieceFlags);
    flags |= pieceFlags & WidthFlag;
    if (firstPiece)
      flags |= pieceFlags & RepeatStartFlag;
    else
      SetTail(chain, piece);
    chain = piece;
    firstPiece = false;
  }
  if (firstPiece) EmitNode(Empty);
  return node;
}

// --- Pieces: an atom and its quantifier ---------------------------------------------

int TPatternCompiler::ParsePiece(int& flags) {
  int atomFlags = 0;
  int atom = ParseAtom(atomFlags);
  const char op = Peek();
  if (!IsQuantifier(op)) {
    flags = atomFlags;
    return atom;
  }
  if (!(atomFlags & WidthFlag) && op != '?') Fail(106);

  std::int32_t min = 0, max = kMaxBraces;
  switch (op) {
    case '*':
      min = 0;
      break;
    case '+':
      min = 1;
      break;
    case '?':
      min = 0, max = 1;
      break;
    default:  // '{': not a counted repeat means the '{' is literal text of the next atom
      if (!ParseBraces(min, max)) {
        flags = atomFlags;
        return atom;
      }
  }
  const bool lazy = Peek(1) == '?' || !ModifierOn(ModG);
  const bool simple = (atomFlags & SimpleFlag) != 0;

  if (op == '*')
    flags = RepeatStartFlag;
  else if (op == '+')
    flags = WidthFlag | RepeatStartFlag;
  else if (op == '?')
    flags = 0;
  else
    flags = max > 0 ? WidthFlag | RepeatStartFlag : 0;

  if (simple && !(op == '?' && !lazy))
    EmitSimpleRepeat(op, lazy, atom, min, max);
  else if (op == '?' && !lazy)
    EmitOptional(atom);
  else if (op == '*' && !lazy)
    EmitGreedyStar(atom);
  else if (op == '+' && !lazy)
    EmitGreedyPlus(atom);
  else
    EmitCountedLoop(lazy, atom, min, max);

  ++D.parseCursor;  // the quantifier character, or the '}'
  if (Peek() == '?') ++D.parseCursor;
  if (IsQuantifier(Peek())) Fail(107);
  return atom;
}

// RepeatStar | simple node      RepeatCount | min | max | simple node   (and the lazy kinds)
void TPatternCompiler::EmitSimpleRepeat(char op, bool lazy, int atom, std::int32_t min, std::int32_t max) {
  if (op == '*') {
    InsertNode(lazy ? LazyStar : RepeatStar, atom, kNodeHeader);
  } else if (op == '+') {
    InsertNode(lazy ? LazyPlus : RepeatPlus, atom, kNodeHeader);
  } else {
    InsertNode(lazy ? LazyCount : RepeatCount, atom, kNodeHeader + 8);
    if (!Sizing()) WriteInt(FOut + atom + kNodeHeader, min), WriteInt(FOut + atom + kNodeHeader + 4, max);
  }
}

// Alternative(atom -> Empty) -> Alternative -> Empty
void TPatternCompiler::EmitOptional(int atom) {
  InsertNode(Alternative, atom, kNodeHeader);
  SetTail(atom, EmitNode(Alternative));
  int empty = EmitNode(Empty);
  SetTail(atom, empty);
  SetAlternativeTail(atom, empty);
}

// Alternative(atom -> JumpBack -> back to this Alternative) -> Alternative -> Empty
void TPatternCompiler::EmitGreedyStar(int atom) {
  InsertNode(Alternative, atom, kNodeHeader);
  SetAlternativeTail(atom, EmitNode(JumpBack));
  SetAlternativeTail(atom, atom);
  SetTail(atom, EmitNode(Alternative));
  SetTail(atom, EmitNode(Empty));
}

// atom -> Alternative(JumpBack -> back to atom) -> Alternative -> Empty
void TPatternCompiler::EmitGreedyPlus(int atom) {
  int loop = EmitNode(Alternative);
  SetTail(atom, loop);
  SetTail(EmitNode(JumpBack), atom);
  SetTail(loop, EmitNode(Alternative));
  SetTail(atom, EmitNode(Empty));
}

// LoopEntry -> Loop | min | max | back offset;  LoopEntry's own part: atom -> Loop
void TPatternCompiler::EmitCountedLoop(bool lazy, int atom, std::int32_t min, std::int32_t max) {
  InsertNode(LoopEntry, atom, kNodeHeader);
  int loop = EmitNode(lazy ? LazyLoop : Loop);
  EmitInt(min);
  EmitInt(max);
  EmitInt(Sizing() ? 0 : (atom + kNodeHeader) - loop);
  if (Sizing()) return;
  SetTail(atom, loop);
  SetTail(atom + kNodeHeader, loop);
}

// {n}, {n,} or {n,m} at the cursor. On success the cursor stands on the '}'; when the text
// has another form it stays on the '{' and the caller takes the '{' as literal text.
bool TPatternCompiler::ParseBraces(std::int32_t& min, std::int32_t& max) {
  const char* p = D.parseCursor + 1;
  if (*p < '0' || *p > '9') return false;
  min = ParseBraceNumber(p);
  if (*p == '}') {
    max = min;
  } else if (*p == ',') {
    ++p;
    max = (*p >= '0' && *p <= '9') ? ParseBraceNumber(p) : kMaxBraces;
    if (*p != '}') return false;
  } else {
    return false;
  }
  D.parseCursor = p;
  if (max < min) Fail(124);
  return true;
}

std::int32_t TPatternCompiler::ParseBraceNumber(const char*& p) {
  std::int32_t value = 0;
  for (int digits = 0; *p >= '0' && *p <= '9'; ++p) {
    if (++digits > 8) {
      D.parseCursor = p;
      Fail(122);
    }
    value = value * 10 + (*p - '0');
  }
  return value;
}

// --- Atoms ---------------------------------------------------------------------------

int TPatternCompiler::ParseAtom(int& flags) {
  flags = 0;
  const char c = Peek();
  const bool lineAnchors = ModifierOn(ModM) && (!D.lineBreaks.empty() || D.pairSet);
  switch (c) {
    case '^':
      ++D.parseCursor;
      return EmitNode(lineAnchors ? LineStart : InputStart);
    case '$':
      ++D.parseCursor;
      return EmitNode(lineAnchors ? LineEnd : InputEnd);
    case '.':
      ++D.parseCursor;
      if (ModifierOn(ModS)) {
        flags = WidthFlag | SimpleFlag;
        return EmitNode(AnyChar);
      }
      flags = WidthFlag;
      return EmitNode(AnyInLine);
    case '[':
      ++D.parseCursor;
      flags = WidthFlag | SimpleFlag;
      return ParseBracket();
    case '(':
      ++D.parseCursor;
      if (Peek() == '?') return ParseInlineModifiers();
      {
        int groupFlags = 0;
        int node = ParseReg(true, groupFlags);
        flags = groupFlags & (WidthFlag | RepeatStartFlag);
        return node;
      }
    case '\0':
    case '|':
    case ')':
      Fail(114);
    case '*':
    case '+':
    case '?':
      Fail(115);
    case '\\':
      ++D.parseCursor;
      return ParseEscape(flags);
    default:
      if (ModifierOn(ModX) && (c == '#' || IsExtendedSpace(c))) return SkipExtendedSpace();
      return ParseLiteralRun(flags);
  }
}

// (?#comment) or (?imsx-imsx); the cursor stands on the '?'. Both leave a NoOp.
int TPatternCompiler::ParseInlineModifiers() {
  const char* text = D.parseCursor + 1;
  const char* close = std::strchr(text, ')');
  if (*text == '#') {
    if (!close) {
      D.parseCursor = text + std::strlen(text);
      Fail(125);
    }
  } else {
    if (!close) {
      D.parseCursor = text + std::strlen(text);
      Fail(127);
    }
    std::uint32_t modifiers = D.compileModifiers;
    if (!TPatternEngine::ReadModifierLetters(std::string_view(text, std::size_t(close - text)), modifiers)) {
      D.parseCursor = text + std::strspn(text, "irsgmxIRSGMX-");
      Fail(127);
    }
    D.compileModifiers = modifiers;
  }
  D.parseCursor = close + 1;
  return EmitNode(NoOp);
}

// Modifier x: white space and # comments where an atom begins become one NoOp.
int TPatternCompiler::SkipExtendedSpace() {
  while (Peek() == '#' || IsExtendedSpace(Peek())) {
    if (Peek() == '#') {
      while (Peek() != '\0' && Peek() != '\r' && Peek() != '\n') ++D.parseCursor;
      while (Peek() == '\r' || Peek() == '\n') ++D.parseCursor;
    } else {
      while (IsExtendedSpace(Peek())) ++D.parseCursor;
    }
  }
  return EmitNode(NoOp);
}

int TPatternCompiler::EmitOneChar(Byte c) {
  // Literal | c NUL
  int node = EmitNode(ModifierOn(ModI) ? LiteralFold : Literal);
  EmitByte(c);
  EmitByte(0);
  return node;
}

// The cursor stands after the backslash.
int TPatternCompiler::ParseEscape(int& flags) {
  const char c = Peek();
  if (c == '\0') Fail(116);
  ++D.parseCursor;
  flags = WidthFlag | SimpleFlag;
  switch (c) {
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9': {
      // BackRef | group number
      int node = EmitNode(ModifierOn(ModI) ? BackRefFold : BackRef);
      EmitByte(Byte(c - '0'));
      return node;
    }
    case 'A':
      flags = 0;
      return EmitNode(InputStart);
    case 'Z':
      flags = 0;
      return EmitNode(InputEnd);
    case 'b':
      flags = 0;
      return EmitNode(WordBoundary);
    case 'B':
      flags = 0;
      return EmitNode(NonWordBoundary);
    case 'd':
      return EmitNode(Digit);
    case 'D':
      return EmitNode(NonDigit);
    case 's':
      return EmitCharListSet(D.spaceChars, false);
    case 'S':
      return EmitCharListSet(D.spaceChars, true);
    case 'w':
      return EmitCharListSet(D.wordChars, false);
    case 'W':
      return EmitCharListSet(D.wordChars, true);
    case 't':
      return EmitOneChar(9);
    case 'n':
      return EmitOneChar(10);
    case 'r':
      return EmitOneChar(13);
    case 'f':
      return EmitOneChar(12);
    case 'a':
      return EmitOneChar(7);
    case 'e':
      return EmitOneChar(27);
    case 'x':
      return EmitOneChar(ParseHexEscape());
    default:
      return EmitOneChar(Byte(c));
  }
}

// Literal | characters NUL. The longest run of ordinary characters; when a quantifier
// follows a run of several, the last one is left for the quantifier.
int TPatternCompiler::ParseLiteralRun(int& flags) {
  const char* run = D.parseCursor;
  std::size_t len = std::strcspn(run, kMeta);
  if (len == 0) {
    if (*run != '{') Fail(119);
    len = 1 + std::strcspn(run + 1, kMeta);
  }
  if (len > 1 && IsQuantifier(run[len])) --len;
  flags = WidthFlag | (len == 1 ? SimpleFlag : 0);
  const bool extended = ModifierOn(ModX);
  int node = EmitNode(ModifierOn(ModI) ? LiteralFold : Literal);
  for (; len > 0 && !(extended && Peek() == '#'); --len, ++D.parseCursor)
    if (!(extended && IsExtendedSpace(Peek()))) EmitByte(Byte(Peek()));
  EmitByte(0);
  return node;
}

}  // namespace vm
