// Compiler, part 2: bracket sets, the \s \w sets and the escapes that stand for one
// character. Covered by tests/regexpr/CompileTest.cpp (set rows, hex and range errors).
#include <algorithm>
#include <bit>
#include <cstring>

#include "regexpr/CaseFlip.h"
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

using TWords = std::uint64_t[4];

// Counted without the library call that std::popcount becomes on targets without the
// instruction.
int BitCount(std::uint64_t w) {
  w = w - ((w >> 1) & 0x5555555555555555u);
  w = (w & 0x3333333333333333u) + ((w >> 2) & 0x3333333333333333u);
  w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return int((w * 0x0101010101010101u) >> 56);
}

// A case table sorted by the distance from each byte to its image, so that a whole set
// folds with a few shifts: most letters lie 32 apart. The other bytes ("odd") fold one
// by one.
struct TFoldPlan {
  const std::uint8_t* table = nullptr;
  TWords up = {}, down = {}, odd = {};

  explicit TFoldPlan(const std::uint8_t* flip) : table(flip) {
    for (int c = 0; c < 256; ++c) {
      const std::uint64_t bit = std::uint64_t(1) << (c & 63);
      if (flip[c] == c + 32)
        up[c >> 6] |= bit;
      else if (flip[c] == c - 32)
        down[c >> 6] |= bit;
      else if (flip[c] != c)
        odd[c >> 6] |= bit;
    }
  }
};

// The plan of the platform's table, the one every engine uses; other tables get none.
const TFoldPlan* FoldPlanFor(const std::uint8_t* flip) {
  static const TFoldPlan platform(PlatformCaseFlipTable());
  return flip == platform.table ? &platform : nullptr;
}

}  // namespace

// The set being collected as 256 bits in four words, so that ranges and the count take a
// few word operations each. NUL never joins (it ends every subject, so no set can match
// it); under a folding kind each character brings its CaseFlip image along, added once
// for all members when the set is finished.
struct TPatternCompiler::TSetBuilder {
  std::uint64_t words[4] = {};
  bool fold = false;
  const Byte* flip = nullptr;

  void Add(Byte c) { words[c >> 6] |= std::uint64_t(1) << (c & 63); }
  void AddRange(int first, int last) {
    for (int word = first >> 6; word <= last >> 6; ++word) {
      const int low = std::max(first, word * 64) - word * 64, high = std::min(last, word * 64 + 63) - word * 64;
      const std::uint64_t upTo = high == 63 ? ~std::uint64_t(0) : (std::uint64_t(1) << (high + 1)) - 1;
      words[word] |= upTo & ~((std::uint64_t(1) << low) - 1);
    }
  }
  void AddChars(const char* chars) {
    for (; *chars; ++chars) Add(Byte(*chars));
  }
  void AddChars(const std::string& chars) {
    for (char c : chars) Add(Byte(c));
  }
  // Adds the case images, drops NUL and returns the number of members.
  int Finish() {
    if (fold) AddCaseImages();
    words[0] &= ~std::uint64_t(1);
    return BitCount(words[0]) + BitCount(words[1]) + BitCount(words[2]) + BitCount(words[3]);
  }
  void AddCaseImages() {
    const TWords members = {words[0], words[1], words[2], words[3]};
    const TFoldPlan* plan = FoldPlanFor(flip);
    if (!plan) {
      for (int word = 0; word < 4; ++word)
        for (std::uint64_t rest = members[word]; rest; rest &= rest - 1) Add(flip[word * 64 + std::countr_zero(rest)]);
      return;
    }
    for (int word = 0; word < 4; ++word) {
      const std::uint64_t up = members[word] & plan->up[word], down = members[word] & plan->down[word];
      words[word] |= (up << 32) | (down >> 32);
      if (word < 3) words[word + 1] |= up >> 32;
      if (word > 0) words[word - 1] |= down << 32;
      for (std::uint64_t rest = members[word] & plan->odd[word]; rest; rest &= rest - 1)
        Add(flip[word * 64 + std::countr_zero(rest)]);
    }
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
        if (c == 'd')
          set.AddChars(kDigits);
        else
          set.AddChars(c == 's' ? D.spaceChars : D.wordChars);
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
  if (set.Finish() <= 3) {
    Byte members[3] = {0, 0, 0};
    int n = 0;
    for (int word = 0; word < 4; ++word)
      for (std::uint64_t rest = set.words[word]; rest; rest &= rest - 1)
        members[n++] = Byte(word * 64 + std::countr_zero(rest));
    for (int i = n; i < 3 && n > 0; ++i) members[i] = members[n - 1];
    for (Byte b : members) EmitByte(b);
    return node;
  }
  if (!Sizing()) {
    FOut[node] = ByteSet;
    const std::uint64_t invert = negated ? ~std::uint64_t(0) : 0;
    for (int word = 0; word < 4; ++word)
      for (int i = 0; i < 8; ++i) FOut[FPos + word * 8 + i] = Byte((set.words[word] ^ invert) >> (i * 8));
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
    case 't':
      return 9;
    case 'n':
      return 10;
    case 'r':
      return 13;
    case 'f':
      return 12;
    case 'a':
      return 7;
    case 'e':
      return 27;
    case 'x':
      return ParseHexEscape();
    default:
      return Byte(c);
  }
}

}  // namespace vm
