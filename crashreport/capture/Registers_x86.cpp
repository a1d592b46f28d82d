// The 32-bit side of the processor context: which registers hold the current address, the
// stack pointer and the frame pointer, where the process block keeps its loader lock, and
// the stack walk along the frame-pointer chain.
#include <windows.h>

#include <algorithm>
#include <cstring>

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

constexpr std::uintptr_t kWord = sizeof(std::uintptr_t);

// Bytes of loaded code, or false where the memory is not committed, readable code.
bool ReadCode(std::uintptr_t address, void* out, std::size_t size) {
  // The region of the last read serves the next ones: a walk returns into few modules.
  static thread_local std::uintptr_t low = 0, high = 0;
  if (address < low || address + size > high) {
    MEMORY_BASIC_INFORMATION info;
    if (!VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info) || info.State != MEM_COMMIT) return false;
    constexpr DWORD code = PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    if (!(info.Protect & code) || (info.Protect & PAGE_GUARD)) return false;
    low = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
    high = low + info.RegionSize;
    if (address + size > high) return false;
  }
  std::memcpy(out, reinterpret_cast<const void*>(address), size);
  return true;
}

// True when a call instruction ends just before `address`: a direct call (E8 rel32) or an
// indirect one (FF /2 through a register, or memory with a displacement of 0, 1 or 4 bytes).
bool FollowsCall(std::uintptr_t address) {
  unsigned char b[7];
  if (address < sizeof b || !ReadCode(address - sizeof b, b, sizeof b)) return false;
  auto indirect = [&](int at) { return b[at] == 0xFF && (b[at + 1] & 0x38) == 0x10; };
  return b[2] == 0xE8 || indirect(5) || indirect(4) || indirect(1) || indirect(0);
}

// A function that only jumps on (operator new[] to operator new, say) leaves no trace on
// the stack: the call counts as one of the function it jumps to.
std::uintptr_t JumpTarget(std::uintptr_t function) {
  unsigned char jump[5];
  if (!ReadCode(function, jump, sizeof jump) || jump[0] != 0xE9) return function;
  std::int32_t offset;
  std::memcpy(&offset, jump + 1, sizeof offset);
  return function + sizeof jump + std::uintptr_t(offset);
}

// Where the function holding `address` starts, when the program's symbols or a library's
// exports tell; else 0.
std::uintptr_t FunctionStart(std::uintptr_t address, bool returnAddress) {
  TStackItem item = DescribeAddress(address, returnAddress);
  return item.Function.empty() ? 0 : address - item.RelAddr;
}

// GCC gives a leaf function that uses no stack no frame, frame pointers or not, and the
// runtime libraries are built without frame pointers. While such a function runs, the
// frame pointer still names its caller's frame, so the chain alone would leave the caller
// out. Its return address lies in [low, high), below that frame: the first word there that
// follows a direct call of this function (or, where its start is unknown, of one at most
// 64 KB below `address`), when the function opens no frame (push ebp; mov ebp, esp) or has
// not opened it yet.
std::uintptr_t FramelessReturn(std::uintptr_t address, bool returnAddress, std::uintptr_t low, std::uintptr_t high) {
  constexpr std::uintptr_t kScan = 4096;
  std::uintptr_t start = FunctionStart(address, returnAddress);
  high = std::min(high, low + kScan);
  for (std::uintptr_t at = low; at + kWord <= high; at += kWord) {
    std::uintptr_t ret = 0;
    unsigned char call[5], prologue[3];
    if (!ReadStackWord(at, ret) || !FollowsCall(ret) || !ReadCode(ret - 5, call, 5) || call[0] != 0xE8) continue;
    std::int32_t offset;
    std::memcpy(&offset, call + 1, sizeof offset);
    std::uintptr_t callee = JumpTarget(ret + std::uintptr_t(offset));
    if (start ? callee != start : callee > address || address - callee > 0x10000) continue;
    if (callee == address) return ret;
    if (!ReadCode(callee, prologue, sizeof prologue)) return 0;
    bool opensFrame = prologue[0] == 0x55 && prologue[1] == 0x89 && prologue[2] == 0xE5;
    return opensFrame ? 0 : ret;
  }
  return 0;
}

// A frame: inside the stack above `floor`, aligned, its second word a return address.
bool IsFrame(std::uintptr_t fp, std::uintptr_t floor, std::uintptr_t stackEnd, std::uintptr_t& next,
             std::uintptr_t& ret) {
  return fp >= floor && fp % kWord == 0 && stackEnd >= 2 * kWord && fp <= stackEnd - 2 * kWord &&
         ReadStackWord(fp, next) && ReadStackWord(fp + kWord, ret) && FollowsCall(ret);
}

// The runtime libraries (the C++ runtime's throw and terminate among them) are built
// without frame pointers and may leave the register holding anything; the chain goes on
// at the next word above that looks like a frame whose saved frame pointer lies higher.
std::uintptr_t FindFrame(std::uintptr_t floor, std::uintptr_t stackEnd) {
  constexpr std::uintptr_t kScan = 16 * 1024;
  std::uintptr_t next = 0, ret = 0;
  floor = (floor + kWord - 1) / kWord * kWord;
  for (std::uintptr_t fp = floor; fp < stackEnd && fp - floor < kScan; fp += kWord)
    if (IsFrame(fp, floor, stackEnd, next, ret) && next > fp && next < stackEnd) return fp;
  return 0;
}

}  // namespace

// 32-bit code built with frame pointers keeps the classic chain: [ebp] the caller's ebp,
// [ebp+4] the return address. Frameless functions and runtime code without frame pointers
// interrupt it; the walk bridges both.
std::vector<std::uintptr_t> WalkStack(const CONTEXT& context, std::uintptr_t stackEnd) {
  TThreadRegisters regs = RegistersOf(context);
  std::vector<std::uintptr_t> frames;
  std::uintptr_t fp = regs.FramePointer, floor = regs.StackPointer;
  if (regs.ProgramCounter) {
    frames.push_back(regs.ProgramCounter);
    std::uintptr_t high = fp > floor ? std::min(fp, stackEnd) : stackEnd;
    if (std::uintptr_t ret = FramelessReturn(regs.ProgramCounter, false, floor, high)) frames.push_back(ret);
  }
  while (fp && frames.size() < kMaxStackFrames) {
    std::uintptr_t next = 0, ret = 0;
    if (!IsFrame(fp, floor, stackEnd, next, ret)) {
      fp = FindFrame(floor, stackEnd);
      if (!fp || !IsFrame(fp, floor, stackEnd, next, ret)) break;
    }
    frames.push_back(ret);
    floor = fp + 2 * kWord;
    std::uintptr_t high = next > floor ? std::min(next, stackEnd) : stackEnd;
    if (std::uintptr_t caller = FramelessReturn(ret, true, floor, high); caller && frames.size() < kMaxStackFrames)
      frames.push_back(caller);
    fp = next;
  }
  return frames;
}

}  // namespace vm::capture
