#include "crashreport/capture/FileCheck.h"

#include <zlib.h>

#include <algorithm>
#include <string>

#include "crashreport/capture/PeLayout.h"

namespace vm {

const volatile unsigned char kFileCrcStamp[16] = {0x7F, 'V', 'M',  'F',  'I', 'L', 'E', 'C',
                                                  'R',  'C', 0xA5, 0x5A, 0,   0,   0,   0};

namespace {

constexpr std::size_t kMagicSize = 12, kStampSize = 16;

// CRC-32 over `ranges` of `file`, with the bytes of `zeroed` taken as zero.
std::uint32_t CrcOfRanges(std::string_view file, const std::vector<TByteRange>& ranges, TByteRange zeroed) {
  static const Bytef zeros[kStampSize] = {};
  uLong crc = crc32(0, nullptr, 0);
  auto feed = [&](std::size_t from, std::size_t to) {
    if (from < to) crc = crc32(crc, reinterpret_cast<const Bytef*>(file.data() + from), uInt(to - from));
  };
  for (const TByteRange& r : ranges) {
    std::size_t zeroFrom = std::clamp(zeroed.From, r.From, r.To), zeroTo = std::clamp(zeroed.To, r.From, r.To);
    feed(r.From, zeroFrom);
    crc = crc32(crc, zeros, uInt(zeroTo - zeroFrom));
    feed(zeroTo, r.To);
  }
  return std::uint32_t(crc);
}

}  // namespace

TFileCheck CheckFileCrc(std::string_view file, const volatile unsigned char* stamp) {
  std::vector<TByteRange> ranges = SignedHashRanges(file);
  // The needle comes from the stamp itself, so that the file holds the magic bytes once.
  char needle[kMagicSize];
  for (std::size_t i = 0; i < kMagicSize; ++i) needle[i] = char(stamp[i]);
  std::string_view content = file.substr(0, ranges.back().To);
  std::size_t at = content.find(std::string_view(needle, kMagicSize));
  if (at == std::string_view::npos || at + kStampSize > content.size()) return TFileCheck::Unstamped;
  std::uint32_t stored = 0;
  for (std::size_t i = kStampSize; i-- > kMagicSize;) stored = (stored << 8) | std::uint8_t(file[at + i]);
  if (stored == 0) return TFileCheck::Unstamped;
  return CrcOfRanges(file, ranges, {at + kMagicSize, at + kStampSize}) == stored ? TFileCheck::Intact
                                                                                 : TFileCheck::Corrupt;
}

}  // namespace vm
