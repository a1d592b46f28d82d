// The 32-bit side of the processor context: which registers hold the current address, the
// stack pointer and the frame pointer, where the process block keeps its loader lock, and
// the thread's chain of stack-based exception handlers.
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
// guard's own. The block is asked of the system, which needs no compiler's intrinsics.
namespace {
NT_TIB* ThreadBlock() {
  using TQuery = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<TQuery>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
  // ThreadBasicInformation (0): exit status, the block's address, client id, affinity, priorities.
  struct {
    LONG ExitStatus;
    NT_TIB* TebBaseAddress;
    ULONG_PTR ClientId[2], AffinityMask;
    LONG Priority, BasePriority;
  } basic{};
  if (!query || query(GetCurrentThread(), 0, &basic, sizeof basic, nullptr) != 0) return nullptr;
  return basic.TebBaseAddress;
}
}  // namespace

void ResumeAtJump(CONTEXT& c, const jmp_buf& jump) {
  const auto& b = *reinterpret_cast<const _JUMP_BUFFER*>(&jump);
  c.Ebp = b.Ebp;
  c.Ebx = b.Ebx;
  c.Edi = b.Edi;
  c.Esi = b.Esi;
  // The stack pointer as kept; should it still count setjmp's return address, one word too
  // low under a frame pointer harms nothing.
  c.Esp = b.Esp;
  c.Eip = b.Eip;
  c.Eax = 1;
}

void* FrameChain() {
  NT_TIB* block = ThreadBlock();
  return block ? block->ExceptionList : nullptr;
}
void RestoreFrameChain(void* chain) {
  if (NT_TIB* block = ThreadBlock(); block && chain)
    block->ExceptionList = static_cast<EXCEPTION_REGISTRATION_RECORD*>(chain);
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
