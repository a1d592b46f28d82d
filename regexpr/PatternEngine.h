// The pattern engine's front door: TPatternEngine compiles a regular expression over 8-bit
// text into a byte program and runs it with a backtracking matcher; EPatternError reports
// every failure. Typical use (the client-ID search):
//
//   TPatternEngine re;
//   re.SetModifier(TPatternEngine::kModI, true);
//   re.SetExpression(pattern);
//   if (re.Exec(text)) id = re.GroupText(1);
//
// Covered by tests/regexpr (EngineTest, CompileTest, MatchTest, ReferenceTest).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Exception.h"

namespace vm {

class EPatternError : public ExceptionClass<EPatternError, Exception> {
public:
  static constexpr const char* kClassName = "EPatternError";
  EPatternError(std::string message, int code, int position)
      : ExceptionClass(std::move(message)), Code(code), Position(position) {}
  int Code;
  int Position;  // offset in the pattern for compile errors, else 0
};

struct TPatternData;

class TPatternEngine {
public:
  // Indexes for SetModifier; the modifier word uses bit 1 << (index - 1).
  enum : int { kModI = 1, kModR, kModS, kModG, kModM, kModX };
  // Errors of our own beyond the classic table.
  enum : int { kErrRecursionTooDeep = 1016, kErrStepLimit = 1017 };

  TPatternEngine();
  virtual ~TPatternEngine();
  TPatternEngine(const TPatternEngine&) = delete;
  TPatternEngine& operator=(const TPatternEngine&) = delete;

  // The pattern; setting a different one (or the empty text) drops the program.
  const std::string& Expression() const;
  void SetExpression(std::string_view pattern);

  bool Modifier(int index) const;
  void SetModifier(int index, bool on);  // index 1..6 (i r s g m x), else error 1013
  std::uint32_t ModifierWord() const;
  // Applies letters such as "i-sx" to a modifier word; false at the first unknown letter.
  static bool ReadModifierLetters(std::string_view letters, std::uint32_t& word);

  // Two different characters that form one line separator (CR LF by default), or empty.
  std::string LinePairedSeparator() const;
  void SetLinePairedSeparator(std::string_view pair);
  const std::string& SpaceCharList() const;
  void SetSpaceCharList(std::string_view chars);
  const std::string& WordCharList() const;
  void SetWordCharList(std::string_view chars);
  const std::string& LineBreakList() const;
  void SetLineBreakList(std::string_view chars);
  // Upper case of c in the ANSI code page, or its lower case when upper leaves it unchanged.
  unsigned char CaseFlip(unsigned char c) const;

  // The subject: stored up to its first NUL.
  const std::string& InputString() const;
  void SetInputString(std::string_view text);
  bool Exec(std::string_view text);  // InputString = text, then ExecAt(1)
  bool ExecAt(int offset);           // 1-based first start position
  std::string GroupText(int n) const;
  int MatchPos(int n) const;  // 1-based start of group n, or -1 when unset
  int MatchLen(int n) const;  // length of group n, or -1 when unset

  void CompilePattern();
  int ErrorPosition() const;
  virtual std::string ErrorText(int code) const;
  [[noreturn]] virtual void RaiseError(int code);

  // Upper bound on matcher steps per run (0 = none); past it a run raises kErrStepLimit.
  void SetMatchStepLimit(std::uint64_t steps);

  // The compiled program (compiling first when needed) as bytes and as a listing.
  std::string_view ProgramBytes();
  std::string DumpProgram();

private:
  friend class TPatternCompiler;
  friend class TPatternMatcher;
  [[noreturn]] void Fail(int code);
  void FreeProgram();
  void RebuildCharSets();
  bool ProgramIsValid();

  std::unique_ptr<TPatternData> F;
};

}  // namespace vm
