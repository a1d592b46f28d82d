// TINVBitmap: the crash reporter's screenshot picture. 32-bit pixels (blue, green, red and an
// ignored fourth byte, as in a Windows DIB) stored bottom row first, so a screen capture copies
// in without reordering. Saved as BMP for the editing page and as an indexed PNG for sending.
// Tests: tests/crashreport/screenshot/ScreenshotBmpTest.cpp, ScreenshotPngTest.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Exception.h"

namespace vm {

// Bytes that are no picture we can read: "Bitmap image is not valid" and its kin.
class EInvalidGraphic : public ExceptionClass<EInvalidGraphic, Exception> {
public:
  static constexpr const char* kClassName = "EInvalidGraphic";
  using ExceptionClass::ExceptionClass;
};

// A pixel as the DIB holds it: 0x00RRGGBB, blue in the lowest byte.
using TPixel = std::uint32_t;

constexpr TPixel MakePixel(unsigned red, unsigned green, unsigned blue) {
  return TPixel((red & 0xFF) << 16 | (green & 0xFF) << 8 | (blue & 0xFF));
}
constexpr unsigned RedOf(TPixel p) { return (p >> 16) & 0xFF; }
constexpr unsigned GreenOf(TPixel p) { return (p >> 8) & 0xFF; }
constexpr unsigned BlueOf(TPixel p) { return p & 0xFF; }

class TINVBitmap {
public:
  // Bounds that keep every size computation far from overflow, also in a 32-bit process.
  static constexpr int kMaxSide = 32768;
  static constexpr std::size_t kMaxPixels = std::size_t(1) << 27;

  TINVBitmap() = default;
  // A white picture; throws EInvalidGraphic for sides outside 1..kMaxSide or too many pixels.
  TINVBitmap(int width, int height);

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  bool Empty() const { return FPixels.empty(); }

  // Row `y` counted from the top, as the picture is seen.
  TPixel* Row(int y) { return &FPixels[RowOffset(y)]; }
  const TPixel* Row(int y) const { return &FPixels[RowOffset(y)]; }
  TPixel Pixel(int x, int y) const { return Row(y)[x]; }
  void SetPixel(int x, int y, TPixel p) { Row(y)[x] = p; }

  // All pixels, bottom row first, as a bottom-up DIB lays them out.
  TPixel* Bits() { return FPixels.data(); }
  const TPixel* Bits() const { return FPixels.data(); }
  std::size_t PixelBytes() const { return FPixels.size() * sizeof(TPixel); }

  // A 32-bit uncompressed BMP file image, and the reading of BMP files of the usual kinds.
  std::string SaveToBMPBytes() const;
  static TINVBitmap LoadFromBMPBytes(std::string_view bytes);
  void SaveToBMPFile(const std::string& path) const;           // EFCreateError
  static TINVBitmap LoadFromBMPFile(const std::string& path);  // EFOpenError, EInvalidGraphic

  // The PNG in the encoding that `ScrShotDepth` selects (see ScreenshotEncoding.h).
  std::string SaveToPNGBytes(int scrShotDepth) const;
  // Writes the PNG whole or not at all; on failure nothing is left at `path`. False on failure.
  bool SaveToPNGFile(const std::string& path, int scrShotDepth) const;

private:
  std::size_t RowOffset(int y) const { return std::size_t(FHeight - 1 - y) * std::size_t(FWidth); }

  int FWidth = 0;
  int FHeight = 0;
  std::vector<TPixel> FPixels;
};

}  // namespace vm
