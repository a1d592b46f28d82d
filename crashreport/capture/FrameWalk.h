// WalkFrameChain: the return addresses of one thread, innermost first, found by following
// the chain of saved frame pointers (the program is built with -fno-omit-frame-pointer).
// Each frame holds [saved frame pointer][return address]. The walk reads only through
// `memory`, which refuses addresses outside the committed stack region, and stops at the
// first frame that does not lie above the previous one, so a damaged stack ends the walk
// instead of the reporter. Tests: tests/crashreport/capture/FrameWalkTest.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vm {

class IStackMemory {
public:
  virtual ~IStackMemory() = default;
  // One machine word at `address`, or false when it may not be read.
  virtual bool ReadWord(std::uintptr_t address, std::uintptr_t& value) const = 0;
};

struct TThreadRegisters {
  std::uintptr_t ProgramCounter = 0, StackPointer = 0, FramePointer = 0;
};

constexpr std::size_t kMaxStackFrames = 200;

// The current address first, then each return address of the chain. `stackEnd` is the
// end of the memory region that holds the stack pointer; frames at or beyond it are not
// followed.
std::vector<std::uintptr_t> WalkFrameChain(const IStackMemory& memory, const TThreadRegisters& regs,
                                           std::uintptr_t stackEnd, std::size_t maxFrames = kMaxStackFrames);
// The same into `frames`, which the caller has made room for: a walk of a suspended thread
// allocates nothing, since the thread may hold the heap's lock.
void WalkFrameChainInto(const IStackMemory& memory, const TThreadRegisters& regs, std::uintptr_t stackEnd,
                        std::vector<std::uintptr_t>& frames, std::size_t maxFrames = kMaxStackFrames);

}  // namespace vm
