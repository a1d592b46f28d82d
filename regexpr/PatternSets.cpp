// Compiler, part 2: bracket sets, the \s \w sets and the escapes that stand for one
// character. Covered by tests/regexpr/CompileTest.cpp (set rows, hex and range errors).
#include <bit>
#include <cstring>

#include "regexpr/PatternCompiler.h"

namespace vm {

using namespace pattern;

namespace {

const char kDigits[] = "0123456789";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsClassLetter(char c) { return std::strchr("dDsSwW", c) != nullptr && c != '\0'; }

}  // namespace

// The set being collected as 256 bits. NUL never joins (it ends every
// subject, so no set can match it); under a folding kind each character brings its
// CaseFlip image along.
struct TPatternCompiler::TSetBuilder {
  TByteSet bits;
  bool fold = false;
  const Byte* flip = nullptr;

  void Add(Byte c) {
    bits.Add(c);
    if (fold) bits.Add(flip[c]);
  }
  void AddRange(int first, int last) {
    for (int c = first; c <= last; ++c) Add(Byte(c));
  }
  void AddChars(const std::string& chars) {
    for (char c : chars) Add(Byte(c));
  }
  int Count() {
    bits.bits[0] &= 0xFE;  // NUL never joins
    int count = 0;
    for (Byte b : bits.bits) count += std::popcount(unsigned(b));
    return count;
  }
};

// The cursor stands after '['.
int TPatternCompiler::ParseBracket() {
  TSetBuilder set;
  const bool negated = Peek() == '^';
  if (negated) ++D.parseCursor;
  set.fold = ModifierOn(ModI);
  set.flip = D.caseFlip;

  int rangeStart = -1;  // the single member character just read, which may begin a range
  if (Peek() == ']') {
    set.Add(']');
    rangeStart = ']';
    ++D.parseCursor;
  }
  while (Peek() != '\0' && Peek() != ']') {
    if (Peek() == '-' && rangeStart >= 0 && Peek(1) != '\0' && Peek(1) != ']' &&
        !(Peek(1) == '\\' && IsClassLetter(Peek(2)))) {
      D.parseCursor += 1;
      Byte last;
      if (Peek() == '\\') {
        ++D.parseCursor;
        last = ParseBracketEscapeChar();
      } else {
        last = Byte(Peek());
        ++D.parseCursor;
      }
      const int first = rangeStart;
      rangeStart = -1;
      if (ModifierOn(ModR)) {
        // Windows-1251: a..ya and A..YA leave out yo (184) and YO (168), which sit apart.
        const bool lower = first == 224 && last == 255, upper = first == 192 && last == 223;
        const bool both = first == 224 && last == 223;
        if (lower || both) set.AddRange(224, 255), set.Add(184);
        if (upper || both) set.AddRange(192, 223), set.Add(168);
        if (lower || upper || both) continue;
      }
      if (last < first) Fail(109);
      set.AddRange(first, last);
    } else if (Peek() == '\\') {
      ++D.parseCursor;
      const char c = Peek();
      if (c == '\0') Fail(110);
      rangeStart = -1;
      if (c == 'd' || c == 's' || c == 'w') {
        ++D.parseCursor;
        set.AddChars(c == 'd' ? std::string(kDigits) : c == 's' ? D.spaceChars : D.wordChars);
      } else {
        Byte member = ParseBracketEscapeChar();
        set.Add(member);
        rangeStart = member;
      }
    } else {
      Byte member = Byte(Peek());
      ++D.parseCursor;
      set.Add(member);
      rangeStart = member;
    }
  }
  if (Peek() != ']') Fail(113);
  ++D.parseCursor;
  return EmitSet(set, negated);
}

// SmallSet | 3 members ascending, padded with the largest     (SmallSetNot when negated)
// ByteSet | 32 bytes of bits, complemented when negated        (more than 3 members)
int TPatternCompiler::EmitSet(TSetBuilder& set, bool negated) {
  int node = EmitNode(negated ? SmallSetNot : SmallSet);
  if (set.Count() <= 3) {
    Byte members[3] = {0, 0, 0};
    int n = 0;
    for (int c = 1; c < 256; ++c)
      if (set.bits.Has(Byte(c))) members[n++] = Byte(c);
    for (int i = n; i < 3 && n > 0; ++i) members[i] = members[n - 1];
    for (Byte b : members) EmitByte(b);
    return node;
  }
  if (!Sizing()) {
    FOut[node] = ByteSet;
    for (int i = 0; i < 32; ++i) FOut[FPos + i] = negated ? Byte(~set.bits.bits[i]) : set.bits.bits[i];
  }
  FPos += 32;
  return node;
}

// \s \S \w \W outside brackets never fold.
int TPatternCompiler::EmitCharListSet(const std::string& chars, bool negated) {
  TSetBuilder set;
  set.AddChars(chars);
  return EmitSet(set, negated);
}

// \xHH or \x{H...}; the cursor stands after the 'x'.
TPatternCompiler::Byte TPatternCompiler::ParseHexEscape() {
  if (Peek() == '\0') Fail(111);
  int value = 0;
  if (Peek() == '{') {
    ++D.parseCursor;
    for (; Peek() != '}'; ++D.parseCursor) {
      if (Peek() == '\0') Fail(111);
      int digit = HexValue(Peek());
      if (digit < 0) Fail(108);
      if (value > 15) Fail(112);
      value = value * 16 + digit;
    }
    ++D.parseCursor;
    return Byte(value);
  }
  for (int i = 0; i < 2; ++i, ++D.parseCursor) {
    if (Peek() == '\0') Fail(111);
    int digit = HexValue(Peek());
    if (digit < 0) Fail(108);
    value = value * 16 + digit;
  }
  return Byte(value);
}

// One character inside brackets; the cursor stands after the backslash. Class letters
// other than d s w, \b and digits stand for themselves here.
TPatternCompiler::Byte TPatternCompiler::ParseBracketEscapeChar() {
  const char c = Peek();
  if (c == '\0') Fail(110);
  ++D.parseCursor;
  switch (c) {
    case 't': return 9;
    case 'n': return 10;
    case 'r': return 13;
    case 'f': return 12;
    case 'a': return 7;
    case 'e': return 27;
    case 'x': return ParseHexEscape();
    default: return Byte(c);
  }
}

}  // namespace vm
