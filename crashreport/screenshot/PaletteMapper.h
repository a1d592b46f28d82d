// TPaletteMapper: the index of the palette colour nearest to a pixel (squared distance in
// RGB, the first of equally near colours wins), remembered per colour so that the thousands
// of pixels of a flat area or a glyph cost one search.
// Tests: tests/crashreport/screenshot/WuQuantizerTest.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "crashreport/screenshot/INVBitmap.h"

namespace vm {

class TPaletteMapper {
public:
  explicit TPaletteMapper(const std::vector<TPixel>& palette);

  std::uint8_t IndexOf(TPixel pixel) {
    const TPixel colour = pixel & 0xFFFFFF;
    TCacheSlot& slot = FCache[Hash(colour)];
    if (slot.Key != (colour | kValid)) slot = {colour | kValid, Search(colour)};
    return slot.Index;
  }
  // Maps a row of pixels to one index byte each.
  void MapRow(const TPixel* row, int width, std::uint8_t* indices);

private:
  static constexpr std::uint32_t kValid = 0x80000000u;
  static constexpr int kCacheBits = 16;
  struct TCacheSlot {
    std::uint32_t Key = 0;  // the colour with kValid set, or 0 for an empty slot
    std::uint8_t Index = 0;
  };
  struct TEntry {
    int R, G, B;
    std::uint8_t Index;
  };

  static std::uint32_t Hash(TPixel colour) { return (colour * 2654435761u) >> (32 - kCacheBits); }
  std::uint8_t Search(TPixel colour) const;

  std::vector<TEntry> FByGreen;                  // the palette sorted by green
  std::array<std::uint16_t, 256> FFirstAtGreen;  // first entry of FByGreen with green >= g
  std::vector<TCacheSlot> FCache;
};

}  // namespace vm
