// Covers the screenshot's PNG side: the grey mapping, both encodings decoded by libpng, the
// file layout, the byte-limit choice and the saving of files.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/FileIO.h"
#include "crashreport/screenshot/ScreenshotEncoding.h"
#include "crashreport/screenshot/WuQuantizer.h"
#include "tests/crashreport/screenshot/PngDecoder.h"
#include "tests/crashreport/screenshot/ScreenshotSamples.h"

namespace vm {
namespace {

using test::DecodePng;
using test::TDecodedPng;

std::uint32_t U32BE(const std::string& s, std::size_t at) {
  return std::uint32_t(std::uint8_t(s[at])) << 24 | std::uint32_t(std::uint8_t(s[at + 1])) << 16 |
         std::uint32_t(std::uint8_t(s[at + 2])) << 8 | std::uint8_t(s[at + 3]);
}

struct TChunk {
  std::string Type;
  std::string Data;
};
std::vector<TChunk> Chunks(const std::string& png) {
  std::vector<TChunk> chunks;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::uint32_t length = U32BE(png, at);
    chunks.push_back({png.substr(at + 4, 4), png.substr(at + 8, length)});
    at += 12 + length;
  }
  return chunks;
}

TEST(GreyLevels, NearestLevelFirstOfEqualsWins) {
  struct {
    unsigned Grey, Level;
    const char* Why;
  } const rows[] = {
      {0, 0, "black"},
      {14, 0, "14 from 0, 14 from 28: the darker"},
      {15, 28, "nearer 28"},
      {40, 28, "12 from 28 and from 52: the first wins"},
      {41, 52, "nearer 52"},
      {132, 125, "7 from 125, 8 from 140"},
      {248, 241, "7 from 241 and from 255"},
      {249, 255, "nearer 255"},
      {255, 255, "white"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(kGreyLevels[GreyLevelIndex(row.Grey)], row.Level) << row.Grey << ": " << row.Why;
  EXPECT_EQ(GreyValue(MakePixel(255, 255, 255)), 255u);
  EXPECT_EQ(GreyValue(MakePixel(255, 0, 0)), 76u) << "77 * 255 / 256 rounds down";
  EXPECT_EQ(GreyValue(MakePixel(10, 20, 30)), (77u * 10 + 151 * 20 + 28 * 30) / 256);
}

TEST(PngMode, FromScrShotDepth) {
  using K = TPngMode::TKind;
  struct {
    int Depth;
    K Kind;
    std::uint32_t Limit;
  } const rows[] = {{0, K::None, 0},
                    {-3, K::None, 0},
                    {4, K::Grey16, 0},
                    {8, K::Colour256, 0},
                    {1, K::Colour256, 0},
                    {51200, K::Colour256, 51200},
                    {102400, K::Colour256, 102400},
                    {204800, K::Colour256, 204800},
                    {307200, K::Colour256, 307200},
                    {51201, K::Colour256, 0}};
  for (const auto& row : rows) {
    const TPngMode mode = PngModeFromDepth(row.Depth);
    EXPECT_EQ(mode.Kind, row.Kind) << row.Depth;
    EXPECT_EQ(mode.ByteLimit, row.Limit) << row.Depth;
  }
  EXPECT_THROW(TINVBitmap(2, 2).SaveToPNGBytes(0), Exception);
}

TEST(PngGrey16, DecodesToTheNearestLevels) {
  for (int width : {1, 2, 7, 64}) {
    const TINVBitmap picture = test::NoisePicture(width, 5, unsigned(width));
    const TDecodedPng png = DecodePng(picture.SaveToPNGBytes(4));
    ASSERT_EQ(png.Error, "") << width;
    EXPECT_EQ(png.BitDepth, 4);
    EXPECT_EQ(png.ColourType, 3);
    ASSERT_EQ(png.Palette.size(), 16u);
    for (int i = 0; i < 16; ++i)
      EXPECT_EQ(png.Palette[std::size_t(i)],
                MakePixel(kGreyLevels[std::size_t(i)], kGreyLevels[std::size_t(i)], kGreyLevels[std::size_t(i)]));
    ASSERT_EQ(png.Width, width);
    ASSERT_EQ(png.Height, 5);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < width; ++x)
        ASSERT_EQ(unsigned(png.IndexAt(x, y)), GreyLevelIndex(GreyValue(picture.Pixel(x, y)))) << x << "," << y;
  }
}

TEST(PngColour256, DecodesToTheWuPaletteAndNearestColours) {
  const TINVBitmap picture = test::ScreenLikePicture(240, 160, 7);
  const TDecodedPng png = DecodePng(picture.SaveToPNGBytes(8));
  ASSERT_EQ(png.Error, "");
  EXPECT_EQ(png.BitDepth, 8);
  EXPECT_EQ(png.ColourType, 3);
  const std::vector<TPixel> palette = WuPalette(picture);
  EXPECT_EQ(png.Palette, palette);
  EXPECT_EQ(palette.size(), 256u);
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x)
      ASSERT_EQ(png.IndexAt(x, y), test::NearestIndex(palette, picture.Pixel(x, y))) << x << "," << y;
}

TEST(PngColour256, FewColoursComeBackExactly) {
  // One colour per histogram cell, so every colour gets a box of its own.
  std::vector<TPixel> colours;
  test::TRandom random(3);
  while (colours.size() < 200) {
    const TPixel c = random.Next() & 0xF8F8F8;
    if (std::find(colours.begin(), colours.end(), c) == colours.end()) colours.push_back(c);
  }
  for (std::size_t count : {std::size_t(1), std::size_t(2), std::size_t(200)}) {
    const std::vector<TPixel> used(colours.begin(), colours.begin() + std::ptrdiff_t(count));
    const TINVBitmap picture = test::PictureOfColours(33, 9, used, 5);
    const TDecodedPng png = DecodePng(picture.SaveToPNGBytes(8));
    ASSERT_EQ(png.Error, "");
    EXPECT_LE(png.Palette.size(), count);
    for (int y = 0; y < picture.Height(); ++y)
      for (int x = 0; x < picture.Width(); ++x)
        ASSERT_EQ(png.Palette[std::size_t(png.IndexAt(x, y))], picture.Pixel(x, y) & 0xFFFFFF) << count;
  }
}

TEST(PngLayout, ChunksHeaderAndZlibWrapper) {
  const std::string png = test::ScreenLikePicture(50, 30).SaveToPNGBytes(8);
  ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
  const std::vector<TChunk> chunks = Chunks(png);
  ASSERT_EQ(chunks.size(), 4u);
  EXPECT_EQ(chunks[0].Type, "IHDR");
  EXPECT_EQ(chunks[1].Type, "PLTE");
  EXPECT_EQ(chunks[2].Type, "IDAT");
  EXPECT_EQ(chunks[3].Type, "IEND");
  EXPECT_EQ(chunks[0].Data, std::string("\0\0\0\x32\0\0\0\x1E\x08\x03\0\0\0", 13));
  EXPECT_EQ(chunks[1].Data.size() % 3, 0u);
  EXPECT_EQ(chunks[2].Data.substr(0, 2), "\x78\x01");
  EXPECT_EQ(chunks[3].Data, "");
}

TEST(PngByteLimit, GreyReplacesColourOnlyOverTheLimitAndWhenSmaller) {
  // Noise: the colour PNG is far over 51200 bytes and the grey one is smaller.
  const TINVBitmap busy = test::NoisePicture(300, 300);
  const std::string colour = EncodeColour256(busy), grey = EncodeGrey16(busy);
  ASSERT_GT(colour.size(), 51200u);
  ASSERT_LT(grey.size(), colour.size());
  EXPECT_EQ(busy.SaveToPNGBytes(51200), grey);
  EXPECT_EQ(busy.SaveToPNGBytes(8), colour) << "no limit: colour whatever its size";
  // Under the limit the colour picture stays, although the grey one would be smaller.
  const TINVBitmap quiet = test::NoisePicture(100, 100);
  const std::string quietColour = EncodeColour256(quiet);
  ASSERT_LE(quietColour.size(), 51200u);
  ASSERT_LT(EncodeGrey16(quiet).size(), quietColour.size());
  EXPECT_EQ(quiet.SaveToPNGBytes(51200), quietColour);
}

class PngFile : public ::testing::Test {
protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / "vm-screenshot-png";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
};

TEST_F(PngFile, SavedWholeOrNotAtAll) {
  const TINVBitmap picture = test::ScreenLikePicture(64, 48);
  const std::string path = (dir / "screenShot.png").string();
  WriteFileCreate(path, "an older screenshot");
  ASSERT_TRUE(picture.SaveToPNGFile(path, 4));
  EXPECT_EQ(ReadFileDenyWrite(path), picture.SaveToPNGBytes(4));

  EXPECT_FALSE(picture.SaveToPNGFile((dir / "missing" / "screenShot.png").string(), 8));
  EXPECT_FALSE(picture.SaveToPNGFile(dir.string(), 8)) << "a folder is no file";
  EXPECT_TRUE(std::filesystem::is_directory(dir)) << "and is left alone";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1)
      << "no temporary files left behind";
}

}  // namespace
}  // namespace vm
