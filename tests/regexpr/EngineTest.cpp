// Covers regexpr/PatternEngine.cpp and CaseFlip*.cpp: construction defaults, modifiers,
// settings, error texts and how errors are raised.
#include <gtest/gtest.h>

#include "regexpr/PatternEngine.h"

namespace {

using vm::EPatternError;
using vm::TPatternEngine;

// Runs `action` and returns the EPatternError it raised; fails the test when none.
template <class F>
EPatternError ErrorOf(F action) {
  try {
    action();
  } catch (const EPatternError& e) {
    return e;
  }
  ADD_FAILURE() << "no EPatternError";
  return EPatternError("", -1, -1);
}

TEST(Engine, Defaults) {
  TPatternEngine re;
  EXPECT_FALSE(re.Modifier(TPatternEngine::kModI));
  EXPECT_TRUE(re.Modifier(TPatternEngine::kModR));
  EXPECT_TRUE(re.Modifier(TPatternEngine::kModS));
  EXPECT_TRUE(re.Modifier(TPatternEngine::kModG));
  EXPECT_FALSE(re.Modifier(TPatternEngine::kModM));
  EXPECT_FALSE(re.Modifier(TPatternEngine::kModX));
  EXPECT_EQ(re.ModifierWord(), 2u | 4u | 8u);
  EXPECT_EQ(re.SpaceCharList(), std::string(" \t\n\r\f"));
  EXPECT_EQ(re.WordCharList(), "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_");
  EXPECT_EQ(re.LineBreakList(), "\r\n");
  EXPECT_EQ(re.LinePairedSeparator(), "\r\n");
  EXPECT_EQ(re.Expression(), "");
  EXPECT_EQ(re.GroupText(0), "");

  re.SetModifier(TPatternEngine::kModI, true);
  EXPECT_EQ(re.ModifierWord(), 1u | 2u | 4u | 8u);
  re.SetModifier(TPatternEngine::kModG, false);
  EXPECT_EQ(re.ModifierWord(), 1u | 2u | 4u);
}

TEST(Engine, ModifierIndexOutOfRange) {
  TPatternEngine re;
  for (int index : {0, 7, -1}) {
    EPatternError e = ErrorOf([&] { re.SetModifier(index, true); });
    EXPECT_EQ(e.Code, 1013);
    EXPECT_EQ(e.Message(), "Unknown error");
    EXPECT_EQ(e.Position, 0);
  }
  EXPECT_EQ(re.ModifierWord(), 2u | 4u | 8u);
}

TEST(Engine, ReadModifierLetters) {
  struct Row {
    const char* letters;
    std::uint32_t before, after;
    bool ok;
  } rows[] = {
      {"", 6, 6, true},      {"i", 0, 1, true},     {"IMX", 0, 1 | 16 | 32, true},
      {"-s", 15, 11, true},  {"i-sx", 36, 1, true},  // s and x off after '-'
      {"i-s-i", 5, 0, true}, {"iq", 0, 1, false},   {":", 6, 6, false},
  };
  for (const Row& row : rows) {
    std::uint32_t word = row.before;
    EXPECT_EQ(TPatternEngine::ReadModifierLetters(row.letters, word), row.ok) << row.letters;
    EXPECT_EQ(word, row.after) << row.letters;
  }
}

TEST(Engine, LinePairedSeparator) {
  TPatternEngine re;
  re.SetLinePairedSeparator("ab");
  EXPECT_EQ(re.LinePairedSeparator(), "ab");
  for (const char* bad : {"aa", "abc", "a"}) {
    EPatternError e = ErrorOf([&] { re.SetLinePairedSeparator(bad); });
    EXPECT_EQ(e.Code, 128);
    EXPECT_EQ(e.Message(),
              "TPatternEngine(comp): LinePairedSeparator must countain two different chars or no chars at all (pos 0)");
    EXPECT_EQ(re.LinePairedSeparator(), "ab") << "a refused pair changes nothing";
  }
  re.SetLinePairedSeparator("");
  EXPECT_EQ(re.LinePairedSeparator(), "");
}

TEST(Engine, ErrorTexts) {
  TPatternEngine re;
  EXPECT_EQ(re.ErrorText(0), "No errors");
  EXPECT_EQ(re.ErrorText(9999), "Unknown error");
  EXPECT_EQ(re.ErrorText(1013), "Unknown error");
  EXPECT_EQ(re.ErrorText(103), re.ErrorText(104));
  EXPECT_EQ(re.ErrorText(110), "TPatternEngine(comp): Parse Atom Trailing \\");
  EXPECT_EQ(re.ErrorText(119), "TPatternEngine(comp): RarseAtom Internal Disaster");
  EXPECT_EQ(re.ErrorText(1005), "TPatternEngine(exec): No Inpit String Specified");
  EXPECT_EQ(re.ErrorText(1015), "TPatternEngine(exec): Loop Without LoopEntry !");
  EXPECT_EQ(re.ErrorText(126).substr(0, 60), "TPatternEngine(comp): If you want take part in beta-testing ");
  EXPECT_NE(re.ErrorText(TPatternEngine::kErrRecursionTooDeep), "Unknown error");
}

TEST(Engine, CompileErrorCarriesPositionRunErrorDoesNot) {
  TPatternEngine re;
  re.SetExpression("a)");
  EPatternError compile = ErrorOf([&] { re.Exec("a"); });
  EXPECT_EQ(compile.Code, 104);
  EXPECT_EQ(compile.Position, 1);
  EXPECT_EQ(compile.Message(), "TPatternEngine(comp): ParseReg Unmatched () (pos 1)");
  EXPECT_TRUE(compile.InheritsFrom("Exception"));
  EXPECT_EQ(compile.ClassName(), "EPatternError");
  EXPECT_EQ(re.ErrorPosition(), 0) << "a position exists only while compiling";

  TPatternEngine fresh;
  fresh.SetExpression("a");
  EPatternError run = ErrorOf([&] { fresh.ExecAt(1); });
  EXPECT_EQ(run.Code, 1005);
  EXPECT_EQ(run.Message(), "TPatternEngine(exec): No Inpit String Specified");
}

TEST(Engine, NoPattern) {
  TPatternEngine re;
  EXPECT_EQ(ErrorOf([&] { re.Exec("abc"); }).Code, 1003);
  EXPECT_EQ(ErrorOf([&] { re.CompilePattern(); }).Code, 1003);
  // Dropping the pattern drops its program too: no run of the old pattern.
  re.SetExpression("b");
  EXPECT_TRUE(re.Exec("abc"));
  re.SetExpression("");
  EXPECT_EQ(ErrorOf([&] { re.Exec("abc"); }).Code, 1003);
}

TEST(Engine, FailedCompileLeavesObjectUsable) {
  TPatternEngine re;
  re.SetExpression("a{3,2}");
  EXPECT_EQ(ErrorOf([&] { re.Exec("aaa"); }).Code, 124);
  EXPECT_EQ(ErrorOf([&] { re.Exec("aaa"); }).Code, 124) << "the stored pattern fails again";
  EXPECT_EQ(re.Expression(), "a{3,2}");
  re.SetExpression("a{2,3}");
  EXPECT_TRUE(re.Exec("xaaa"));
  EXPECT_EQ(re.GroupText(0), "aaa");
}

TEST(Engine, SettingsRecompileWhenTheyChange) {
  TPatternEngine re;
  re.SetExpression("ABC");
  EXPECT_FALSE(re.Exec("xabc"));
  re.SetModifier(TPatternEngine::kModI, true);
  EXPECT_TRUE(re.Exec("xabc")) << "a modifier change takes effect at the next run";

  re.SetExpression("\\s");
  EXPECT_FALSE(re.Exec("a_b"));
  re.SetSpaceCharList("_");
  EXPECT_TRUE(re.Exec("a_b")) << "a new space list must not leave the old \\s in force";
  re.SetExpression("\\w+");
  re.SetWordCharList("xyz");
  EXPECT_TRUE(re.Exec("abxyzc"));
  EXPECT_EQ(re.GroupText(0), "xyz");
}

TEST(Engine, SamePatternTwiceKeepsProgram) {
  TPatternEngine re;
  re.SetExpression("ab+c");
  re.CompilePattern();
  const char* program = re.ProgramBytes().data();
  re.SetExpression("ab+c");
  EXPECT_EQ(re.ProgramBytes().data(), program) << "no recompile for the same text";
  re.SetExpression("ab+d");
  EXPECT_NE(re.ProgramBytes()[re.ProgramBytes().size() - 8], 'c');
}

TEST(Engine, CaseFlip) {
  TPatternEngine re;
  for (int c = 0; c < 256; ++c) {
    unsigned char flipped = re.CaseFlip(static_cast<unsigned char>(c));
    EXPECT_EQ(re.CaseFlip(flipped), c) << "case flipping is its own inverse, char " << c;
  }
  EXPECT_EQ(re.CaseFlip('a'), 'A');
  EXPECT_EQ(re.CaseFlip('Z'), 'z');
  EXPECT_EQ(re.CaseFlip('5'), '5');
  EXPECT_EQ(re.CaseFlip('_'), '_');
  EXPECT_EQ(re.CaseFlip(0xE9), 0xC9);  // e acute
  EXPECT_EQ(re.CaseFlip(0xD7), 0xD7);  // multiplication sign
  EXPECT_EQ(re.CaseFlip(0xFF), 0x9F);  // y diaeresis
}

}  // namespace
