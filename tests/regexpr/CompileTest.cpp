// Covers the compiler (regexpr/PatternCompiler.cpp, PatternSets.cpp, PatternHints.cpp)
// and the listing (PatternDump.cpp): the client-ID program byte for byte, golden listings
// of each construct, and every compile error with its position.
#include <gtest/gtest.h>

#include "regexpr/Opcodes.h"
#include "tests/regexpr/PatternTestSupport.h"

namespace {

using namespace vm::pattern;
using vm::EPatternError;
using vm::TPatternEngine;

std::string Dump(const std::string& pattern, const std::string& modifiers = "") {
  TPatternEngine re;
  vm::test::SetModifiers(re, modifiers);
  re.SetExpression(pattern);
  return re.DumpProgram();
}

// Builds a program from the node layout: each node names the absolute offset of its next.
class TProgramBuilder {
public:
  TProgramBuilder() { bytes.push_back(char(kProgramMagic)); }
  int Node(Opcode op, int nextAt, const std::string& operand = "") {
    int at = int(bytes.size());
    bytes.push_back(char(op));
    std::int32_t rel = nextAt ? nextAt - at : 0;
    for (int i = 0; i < 4; ++i) bytes.push_back(char((std::uint32_t(rel) >> (8 * i)) & 0xFF));
    bytes += operand;
    return at;
  }
  static std::string Int(std::int32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(char((std::uint32_t(v) >> (8 * i)) & 0xFF));
    return s;
  }
  std::string bytes;
};

TEST(Compile, ClientIdProgramByteForByte) {
  // Digits, A to Z and their case images a to z: bits of bytes 6, 8..11, 12..15.
  std::string idSet(32, '\0');
  for (int c : {'0', '9', 'A', 'Z', 'a', 'z'}) (void)c;
  for (int c = 0; c < 256; ++c)
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
      idSet[c / 8] = char(idSet[c / 8] | (1 << (c % 8)));
  TProgramBuilder p;
  const std::string nul(1, '\0');
  EXPECT_EQ(p.Node(Alternative, 326), 1);
  EXPECT_EQ(p.Node(LiteralFold, 26, "\"client_id\": \"" + nul), 6);
  EXPECT_EQ(p.Node(Opcode(GroupOpenFirst), 31), 26);
  EXPECT_EQ(p.Node(Alternative, 314), 31);
  const int blocks[] = {8, 4, 4, 4, 12};
  int at = 36;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(p.Node(RepeatCount, at + 50, TProgramBuilder::Int(blocks[i]) + TProgramBuilder::Int(blocks[i])), at);
    p.Node(ByteSet, 0, idSet);
    at += 50;
    if (i < 4) {
      EXPECT_EQ(p.Node(LiteralFold, at + 7, "-" + nul), at);
      at += 7;
    }
  }
  EXPECT_EQ(p.Node(Opcode(GroupCloseFirst), 319), 314);
  EXPECT_EQ(p.Node(LiteralFold, 326, "\"" + nul), 319);
  EXPECT_EQ(p.Node(End, 0), 326);
  ASSERT_EQ(p.bytes.size(), 331u);

  TPatternEngine re;
  re.SetModifier(TPatternEngine::kModI, true);  // r, s and g are on by default
  re.SetExpression(vm::test::ClientIdPattern());
  EXPECT_EQ(re.ProgramBytes(), p.bytes);
  EXPECT_EQ(re.DumpProgram(),
            "   1 Alternative -> 326\n"
            "   6 LiteralFold -> 26 \"\\\"client_id\\\": \\\"\"\n"
            "  26 GroupOpen 1 -> 31\n"
            "  31 Alternative -> 314\n"
            "  36 RepeatCount -> 86 {8,8}\n"
            "  49   ByteSet -> end [0-9A-Za-z]\n"
            "  86 LiteralFold -> 93 \"-\"\n"
            "  93 RepeatCount -> 143 {4,4}\n"
            " 106   ByteSet -> end [0-9A-Za-z]\n"
            " 143 LiteralFold -> 150 \"-\"\n"
            " 150 RepeatCount -> 200 {4,4}\n"
            " 163   ByteSet -> end [0-9A-Za-z]\n"
            " 200 LiteralFold -> 207 \"-\"\n"
            " 207 RepeatCount -> 257 {4,4}\n"
            " 220   ByteSet -> end [0-9A-Za-z]\n"
            " 257 LiteralFold -> 264 \"-\"\n"
            " 264 RepeatCount -> 314 {12,12}\n"
            " 277   ByteSet -> end [0-9A-Za-z]\n"
            " 314 GroupClose 1 -> 319\n"
            " 319 LiteralFold -> 326 \"\\\"\"\n"
            " 326 End -> end\n"
            "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [\"]\n");
}

