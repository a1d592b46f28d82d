// The program listing: one line per node (offset, opcode, absolute offset of the next
// node, operands), a repeat's operand indented under it, then the hints. Tests compare
// compiled programs with golden listings. Entry point: TPatternEngine::DumpProgram.
// Covered by tests/regexpr/CompileTest.cpp.
#include <algorithm>
#include <cstring>

#include "base/Text.h"
#include "regexpr/PatternData.h"
#include "regexpr/PatternEngine.h"

namespace vm {

using namespace pattern;

namespace pattern {

const char* OpcodeName(std::uint8_t op) {
  switch (op) {
#define VM_PATTERN_NAME(name, code, operand) \
  case code:                                 \
    return #name;
    VM_PATTERN_OPCODES(VM_PATTERN_NAME)
#undef VM_PATTERN_NAME
  }
  if (IsGroupOpen(op)) return "GroupOpen";
  if (IsGroupClose(op)) return "GroupClose";
  return nullptr;
}

}  // namespace pattern

namespace {

using Byte = std::uint8_t;

std::string CharText(Byte c, const char* special) {
  if (c == '\\' || (c && std::strchr(special, c))) return std::string("\\") + char(c);
  if (c < 32 || c >= 127) return "\\x" + IntToHex(c, 2);
  return std::string(1, char(c));
}

std::string QuotedText(const Byte* s, std::size_t len) {
  std::string out = "\"";
  for (std::size_t i = 0; i < len; ++i) out += CharText(s[i], "\"");
  return out + "\"";
}

// A 256-bit set as ranges, such as [0-9A-Za-z].
std::string SetText(const Byte* bits) {
  int members = 0;
  for (int c = 0; c < 256; ++c) members += BitSetHas(bits, Byte(c));
  if (members == 256) return "[all]";
  std::string out = "[";
  for (int c = 0; c < 256; ++c) {
    if (!BitSetHas(bits, Byte(c))) continue;
    int last = c;
    while (last < 255 && BitSetHas(bits, Byte(last + 1))) ++last;
    out += CharText(Byte(c), "]-^");
    if (last > c + 1) out += "-";
    if (last > c) out += CharText(Byte(last), "]-^");
    c = last;
  }
  return out + "]";
}

// Size of the node's own bytes (a repeat's operand node is listed as a node of its own).
std::size_t NodeSize(const Byte* node) {
  switch (node[0]) {
    case Literal:
    case LiteralFold:
      // A literal holds at least one character, NUL itself for "\x00", before its end NUL.
      return kNodeHeader + std::max<std::size_t>(std::strlen(reinterpret_cast<const char*>(Operand(node))), 1) + 1;
    case RepeatCount:
    case LazyCount:
      return kNodeHeader + 8;
    case Loop:
    case LazyLoop:
      return kNodeHeader + 12;
    case SmallSet:
    case SmallSetNot:
      return kNodeHeader + 3;
    case ByteSet:
      return kNodeHeader + 32;
    case BackRef:
    case BackRefFold:
      return kNodeHeader + 1;
    default:
      return kNodeHeader;
  }
}

}  // namespace

std::string TPatternEngine::DumpProgram() {
  ProgramIsValid();
  const Byte* program = F->program.get();
  const std::size_t size = F->programSize;
  std::string out;
  bool repeatOperand = false;
  for (std::size_t at = 1; at < size;) {
    const Byte* node = program + at;
    const char* name = OpcodeName(node[0]);
    if (at + kNodeHeader > size || at + NodeSize(node) > size) {
      out += FormatText("%4d ?? node runs past the end\n", int(at));
      break;
    }
    std::string line = FormatText("%4d %s", int(at), repeatOperand ? "  " : "");
    if (!name) {
      out += line + FormatText("?? opcode %d\n", node[0]);
      break;
    }
    line += name;
    if (IsGroupOpen(node[0]) || IsGroupClose(node[0])) line += " " + std::to_string(GroupOf(node[0]));
    const std::int32_t next = ReadInt(node + 1);
    line += next ? " -> " + std::to_string(int(at) + next) : std::string(" -> end");
    const Byte* operand = Operand(node);
    switch (node[0]) {
      case Literal:
      case LiteralFold:
        line += " " + QuotedText(operand, NodeSize(node) - kNodeHeader - 1);
        break;
      case SmallSet:
      case SmallSetNot:
        line += " " + QuotedText(operand, 3);
        break;
      case ByteSet:
        line += " " + SetText(operand);
        break;
      case BackRef:
      case BackRefFold:
        line += " \\" + std::to_string(operand[0]);
        break;
      case RepeatCount:
      case LazyCount:
        line += FormatText(" {%d,%d}", int(ReadInt(operand)), int(ReadInt(operand + 4)));
        break;
      case Loop:
      case LazyLoop:
        line += FormatText(" {%d,%d} body %d", int(ReadInt(operand)), int(ReadInt(operand + 4)),
                           int(at) + int(ReadInt(operand + 8)));
        break;
    }
    out += line + "\n";
    repeatOperand = node[0] == RepeatStar || node[0] == RepeatPlus || node[0] == RepeatCount || node[0] == LazyStar ||
                    node[0] == LazyPlus || node[0] == LazyCount;
    at += NodeSize(node);
  }
  out += "hints: firstLiteralChar ";
  out += F->firstLiteralChar ? QuotedText(&F->firstLiteralChar, 1) : std::string("none");
  out += F->anchoredAtStart ? ", anchored" : ", not anchored";
  out += ", requiredLiteral ";
  out += F->requiredLiteral ? QuotedText(F->requiredLiteral, std::size_t(F->requiredLiteralLen)) : std::string("none");
  out += ", firstCharSet " + SetText(F->firstCharSet.bits) + "\n";
  return out;
}

}  // namespace vm
