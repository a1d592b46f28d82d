// Compares the engine (the compiler's node forms, hints, start positions and every repeat
// kind of the matcher) with the reference matcher of ReferenceMatcher.cpp on generated
// patterns and subjects. Generated atoms under * + and {} always consume, where both
// matchers agree by definition; empty repetitions have rows of their own in MatchTest.
#include <gtest/gtest.h>

#include <random>

#include "tests/regexpr/PatternTestSupport.h"
#include "tests/regexpr/ReferenceMatcher.h"

namespace {

class TPatternGenerator {
public:
  explicit TPatternGenerator(unsigned seed) : FRandom(seed) {}

  // A pattern every match of which consumes at least one character.
  std::string Next() {
    FGroups = 0;
    std::string p = Alternatives(2, true);
    return FGroups <= 14 ? p : Next();
  }

private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(FRandom); }

  std::string Alternatives(int depth, bool mustConsume) {
    std::string out = Sequence(depth, mustConsume);
    for (int n = Pick(3); n > 0; --n) out += "|" + Sequence(depth, mustConsume);
    return out;
  }

  std::string Sequence(int depth, bool mustConsume) {
    std::string out;
    bool consumes = false;
    for (int n = 1 + Pick(3); n > 0; --n) out += Piece(depth, consumes);
    if (mustConsume && !consumes) out += Atom(depth, true);
    return out;
  }

  std::string Piece(int depth, bool& consumes) {
    static const char* kQuantifiers[] = {"", "", "", "*", "+", "?", "{2}", "{1,3}", "{0,2}", "{2,}"};
    const int kind = Pick(10);
    std::string q = kQuantifiers[kind];
    const bool repeats = !q.empty() && q != "?";
    bool atomConsumes = false;
    std::string atom = Atom(depth, repeats, atomConsumes);
    if (atomConsumes && (kind < 3 || q == "+" || q == "{2}" || q == "{1,3}" || q == "{2,}")) consumes = true;
    if (!q.empty() && Pick(3) == 0) q += "?";
    return atom + q;
  }

  std::string Atom(int depth, bool mustConsume) {
    bool ignored = false;
    return Atom(depth, mustConsume, ignored);
  }

  std::string Atom(int depth, bool mustConsume, bool& consumes) {
    consumes = true;
    switch (depth > 0 ? Pick(7) : Pick(5)) {
      case 0: return "a";
      case 1: return "b";
      case 2: return ".";
      case 3: return "[ab]";
      case 4: return "[^a]";
      default: {
        ++FGroups;
        consumes = mustConsume || Pick(2) == 0;
        return "(" + Alternatives(depth - 1, consumes) + ")";
      }
    }
  }

  std::mt19937 FRandom;
  int FGroups = 0;
};

std::string EngineOutcome(vm::TPatternEngine& re, const std::string& subject) {
  if (!re.Exec(subject)) return "none";
  std::string out = "@" + std::to_string(re.MatchPos(0)) + " ";
  int last = 0;
  for (int n = 0; n < 15; ++n)
    if (re.MatchPos(n) >= 0) last = n;
  for (int n = 0; n <= last; ++n) out += (n ? "|" : "") + (re.MatchPos(n) >= 0 ? re.GroupText(n) : "~");
  return out;
}

TEST(Reference, GeneratedPatternsAgree) {
  TPatternGenerator patterns(20240611);
  std::mt19937 random(7);
  int compared = 0;
  for (int i = 0; i < 1500; ++i) {
    const std::string pattern = patterns.Next();
    vm::TPatternEngine re;
    re.SetExpression(pattern);
    for (int k = 0; k < 8; ++k) {
      std::string subject;
      for (int n = std::uniform_int_distribution<int>(0, 10)(random); n > 0; --n)
        subject += "abc"[std::uniform_int_distribution<int>(0, 2)(random)];
      ASSERT_EQ(EngineOutcome(re, subject), vm::test::ReferenceOutcome(pattern, subject))
          << "pattern " << pattern << " subject " << subject;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 1500 * 8);
}

}  // namespace
