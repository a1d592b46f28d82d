// Call-frame information of .eh_frame: find the entry (FDE) that covers an address, run
// its common entry's (CIE) and its own rules up to that address, and compute the caller's
// registers. Only what GCC writes for 32-bit x86 is understood; anything else makes the
// step fail, and the walk falls back to the frame pointer.
#include "crashreport/capture/CallFrameInfo.h"

namespace vm {

namespace {

// 32-bit x86 register numbers in call-frame information.
constexpr unsigned kStackPointerReg = 4, kFramePointerReg = 5, kReturnAddressReg = 8, kRegisters = 9;
constexpr std::uintptr_t kWord = sizeof(std::uintptr_t);

// A cursor over [At, End); any read past the end makes it bad, and stays so.
struct TReader {
  const std::uint8_t* At;
  const std::uint8_t* End;
  std::uintptr_t Address;  // the address of At in memory
  bool Bad = false;

  bool Has(std::size_t n) {
    if (Bad || std::size_t(End - At) < n) Bad = true;
    return !Bad;
  }
  void Skip(std::size_t n) {
    if (Has(n)) At += n, Address += n;
  }
  std::uint64_t Fixed(std::size_t n) {
    std::uint64_t v = 0;
    if (!Has(n)) return 0;
    for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t(At[i]) << (8 * i);
    Skip(n);
    return v;
  }
  std::uint8_t Byte() { return std::uint8_t(Fixed(1)); }
  std::uint64_t Uleb() {
    std::uint64_t v = 0;
    for (unsigned shift = 0; Has(1); shift += 7) {
      std::uint8_t b = Byte();
      if (shift < 64) v |= std::uint64_t(b & 0x7F) << shift;
      if (!(b & 0x80)) break;
    }
    return v;
  }
  std::int64_t Sleb() {
    std::uint64_t v = 0;
    unsigned shift = 0;
    std::uint8_t b = 0x80;
    while ((b & 0x80) && Has(1)) {
      b = Byte();
      if (shift < 64) v |= std::uint64_t(b & 0x7F) << shift;
      shift += 7;
    }
    if (shift < 64 && (b & 0x40)) v |= ~std::uint64_t(0) << shift;
    return std::int64_t(v);
  }
  // A pointer in the given DW_EH_PE encoding; false for encodings GCC does not write here.
  bool Pointer(std::uint8_t encoding, std::uintptr_t& value) {
    if (encoding == 0xFF) return false;  // omitted
    std::uintptr_t place = Address;
    std::uint64_t raw = 0;
    switch (encoding & 0x0F) {
      case 0x00:
        raw = Fixed(kWord);
        break;
      case 0x01:
        raw = Uleb();
        break;
      case 0x02:
        raw = Fixed(2);
        break;
      case 0x03:
        raw = Fixed(4);
        break;
      case 0x04:
        raw = Fixed(8);
        break;
      case 0x09:
        raw = std::uint64_t(Sleb());
        break;
      case 0x0A:
        raw = std::uint64_t(std::int64_t(std::int16_t(Fixed(2))));
        break;
      case 0x0B:
        raw = std::uint64_t(std::int64_t(std::int32_t(Fixed(4))));
        break;
      case 0x0C:
        raw = Fixed(8);
        break;
      default:
        return false;
    }
    switch (encoding & 0x70) {
      case 0x00:
        break;
      case 0x10:
        raw += place;
        break;  // relative to the pointer's own place
      default:
        return false;
    }
    value = std::uintptr_t(raw);
    return !Bad;
  }
};

// What a CIE says that its FDEs need.
struct TCommonEntry {
  std::uint64_t CodeAlign = 1;
  std::int64_t DataAlign = 1;
  unsigned ReturnRegister = kReturnAddressReg;
  std::uint8_t PointerEncoding = 0;
  bool HasAugmentationData = false;
  const std::uint8_t* Rules = nullptr;
  const std::uint8_t* RulesEnd = nullptr;
};

enum class TRule : std::uint8_t { Same, Undefined, Offset, ValOffset, Register, Expression, ValExpression };

struct TRegisterRule {
  TRule Kind = TRule::Same;
  std::int64_t Offset = 0;  // Offset/ValOffset: from the CFA; Register: the register
  const std::uint8_t* Expr = nullptr;
  std::size_t ExprSize = 0;
};

struct TFrameState {
  unsigned CfaRegister = kStackPointerReg;
  std::int64_t CfaOffset = 0;
  const std::uint8_t* CfaExpr = nullptr;
  std::size_t CfaExprSize = 0;
  TRegisterRule Registers[kRegisters];
};

constexpr int kMaxRememberedStates = 8;

bool ParseCommonEntry(TReader r, TCommonEntry& cie) {
  std::uint8_t version = r.Byte();
  if (version != 1 && version != 3) return false;
  const std::uint8_t* augmentation = r.At;
  while (r.Has(1) && *r.At) r.Skip(1);
  r.Skip(1);
  if (r.Bad || (augmentation[0] != 'z' && augmentation[0] != 0)) return false;
  cie.CodeAlign = r.Uleb();
  cie.DataAlign = r.Sleb();
  cie.ReturnRegister = unsigned(version == 1 ? r.Byte() : r.Uleb());
  if (augmentation[0] == 0) {  // no augmentation: plain pointers, the rules follow at once
    cie.Rules = r.At;
    cie.RulesEnd = r.End;
    return !r.Bad;
  }
  std::uint64_t dataSize = r.Uleb();
  TReader data{r.At, r.At + (dataSize <= std::uint64_t(r.End - r.At) ? dataSize : 0), r.Address};
  if (data.End == r.At && dataSize) return false;
  for (const std::uint8_t* c = augmentation + 1; *c; ++c) {
    std::uintptr_t ignored = 0;
    switch (*c) {
      case 'R':
        cie.PointerEncoding = data.Byte();
        break;
      case 'L':
        data.Byte();
        break;
      case 'P':
        if (!data.Pointer(std::uint8_t(data.Byte() & 0x7F), ignored)) return false;
        break;
      case 'S':
        break;
      default:
        return false;
    }
  }
  cie.HasAugmentationData = true;
  r.Skip(dataSize);
  cie.Rules = r.At;
  cie.RulesEnd = r.End;
  return !r.Bad && !data.Bad;
}

// Runs the rules until the code position passes `target`.
bool RunRules(const std::uint8_t* rules, const std::uint8_t* end, std::uintptr_t address, const TCommonEntry& cie,
              std::uintptr_t location, std::uintptr_t target, const TFrameState& initial, TFrameState& state) {
  TReader r{rules, end, address};
  TFrameState remembered[kMaxRememberedStates];
  int depth = 0;
  auto reg = [&](std::uint64_t n) -> TRegisterRule* { return n < kRegisters ? &state.Registers[n] : nullptr; };
  auto setOffset = [&](std::uint64_t n, std::int64_t offset, TRule kind) {
    if (TRegisterRule* rule = reg(n)) *rule = {kind, offset, nullptr, 0};
  };
  auto setExpr = [&](std::uint64_t n, TRule kind) {
    std::uint64_t size = r.Uleb();
    const std::uint8_t* at = r.At;
    r.Skip(std::size_t(size));
    if (TRegisterRule* rule = reg(n)) *rule = {kind, 0, at, std::size_t(size)};
  };
  while (r.At < r.End && !r.Bad) {
    std::uint8_t op = r.Byte();
    std::uint8_t low = op & 0x3F;
    switch (op >> 6) {
      case 1:
        location += low * cie.CodeAlign;
        if (location > target) return true;
        continue;
      case 2:
        setOffset(low, std::int64_t(r.Uleb()) * cie.DataAlign, TRule::Offset);
        continue;
      case 3:
        if (reg(low)) *reg(low) = initial.Registers[low];
        continue;
      default:
        break;
    }
    switch (op) {
      case 0x00:
        break;  // nop
      case 0x01:
        if (!r.Pointer(cie.PointerEncoding, location)) return false;
        if (location > target) return true;
        break;
      case 0x02:
        location += r.Fixed(1) * cie.CodeAlign;
        if (location > target) return true;
        break;
      case 0x03:
        location += r.Fixed(2) * cie.CodeAlign;
        if (location > target) return true;
        break;
      case 0x04:
        location += r.Fixed(4) * cie.CodeAlign;
        if (location > target) return true;
        break;
      case 0x05: {
        std::uint64_t n = r.Uleb();
        setOffset(n, std::int64_t(r.Uleb()) * cie.DataAlign, TRule::Offset);
        break;
      }
      case 0x06: {
        std::uint64_t n = r.Uleb();
        if (reg(n)) *reg(n) = initial.Registers[n];
        break;
      }
      case 0x07:
        setOffset(r.Uleb(), 0, TRule::Undefined);
        break;
      case 0x08:
        setOffset(r.Uleb(), 0, TRule::Same);
        break;
      case 0x09: {
        std::uint64_t n = r.Uleb();
        setOffset(n, std::int64_t(r.Uleb()), TRule::Register);
        break;
      }
      case 0x0A:
        if (depth == kMaxRememberedStates) return false;
        remembered[depth++] = state;
        break;
      case 0x0B:
        if (depth == 0) return false;
        state = remembered[--depth];
        break;
      case 0x0C:
        state.CfaRegister = unsigned(r.Uleb());
        state.CfaOffset = std::int64_t(r.Uleb());
        state.CfaExpr = nullptr;
        break;
      case 0x0D:
        state.CfaRegister = unsigned(r.Uleb());
        state.CfaExpr = nullptr;
        break;
      case 0x0E:
        state.CfaOffset = std::int64_t(r.Uleb());
        break;
      case 0x0F: {
        std::uint64_t size = r.Uleb();
        state.CfaExpr = r.At;
        state.CfaExprSize = std::size_t(size);
        r.Skip(std::size_t(size));
        break;
      }
      case 0x10: {
        std::uint64_t n = r.Uleb();
        setExpr(n, TRule::Expression);
        break;
      }
      case 0x11: {
        std::uint64_t n = r.Uleb();
        setOffset(n, r.Sleb() * cie.DataAlign, TRule::Offset);
        break;
      }
      case 0x12:
        state.CfaRegister = unsigned(r.Uleb());
        state.CfaOffset = r.Sleb() * cie.DataAlign;
        state.CfaExpr = nullptr;
        break;
      case 0x13:
        state.CfaOffset = r.Sleb() * cie.DataAlign;
        break;
      case 0x14: {
        std::uint64_t n = r.Uleb();
        setOffset(n, std::int64_t(r.Uleb()) * cie.DataAlign, TRule::ValOffset);
        break;
      }
      case 0x15: {
        std::uint64_t n = r.Uleb();
        setOffset(n, r.Sleb() * cie.DataAlign, TRule::ValOffset);
        break;
      }
      case 0x16: {
        std::uint64_t n = r.Uleb();
        setExpr(n, TRule::ValExpression);
        break;
      }
      case 0x2E:
        r.Uleb();
        break;  // GNU_args_size: no register changes
      case 0x2F: {
        std::uint64_t n = r.Uleb();
        setOffset(n, -std::int64_t(r.Uleb()) * cie.DataAlign, TRule::Offset);
        break;
      }
      default:
        return false;
    }
  }
  return !r.Bad;
}

// The registers this walk knows, by number; false for the others.
bool KnownRegister(const TThreadRegisters& regs, std::uint64_t n, std::uintptr_t& value) {
  switch (n) {
    case kStackPointerReg:
      value = regs.StackPointer;
      return true;
    case kFramePointerReg:
      value = regs.FramePointer;
      return true;
    case kReturnAddressReg:
      value = regs.ProgramCounter;
      return true;
    default:
      return false;
  }
}

// The small part of the expression language that GCC uses for realigned frames.
bool Evaluate(const std::uint8_t* expr, std::size_t size, const IStackMemory& memory, const TThreadRegisters& regs,
              const std::uintptr_t* pushFirst, std::uintptr_t& result) {
  std::uintptr_t stack[8];
  int depth = 0;
  if (pushFirst) stack[depth++] = *pushFirst;
  TReader r{expr, expr + size, 0};
  while (r.At < r.End && !r.Bad) {
    std::uint8_t op = r.Byte();
    if (op >= 0x70 && op <= 0x8F) {  // breg0..31: a register plus an offset
      std::uintptr_t v = 0;
      std::int64_t offset = r.Sleb();
      if (!KnownRegister(regs, op - 0x70u, v) || depth == 8) return false;
      stack[depth++] = v + std::uintptr_t(offset);
    } else if (op >= 0x30 && op <= 0x4F) {  // lit0..31
      if (depth == 8) return false;
      stack[depth++] = op - 0x30u;
    } else if (op == 0x06) {  // deref
      if (depth == 0 || !memory.ReadWord(stack[depth - 1], stack[depth - 1])) return false;
    } else if (op == 0x23) {  // plus_uconst
      if (depth == 0) return false;
      stack[depth - 1] += std::uintptr_t(r.Uleb());
    } else if (op == 0x22 || op == 0x1C) {  // plus, minus
      if (depth < 2) return false;
      std::uintptr_t b = stack[--depth];
      stack[depth - 1] = op == 0x22 ? stack[depth - 1] + b : stack[depth - 1] - b;
    } else {
      return false;
    }
  }
  if (r.Bad || depth == 0) return false;
  result = stack[depth - 1];
  return true;
}

// The caller's value of a register under its rule; `fallback` for a register kept as is.
bool Recover(const TRegisterRule& rule, std::uintptr_t cfa, const IStackMemory& memory, const TThreadRegisters& regs,
             std::uintptr_t fallback, std::uintptr_t& value) {
  std::uintptr_t at = 0;
  switch (rule.Kind) {
    case TRule::Same:
      value = fallback;
      return true;
    case TRule::Undefined:
      return false;
    case TRule::Offset:
      return memory.ReadWord(cfa + std::uintptr_t(rule.Offset), value);
    case TRule::ValOffset:
      value = cfa + std::uintptr_t(rule.Offset);
      return true;
    case TRule::Register:
      return KnownRegister(regs, std::uint64_t(rule.Offset), value);
    case TRule::Expression:
      return Evaluate(rule.Expr, rule.ExprSize, memory, regs, &cfa, at) && memory.ReadWord(at, value);
    case TRule::ValExpression:
      return Evaluate(rule.Expr, rule.ExprSize, memory, regs, &cfa, value);
  }
  return false;
}

}  // namespace

bool TCallFrameInfo::Unwind(const IStackMemory& memory, const TThreadRegisters& callee, bool exactAddress,
                            TThreadRegisters& caller) const {
  // A return address may lie just past the end of a function that ends in a call.
  std::uintptr_t target = exactAddress ? callee.ProgramCounter : callee.ProgramCounter - 1;
  TReader entries{FSection, FSection + FSize, FAddress};
  const std::uint8_t* cachedCieAt = nullptr;
  TCommonEntry cie;
  while (entries.Has(8)) {
    std::uint64_t length = entries.Fixed(4);
    if (length == 0 || length == 0xFFFFFFFF || length > std::uint64_t(entries.End - entries.At)) return false;
    TReader body{entries.At, entries.At + length, entries.Address};
    entries.Skip(std::size_t(length));
    const std::uint8_t* idAt = body.At;
    std::uint32_t id = std::uint32_t(body.Fixed(4));
    if (id == 0) continue;  // a CIE: read when an FDE refers to it
    // An FDE: the id is the distance back from itself to its CIE.
    if (id > std::uintptr_t(idAt - FSection)) return false;
    const std::uint8_t* cieAt = idAt - id;
    if (cieAt != cachedCieAt) {
      TReader cieHeader{cieAt, FSection + FSize, FAddress + std::uintptr_t(cieAt - FSection)};
      std::uint64_t cieLength = cieHeader.Fixed(4);
      if (cieHeader.Bad || cieLength < 4 || cieLength > std::uint64_t(cieHeader.End - cieHeader.At)) return false;
      TReader cieBody{cieHeader.At, cieHeader.At + cieLength, cieHeader.Address};
      if (cieBody.Fixed(4) != 0) return false;
      cie = TCommonEntry();
      if (!ParseCommonEntry(cieBody, cie)) return false;
      cachedCieAt = cieAt;
    }
    std::uintptr_t begin = 0, range = 0;
    if (!body.Pointer(cie.PointerEncoding, begin) || !body.Pointer(cie.PointerEncoding & 0x0F, range)) return false;
    if (target < begin || target - begin >= range) continue;
    if (cie.HasAugmentationData) body.Skip(std::size_t(body.Uleb()));
    if (body.Bad) return false;

    TFrameState initial;
    initial.Registers[kStackPointerReg].Kind = TRule::ValOffset;  // the caller's stack pointer is the CFA
    std::uintptr_t cieRulesAddress = FAddress + std::uintptr_t(cie.Rules - FSection);
    if (!RunRules(cie.Rules, cie.RulesEnd, cieRulesAddress, cie, begin, ~std::uintptr_t(0), initial, initial))
      return false;
    TFrameState state = initial;
    if (!RunRules(body.At, body.End, body.Address, cie, begin, target, initial, state)) return false;

    std::uintptr_t cfa = 0, base = 0;
    if (state.CfaExpr) {
      if (!Evaluate(state.CfaExpr, state.CfaExprSize, memory, callee, nullptr, cfa)) return false;
    } else {
      if (!KnownRegister(callee, state.CfaRegister, base)) return false;
      cfa = base + std::uintptr_t(state.CfaOffset);
    }
    TThreadRegisters next;
    if (cie.ReturnRegister >= kRegisters ||
        !Recover(state.Registers[cie.ReturnRegister], cfa, memory, callee, 0, next.ProgramCounter) ||
        !Recover(state.Registers[kFramePointerReg], cfa, memory, callee, callee.FramePointer, next.FramePointer))
      return false;
    next.StackPointer = cfa;
    if (state.Registers[kStackPointerReg].Kind != TRule::ValOffset || state.Registers[kStackPointerReg].Offset != 0) {
      if (!Recover(state.Registers[kStackPointerReg], cfa, memory, callee, cfa, next.StackPointer)) return false;
    }
    caller = next;
    return true;
  }
  return false;
}

}  // namespace vm
