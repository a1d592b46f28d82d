// The frame-chain walk over a stack laid out by hand: a sound chain, and the damaged
// chains that must end the walk instead of the reporter.
#include <gtest/gtest.h>

#include <map>

#include "crashreport/capture/FrameWalk.h"

namespace vm {
namespace {

constexpr std::uintptr_t W = sizeof(std::uintptr_t);

// A stack region [Low, End) whose words are set by the test; reads outside it fail.
struct FakeStack final : IStackMemory {
  std::uintptr_t Low = 0x10000, End = 0x11000;
  std::map<std::uintptr_t, std::uintptr_t> Words;
  mutable int Reads = 0;
  bool ReadWord(std::uintptr_t a, std::uintptr_t& v) const override {
    ++Reads;
    if (a < Low || a + W > End) return false;
    auto it = Words.find(a);
    v = it == Words.end() ? 0 : it->second;
    return true;
  }
  void Frame(std::uintptr_t at, std::uintptr_t next, std::uintptr_t ret) {
    Words[at] = next;
    Words[at + W] = ret;
  }
};

TEST(FrameWalk, FollowsTheChainInnermostFirst) {
  FakeStack s;
  s.Frame(0x10100, 0x10200, 0x401111);
  s.Frame(0x10200, 0x10300, 0x402222);
  s.Frame(0x10300, 0, 0x403333);  // the outermost frame: its successor is null
  auto frames = WalkFrameChain(s, {0x400000, 0x10080, 0x10100}, s.End);
  EXPECT_EQ(frames, (std::vector<std::uintptr_t>{0x400000, 0x401111, 0x402222, 0x403333}));
}

TEST(FrameWalk, DamagedChainsEndTheWalk) {
  struct Row {
    const char* why;
    std::uintptr_t next;  // the first frame's saved frame pointer
    std::size_t frames;   // how many addresses come back
  } rows[] = {
      {"a frame below its callee (a loop) is not followed", 0x10100, 2},
      {"a frame pointer below the stack pointer", 0x10010, 2},
      {"a misaligned frame pointer", 0x10201, 2},
      {"a frame beyond the stack region", 0x20000, 2},
      {"a frame in the last word of the region", 0x11000 - W, 2},
  };
  for (const Row& row : rows) {
    FakeStack s;
    s.Frame(0x10100, row.next, 0x401111);
    s.Frame(0x10200, 0, 0x402222);
    EXPECT_EQ(WalkFrameChain(s, {0x400000, 0x10080, 0x10100}, s.End).size(), row.frames) << row.why;
  }
}

TEST(FrameWalk, StopsAtTheFrameLimitOnAnEndlessAscendingChain) {
  FakeStack s;
  s.End = 0x10000 + 4096 * W;
  for (std::uintptr_t fp = s.Low; fp + 2 * W < s.End; fp += 2 * W) s.Frame(fp, fp + 2 * W, 0x401000 + fp);
  auto frames = WalkFrameChain(s, {0x400000, s.Low, s.Low}, s.End, 50);
  EXPECT_EQ(frames.size(), 50u);
}

TEST(FrameWalk, NoFramePointerGivesTheCurrentAddressOnly) {
  FakeStack s;
  EXPECT_EQ(WalkFrameChain(s, {0x400000, 0x10080, 0}, s.End), std::vector<std::uintptr_t>{0x400000});
}

}  // namespace
}  // namespace vm
