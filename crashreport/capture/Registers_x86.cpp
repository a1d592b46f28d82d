// The 32-bit side of the processor context: which registers hold the current address, the
// stack pointer and the frame pointer, and where the process block keeps its loader lock.
#include <windows.h>

#include "crashreport/capture/Capture_win32.h"

namespace vm::capture {

TThreadRegisters RegistersOf(const CONTEXT& c) { return {c.Eip, c.Esp, c.Ebp}; }

bool LoaderLockHeld() {
  // The process block's loader lock (a critical section) at offset 0xA0.
  static const BYTE* peb = ProcessBlock();
  if (!peb) return false;
  auto* lock = *reinterpret_cast<const RTL_CRITICAL_SECTION* const*>(peb + 0xA0);
  return lock && lock->OwningThread != nullptr;
}

}  // namespace vm::capture

namespace vm::capture {

namespace {

class TStackWords final : public IStackMemory {
public:
  bool ReadWord(std::uintptr_t address, std::uintptr_t& value) const override { return ReadStackWord(address, value); }
};

}  // namespace

// 32-bit code built with frame pointers keeps the classic chain: [ebp] the caller's ebp,
// [ebp+4] the return address.
std::vector<std::uintptr_t> WalkStack(const CONTEXT& context, std::uintptr_t stackEnd) {
  return WalkFrameChain(TStackWords(), RegistersOf(context), stackEnd);
}

}  // namespace vm::capture
