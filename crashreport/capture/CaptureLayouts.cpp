#include "crashreport/capture/CaptureLayouts.h"

#include <cstdio>

namespace vm {

std::string ProcessBlockName(const char* prefix, std::uint32_t processId) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "$%x", unsigned(processId));
  return std::string(prefix) + hex;
}

void TExceptionHistory::Push(std::int64_t seconds) {
  for (int i = kSize - 1; i > 0; --i) FTimes[std::size_t(i)] = FTimes[std::size_t(i - 1)];
  FTimes[0] = seconds;
}

bool TExceptionHistory::AutoActionApplies(std::int32_t setting, std::int64_t now) const {
  if (setting <= 0) return false;
  if (setting == 1) return true;
  for (std::int64_t t : FTimes)
    if (t == 0 || now - t > setting) return false;
  return true;
}

namespace {

void Put(std::uint8_t* p, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = std::uint8_t(value >> (8 * i));
}
std::uint64_t Get(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= std::uint64_t(p[i]) << (8 * i);
  return value;
}

}  // namespace

std::array<std::uint8_t, kRestartBlockSize> EncodeRestartBlock(const TRestartBlock& block) {
  std::array<std::uint8_t, kRestartBlockSize> bytes{};
  Put(&bytes[0], block.OldProcessId, 4);
  Put(&bytes[4], block.BlockHandle, 4);
  for (int i = 0; i < TExceptionHistory::kSize; ++i)
    Put(&bytes[8 + 8 * std::size_t(i)], std::uint64_t(block.History.At(i)), 8);
  return bytes;
}

TRestartBlock DecodeRestartBlock(const std::uint8_t* bytes) {
  TRestartBlock block;
  block.OldProcessId = std::uint32_t(Get(bytes, 4));
  block.BlockHandle = std::uint32_t(Get(bytes + 4, 4));
  for (int i = 0; i < TExceptionHistory::kSize; ++i)
    block.History.FTimes[std::size_t(i)] = std::int64_t(Get(bytes + 8 + 8 * i, 8));
  return block;
}

}  // namespace vm
