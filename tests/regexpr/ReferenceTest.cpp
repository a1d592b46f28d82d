// Compares the engine (the compiler's node forms, hints, start positions and every repeat
// kind of the matcher) with the reference matcher of ReferenceMatcher.cpp: on hand-checked
// rows first, which hold the reference itself to account, then on a table of loops over
// groups that can match empty, then on generated patterns and subjects.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/regexpr/PatternTestSupport.h"
#include "tests/regexpr/ReferenceMatcher.h"

namespace {

class TPatternGenerator {
public:
  // With emptyLoops, groups under * + and {} may also match empty (through {0,n} pieces,
  // anchors and back-references); without, every repeated atom consumes.
  TPatternGenerator(unsigned seed, bool emptyLoops = false) : FRandom(seed), FEmptyLoops(emptyLoops) {}

  // A pattern every match of which consumes at least one character.
  std::string Next() {
    FGroups = 0;
    FOpen.clear();
    std::string p = Alternatives(2, true);
    return FGroups <= 14 ? p : Next();
  }

private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(FRandom); }

  // mustConsume: every match of each alternative consumes; mustWidth: each alternative is
  // one the compiler lets a quantifier repeat, which it may still do without consuming.
  std::string Alternatives(int depth, bool mustConsume, bool mustWidth = false) {
    std::string out = Sequence(depth, mustConsume, mustWidth);
    for (int n = Pick(3); n > 0; --n) out += "|" + Sequence(depth, mustConsume, mustWidth);
    return out;
  }

  std::string Sequence(int depth, bool mustConsume, bool mustWidth) {
    std::string out;
    bool consumes = false, width = false;
    for (int n = 1 + Pick(3); n > 0; --n) out += Piece(depth, consumes, width);
    if (mustConsume && !consumes)
      out += Atom(depth, true);
    else if (mustWidth && !width)
      out += std::string(1, "ab"[Pick(2)]) + "{0," + std::string(1, char('1' + Pick(2))) + "}";
    return out;
  }

  std::string Piece(int depth, bool& consumes, bool& width) {
    static const char* kQuantifiers[] = {"", "", "", "*", "+", "?", "{2}", "{1,3}", "{0,2}", "{2,}"};
    const int kind = Pick(10);
    std::string q = kQuantifiers[kind];
    const bool repeats = !q.empty() && q != "?";
    bool atomConsumes = false, atomWidth = false;
    std::string atom = Atom(depth, repeats, false, atomConsumes, atomWidth);
    if (atomConsumes && (kind < 3 || q == "+" || q == "{2}" || q == "{1,3}" || q == "{2,}")) consumes = true;
    if (atomWidth && (kind < 3 || q == "+" || q == "{2}" || q == "{1,3}" || q == "{0,2}" || q == "{2,}")) width = true;
    if (!q.empty() && Pick(3) == 0) q += "?";
    return atom + q;
  }

  std::string Atom(int depth, bool mustConsume) {
    bool consumes = false, width = false;
    return Atom(depth, false, mustConsume, consumes, width);
  }

  // repeated: the atom stands under * + or {}. Reports lower bounds: whether every match
  // of it consumes, and whether the compiler counts it as consuming.
  std::string Atom(int depth, bool repeated, bool mustConsume, bool& consumes, bool& width) {
    consumes = width = true;
    const int leaves = FEmptyLoops ? 7 : 5;
    const int pick = depth > 0 ? Pick(leaves + 2) : Pick(leaves);
    switch (pick) {
      case 0:
        return "a";
      case 1:
        return "b";
      case 2:
        return ".";
      case 3:
        return "[ab]";
      case 4:
        return "[^a]";
      default:
        if (pick < leaves) return mustConsume ? "b" : EmptyLeaf(repeated, consumes, width);
        return Group(depth, repeated, mustConsume, consumes, width);
    }
  }

