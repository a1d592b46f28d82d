// The 32-bit side of the processor context: which registers hold the current address, the
// stack pointer and the frame pointer, and where the process block keeps its loader lock.
#include <windows.h>

#include "crashreport/capture/Capture_win32.h"

namespace vm::capture {

TThreadRegisters RegistersOf(const CONTEXT& c) { return {c.Eip, c.Esp, c.Ebp}; }

const RTL_CRITICAL_SECTION* LoaderLock() {
  // The process block's pointer to the loader lock (a critical section) at offset 0xA0.
  static const BYTE* peb = ProcessBlock();
  return peb ? *reinterpret_cast<const RTL_CRITICAL_SECTION* const*>(peb + 0xA0) : nullptr;
}

// 32-bit threads keep a chain of exception handler records in their stack, headed in the
// thread block. A guard that resumes drops the frames of its item, and with them the
// records that system functions in the item may have pushed: the head goes back to the
// guard's own.
void* FrameChain() { return reinterpret_cast<NT_TIB*>(NtCurrentTeb())->ExceptionList; }
void RestoreFrameChain(void* chain) {
  reinterpret_cast<NT_TIB*>(NtCurrentTeb())->ExceptionList = static_cast<EXCEPTION_REGISTRATION_RECORD*>(chain);
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
void WalkStack(const CONTEXT& context, std::uintptr_t stackEnd, std::vector<std::uintptr_t>& frames) {
  WalkFrameChainInto(TStackWords(), RegistersOf(context), stackEnd, frames);
}

}  // namespace vm::capture
