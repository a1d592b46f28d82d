// WalkFrameChain: the return addresses of one thread, innermost first. A frame that an
// unwinder describes (the program's call-frame information) is stepped by it; any other by
// the chain of saved frame pointers (the program is built with -fno-omit-frame-pointer):
// each such frame holds [saved frame pointer][return address]. The walk reads only through
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

// Steps from a function's registers to its caller's where it knows the function's frame.
class IFrameUnwinder {
public:
  virtual ~IFrameUnwinder() = default;
  // `exactAddress`: the program counter is the current instruction (the innermost frame),
  // not a return address (which may lie just past its function's end). False when the
  // unwinder does not describe the function or cannot follow its rule.
  virtual bool Unwind(const IStackMemory& memory, const TThreadRegisters& callee, bool exactAddress,
                      TThreadRegisters& caller) const = 0;
};

// The current address first, then each return address of the chain. `stackEnd` is the
// end of the memory region that holds the stack pointer; frames at or beyond it are not
// followed.
std::vector<std::uintptr_t> WalkFrameChain(const IStackMemory& memory, const TThreadRegisters& regs,
                                           std::uintptr_t stackEnd, std::size_t maxFrames = kMaxStackFrames,
                                           const IFrameUnwinder* unwinder = nullptr);
// The same into `frames`, which the caller has made room for: a walk of a suspended thread
// allocates nothing, since the thread may hold the heap's lock.
void WalkFrameChainInto(const IStackMemory& memory, const TThreadRegisters& regs, std::uintptr_t stackEnd,
                        std::vector<std::uintptr_t>& frames, std::size_t maxFrames = kMaxStackFrames,
                        const IFrameUnwinder* unwinder = nullptr);

}  // namespace vm