  // An anchor (never repeated) or a back-reference to a group that does not enclose it.
  std::string EmptyLeaf(bool repeated, bool& consumes, bool& width) {
    consumes = false;
    if (!repeated && Pick(2) == 0) {
      width = false;
      static const char* kAnchors[] = {"^", "$", "\\b", "\\B"};
      return kAnchors[Pick(4)];
    }
    int group = 1 + Pick(FGroups < 9 ? FGroups + 1 : 9);
    for (int open : FOpen)
      if (open == group) return "a";
    return "\\" + std::to_string(group);
  }

  std::string Group(int depth, bool repeated, bool mustConsume, bool& consumes, bool& width) {
    const int number = ++FGroups;
    if (!FEmptyLoops) {
      consumes = repeated || mustConsume || Pick(2) == 0;
      return "(" + Alternatives(depth - 1, consumes) + ")";
    }
    consumes = mustConsume || Pick(3) == 0;  // mostly groups that may match empty
    width = consumes || repeated;
    FOpen.push_back(number);
    std::string body = Alternatives(depth - 1, consumes, repeated);
    FOpen.pop_back();
    return "(" + body + ")";
  }

  std::mt19937 FRandom;
  bool FEmptyLoops;
  int FGroups = 0;
  std::vector<int> FOpen;  // groups being generated, which a back-reference must not name
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

// Expected outcomes worked out by hand. Loops that consume nothing in a repetition: that
// repetition counts towards the minimum, and once the minimum is met it ends the loop with
// the captures it made, whatever the loop's form.
TEST(Reference, EmptyRepetitionsByHand) {
  struct TRow {
    const char* pattern;
    const char* subject;
    const char* outcome;
  };
  const TRow kRows[] = {
      // An empty first repetition counts towards the minimum; the second consumes the c.
      {"(^c{0,}){2,}b", "cb", "@1 cb|c"},
      {"(^c{0,}){2,}?b", "cb", "@1 cb|c"},
      {"(^c{0,}){2}b", "cb", "@1 cb|c"},
      {"(^c{0,}?){2,}b", "cb", "@1 cb|c"},
      {"(\\ba{0,1}){2}b", "ab", "@1 ab|a"},
      {"(\\ba{0,1}){2,3}b", "ab", "@1 ab|a"},
      // After the a, one empty repetition sets group 1 to empty text, which \1 then matches.
      {"(a{0,1})*\\1b", "ab", "@1 ab|"},
      {"(a{0,1})+\\1b", "ab", "@1 ab|"},
      {"(a{0,1}){1,}\\1b", "ab", "@1 ab|"},
      {"(a{0,1}){0,}\\1b", "ab", "@1 ab|"},
      {"(a{0,1})*?\\1b", "ab", "@1 ab|"},
      // The first repetition is empty and meets the minimum, so the loop ends at once.
      {"(\\2a|()\\2)+", "a", "@1 ||"},
      {"(\\2a|()\\2){1,}", "a", "@1 ||"},
      {"(\\2a|()\\2)+b", "ab", "@2 b||"},
      {"(\\2a|()\\2){1,}b", "ab", "@2 b||"},
      // Loops that end on an empty repetition keep its (empty) capture.
      {"(a{0,3})*b", "aaaab", "@1 aaaab|"},
      {"(a{0,3}){0,}b", "aaaab", "@1 aaaab|"},
      {"(a{0,1}){3,5}b", "aab", "@1 aab|"},
      // Consuming repetitions are untouched.
      {"(a|b){2,3}", "abba", "@1 abb|b"},
      {"(a|aa)*b", "aaaaab", "@1 aaaaab|a"},
  };
  for (const TRow& row : kRows) {
    EXPECT_EQ(vm::test::ReferenceOutcome(row.pattern, row.subject), row.outcome) << "reference: " << row.pattern;
    vm::TPatternEngine re;
    re.SetExpression(row.pattern);
    EXPECT_EQ(EngineOutcome(re, row.subject), row.outcome) << "engine: " << row.pattern << " on " << row.subject;
  }
}

// Every subject over a, b, c and - up to four characters.
std::vector<std::string> SmallSubjects() {
  std::vector<std::string> subjects{""};
  for (std::size_t from = 0, to = 1; subjects.back().size() < 4; from = to, to = subjects.size())
    for (std::size_t i = from; i < to; ++i)
      for (char c : {'a', 'b', 'c', '-'}) subjects.push_back(subjects[i] + c);
  return subjects;
}

// Each group body can match empty, by a {0,n} piece, an anchor or a back-reference; each
// stands under every loop form, greedy and lazy, with a tail that consumes.
TEST(Reference, LoopsOverEmptyCapableGroupsAgree) {
  const char* kBodies[] = {"a{0,1}",       "a{0,1}?",  "^c{0,}",     "\\ba{0,1}", "-{0,1}\\b",
                           "a{0,2}b{0,1}", "c|a{0,1}", "\\2a|()\\2", "()\\2",     "(a{0,1})*b{0,1}"};
  const char* kLoops[] = {"*",     "+",  "?",  "{0,}", "{1,}",  "{2}",   "{2,}",  "{0,1}",
                          "{1,3}", "*?", "+?", "??",   "{1,}?", "{2,}?", "{1,3}?"};
  const char* kTails[] = {"b", "\\1b", "c$"};
  const std::vector<std::string> subjects = SmallSubjects();
  for (const char* body : kBodies)
    for (const char* loop : kLoops)
      for (const char* tail : kTails) {
        const std::string pattern = std::string("(") + body + ")" + loop + tail;
        vm::TPatternEngine re;
        re.SetExpression(pattern);
        for (const std::string& subject : subjects)
          ASSERT_EQ(EngineOutcome(re, subject), vm::test::ReferenceOutcome(pattern, subject))
              << "pattern " << pattern << " subject " << subject;
      }
}

// Patterns with loops over groups that can match empty may nest them so as to split a run
// of letters in exponentially many ways; with a step limit the engine stops those and the
// case is left out, since the reference would walk the same tree. They must stay rare, or
// the comparison says little.
void CompareGenerated(TPatternGenerator& patterns, int count, const char* alphabet, std::uint64_t stepLimit) {
  std::mt19937 random(7);
  const int letters = int(std::char_traits<char>::length(alphabet));
  int compared = 0, leftOut = 0;
  for (int i = 0; i < count; ++i) {
    const std::string pattern = patterns.Next();
    vm::TPatternEngine re;
    re.SetExpression(pattern);
    re.SetMatchStepLimit(stepLimit);
    for (int k = 0; k < 8; ++k) {
      std::string subject;
      for (int n = std::uniform_int_distribution<int>(0, 10)(random); n > 0; --n)
        subject += alphabet[std::uniform_int_distribution<int>(0, letters - 1)(random)];
      std::string engine;
      try {
        engine = EngineOutcome(re, subject);
      } catch (const vm::EPatternError& e) {
        ASSERT_EQ(e.Code, vm::TPatternEngine::kErrStepLimit) << "pattern " << pattern << " subject " << subject;
        ++leftOut;
        continue;
      }
      ASSERT_EQ(engine, vm::test::ReferenceOutcome(pattern, subject))
          << "pattern " << pattern << " subject " << subject;
      ++compared;
    }
  }
  EXPECT_LT(leftOut, compared / 200) << leftOut << " cases left out at the step limit";
}

TEST(Reference, GeneratedPatternsAgree) {
  TPatternGenerator patterns(20240611);
  CompareGenerated(patterns, 1500, "abc", 0);
}

TEST(Reference, GeneratedEmptyCapableLoopsAgree) {
  TPatternGenerator patterns(20261210, true);
  CompareGenerated(patterns, 3000, "abc-", 200000);
}

}  // namespace
