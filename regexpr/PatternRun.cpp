// The match interface (InputString, Exec, ExecAt, GroupText) and the choice of start
// positions from the hints. Covered by tests/regexpr/MatchTest.cpp.
#include <cstring>

#include "base/Text.h"
#include "regexpr/PatternMatcher.h"

namespace vm {

using namespace pattern;

bool TPatternMatcher::Run(const Byte* from) {
  const char base = 0;
  FStackBase = reinterpret_cast<std::uintptr_t>(&base);
  if (D.requiredLiteral && !FindRequiredLiteral(from)) return false;
  D.loopDepth = 0;
  // A failed try puts every capture back as it found it, so clearing them once before
  // the first try leaves them as clean as clearing before each.
  for (int i = 0; i < kMaxGroups; ++i) D.groupStart[i] = D.groupEnd[i] = nullptr;

  if (D.anchoredAtStart) return TryAt(from);
  if (D.startFilter.on) {
    for (const Byte* p = D.startFilter.Next(from, FEnd); p; p = D.startFilter.Next(p + 1, FEnd))
      if (TryAt(p)) return true;
    return false;
  }
  if (D.firstLiteralChar) {
    for (const Byte* p = from; p < FEnd; ++p) {
      p = static_cast<const Byte*>(std::memchr(p, D.firstLiteralChar, std::size_t(FEnd - p)));
      if (!p) return false;
      if (TryAt(p)) return true;
    }
    return false;
  }
  for (const Byte* p = from; p < FEnd; ++p)
    if (D.firstCharSet.Has(*p) && TryAt(p)) return true;
  return false;
}

// Whether the literal that every match must hold occurs at or after `from`.
const TPatternMatcher::Byte* TPatternMatcher::FindRequiredLiteral(const Byte* from) const {
  const Byte* literal = D.requiredLiteral;
  const std::size_t len = std::size_t(D.requiredLiteralLen);
  for (const Byte* p = from; std::size_t(FEnd - p) >= len; ++p) {
    p = static_cast<const Byte*>(std::memchr(p, literal[0], std::size_t(FEnd - p) - len + 1));
    if (!p) return nullptr;
    if (std::memcmp(p, literal, len) == 0) return p;
  }
  return nullptr;
}

const std::string& TPatternEngine::InputString() const { return F->subject; }

void TPatternEngine::SetInputString(std::string_view text) {
  for (int i = 0; i < kMaxGroups; ++i) F->groupStart[i] = F->groupEnd[i] = nullptr;
  F->subject.assign(UpToNul(text));
  F->hasSubject = true;
}

bool TPatternEngine::Exec(std::string_view text) {
  SetInputString(text);
  return ExecAt(1);
}

bool TPatternEngine::ExecAt(int offset) {
  ProgramIsValid();
  if (!F->hasSubject) Fail(1005);
  if (offset < 1) Fail(1006);
  if (std::size_t(offset) > F->subject.size() + 1) return false;
  TPatternMatcher matcher(*this, *F);
  return matcher.Run(reinterpret_cast<const std::uint8_t*>(F->subject.c_str()) + offset - 1);
}

std::string TPatternEngine::GroupText(int n) const {
  if (n < 0 || n >= kMaxGroups || !F->hasSubject || !F->groupStart[n] || !F->groupEnd[n]) return std::string();
  return std::string(reinterpret_cast<const char*>(F->groupStart[n]), std::size_t(F->groupEnd[n] - F->groupStart[n]));
}

int TPatternEngine::MatchPos(int n) const {
  if (n < 0 || n >= kMaxGroups || !F->hasSubject || !F->groupStart[n] || !F->groupEnd[n]) return -1;
  return int(F->groupStart[n] - reinterpret_cast<const std::uint8_t*>(F->subject.c_str())) + 1;
}

int TPatternEngine::MatchLen(int n) const {
  if (MatchPos(n) < 0) return -1;
  return int(F->groupEnd[n] - F->groupStart[n]);
}

}  // namespace vm
