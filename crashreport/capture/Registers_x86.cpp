// The 32-bit side of the processor context: which registers hold the current address, the
// stack pointer and the frame pointer, where the process block keeps its loader lock, and
// the thread's chain of stack-based exception handlers.
#include <windows.h>

#include <cstring>

#include "crashreport/capture/CallFrameInfo.h"
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

// The program's .eh_frame section. Its name is too long for the section table and lives
// only in the file, so the section is known by its contents: it opens with a CIE.
TCallFrameInfo FindProgramFrameInfo() {
  auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
  auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    const BYTE* data = base + section->VirtualAddress;
    DWORD size = section->Misc.VirtualSize, length = 0, id = 1;
    bool named = std::memcmp(section->Name, ".eh_fram", 8) == 0 || section->Name[0] == '/';
    if (!named || size < 9 || !(section->Characteristics & IMAGE_SCN_MEM_READ)) continue;
    std::memcpy(&length, data, 4);
    std::memcpy(&id, data + 4, 4);
    if (length >= 5 && length <= size - 4 && id == 0 && data[8] == 1)
      return TCallFrameInfo(data, size, reinterpret_cast<std::uintptr_t>(data));
  }
  return TCallFrameInfo(nullptr, 0, 0);
}

}  // namespace

// 32-bit code keeps the classic chain, [ebp] the caller's ebp and [ebp+4] the return
// address, only in functions that set up a frame; the program's own call-frame
// information steps over those that do not (leaf functions, the runtime's code).
void WalkStack(const CONTEXT& context, std::uintptr_t stackEnd, std::vector<std::uintptr_t>& frames) {
  // Found afresh for each walk: a look at a few section headers, no lock, no memory.
  const TCallFrameInfo programFrames = FindProgramFrameInfo();
  WalkFrameChainInto(TStackWords(), RegistersOf(context), stackEnd, frames, kMaxStackFrames, &programFrames);
}

}  // namespace vm::capture
