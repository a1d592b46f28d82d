// Reads an indexed PNG back with libpng, the reference decoder for the screenshot tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crashreport/screenshot/INVBitmap.h"

namespace vm::test {

struct TDecodedPng {
  std::string Error;  // libpng's complaint; empty when the file was read
  int Width = 0, Height = 0, BitDepth = 0, ColourType = -1;
  std::vector<TPixel> Palette;
  std::vector<std::uint8_t> Indices;  // one per pixel, top row first

  int IndexAt(int x, int y) const { return Indices[std::size_t(y) * std::size_t(Width) + std::size_t(x)]; }
};

TDecodedPng DecodePng(const std::string& bytes);

}  // namespace vm::test
