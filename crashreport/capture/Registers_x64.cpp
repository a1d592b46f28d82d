// The 64-bit side of the processor context: which registers hold the current address, the
// stack pointer and the frame pointer, where the process block keeps its loader lock, and
// (nothing of) the thread's chain of exception handlers.
#include <windows.h>

#include "crashreport/capture/Capture_win32.h"

namespace vm::capture {

TThreadRegisters RegistersOf(const CONTEXT& c) { return {c.Rip, c.Rsp, c.Rbp}; }

const RTL_CRITICAL_SECTION* LoaderLock() {
  // The process block's pointer to the loader lock (a critical section) at offset 0x110.
  static const BYTE* peb = ProcessBlock();
  return peb ? *reinterpret_cast<const RTL_CRITICAL_SECTION* const*>(peb + 0x110) : nullptr;
}

void ResumeAtJump(CONTEXT& c, const jmp_buf& jump) {
  const auto& b = *reinterpret_cast<const _JUMP_BUFFER*>(&jump);
  c.Rbx = b.Rbx;
  c.Rsp = b.Rsp;
  c.Rbp = b.Rbp;
  c.Rsi = b.Rsi;
  c.Rdi = b.Rdi;
  c.R12 = b.R12;
  c.R13 = b.R13;
  c.R14 = b.R14;
  c.R15 = b.R15;
  c.Rip = b.Rip;
  c.Rax = 1;
  c.MxCsr = b.MxCsr;
  // The callee-saved vector registers.
  const SETJMP_FLOAT128* saved = &b.Xmm6;
  M128A* xmm = &c.Xmm6;
  for (int i = 0; i < 10; ++i) {
    xmm[i].Low = saved[i].Part[0];
    xmm[i].High = LONGLONG(saved[i].Part[1]);
  }
}

// 64-bit handlers live in tables beside the code, not in the stack: nothing to restore.
void* FrameChain() { return nullptr; }
void RestoreFrameChain(void*) {}

}  // namespace vm::capture

namespace vm::capture {

// 64-bit code keeps its frame pointer anywhere inside the frame, so the chain of saved
// frame pointers cannot be followed; the unwind tables of each module (.pdata, which GCC
// writes too) lead from frame to frame instead. Before each step the stack pointer must
// lie in committed stack memory, where the unwinder reads.
void WalkStack(const CONTEXT& start, std::uintptr_t stackEnd, std::vector<std::uintptr_t>& frames) {
  frames.clear();
  // The table lookups take the loader lock: while another thread keeps it (a blocked
  // process) only the current address is known.
  if (DWORD owner = LoaderLockOwner(); owner && owner != GetCurrentThreadId()) {
    if (start.Rip) frames.push_back(start.Rip);
    return;
  }
  CONTEXT c = start;
  while (c.Rip && frames.size() < kMaxStackFrames) {
    frames.push_back(c.Rip);
    std::uintptr_t word = 0, sp = c.Rsp;
    if (sp + 8 > stackEnd || !ReadStackWord(sp, word)) break;
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(c.Rip, &imageBase, nullptr);
    if (function) {
      void* handlerData = nullptr;
      DWORD64 establisher = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, c.Rip, function, &c, &handlerData, &establisher, nullptr);
    } else {
      // A leaf function: the return address is on top of the stack.
      c.Rip = word;
      c.Rsp += 8;
    }
    if (c.Rsp <= sp || c.Rsp >= stackEnd) break;
  }
}

}  // namespace vm::capture
