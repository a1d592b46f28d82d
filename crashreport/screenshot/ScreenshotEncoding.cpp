#include "crashreport/screenshot/ScreenshotEncoding.h"

#include <cstdlib>
#include <vector>

#include "crashreport/screenshot/PaletteMapper.h"
#include "crashreport/screenshot/PngWriter.h"
#include "crashreport/screenshot/WuQuantizer.h"

namespace vm {
namespace {

constexpr int kByteLimitDepths[] = {51200, 102400, 204800, 307200};

// Deflate levels, from bench-png on a 1920 x 1080 screen: for 256 colours level 6 is the
// lowest that keeps the file within the peer's size (level 4 is three times faster but 4 %
// larger, 8 and 9 gain 2 % for four to seven times the time); the grey picture has no size
// to match, and level 5 keeps it well under 25 ms for 2.6 % more bytes than level 6.
constexpr int kColourDeflateLevel = 6;
constexpr int kGreyDeflateLevel = 5;

// GreyLevelIndex for every grey value, worked out once.
const std::array<std::uint8_t, 256>& GreyTable() {
  static const std::array<std::uint8_t, 256> table = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned grey = 0; grey < 256; ++grey) {
      unsigned best = 0;
      for (unsigned i = 1; i < kGreyLevels.size(); ++i)
        if (std::abs(int(kGreyLevels[i]) - int(grey)) < std::abs(int(kGreyLevels[best]) - int(grey))) best = i;
      t[grey] = std::uint8_t(best);
    }
    return t;
  }();
  return table;
}

}  // namespace

TPngMode PngModeFromDepth(int scrShotDepth) {
  if (scrShotDepth <= 0) return {};
  if (scrShotDepth == 4) return {TPngMode::TKind::Grey16, 0};
  for (int limit : kByteLimitDepths)
    if (scrShotDepth == limit) return {TPngMode::TKind::Colour256, std::uint32_t(limit)};
  return {TPngMode::TKind::Colour256, 0};
}

unsigned GreyLevelIndex(unsigned grey) { return GreyTable()[grey & 0xFF]; }

std::string EncodeColour256(const TINVBitmap& picture) {
  const std::vector<TPixel> palette = WuPalette(picture, 256);
  TPaletteMapper mapper(palette);
  TPngWriter png(picture.Width(), picture.Height(), 8, palette, kColourDeflateLevel);
  std::vector<std::uint8_t> indices(std::size_t(picture.Width()));
  for (int y = 0; y < picture.Height(); ++y) {
    mapper.MapRow(picture.Row(y), picture.Width(), indices.data());
    png.AddRow(indices.data());
  }
  return png.Finish();
}

std::string EncodeGrey16(const TINVBitmap& picture) {
  std::vector<TPixel> palette;
  for (std::uint8_t level : kGreyLevels) palette.push_back(MakePixel(level, level, level));
  const auto& table = GreyTable();
  TPngWriter png(picture.Width(), picture.Height(), 4, palette, kGreyDeflateLevel);
  std::vector<std::uint8_t> packed(png.RowBytes());
  const int width = picture.Width();
  for (int y = 0; y < picture.Height(); ++y) {
    const TPixel* row = picture.Row(y);
    // The left pixel of each pair goes into the high nibble; an odd row's last low nibble stays 0.
    for (int x = 0; x < width; x += 2) {
      const unsigned left = table[GreyValue(row[x])];
      const unsigned right = x + 1 < width ? table[GreyValue(row[x + 1])] : 0;
      packed[std::size_t(x / 2)] = std::uint8_t(left << 4 | right);
    }
    png.AddRow(packed.data());
  }
  return png.Finish();
}

std::string EncodeScreenshotPng(const TINVBitmap& picture, TPngMode mode) {
  switch (mode.Kind) {
    case TPngMode::TKind::Grey16:
      return EncodeGrey16(picture);
    case TPngMode::TKind::Colour256: {
      std::string colour = EncodeColour256(picture);
      if (mode.ByteLimit == 0 || colour.size() <= mode.ByteLimit) return colour;
      std::string grey = EncodeGrey16(picture);
      return grey.size() < colour.size() ? grey : colour;
    }
    default:
      throw Exception("No screenshot encoding for this setting");
  }
}

}  // namespace vm
