// The engine object's state, shared by its stages (engine, compiler, hints, matcher, dump).
// Pointers point into the program or the subject copy.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "regexpr/Opcodes.h"
#include "regexpr/PatternFilter.h"

namespace vm {

namespace pattern {
enum ModifierBit : std::uint32_t { ModI = 1, ModR = 2, ModS = 4, ModG = 8, ModM = 16, ModX = 32 };
// Parse flags that every parse routine reports for what it parsed.
enum ParseFlag : int { WidthFlag = 1, SimpleFlag = 2, RepeatStartFlag = 4 };
}  // namespace pattern

struct TPatternData {
  using Byte = std::uint8_t;

  // Captures of the last match; nullptr = unset.
  const Byte* groupStart[pattern::kMaxGroups] = {};
  const Byte* groupEnd[pattern::kMaxGroups] = {};
  std::int32_t loopCounters[pattern::kMaxLoopDepth + 1] = {};
  const Byte* loopIterStart[pattern::kMaxLoopDepth + 1] = {};  // where the current iteration began
  std::int32_t loopDepth = 0;

  // Hints.
  Byte firstLiteralChar = 0;
  bool anchoredAtStart = false;
  const Byte* requiredLiteral = nullptr;
  std::int32_t requiredLiteralLen = 0;
  pattern::TByteSet firstCharSet;
  pattern::TStartFilter startFilter;  // internal: skips positions where the leading literal cannot stand

  // Compiler state.
  const char* parseCursor = nullptr;
  const char* patternStart = nullptr;  // set only while compiling
  std::int32_t nextGroup = 1;
  std::uint32_t compileModifiers = 0;

  // Program and texts.
  bool compiled = false;
  std::unique_ptr<Byte[]> program;
  std::size_t programSize = 0;
  bool hasPattern = false;
  std::string pattern;
  bool hasSubject = false;
  std::string subject;

  // Settings.
  std::uint32_t modifiers = 0;
  std::uint32_t programModifiers = 0;
  std::string spaceChars;
  std::string wordChars;
  std::string lineBreaks;
  bool pairSet = false;
  Byte pairHead = 0, pairTail = 0;
  const Byte* caseFlip = nullptr;  // 256-entry table
  pattern::TByteSet lineBreakSet;  // rebuilt whenever LineBreakList changes
  pattern::TByteSet wordSet;       // likewise from WordCharList, for \b and \B
  std::uint64_t stepLimit = 0;
};

}  // namespace vm
