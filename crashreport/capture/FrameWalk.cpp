#include "crashreport/capture/FrameWalk.h"

namespace vm {

std::vector<std::uintptr_t> WalkFrameChain(const IStackMemory& memory, const TThreadRegisters& regs,
                                           std::uintptr_t stackEnd, std::size_t maxFrames) {
  std::vector<std::uintptr_t> frames;
  frames.reserve(maxFrames);
  WalkFrameChainInto(memory, regs, stackEnd, frames, maxFrames);
  return frames;
}

void WalkFrameChainInto(const IStackMemory& memory, const TThreadRegisters& regs, std::uintptr_t stackEnd,
                        std::vector<std::uintptr_t>& frames, std::size_t maxFrames) {
  constexpr std::uintptr_t word = sizeof(std::uintptr_t);
  frames.clear();
  if (regs.ProgramCounter) frames.push_back(regs.ProgramCounter);
  std::uintptr_t fp = regs.FramePointer;
  std::uintptr_t floor = regs.StackPointer;
  while (frames.size() < maxFrames) {
    // A frame lies above the stack pointer, inside the stack, aligned, and above its callee.
    if (fp < floor || fp % word != 0 || fp > stackEnd - 2 * word || stackEnd < 2 * word) break;
    std::uintptr_t next = 0, ret = 0;
    if (!memory.ReadWord(fp, next) || !memory.ReadWord(fp + word, ret)) break;
    if (ret == 0) break;
    frames.push_back(ret);
    floor = fp + 2 * word;
    fp = next;
  }
}

}  // namespace vm
