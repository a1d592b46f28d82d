// The start filter: when every match begins with a literal, the matcher looks for two of
// its rarest bytes at their distances with wide compares, and tries only the positions
// where both are present. It only skips positions where the literal cannot stand, so it
// never changes which match is found. Built by PatternHints.cpp, used by PatternRun.cpp.
// Covered by tests/regexpr/ReferenceTest.cpp and MatchTest.cpp (client-ID rows).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vm::pattern {

// A byte test (c & mask) == value: one byte, or a letter and its case image when they
// differ in one bit.
struct TByteProbe {
  std::uint8_t offset = 0, mask = 0, value = 0;
  bool Matches(const std::uint8_t* p) const { return (p[offset] & mask) == value; }
};

struct TStartFilter {
  bool on = false;
  std::uint8_t literalLen = 0;  // positions p need p + literalLen <= subject end
  TByteProbe rare, second;

  // Builds the filter for a leading literal (folded through `flip` when `fold`).
  void Build(const std::uint8_t* literal, std::size_t len, bool fold, const std::uint8_t* flip);
  // The first position in [from, end) that passes both probes, or nullptr.
  const std::uint8_t* Next(const std::uint8_t* from, const std::uint8_t* end) const;
};

}  // namespace vm::pattern
