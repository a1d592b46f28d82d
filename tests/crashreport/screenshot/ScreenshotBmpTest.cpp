// Covers TINVBitmap's BMP side: round trips, the kinds of BMP files it reads, and the
// files it refuses without reading past their end.
#include <gtest/gtest.h>

#include "base/FileIO.h"
#include "crashreport/screenshot/INVBitmap.h"
#include "tests/crashreport/screenshot/ScreenshotSamples.h"

namespace vm {
namespace {

void PutU16(std::string& out, unsigned v) { out += char(v & 0xFF), out += char((v >> 8) & 0xFF); }
void PutU32(std::string& out, std::uint32_t v) { PutU16(out, v & 0xFFFF), PutU16(out, v >> 16); }

// A BMP file put together field by field, the way other programs write them.
struct TBmpSpec {
  std::uint32_t HeaderSize = 40;
  std::int32_t Width = 2, Height = 2;
  unsigned Bits = 24;
  std::uint32_t Compression = 0;
  std::uint32_t ColoursUsed = 0;
  std::vector<std::uint32_t> Masks{};    // after a 40-byte header, or inside a larger one
  std::vector<std::uint32_t> Palette{};  // 0x00RRGGBB
  std::string Pixels{};                  // rows as stored, padding included

  std::string Bytes() const {
    std::string header;
    if (HeaderSize == 12) {
      PutU32(header, 12), PutU16(header, unsigned(Width)), PutU16(header, unsigned(Height)), PutU16(header, 1),
          PutU16(header, Bits);
    } else {
      PutU32(header, HeaderSize), PutU32(header, std::uint32_t(Width)), PutU32(header, std::uint32_t(Height));
      PutU16(header, 1), PutU16(header, Bits), PutU32(header, Compression),
          PutU32(header, std::uint32_t(Pixels.size()));
      PutU32(header, 2835), PutU32(header, 2835), PutU32(header, ColoursUsed), PutU32(header, 0);
      for (std::uint32_t m : Masks) PutU32(header, m);
      if (header.size() < HeaderSize && HeaderSize > 40) header.resize(HeaderSize, '\0');
    }
    for (std::uint32_t c : Palette) {
      header += char(c & 0xFF), header += char((c >> 8) & 0xFF), header += char((c >> 16) & 0xFF);
      if (HeaderSize != 12) header += '\0';
    }
    std::string file = "BM";
    PutU32(file, std::uint32_t(14 + header.size() + Pixels.size()));
    PutU32(file, 0);
    PutU32(file, std::uint32_t(14 + header.size()));
    return file + header + Pixels;
  }
};

std::string Raw(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += char(b);
  return s;
}

std::vector<TPixel> PixelsTopDown(const TINVBitmap& p) {
  std::vector<TPixel> out;
  for (int y = 0; y < p.Height(); ++y)
    for (int x = 0; x < p.Width(); ++x) out.push_back(p.Pixel(x, y));
  return out;
}

TEST(BmpRoundTrip, PixelsAndLayoutSurvive) {
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{3, 2}, std::pair{101, 37}}) {
    TINVBitmap picture = test::NoisePicture(w, h, unsigned(w));
    const std::string bytes = picture.SaveToBMPBytes();
    ASSERT_EQ(bytes.size(), 54u + 4u * unsigned(w * h));
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(bytes[28], 32) << "32 bits a pixel";
    const TINVBitmap back = TINVBitmap::LoadFromBMPBytes(bytes);
    ASSERT_EQ(back.Width(), w);
    ASSERT_EQ(back.Height(), h);
    EXPECT_EQ(PixelsTopDown(back), PixelsTopDown(picture));
    EXPECT_EQ(back.SaveToBMPBytes(), bytes);
  }
}

TEST(BmpRoundTrip, ThroughAFile) {
  const std::string path = ::testing::TempDir() + "vm-screenshot.bmp";
  const TINVBitmap picture = test::ScreenLikePicture(40, 30);
  picture.SaveToBMPFile(path);
  EXPECT_EQ(PixelsTopDown(TINVBitmap::LoadFromBMPFile(path)), PixelsTopDown(picture));
  std::remove(path.c_str());
  EXPECT_THROW(TINVBitmap::LoadFromBMPFile(path), EFOpenError);
}

