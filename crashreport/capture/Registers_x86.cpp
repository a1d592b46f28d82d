// The 32-bit side of the processor context: which registers hold the current address, the
// stack pointer and the frame pointer, and where the process block keeps its loader lock.
#include <windows.h>

#include <cstring>

#include "crashreport/capture/CallFrameInfo.h"
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

// The program's .eh_frame section. Its name is too long for the section table and lives
// only in the file, so the section is known by its contents: it opens with a CIE.
TCallFrameInfo FindProgramFrameInfo() {
  auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
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
std::vector<std::uintptr_t> WalkStack(const CONTEXT& context, std::uintptr_t stackEnd) {
  // Found afresh for each walk: a look at a few section headers, no lock, no memory.
  const TCallFrameInfo programFrames = FindProgramFrameInfo();
  return WalkFrameChain(TStackWords(), RegistersOf(context), stackEnd, kMaxStackFrames, &programFrames);
}

}  // namespace vm::capture