struct TDumpRow {
  const char* why;
  const char* pattern;
  const char* modifiers;
  const char* dump;
};

const TDumpRow kDumpRows[] = {
    {"alternatives keep their order; first literal only with one alternative", "a|ab", "",
     "   1 Alternative -> 13\n   6 Literal -> 26 \"a\"\n  13 Alternative -> 26\n  18 Literal -> 26 \"ab\"\n"
     "  26 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [a]\n"},
    {"a quantifier takes only the last character of a run", "ab*", "",
     "   1 Alternative -> 25\n   6 Literal -> 13 \"a\"\n  13 RepeatStar -> 25\n  18   Literal -> end \"b\"\n"
     "  25 End -> end\n"
     "hints: firstLiteralChar \"a\", not anchored, requiredLiteral none, firstCharSet [a]\n"},
    {"greedy ? is a pair of alternatives", "a?", "",
     "   1 Alternative -> 28\n   6 Alternative -> 18\n  11 Literal -> 23 \"a\"\n  18 Alternative -> 23\n"
     "  23 Empty -> 28\n  28 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [a]\n"},
    {"greedy + on a group loops through JumpBack; a leading repeat enables the required literal", "(ab)+c", "",
     "   1 Alternative -> 56\n   6 GroupOpen 1 -> 11\n  11 Alternative -> 24\n  16 Literal -> 24 \"ab\"\n"
     "  24 GroupClose 1 -> 29\n  29 Alternative -> 39\n  34 JumpBack -> 6\n  39 Alternative -> 44\n"
     "  44 Empty -> 49\n  49 Literal -> 56 \"c\"\n  56 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral \"c\", firstCharSet [a]\n"},
    {"greedy * on a group loops back to its own Alternative", "(a|aa)*b", "",
     "   1 Alternative -> 68\n   6 Alternative -> 51\n  11 GroupOpen 1 -> 16\n  16 Alternative -> 28\n"
     "  21 Literal -> 41 \"a\"\n  28 Alternative -> 41\n  33 Literal -> 41 \"aa\"\n  41 GroupClose 1 -> 46\n"
     "  46 JumpBack -> 6\n  51 Alternative -> 56\n  56 Empty -> 61\n  61 Literal -> 68 \"b\"\n  68 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral \"b\", firstCharSet [ab]\n"},
    {"counted loop on a group", "(ab){2,3}", "",
     "   1 Alternative -> 51\n   6 LoopEntry -> 34\n  11 GroupOpen 1 -> 16\n  16 Alternative -> 29\n"
     "  21 Literal -> 29 \"ab\"\n  29 GroupClose 1 -> 34\n  34 Loop -> 51 {2,3} body 11\n  51 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [a]\n"},
    {"non-greedy * on a group is a lazy counted loop", "(ab)*?", "",
     "   1 Alternative -> 51\n   6 LoopEntry -> 34\n  11 GroupOpen 1 -> 16\n  16 Alternative -> 29\n"
     "  21 Literal -> 29 \"ab\"\n  29 GroupClose 1 -> 34\n  34 LazyLoop -> 51 {0,2147483646} body 11\n"
     "  51 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [a]\n"},
    {"with g off every quantifier is lazy", "a+b?", "-g",
     "   1 Alternative -> 38\n   6 LazyPlus -> 18\n  11   Literal -> end \"a\"\n  18 LazyCount -> 38 {0,1}\n"
     "  31   Literal -> end \"b\"\n  38 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [a]\n"},
    {"a{2} repeats exactly twice; a{x and a{,3} are literal text", "a{2}a{xa{,3}", "",
     "   1 Alternative -> 58\n   6 RepeatCount -> 26 {2,2}\n  19   Literal -> end \"a\"\n"
     "  26 Literal -> 33 \"a\"\n  33 Literal -> 41 \"{x\"\n  41 Literal -> 48 \"a\"\n"
     "  48 Literal -> 58 \"{,3}\"\n  58 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral \"{,3}\", firstCharSet [a]\n"},
    {"bracket sets: ] first, - last, \\d then -, negated big set, small set", "[]a][a-][\\d-z][^abcd][abc]", "",
     "   1 Alternative -> 104\n   6 SmallSet -> 14 \"]aa\"\n  14 SmallSet -> 22 \"-aa\"\n"
     "  22 ByteSet -> 59 [\\-0-9z]\n  59 ByteSet -> 96 [\\x00-`e-\\xFF]\n  96 SmallSet -> 104 \"abc\"\n"
     " 104 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [\\]a]\n"},
    {"under i a one-letter set holds both cases", "[a]", "i",
     "   1 Alternative -> 14\n   6 SmallSet -> 14 \"Aaa\"\n  14 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [Aa]\n"},
    {"modifier x drops blanks and the comment", "a b # note", "x",
     "   1 Alternative -> 19\n   6 Literal -> 14 \"ab\"\n  14 NoOp -> 19\n  19 End -> end\n"
     "hints: firstLiteralChar \"a\", not anchored, requiredLiteral none, firstCharSet [a]\n"},
    {"inline i folds what follows; a comment is a NoOp", "(?#note)x(?i)bc", "",
     "   1 Alternative -> 31\n   6 NoOp -> 11\n  11 Literal -> 18 \"x\"\n  18 NoOp -> 23\n"
     "  23 LiteralFold -> 31 \"bc\"\n  31 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [x]\n"},
    {"an inline modifier ends with its group", "((?i)a)a", "",
     "   1 Alternative -> 40\n   6 GroupOpen 1 -> 11\n  11 Alternative -> 28\n  16 NoOp -> 21\n"
     "  21 LiteralFold -> 28 \"a\"\n  28 GroupClose 1 -> 33\n  33 Literal -> 40 \"a\"\n  40 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [Aa]\n"},
    {"anchors: plain without m, line anchors with m", "^a$", "m",
     "   1 Alternative -> 23\n   6 LineStart -> 11\n  11 Literal -> 18 \"a\"\n  18 LineEnd -> 23\n"
     "  23 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [a]\n"},
    {"^ anchors the program", "^a\\Z", "",
     "   1 Alternative -> 23\n   6 InputStart -> 11\n  11 Literal -> 18 \"a\"\n  18 InputEnd -> 23\n"
     "  23 End -> end\n"
     "hints: firstLiteralChar none, anchored, requiredLiteral none, firstCharSet [a]\n"},
    {"escapes: classes, hex, control and back-reference", "(.)\\d\\D\\s\\x41\\x{7}\\t\\1", "-s",
     "   1 Alternative -> 100\n   6 GroupOpen 1 -> 11\n  11 Alternative -> 21\n  16 AnyInLine -> 21\n"
     "  21 GroupClose 1 -> 26\n  26 Digit -> 31\n  31 NonDigit -> 36\n  36 ByteSet -> 73 [\\x09\\x0A\\x0C\\x0D ]\n"
     "  73 Literal -> 80 \"A\"\n  80 Literal -> 87 \"\\x07\"\n  87 Literal -> 94 \"\\x09\"\n  94 BackRef -> 100 \\1\n"
     " 100 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [all]\n"},
    {"Russian ranges under r, and a-ya to YA holding both lists", "[\xE0-\xFF][\xE0-\xDF]", "",
     "   1 Alternative -> 80\n   6 ByteSet -> 43 [\\xB8\\xE0-\\xFF]\n  43 ByteSet -> 80 [\\xA8\\xB8\\xC0-\\xFF]\n"
     "  80 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [\\xB8\\xE0-\\xFF]\n"},
    {"a set naming NUL holds nothing of it; a negated one matches all else", "[\\x00]|[^a\\x{0}]", "",
     "   1 Alternative -> 14\n   6 SmallSet -> 27 \"\\x00\\x00\\x00\"\n  14 Alternative -> 27\n"
     "  19 SmallSetNot -> 27 \"aaa\"\n  27 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [\\x00-`b-\\xFF]\n"},
    {"the first-character walk ends on a loop that can repeat empty and keeps what follows", "(a*)??b", "",
     "   1 Alternative -> 62\n   6 LoopEntry -> 38\n  11 GroupOpen 1 -> 16\n  16 Alternative -> 33\n"
     "  21 RepeatStar -> 33\n  26   Literal -> end \"a\"\n  33 GroupClose 1 -> 38\n"
     "  38 LazyLoop -> 55 {0,1} body 11\n  55 Literal -> 62 \"b\"\n  62 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [ab]\n"},
    // Former faults.
    {"a literal NUL is one character: the listing steps over it (the walk once ran past the end)", "\\x00b", "",
     "   1 Alternative -> 20\n   6 Literal -> 13 \"\\x00\"\n  13 Literal -> 20 \"b\"\n  20 End -> end\n"
     "hints: firstLiteralChar none, not anchored, requiredLiteral none, firstCharSet [\\x00]\n"},
};

