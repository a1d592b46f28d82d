#include "crashreport/capture/FileCheck.h"

#include <zlib.h>

#include <cstring>
#include <string>

namespace vm {

const volatile unsigned char kFileCrcStamp[16] = {0x7F, 'V', 'M', 'F', 'I', 'L', 'E', 'C', 'R', 'C', 0xA5, 0x5A, 0, 0, 0, 0};

TFileCheck CheckFileCrc(std::string_view file, const volatile unsigned char* stamp) {
  // The needle comes from the stamp itself, so that the file holds the magic bytes once.
  char needle[12];
  for (int i = 0; i < 12; ++i) needle[i] = char(stamp[i]);
  std::size_t at = file.find(std::string_view(needle, 12));
  if (at == std::string_view::npos || at + 16 > file.size()) return TFileCheck::Unstamped;
  std::uint32_t stored = 0;
  for (int i = 3; i >= 0; --i) stored = (stored << 8) | std::uint8_t(file[at + 12 + std::size_t(i)]);
  if (stored == 0) return TFileCheck::Unstamped;
  static const Bytef zeros[4] = {};
  auto bytes = [&](std::size_t from) { return reinterpret_cast<const Bytef*>(file.data() + from); };
  uLong crc = crc32(0, bytes(0), uInt(at + 12));
  crc = crc32(crc, zeros, 4);
  crc = crc32(crc, bytes(at + 16), uInt(file.size() - at - 16));
  return crc == stored ? TFileCheck::Intact : TFileCheck::Corrupt;
}

}  // namespace vm
