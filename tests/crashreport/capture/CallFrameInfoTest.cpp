// Stepping a 32-bit stack by call-frame information laid out by hand the way GCC writes it
// ("zR" entries, pointers relative to their place): a function without a frame, one in its
// prologue and one with its frame set up, inside a walk; and damaged sections that must
// end the step instead of the reporter.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "crashreport/capture/CallFrameInfo.h"

namespace vm {
namespace {

constexpr std::uintptr_t kSection = 0x5C7000;

struct FakeStack final : IStackMemory {
  std::map<std::uintptr_t, std::uintptr_t> Words;
  bool ReadWord(std::uintptr_t a, std::uintptr_t& v) const override {
    auto it = Words.find(a);
    if (it == Words.end()) return false;
    v = it->second;
    return true;
  }
};

// An .eh_frame section: one CIE (CFA = esp + 4, return address at CFA - 4), then FDEs.
struct Section {
  std::vector<std::uint8_t> Bytes;
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) Bytes.push_back(std::uint8_t(v >> (8 * i)));
  }
  Section() {
    U32(24);
    U32(0);  // CIE id
    Bytes.insert(Bytes.end(), {1, 'z', 'R', 0, 1, 0x7C /* -4 */, 8, 1, 0x1B /* pcrel sdata4 */, 0x0C, 4,
                               4 /* def_cfa esp+4 */, 0x88, 1 /* eip at cfa-4 */, 0, 0, 0});
    while (Bytes.size() % 4) Bytes.push_back(0);
  }
  void Fde(std::uint32_t begin, std::uint32_t size, std::vector<std::uint8_t> rules) {
    while ((rules.size() + 13) % 4) rules.push_back(0);
    U32(std::uint32_t(12 + 1 + rules.size()));
    U32(std::uint32_t(Bytes.size()));  // back to the CIE at offset 0
    U32(begin - std::uint32_t(kSection + Bytes.size()));
    U32(size);
    Bytes.push_back(0);  // no augmentation data
    Bytes.insert(Bytes.end(), rules.begin(), rules.end());
  }
  TCallFrameInfo Info() const { return TCallFrameInfo(Bytes.data(), Bytes.size(), kSection); }
};

// push ebp (1 byte); mov ebp, esp (2 bytes); ... : the rules GCC writes for such a prologue.
const std::vector<std::uint8_t> kFramedRules = {0x41, 0x0E, 8, 0x85, 2, 0x42, 0x0D, 5};

TEST(CallFrameInfo, StepsFunctionsWithAndWithoutAFrame) {
  Section s;
  s.Fde(0x401000, 0x20, {});            // a leaf that keeps no frame
  s.Fde(0x401100, 0x80, kFramedRules);  // a function that sets up ebp
  TCallFrameInfo cfi = s.Info();
  FakeStack stack;
  // [0x1000] a return address on top of the stack; [0x0FFC] the caller's ebp pushed below
  // it; a frame at 0x2000: [saved ebp][return address].
  stack.Words = {{0x1000, 0x401234}, {0x0FFC, 0x3000}, {0x2000, 0x2100}, {0x2004, 0x405678}};
  struct Row {
    const char* why;
    TThreadRegisters callee;
    bool exact;
    TThreadRegisters caller;
  } rows[] = {
      {"a leaf without a frame: the return address on top, the frame pointer kept",
       {0x401005, 0x1000, 0x2000},
       true,
       {0x401234, 0x1004, 0x2000}},
      {"at the first instruction of a framed function: nothing pushed yet",
       {0x401100, 0x1000, 0x2000},
       true,
       {0x401234, 0x1004, 0x2000}},
      {"after push ebp: the caller's ebp below the return address",
       {0x401101, 0x0FFC, 0x3000},
       true,
       {0x401234, 0x1004, 0x3000}},
      {"with the frame set up: everything from ebp", {0x401150, 0x0E00, 0x2000}, true, {0x405678, 0x2008, 0x2100}},
      {"a return address just past a function's end belongs to that function",
       {0x401020, 0x1000, 0x2000},
       false,
       {0x401234, 0x1004, 0x2000}},
  };
  for (const Row& row : rows) {
    TThreadRegisters caller;
    ASSERT_TRUE(cfi.Unwind(stack, row.callee, row.exact, caller)) << row.why;
    EXPECT_EQ(caller.ProgramCounter, row.caller.ProgramCounter) << row.why;
    EXPECT_EQ(caller.StackPointer, row.caller.StackPointer) << row.why;
    EXPECT_EQ(caller.FramePointer, row.caller.FramePointer) << row.why;
  }
}

TEST(CallFrameInfo, AddressesItDoesNotDescribeAreLeftToTheFramePointer) {
  Section s;
  s.Fde(0x401000, 0x20, {});
  TCallFrameInfo cfi = s.Info();
  FakeStack stack;
  stack.Words[0x1000] = 0x401234;
  TThreadRegisters caller;
  EXPECT_FALSE(cfi.Unwind(stack, {0x401020, 0x1000, 0x2000}, true, caller)) << "one past the end, exact";
  EXPECT_FALSE(cfi.Unwind(stack, {0x7B001000, 0x1000, 0x2000}, true, caller)) << "a system library";
  EXPECT_FALSE(cfi.Unwind(stack, {0x401005, 0x3000, 0x2000}, true, caller)) << "an unreadable stack";
}

