// The fixed layouts of the capture side: block names, the exception-time history with its
// automatic close/restart rule, the restart block, and the interim report text.
#include <gtest/gtest.h>

#include "crashreport/capture/CaptureLayouts.h"

namespace vm {
namespace {

TEST(ProcessBlockName, LowercaseHexAfterDollar) {
  EXPECT_EQ(ThreadNameBlockName(0x1A2B), "ZentrapixThreadNameBuf$1a2b");
  EXPECT_EQ(RestartBlockName(0x20), "ZentrapixRestart$20");
}

TExceptionHistory HistoryOf(int count, std::int64_t newest, std::int64_t step) {
  TExceptionHistory h;
  for (int i = count - 1; i >= 0; --i) h.Push(newest - i * step);
  return h;
}

TEST(ExceptionHistory, PushKeepsTheTenNewestNewestFirst) {
  TExceptionHistory h;
  for (int t = 1; t <= 12; ++t) h.Push(t);
  EXPECT_EQ(h.At(0), 12);
  EXPECT_EQ(h.At(9), 3);
}

TEST(ExceptionHistory, AutoActionRule) {
  const std::int64_t now = 1'000'000;
  struct Row {
    const char* why;
    std::int32_t setting;
    TExceptionHistory history;
    bool applies;
  } rows[] = {
      {"0 never applies", 0, HistoryOf(10, now, 1), false},
      {"1 always applies, even without history", 1, TExceptionHistory{}, true},
      {"ten exceptions within 30 s", 30, HistoryOf(10, now, 3), true},
      {"nine exceptions are not enough", 30, HistoryOf(9, now, 1), false},
      {"the oldest of ten is 31 s old", 30, HistoryOf(10, now - 4, 3), false},
      {"the oldest exactly 30 s old still counts", 30, HistoryOf(10, now - 3, 3), true},
      {"a negative setting never applies", -5, HistoryOf(10, now, 0), false},
  };
  for (const Row& row : rows) EXPECT_EQ(row.history.AutoActionApplies(row.setting, now), row.applies) << row.why;
}

TEST(RestartBlock, EightyEightBytesRoundTrip) {
  TRestartBlock block{0x12345678, 0x1F4, HistoryOf(10, 1'700'000'000, 2)};
  auto bytes = EncodeRestartBlock(block);
  ASSERT_EQ(bytes.size(), 88u);
  EXPECT_EQ(bytes[0], 0x78);  // little-endian process id first
  EXPECT_EQ(bytes[4], 0xF4);  // then the handle
  TRestartBlock back = DecodeRestartBlock(bytes.data());
  EXPECT_EQ(back.OldProcessId, block.OldProcessId);
  EXPECT_EQ(back.BlockHandle, block.BlockHandle);
  EXPECT_EQ(back.History.FTimes, block.History.FTimes);
}

}  // namespace
}  // namespace vm