TEST(Compile, GoldenListings) {
  for (const TDumpRow& row : kDumpRows) EXPECT_EQ(Dump(row.pattern, row.modifiers), row.dump) << row.why;
}

struct TErrorRow {
  const char* pattern;
  const char* modifiers;
  int code;
  int position;
};

const TErrorRow kErrorRows[] = {
    {"a)", "", 104, 1},
    {"(a", "", 103, 2},
    {"a{123456789}", "", 122, 10},  // nine digits
    {"a{3,2}", "", 124, 5},
    {"(a|)*", "", 106, 4},
    {"()+", "", 106, 2},
    {"^*", "", 106, 1},
    {"^{x", "", 106, 1},   // also for a { that is no counted repeat
    {"a *", "x", 106, 2},  // skipped blanks leave a NoOp that cannot repeat
    {"a**", "", 107, 2},
    {"a{2}*", "", 107, 4},
    {"a*?+", "", 107, 3},
    {"\\xZ1", "", 108, 2},
    {"[z-a]", "", 109, 4},
    {"[\xE0-\xDF]", "-r", 109, 4},  // without r the reversed Russian range is an error
    {"[a\\", "", 110, 3},
    {"[a-\\", "", 110, 4},
    {"\\x", "", 111, 2},
    {"\\x4", "", 111, 3},
    {"\\x{4", "", 111, 4},
    {"\\x{100}", "", 112, 5},
    {"[a", "", 113, 2},
    {"*a", "", 115, 0},
    {"a|?", "", 115, 2},
    {"\\", "", 116, 1},
    {"(?#note", "", 125, 7},
    {"(?:x)", "", 127, 2},
    {"(?i", "", 127, 3},
    {"(((((((((((((((a)))))))))))))))", "", 102, 15},
};

