// Covers the matcher (regexpr/PatternMatcher.cpp, PatternLoops.cpp, PatternRun.cpp): match
// rows, run errors, the bounds on loops and recursion, and repetitions that consume nothing.
#include <gtest/gtest.h>

#include "tests/regexpr/PatternTestSupport.h"

namespace {

using vm::EPatternError;
using vm::TPatternEngine;

// "@pos g0|g1|..." with "~" for an unset group (trailing unset groups left out), or "none".
std::string Outcome(TPatternEngine& re, bool matched) {
  if (!matched) return "none";
  std::string out = "@" + std::to_string(re.MatchPos(0)) + " ";
  int last = 0;
  for (int n = 0; n < 15; ++n)
    if (re.MatchPos(n) >= 0) last = n;
  for (int n = 0; n <= last; ++n) {
    if (n) out += "|";
    out += re.MatchPos(n) >= 0 ? re.GroupText(n) : "~";
  }
  return out;
}

std::string RunRow(const std::string& pattern, const std::string& modifiers, const std::string& subject) {
  TPatternEngine re;
  vm::test::SetModifiers(re, modifiers);
  re.SetExpression(pattern);
  return Outcome(re, re.Exec(subject));
}

struct TMatchRow {
  const char* why;
  const char* pattern;
  const char* modifiers;
  std::string subject;
  const char* outcome;
};

const TMatchRow kMatchRows[] = {
    {"client ID", nullptr, "i", "{\"client_id\": \"11111111-2222-3333-4444-555555555555\"}",
     "@2 \"client_id\": \"11111111-2222-3333-4444-555555555555\"|11111111-2222-3333-4444-555555555555"},
    {"client ID in lower case comes back as written", nullptr, "i",
     "\"CLIENT_ID\": \"abcdef01-2222-3333-4444-55555555555z\"",
     "@1 \"CLIENT_ID\": \"abcdef01-2222-3333-4444-55555555555z\"|abcdef01-2222-3333-4444-55555555555z"},
    {"client ID needs exactly one space", nullptr, "i", "\"client_id\":\"11111111-2222-3333-4444-555555555555\"",
     "none"},
    {"client ID's last block has twelve", nullptr, "i", "\"client_id\": \"11111111-2222-3333-4444-5555555555555\"",
     "none"},
    {"the first alternative wins, not the longest", "a|ab", "", "ab", "@1 a"},
    {"a start position must be able to begin a match", "a*", "", "baaa", "@2 aaa"},
    {"lazy star grows only as needed", "a*?b", "", "aab", "@1 aab"},
    {"lazy star stops early", "a+?", "", "aaa", "@1 a"},
    {"x* cannot start anywhere in abc", "x*", "", "abc", "none"},
    {"$ is never tried at the end", "$", "", "abc", "none"},
    {"^ on the empty text", "^", "", "", "@1 "},
    {"^$ on the empty text", "^$", "", "", "@1 "},
    {"a group that took no part stays unset", "(a)|b", "", "b", "@1 b"},
    {"back-reference", "(ab)\\1", "", "abab", "@1 abab|ab"},
    {"back-reference folding", "(ab)\\1", "i", "abAB", "@1 abAB|ab"},
    {"back-reference without i is exact", "(ab)\\1", "", "abAB", "none"},
    {"word boundaries", "\\bfoo\\b", "", "a foo.", "@3 foo"},
    {"no boundary inside a word", "\\bfoo\\b", "", "afoo", "none"},
    {"\\B between word characters", "o\\Bo", "", "o o oo", "@5 oo"},
    {"^ after CR LF under m", "^b", "m", "a\r\nb", "@4 b"},
    {"$ before CR LF under m", "a$", "m", "a\r\nb", "@1 a"},
    {"no line start between CR and LF", "^\\n", "m", "a\r\nb", "none"},
    {"a lone LF is a line break", "^b", "m", "a\nb", "@3 b"},
    {"without m ^ is the input start only", "^b", "", "a\r\nb", "none"},
    {"dot without s stops at line breaks", "a.", "-s", "a\r\na\nab", "@6 ab"},
    {"dot with s takes CR", "a.", "", "a\r\n", "@1 a\r"},
    {"greedy complex star gives back", "(a|aa)*b", "", "aaaaab", "@1 aaaaab|a"},
    {"greedy complex plus", "(ab)+c", "", "xababc", "@2 ababc|ab"},
    {"greedy ? on a group", "x(ab)?c", "", "xc xabc", "@1 xc"},
    {"counted loop keeps the last iteration", "(a|b){2,3}", "", "abba", "@1 abb|b"},
    {"lazy counted loop", "(a|b){2,3}?", "", "abba", "@1 ab|b"},
    {"lazy ? on a group tries without first", "(ab)??a", "", "aba", "@1 a"},
    {"nested counted loops", "((a){1,2}){2}", "", "aaaa", "@1 aaaa|aa|a"},
    {"counted repeat of a set", "[0-9]{2,3}x", "", "1234x", "@2 234x"},
    {"lazy counted repeat", "a{2,4}?", "", "aaaaa", "@1 aa"},
    {"repeat of a back-reference", "(ab)\\1{2}c", "", "abababc", "@1 abababc|ab"},
    {"fold literal and set", "[a-c]+Z", "i", "xABcz", "@2 ABcz"},
    {"fold over Latin-1 letters", "\xE9t\xE9", "i", "\xC9T\xC9", "@1 \xC9T\xC9"},
    {"digits and non-digits", "\\d+\\D", "", "ab12c", "@3 12c"},
    {"space set", "a\\sb\\Sc", "", "a\tb-c", "@1 a\tb-c"},
    {"negated small set", "[^abc]+", "", "abxyc", "@3 xy"},
    {"hex escapes", "\\x41\\x{42}", "", "zAB", "@2 AB"},
    {"an embedded NUL ends the subject", "b", "", std::string("a\0b", 3), "none"},
    {"\\x00 never matches: NUL ends every subject", "a\\x00", "", "a", "none"},
    {"a set naming only NUL matches nothing", "a[\\x00]", "", "a", "none"},
    {"required literal rules out the subject", "a*bcd", "", "aaabcx", "none"},
    {"required literal present", "a*bcd", "", "aaabcd", "@1 aaabcd"},
    // A repetition that consumes nothing counts towards the minimum; once the minimum is
    // met it ends the loop and keeps its empty capture.
    {"empty-capable group under * ends on its empty repetition", "(a{0,3})*", "", "aaaab", "@1 aaaa|"},
    {"the same under a counted loop", "(a{0,3}){0,}", "", "aaaab", "@1 aaaa|"},
    {"empty group under * with a back-reference", "()(\\1)*x", "", "ax", "@2 x||"},
    {"back-reference to an empty capture under *", "(a*)\\1*b", "", "b", "@1 b|"},
    {"back-reference to an empty capture, counted", "(a*)\\1{3}b", "", "b", "@1 b|"},
    {"counted loop over an empty-capable group", "(a{0,1}){3,5}b", "", "aab", "@1 aab|"},
    {"lazy loop over an empty-capable group", "(a*)??b", "", "aab", "@1 aab|aa"},
};

TEST(Match, Rows) {
  for (const TMatchRow& row : kMatchRows) {
    const char* pattern = row.pattern ? row.pattern : vm::test::ClientIdPattern();
    EXPECT_EQ(RunRow(pattern, row.modifiers, row.subject), row.outcome) << row.why << ": " << pattern;
  }
}

TEST(Match, ClientIdGroupsBeyondOneAreEmpty) {
  TPatternEngine re;
  re.SetModifier(TPatternEngine::kModI, true);
  re.SetExpression(vm::test::ClientIdPattern());
  ASSERT_TRUE(re.Exec("  \"client_id\": \"11111111-2222-3333-4444-555555555555\",\r\n"));
  EXPECT_EQ(re.GroupText(1), "11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(re.GroupText(2), "");
  EXPECT_EQ(re.GroupText(15), "");
  EXPECT_EQ(re.GroupText(-1), "");
}

// A leading literal lets the matcher skip ahead with wide compares; whatever the length of
// the subject and the place of the match, near the end included, it must find the same.
TEST(Match, LeadingLiteralFoundAtEveryPlace) {
  TPatternEngine fold, exact;
  fold.SetModifier(TPatternEngine::kModI, true);
  fold.SetExpression("\"id_\xFF\": (x)");
  exact.SetExpression("q_\": ");
  for (int length = 8; length < 60; ++length) {
    for (int at = 0; at + 8 <= length; ++at) {
      std::string subject(std::size_t(length), '.');
      subject.replace(std::size_t(at), 8, "\"ID_\x9F\": x");
      if (at > 4) subject.replace(0, 4, "\"id_");  // a decoy that shares the rare byte
      ASSERT_TRUE(fold.Exec(subject)) << length << " " << at;
      EXPECT_EQ(fold.MatchPos(0), at + 1) << length << " " << at;
      EXPECT_EQ(fold.GroupText(1), "x");
      std::string plain = subject;
      plain.replace(std::size_t(at), 5, "q_\": ");
      ASSERT_TRUE(exact.Exec(plain.substr(0, std::size_t(at + 5))));
      EXPECT_EQ(exact.MatchPos(0), at + 1);
      EXPECT_FALSE(exact.Exec(plain.substr(0, std::size_t(at + 4)))) << "the literal does not fit";
    }
  }
}

TEST(Match, ExecAtOffsets) {
  TPatternEngine re;
  re.SetExpression("a");
  EXPECT_EQ(vm::test::CodeOf([&] { re.ExecAt(1); }), 1005) << "no subject yet";
  re.SetInputString("bab");
  EXPECT_EQ(vm::test::CodeOf([&] { re.ExecAt(0); }), 1006);
  EXPECT_TRUE(re.ExecAt(2));
  EXPECT_EQ(re.MatchPos(0), 2);
  EXPECT_FALSE(re.ExecAt(3));
  EXPECT_FALSE(re.ExecAt(4)) << "L + 1 is a valid offset";
  EXPECT_FALSE(re.ExecAt(5)) << "beyond L + 1 is false, no error";
  re.SetExpression("^b");
  EXPECT_TRUE(re.ExecAt(1));
  EXPECT_FALSE(re.ExecAt(3)) << "an anchored program is tried at the offset only, and ^ is the input start";

  TPatternEngine none;
  EXPECT_EQ(vm::test::CodeOf([&] { none.ExecAt(1); }), 1003) << "no pattern is reported first";
}

TEST(Match, CapturesClearedByNewSubjectAndFailedRun) {
  TPatternEngine re;
  re.SetExpression("(b)");
  ASSERT_TRUE(re.Exec("abc"));
  EXPECT_EQ(re.GroupText(1), "b");
  EXPECT_FALSE(re.ExecAt(3));
  EXPECT_EQ(re.GroupText(1), "") << "a run that tried a position leaves no captures";
  ASSERT_TRUE(re.Exec("abc"));
  re.SetInputString("abc");
  EXPECT_EQ(re.GroupText(0), "");
}

TEST(Match, LoopNestingBound) {
  std::string pattern = "a";
  for (int i = 0; i < 11; ++i) pattern = "(" + pattern + "){1,2}";
  TPatternEngine re;
  re.SetExpression(pattern);
  EXPECT_EQ(vm::test::CodeOf([&] { re.Exec("a"); }), 1014);

  std::string ten = "a";
  for (int i = 0; i < 10; ++i) ten = "(" + ten + "){1,2}";
  re.SetExpression(ten);
  EXPECT_TRUE(re.Exec("aa"));
}

// Recursion grows with each repetition of a complex atom; a long subject must end in an
// orderly error, never in a stack overflow. The subject is the largest the engine expects.
TEST(Match, DeepRecursionEndsInAnError) {
  const std::string subject = std::string(16 << 20, 'a') + "c";
  TPatternEngine re;
  for (const char* pattern : {"(a|b)*c", "(a)+c", "(?-s).*c", "(a){1,99999999}c"}) {
    re.SetExpression(pattern);
    try {
      re.Exec(subject);
      ADD_FAILURE() << pattern << ": no error";
    } catch (const EPatternError& e) {
      EXPECT_EQ(e.Code, TPatternEngine::kErrRecursionTooDeep) << pattern;
      EXPECT_EQ(e.Message(), "TPatternEngine(exec): Match Recursion Too Deep");
    }
  }
  // Simple operands repeat without recursion, whatever the length.
  re.SetExpression("a*c|a+$");
  EXPECT_TRUE(re.Exec(subject));
  EXPECT_EQ(re.MatchLen(0), (16 << 20) + 1);
  // The object stays usable after the error.
  re.SetExpression("(a|b)*c");
  EXPECT_TRUE(re.Exec("abac"));
}

// Empty repetitions below the minimum are real repetitions: each one costs a recursion,
// like a consuming one, so a minimum beyond the budget ends in the same orderly error.
TEST(Match, EmptyRepetitionsUpToALargeMinimum) {
  TPatternEngine re;
  re.SetExpression("(a{0,1}){300}b");
  EXPECT_EQ(Outcome(re, re.Exec("b")), "@1 b|");
  EXPECT_EQ(Outcome(re, re.Exec("ab")), "@1 ab|") << "one a, then 299 empty repetitions";
  re.SetExpression("(a{0,1}){99999999}b");
  EXPECT_EQ(vm::test::CodeOf([&] { re.Exec("b"); }), TPatternEngine::kErrRecursionTooDeep);
}

TEST(Match, StepLimit) {
  TPatternEngine re;
  re.SetExpression("(a|aa)*(b|c)");
  const std::string subject(40, 'a');
  re.SetMatchStepLimit(100000);
  EXPECT_EQ(vm::test::CodeOf([&] { re.Exec(subject); }), TPatternEngine::kErrStepLimit);
  EXPECT_TRUE(re.Exec("aaab")) << "a run within the limit is unaffected";
}

}  // namespace
