#include "crashreport/capture/FrameWalk.h"

namespace vm {

namespace {

constexpr std::uintptr_t kWord = sizeof(std::uintptr_t);

// One step along the saved frame pointers: the frame lies above the stack pointer, inside
// the stack and aligned.
bool FramePointerStep(const IStackMemory& memory, const TThreadRegisters& callee, std::uintptr_t stackEnd,
                      TThreadRegisters& caller) {
  std::uintptr_t fp = callee.FramePointer;
  if (fp < callee.StackPointer || fp % kWord != 0 || stackEnd < 2 * kWord || fp > stackEnd - 2 * kWord) return false;
  std::uintptr_t next = 0, ret = 0;
  if (!memory.ReadWord(fp, next) || !memory.ReadWord(fp + kWord, ret)) return false;
  caller = {ret, fp + 2 * kWord, next};
  return true;
}

}  // namespace

std::vector<std::uintptr_t> WalkFrameChain(const IStackMemory& memory, const TThreadRegisters& regs,
                                           std::uintptr_t stackEnd, std::size_t maxFrames,
                                           const IFrameUnwinder* unwinder) {
  std::vector<std::uintptr_t> frames;
  frames.reserve(maxFrames);
  WalkFrameChainInto(memory, regs, stackEnd, frames, maxFrames, unwinder);
  return frames;
}

void WalkFrameChainInto(const IStackMemory& memory, const TThreadRegisters& regs, std::uintptr_t stackEnd,
                        std::vector<std::uintptr_t>& frames, std::size_t maxFrames, const IFrameUnwinder* unwinder) {
  frames.clear();
  if (regs.ProgramCounter) frames.push_back(regs.ProgramCounter);
  TThreadRegisters callee = regs;
  while (frames.size() < maxFrames) {
    TThreadRegisters caller;
    bool exact = frames.size() <= 1;
    if (!(unwinder && callee.ProgramCounter && unwinder->Unwind(memory, callee, exact, caller)) &&
        !FramePointerStep(memory, callee, stackEnd, caller))
      break;
    // Each caller's frame lies above its callee's, so a damaged stack cannot loop.
    if (caller.ProgramCounter == 0 || caller.StackPointer <= callee.StackPointer || caller.StackPointer > stackEnd)
      break;
    frames.push_back(caller.ProgramCounter);
    callee = caller;
  }
}

}  // namespace vm