TEST(Compile, Errors) {
  for (const TErrorRow& row : kErrorRows) {
    TPatternEngine re;
    vm::test::SetModifiers(re, row.modifiers);
    re.SetExpression(row.pattern);
    try {
      re.CompilePattern();
      ADD_FAILURE() << row.pattern << ": compiled";
    } catch (const EPatternError& e) {
      EXPECT_EQ(e.Code, row.code) << row.pattern;
      EXPECT_EQ(e.Position, row.position) << row.pattern;
      EXPECT_EQ(e.Message(), re.ErrorText(row.code) + " (pos " + std::to_string(row.position) + ")") << row.pattern;
    }
    EXPECT_EQ(re.ErrorPosition(), 0);
  }
}

TEST(Compile, AcceptedEdgeCases) {
  for (const char* pattern : {"a{99999999}", "(a|)?", "a*?", "a{1,x}", "\\x{0FF}", "\\x{}", "(?)a", "a{",
                              "((((((((((((((a))))))))))))))", "(?imsx-imsx)a", "[\\D\\S\\W\\b\\1]"}) {
    TPatternEngine re;
    re.SetExpression(pattern);
    EXPECT_NO_THROW(re.CompilePattern()) << pattern;
  }
}

TEST(Compile, HugeAlternationDoesNotRecurse) {
  std::string pattern = "x0";
  for (int i = 1; i < 100000; ++i) pattern += "|x" + std::to_string(i);
  TPatternEngine re;
  re.SetExpression(pattern);
  EXPECT_TRUE(re.Exec("..x99999.."));
  EXPECT_EQ(re.GroupText(0), "x9") << "the first alternative that matches wins";
  EXPECT_TRUE(re.Exec("..x77777"));
  EXPECT_EQ(re.MatchPos(0), 3);
  // A long chain of optional anchors: the first-character walk must not recurse per node.
  std::string anchors;
  for (int i = 0; i < 50000; ++i) anchors += "^?";
  re.SetExpression(anchors + "a");
  EXPECT_NO_THROW(re.CompilePattern());
}

}  // namespace
