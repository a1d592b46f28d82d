// The byte program: one table of opcodes with their operand layout, and the helpers that
// read and write nodes. Every stage (compiler, hints, matcher, dump) reads the layout from
// here only. Covered by tests/regexpr/CompileTest.cpp (golden dumps, the client-ID bytes).
//
// Program:  byte 0 = kProgramMagic, first node at byte 1.
// Node:     opcode (1 byte) | next (int32, little-endian, relative to the node's first byte,
//           0 = end of chain) | operand (by opcode, below).
#pragma once

#include <cstdint>
#include <cstring>

namespace vm::pattern {

constexpr std::uint8_t kProgramMagic = 216;
constexpr int kNodeHeader = 5;  // opcode + next
constexpr std::int32_t kMaxBraces = 2147483646;
constexpr int kMaxGroups = 15;     // group 0 (whole match) and groups 1..14
constexpr int kMaxLoopDepth = 10;  // nesting of counted loops on complex atoms

// X(name, code, operand)
#define VM_PATTERN_OPCODES(X)                                                  \
  X(End, 0, "none: end of the whole pattern")                                  \
  X(InputStart, 1, "none")                                                     \
  X(InputEnd, 2, "none")                                                       \
  X(AnyChar, 3, "none")                                                        \
  X(SetAny, 4, "bracket kind while parsing only")                              \
  X(SetNone, 5, "bracket kind while parsing only")                             \
  X(Alternative, 6, "none; the alternative's own chain starts right after it") \
  X(JumpBack, 7, "none; next points back to the loop")                         \
  X(Literal, 8, "NUL-terminated string")                                       \
  X(Empty, 9, "none")                                                          \
  X(RepeatStar, 10, "one simple node")                                         \
  X(RepeatPlus, 11, "one simple node")                                         \
  X(Digit, 12, "none")                                                         \
  X(NonDigit, 13, "none")                                                      \
  X(RepeatCount, 18, "min int32, max int32, one simple node")                  \
  X(NoOp, 19, "none")                                                          \
  X(LiteralFold, 20, "NUL-terminated string")                                  \
  X(SetAnyFold, 21, "bracket kind while parsing only")                         \
  X(SetNoneFold, 22, "bracket kind while parsing only")                        \
  X(LoopEntry, 23, "none; next is the loop node")                              \
  X(Loop, 24, "min int32, max int32, back offset int32 to the repeated part")  \
  X(SmallSet, 25, "3 bytes, ascending, padded with the largest")               \
  X(SmallSetNot, 26, "3 bytes")                                                \
  X(ByteSet, 27, "32 bytes: bit c%8 of byte c/8")                              \
  X(BackRef, 28, "1 byte: group 1..9")                                         \
  X(BackRefFold, 29, "1 byte")                                                 \
  X(LazyStar, 30, "one simple node")                                           \
  X(LazyPlus, 31, "one simple node")                                           \
  X(LazyCount, 32, "min int32, max int32, one simple node")                    \
  X(LazyLoop, 33, "min int32, max int32, back offset int32")                   \
  X(LineStart, 34, "none")                                                     \
  X(LineEnd, 35, "none")                                                       \
  X(AnyInLine, 36, "none")                                                     \
  X(WordBoundary, 37, "none")                                                  \
  X(NonWordBoundary, 38, "none")

enum Opcode : std::uint8_t {
#define VM_PATTERN_ENUM(name, code, operand) name = code,
  VM_PATTERN_OPCODES(VM_PATTERN_ENUM)
#undef VM_PATTERN_ENUM
      GroupOpenFirst = 40,  // GroupOpen n = 39 + n, n = 1..14; no operand
  GroupCloseFirst = 55,     // GroupClose n = 54 + n
};

constexpr bool IsGroupOpen(std::uint8_t op) { return op >= GroupOpenFirst && op < GroupOpenFirst + kMaxGroups - 1; }
constexpr bool IsGroupClose(std::uint8_t op) { return op >= GroupCloseFirst && op < GroupCloseFirst + kMaxGroups - 1; }
constexpr std::uint8_t GroupOpenOp(int n) { return std::uint8_t(GroupOpenFirst + n - 1); }
constexpr std::uint8_t GroupCloseOp(int n) { return std::uint8_t(GroupCloseFirst + n - 1); }
constexpr int GroupOf(std::uint8_t op) { return IsGroupOpen(op) ? op - GroupOpenFirst + 1 : op - GroupCloseFirst + 1; }

// Name of an opcode for the dump, or nullptr for a code outside the table.
const char* OpcodeName(std::uint8_t op);

// Little-endian int32 regardless of the host, so a program is the same bytes everywhere.
inline std::int32_t ReadInt(const std::uint8_t* p) {
  return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                      std::uint32_t(p[3]) << 24);
}
inline void WriteInt(std::uint8_t* p, std::int32_t v) {
  std::uint32_t u = std::uint32_t(v);
  p[0] = std::uint8_t(u), p[1] = std::uint8_t(u >> 8), p[2] = std::uint8_t(u >> 16), p[3] = std::uint8_t(u >> 24);
}

inline const std::uint8_t* Operand(const std::uint8_t* node) { return node + kNodeHeader; }
// The node after this one in its chain, or nullptr at the end of a chain.
inline const std::uint8_t* NextNode(const std::uint8_t* node) {
  std::int32_t offset = ReadInt(node + 1);
  return offset == 0 ? nullptr : node + offset;
}
// The simple node that a one-node repeat counts.
inline const std::uint8_t* RepeatOperand(const std::uint8_t* node) {
  return node + kNodeHeader + ((node[0] == RepeatCount || node[0] == LazyCount) ? 8 : 0);
}

// A 256-bit set of byte values.
struct TByteSet {
  std::uint8_t bits[32] = {};
  bool Has(std::uint8_t c) const { return bits[c >> 3] & (1u << (c & 7)); }
  void Add(std::uint8_t c) { bits[c >> 3] |= std::uint8_t(1u << (c & 7)); }
  void AddAll() { std::memset(bits, 0xFF, sizeof bits); }
  void Clear() { std::memset(bits, 0, sizeof bits); }
};
inline bool BitSetHas(const std::uint8_t* bits, std::uint8_t c) { return bits[c >> 3] & (1u << (c & 7)); }

}  // namespace vm::pattern
