// TCallFrameInfo: one step of a 32-bit stack walk by the call-frame information that GCC
// writes into a program's .eh_frame section for every function. Frame pointers alone miss
// a caller whenever a function keeps no frame: GCC drops it in functions that never touch
// the stack even under -fno-omit-frame-pointer, and the runtime's own code is built without
// them. Register numbers are those of 32-bit x86; only the stack pointer, the frame pointer
// and the return address take part. Reads the section in place and the stack only through
// IStackMemory; allocates nothing, so it may run while the heap is damaged.
// Tests: tests/crashreport/capture/CallFrameInfoTest.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crashreport/capture/FrameWalk.h"

namespace vm {

class TCallFrameInfo final : public IFrameUnwinder {
public:
  // `section` holds the .eh_frame bytes as they lie in memory at `address` (pointers in
  // them may be relative to their own place).
  TCallFrameInfo(const std::uint8_t* section, std::size_t size, std::uintptr_t address)
      : FSection(section), FSize(size), FAddress(address) {}

  bool Unwind(const IStackMemory& memory, const TThreadRegisters& callee, bool exactAddress,
              TThreadRegisters& caller) const override;

private:
  const std::uint8_t* FSection;
  std::size_t FSize;
  std::uintptr_t FAddress;
};

}  // namespace vm
