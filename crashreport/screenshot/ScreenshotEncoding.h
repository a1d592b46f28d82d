// The screenshot's PNG encodings, chosen by the `ScrShotDepth` setting:
//   0 (or less)                      no screenshot
//   4                                16 grey levels, two pixels a byte
//   51200, 102400, 204800, 307200    256 colours; a colour PNG larger than this many bytes
//                                    is replaced by the grey one when that is smaller
//   anything else (8 here)           256 colours, one byte a pixel
// Tests: tests/crashreport/screenshot/ScreenshotPngTest.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "crashreport/screenshot/INVBitmap.h"

namespace vm {

struct TPngMode {
  enum class TKind { None, Grey16, Colour256 };
  TKind Kind = TKind::None;
  std::uint32_t ByteLimit = 0;  // Colour256 only; 0 for no limit
};

TPngMode PngModeFromDepth(int scrShotDepth);

// The 16 levels of the grey palette, darkest first.
constexpr std::array<std::uint8_t, 16> kGreyLevels = {0,   28,  52,  73,  92,  109, 125, 140,
                                                      155, 170, 185, 199, 213, 227, 241, 255};

// (77 R + 151 G + 28 B) / 256, rounded down.
constexpr unsigned GreyValue(TPixel p) { return (77 * RedOf(p) + 151 * GreenOf(p) + 28 * BlueOf(p)) >> 8; }
// The index of the grey level nearest to `grey`; of two equally near, the darker.
unsigned GreyLevelIndex(unsigned grey);

std::string EncodeColour256(const TINVBitmap& picture);
std::string EncodeGrey16(const TINVBitmap& picture);
// The PNG for a mode; throws for TKind::None.
std::string EncodeScreenshotPng(const TINVBitmap& picture, TPngMode mode);

}  // namespace vm
