#include "crashreport/screenshot/PaletteMapper.h"

#include <algorithm>

namespace vm {

TPaletteMapper::TPaletteMapper(const std::vector<TPixel>& palette) : FCache(std::size_t(1) << kCacheBits) {
  for (std::size_t i = 0; i < palette.size() && i < 256; ++i)
    FByGreen.push_back({int(RedOf(palette[i])), int(GreenOf(palette[i])), int(BlueOf(palette[i])), std::uint8_t(i)});
  // Stable, so that among equal greens the lower palette index is met first.
  std::stable_sort(FByGreen.begin(), FByGreen.end(), [](const TEntry& a, const TEntry& b) { return a.G < b.G; });
  std::size_t e = 0;
  for (int g = 0; g < 256; ++g) {
    while (e < FByGreen.size() && FByGreen[e].G < g) ++e;
    FFirstAtGreen[std::size_t(g)] = std::uint16_t(e);
  }
}

// Walks outward from the pixel's green in both directions; a side stops once its green
// distance alone is no closer than the best match found.
std::uint8_t TPaletteMapper::Search(TPixel colour) const {
  const int r = int(RedOf(colour)), g = int(GreenOf(colour)), b = int(BlueOf(colour));
  int bestDistance = 1 << 30;
  std::uint8_t bestIndex = 0;
  const auto consider = [&](const TEntry& e) {
    const int dr = e.R - r, dg = e.G - g, db = e.B - b;
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance || (d == bestDistance && e.Index < bestIndex)) bestDistance = d, bestIndex = e.Index;
  };
  const int n = int(FByGreen.size());
  int up = FFirstAtGreen[std::size_t(g)], down = up - 1;
  while (up < n || down >= 0) {
    if (up < n) {
      const int dg = FByGreen[std::size_t(up)].G - g;
      if (dg * dg > bestDistance)
        up = n;
      else
        consider(FByGreen[std::size_t(up++)]);
    }
    if (down >= 0) {
      const int dg = g - FByGreen[std::size_t(down)].G;
      if (dg * dg > bestDistance)
        down = -1;
      else
        consider(FByGreen[std::size_t(down--)]);
    }
  }
  return bestIndex;
}

void TPaletteMapper::MapRow(const TPixel* row, int width, std::uint8_t* indices) {
  TPixel last = ~row[0];
  std::uint8_t index = 0;
  for (int x = 0; x < width; ++x) {
    if (row[x] != last) index = IndexOf(last = row[x]);
    indices[x] = index;
  }
}

}  // namespace vm