TEST(BmpLoad, KindsOtherProgramsWrite) {
  const TPixel red = MakePixel(255, 0, 0), green = MakePixel(0, 255, 0), blue = MakePixel(0, 0, 255),
               white = MakePixel(255, 255, 255), black = 0;
  struct {
    const char* Name;
    TBmpSpec Spec;
    std::vector<TPixel> Expected;  // top row first
  } const cases[] = {
      {"24 bits, bottom-up, rows padded to 4 bytes",
       {.Pixels = Raw({0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0})},
       {blue, white, red, green}},
      {"24 bits, top-down",
       {.Height = -2, .Pixels = Raw({0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0})},
       {red, green, blue, white}},
      {"32 bits, fourth byte ignored",
       {.Width = 1, .Bits = 32, .Pixels = Raw({1, 2, 3, 99, 4, 5, 6, 77})},
       {MakePixel(6, 5, 4), MakePixel(3, 2, 1)}},
      {"8 bits with a short palette; an index past it reads black",
       {.Width = 3,
        .Bits = 8,
        .ColoursUsed = 2,
        .Palette = {0xFF0000, 0x00FF00},
        .Pixels = Raw({1, 0, 1, 0, 0, 9, 1, 0})},
       {red, black, green, green, red, green}},
      {"4 bits, high nibble first",
       {.Width = 3,
        .Height = 1,
        .Bits = 4,
        .ColoursUsed = 4,
        .Palette = {0, 0xFF0000, 0x00FF00, 0x0000FF},
        .Pixels = Raw({0x12, 0x30, 0, 0})},
       {red, green, blue}},
      {"1 bit, high bit first",
       {.Width = 10, .Height = 1, .Bits = 1, .Palette = {0x000000, 0xFFFFFF}, .Pixels = Raw({0xA0, 0x40, 0, 0})},
       {white, black, white, black, black, black, black, black, black, white}},
      {"16 bits, 5-5-5 by default",
       {.Width = 2, .Height = 1, .Bits = 16, .Pixels = Raw({0x00, 0x7C, 0x1F, 0x00})},
       {red, blue}},
      {"16 bits, 5-6-5 bit fields",
       {.Width = 2,
        .Height = 1,
        .Bits = 16,
        .Compression = 3,
        .Masks = {0xF800, 0x07E0, 0x001F},
        .Pixels = Raw({0xE0, 0x07, 0x00, 0xF8})},
       {green, red}},
      {"32 bits, bit fields in a 108-byte header",
       {.HeaderSize = 108,
        .Width = 1,
        .Height = 1,
        .Bits = 32,
        .Compression = 3,
        .Masks = {0x0000FF00, 0x00FF0000, 0xFF000000},
        .Pixels = Raw({0, 10, 20, 30})},
       {MakePixel(10, 20, 30)}},
      {"core header with 3-byte palette entries",
       {.HeaderSize = 12,
        .Width = 2,
        .Height = 1,
        .Bits = 1,
        .Palette = {0x0000FF, 0xFFFFFF},
        .Pixels = Raw({0x40, 0, 0, 0})},
       {blue, white}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      const TINVBitmap p = TINVBitmap::LoadFromBMPBytes(c.Spec.Bytes());
      EXPECT_EQ(p.Width(), c.Spec.Width);
      EXPECT_EQ(PixelsTopDown(p), c.Expected);
    } catch (const Exception& e) {
      ADD_FAILURE() << e.Message();
    }
  }
}

TEST(BmpLoad, RefusesWhatItCannotRead) {
  const std::string good = TBmpSpec{.Pixels = std::string(16, '\0')}.Bytes();
  std::string badMagic = good, shortPixels = good.substr(0, good.size() - 1), farOffset = good;
  badMagic[0] = 'X';
  farOffset[10] = char(0xF0);
  const char* invalid = "Bitmap image is not valid";
  struct {
    const char* Name;
    std::string Bytes;
    std::string Message;
  } const cases[] = {
      {"empty", "", invalid},
      {"magic only", "BM", invalid},
      {"wrong magic", badMagic, invalid},
      {"pixel data one byte short", shortPixels, invalid},
      {"pixel data offset past the end", farOffset, invalid},
      {"run-length compression", TBmpSpec{.Bits = 8, .Compression = 1, .Pixels = std::string(8, '\0')}.Bytes(),
       "Bitmap compression 1 is not supported"},
      {"zero width", TBmpSpec{.Width = 0}.Bytes(), invalid},
      {"huge sides, little data", TBmpSpec{.Width = 30000, .Height = 30000, .Pixels = std::string(64, '\0')}.Bytes(),
       invalid},
      {"side over the bound", TBmpSpec{.Width = 40000, .Height = 1, .Pixels = std::string(120000, '\0')}.Bytes(),
       invalid},
      {"more palette entries than the depth allows",
       TBmpSpec{.Width = 1, .Height = 1, .Bits = 1, .ColoursUsed = 3, .Palette = {0, 0, 0}, .Pixels = Raw({0, 0, 0, 0})}
           .Bytes(),
       invalid},
      {"palette past the end", TBmpSpec{.Width = 1, .Height = 1, .Bits = 8, .ColoursUsed = 200}.Bytes(), invalid},
      {"12 bits a pixel", TBmpSpec{.Bits = 12, .Pixels = std::string(16, '\0')}.Bytes(), invalid},
      {"bit fields at 24 bits", TBmpSpec{.Compression = 3, .Masks = {1, 2, 4}, .Pixels = std::string(16, '\0')}.Bytes(),
       invalid},
      {"unknown header size", TBmpSpec{.HeaderSize = 20}.Bytes(), invalid},
  };
  for (const auto& c : cases) {
    try {
      TINVBitmap::LoadFromBMPBytes(c.Bytes);
      ADD_FAILURE() << c.Name << ": loaded";
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(e.Message(), c.Message) << c.Name;
    }
  }
}

}  // namespace
}  // namespace vm
