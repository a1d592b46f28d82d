// Covers WuPalette and TPaletteMapper: exact palettes for few colours, the colour bound, and
// the error of Wu's palette against a plain median cut kept here as the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "crashreport/screenshot/PaletteMapper.h"
#include "crashreport/screenshot/WuQuantizer.h"
#include "tests/crashreport/screenshot/ScreenshotSamples.h"

namespace vm {
namespace {

// The textbook median cut: split the box with the most pixels along its widest channel at
// the median pixel, until there are enough boxes; each box gives its mean colour.
std::vector<TPixel> MedianCutPalette(const TINVBitmap& picture, std::size_t colours) {
  std::vector<std::vector<TPixel>> boxes(1);
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) boxes[0].push_back(picture.Pixel(x, y) & 0xFFFFFF);
  const auto channel = [](TPixel p, int c) { return c == 0 ? RedOf(p) : c == 1 ? GreenOf(p) : BlueOf(p); };
  while (boxes.size() < colours) {
    auto largest = std::max_element(boxes.begin(), boxes.end(), [](auto& a, auto& b) { return a.size() < b.size(); });
    int widest = 0;
    unsigned widestRange = 0;
    for (int c = 0; c < 3; ++c) {
      const auto [lo, hi] = std::minmax_element(largest->begin(), largest->end(),
                                                [&](TPixel a, TPixel b) { return channel(a, c) < channel(b, c); });
      if (channel(*hi, c) - channel(*lo, c) > widestRange) widestRange = channel(*hi, c) - channel(*lo, c), widest = c;
    }
    if (widestRange == 0 || largest->size() < 2) break;
    std::sort(largest->begin(), largest->end(),
              [&](TPixel a, TPixel b) { return channel(a, widest) < channel(b, widest); });
    std::vector<TPixel> upper(largest->begin() + std::ptrdiff_t(largest->size() / 2), largest->end());
    largest->resize(largest->size() / 2);
    boxes.push_back(std::move(upper));
  }
  std::vector<TPixel> palette;
  for (const auto& box : boxes) {
    std::uint64_t r = 0, g = 0, b = 0;
    for (TPixel p : box) r += RedOf(p), g += GreenOf(p), b += BlueOf(p);
    const std::uint64_t n = box.size();
    palette.push_back(MakePixel(unsigned((r + n / 2) / n), unsigned((g + n / 2) / n), unsigned((b + n / 2) / n)));
  }
  return palette;
}

TEST(WuPalette, NoWorseThanMedianCut) {
  struct {
    const char* Name;
    TINVBitmap Picture;
    int Colours;
  } const cases[] = {
      {"screen", test::ScreenLikePicture(320, 200, 11), 256},
      {"screen, 16 colours", test::ScreenLikePicture(320, 200, 12), 16},
      {"noise", test::NoisePicture(128, 128, 13), 256},
      {"noise, 8 colours", test::NoisePicture(128, 128, 14), 8},
      {"few colours", test::PictureOfColours(64, 64, {0x102030, 0x112233, 0xF0E0D0, 0x808080, 0x7F7F81}), 4},
  };
  for (const auto& c : cases) {
    const std::vector<TPixel> wu = WuPalette(c.Picture, c.Colours);
    EXPECT_LE(wu.size(), std::size_t(c.Colours)) << c.Name;
    const double wuError = test::MeanSquaredError(c.Picture, wu);
    const double naiveError = test::MeanSquaredError(c.Picture, MedianCutPalette(c.Picture, std::size_t(c.Colours)));
    EXPECT_LE(wuError, naiveError) << c.Name;
    RecordProperty(c.Name, std::to_string(wuError) + " vs " + std::to_string(naiveError));
  }
}

TEST(WuPalette, OneEntryPerColourWhenTheyFit) {
  const TINVBitmap one = test::PictureOfColours(9, 9, {MakePixel(1, 2, 3)});
  EXPECT_EQ(WuPalette(one), std::vector<TPixel>{MakePixel(1, 2, 3)});
  // 256 colours in 256 different histogram cells: each its own box, so the palette is exact.
  std::vector<TPixel> colours;
  for (unsigned i = 0; i < 256; ++i)
    colours.push_back(MakePixel((i & 7) * 32 + 5, ((i >> 3) & 7) * 32 + 9, (i >> 6) * 64 + 1));
  const TINVBitmap picture = test::PictureOfColours(64, 64, colours, 2);
  const std::vector<TPixel> palette = WuPalette(picture);
  EXPECT_EQ(std::set<TPixel>(palette.begin(), palette.end()), std::set<TPixel>(colours.begin(), colours.end()));
  EXPECT_EQ(test::MeanSquaredError(picture, palette), 0.0);
}

TEST(PaletteMapper, AgreesWithBruteForce) {
  test::TRandom random(21);
  std::vector<TPixel> palette;
  for (int i = 0; i < 200; ++i) palette.push_back(random.Next() & 0xFFFFFF);
  // Duplicates and equal greens: the first palette entry of equally near ones must win.
  palette.push_back(palette[17]);
  palette.insert(palette.begin() + 3, palette[150]);
  palette.push_back(MakePixel(10, 100, 10));
  palette.push_back(MakePixel(30, 100, 30));
  TPaletteMapper mapper(palette);
  std::vector<TPixel> probes = {MakePixel(20, 100, 20), 0, 0xFFFFFF, palette[17], palette[151]};
  for (int i = 0; i < 20000; ++i) probes.push_back(random.Next());
  for (TPixel p : probes) ASSERT_EQ(mapper.IndexOf(p), test::NearestIndex(palette, p & 0xFFFFFF)) << std::hex << p;
  // Again, now answered from the cache.
  for (TPixel p : probes) ASSERT_EQ(mapper.IndexOf(p), test::NearestIndex(palette, p & 0xFFFFFF)) << std::hex << p;
}

}  // namespace
}  // namespace vm
