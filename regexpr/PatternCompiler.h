// The compiler: turns the engine's Expression into the byte program of Opcodes.h and its
// hints. Its one entry point is TPatternCompiler::Compile. Parsing and emission live in
// PatternCompiler.cpp, bracket sets and escapes in PatternSets.cpp, the hints in
// PatternHints.cpp. Covered by tests/regexpr/CompileTest.cpp.
#pragma once

#include <cstdint>

#include "regexpr/PatternData.h"
#include "regexpr/PatternEngine.h"

namespace vm {

class TPatternCompiler {
public:
  TPatternCompiler(TPatternEngine& engine, TPatternData& data) : FEngine(engine), D(data) {}
  // Replaces the program by the compiled Expression; on an error leaves no program.
  void Compile();

private:
  using Byte = std::uint8_t;
  static constexpr int kNone = -1;  // no node (also every node of the sizing pass)

  // Emission. In the sizing pass FOut is null and only FSize grows.
  bool Sizing() const { return FOut == nullptr; }
  int EmitNode(Byte op);
  void EmitByte(Byte b);
  void EmitInt(std::int32_t v);
  void InsertNode(Byte op, int before, int size);
  void SetTail(int node, int target);
  void SetAlternativeTail(int node, int target);
  int Next(int node) const;
  void Pass();

  // Recursive descent; each returns the first node it emitted.
  int ParseReg(bool inParens, int& flags);
  int ParseBranch(int& flags);
  int ParsePiece(int& flags);
  void EmitSimpleRepeat(char op, bool lazy, int atom, std::int32_t min, std::int32_t max);
  void EmitOptional(int atom);
  void EmitGreedyStar(int atom);
  void EmitGreedyPlus(int atom);
  void EmitCountedLoop(bool lazy, int atom, std::int32_t min, std::int32_t max);
  bool ParseBraces(std::int32_t& min, std::int32_t& max);
  std::int32_t ParseBraceNumber(const char*& p);
  int ParseAtom(int& flags);
  int ParseInlineModifiers();
  int ParseEscape(int& flags);
  int ParseLiteralRun(int& flags);
  int SkipExtendedSpace();
  int EmitOneChar(Byte c);

  // Bracket sets (PatternSets.cpp).
  struct TSetBuilder;
  int ParseBracket();
  int EmitSet(TSetBuilder& set, bool negated);
  int EmitCharListSet(const std::string& chars, bool negated);
  Byte ParseHexEscape();
  Byte ParseBracketEscapeChar();

  // Hints (PatternHints.cpp).
  void ComputeHints(int topFlags);
  void FillFirstCharSet();

  [[noreturn]] void Fail(int code) { FEngine.Fail(code); }
  char Peek(int ahead = 0) const { return D.parseCursor[ahead]; }
  bool ModifierOn(std::uint32_t bit) const { return (D.compileModifiers & bit) != 0; }

  TPatternEngine& FEngine;
  TPatternData& D;
  Byte* FOut = nullptr;
  int FPos = 0;  // write position (bytes emitted or counted)
};

}  // namespace vm