TEST(CallFrameInfo, RememberedStatesAndRealignedFrames) {
  Section s;
  // An epilogue inside the function: remember, restore ebp, cfa back to esp+4, and the
  // body's rules again after it.
  s.Fde(0x401000, 0x40, {0x41, 0x0E, 8, 0x85, 2, 0x42, 0x0D, 5, 0x4A, 0x0A, 0xC5, 0x0C, 4, 4, 0x41, 0x0B});
  // A realigned main: ebp saved at ebp+0, the cfa read from [ebp-16] (what GCC writes with
  // DW_CFA_expression and DW_CFA_def_cfa_expression).
  s.Fde(0x402000, 0x40, {0x44, 0x10, 5, 2, 0x75, 0x00, 0x41, 0x0F, 3, 0x75, 0x70, 0x06});
  TCallFrameInfo cfi = s.Info();
  FakeStack stack;
  stack.Words = {{0x1000, 0x401234}, {0x2000, 0x2100}, {0x2004, 0x405678}, {0x1FF0, 0x3000}, {0x2FFC, 0x406000}};
  TThreadRegisters caller;
  ASSERT_TRUE(cfi.Unwind(stack, {0x40100D, 0x1000, 0x2000}, true, caller));  // in the epilogue
  EXPECT_EQ(caller.ProgramCounter, 0x401234u);
  EXPECT_EQ(caller.FramePointer, 0x2000u);
  ASSERT_TRUE(cfi.Unwind(stack, {0x40100F, 0x1F00, 0x2000}, true, caller));  // after it
  EXPECT_EQ(caller.ProgramCounter, 0x405678u);
  ASSERT_TRUE(cfi.Unwind(stack, {0x402010, 0x1E00, 0x2000}, true, caller));
  EXPECT_EQ(caller.StackPointer, 0x3000u);
  EXPECT_EQ(caller.ProgramCounter, 0x406000u);
  EXPECT_EQ(caller.FramePointer, 0x2100u);
}

TEST(CallFrameInfo, DamagedSectionsEndTheStep) {
  Section good;
  good.Fde(0x401000, 0x20, {});
  struct Row {
    const char* why;
    std::size_t at;
    std::uint8_t value;
  } rows[] = {
      {"an FDE longer than the section", good.Bytes.size() - 20 + 3, 0x7F},
      {"an FDE whose CIE lies before the section", good.Bytes.size() - 16 + 3, 0x7F},
      {"a CIE of an unknown version", 8, 9},
      {"an unknown augmentation", 10, 'Q'},
      {"an unknown pointer encoding", 16, 0x0F},
      {"an unknown rule in the CIE", 17, 0x3F},
  };
  FakeStack stack;
  stack.Words[0x1000] = 0x401234;
  for (const Row& row : rows) {
    Section s = good;
    s.Bytes[row.at] = row.value;
    TThreadRegisters caller;
    EXPECT_FALSE(s.Info().Unwind(stack, {0x401005, 0x1000, 0x2000}, true, caller)) << row.why;
  }
  // Every cut of the section: no read past its end (the sanitizers watch), no step.
  for (std::size_t size = 0; size < good.Bytes.size(); ++size) {
    std::vector<std::uint8_t> cut(good.Bytes.begin(), good.Bytes.begin() + std::ptrdiff_t(size));
    TThreadRegisters caller;
    EXPECT_FALSE(
        TCallFrameInfo(cut.data(), cut.size(), kSection).Unwind(stack, {0x401005, 0x1000, 0x2000}, true, caller))
        << size;
  }
}

TEST(CallFrameInfo, TheWalkFindsTheCallerThatFramePointersSkip) {
  // main -> Run (framed) -> WriteThroughNull (no frame, faults): the frame pointer still
  // points at Run's frame, so the chain alone goes from the fault straight to main.
  Section s;
  s.Fde(0x401000, 0x20, {});
  TCallFrameInfo cfi = s.Info();
  FakeStack stack;
  // Run's frame at 0x1008 and main's at 0x2000, in the walk's own word size.
  constexpr std::uintptr_t NW = sizeof(std::uintptr_t);
  stack.Words = {{0x1000, 0x401155}, {0x1008, 0x2000}, {0x1008 + NW, 0x402222}, {0x2000, 0}, {0x2000 + NW, 0x403333}};
  TThreadRegisters fault{0x401005, 0x1000, 0x1008};
  EXPECT_EQ(WalkFrameChain(stack, fault, 0x3000), (std::vector<std::uintptr_t>{0x401005, 0x402222, 0x403333}));
  EXPECT_EQ(WalkFrameChain(stack, fault, 0x3000, kMaxStackFrames, &cfi),
            (std::vector<std::uintptr_t>{0x401005, 0x401155, 0x402222, 0x403333}));
}

}  // namespace
}  // namespace vm
