// Deterministic pictures for the screenshot tests and bench-png.
#pragma once

#include <cstdint>
#include <vector>

#include "crashreport/screenshot/INVBitmap.h"

namespace vm::test {

// A small deterministic generator (xorshift), the same on every platform.
class TRandom {
public:
  explicit TRandom(std::uint32_t seed) : FState(seed ? seed : 1) {}
  std::uint32_t Next() {
    FState ^= FState << 13;
    FState ^= FState >> 17;
    FState ^= FState << 5;
    return FState;
  }
  int Below(int n) { return int(Next() % std::uint32_t(n)); }

private:
  std::uint32_t FState;
};

// Like a desktop: flat window areas and bars, small high-contrast glyphs with anti-aliased
// edges, and a photo-like region of smooth gradients with a little noise.
TINVBitmap ScreenLikePicture(int width, int height, std::uint32_t seed = 1);
// Every pixel an independent random colour.
TINVBitmap NoisePicture(int width, int height, std::uint32_t seed = 1);
// Pixels drawn from the given colours at random.
TINVBitmap PictureOfColours(int width, int height, const std::vector<TPixel>& colours, std::uint32_t seed = 1);

// The nearest palette entry by brute force (first of equals), and the mean squared error per
// channel of a picture drawn with its nearest palette colours.
int NearestIndex(const std::vector<TPixel>& palette, TPixel p);
double MeanSquaredError(const TINVBitmap& picture, const std::vector<TPixel>& palette);
double Psnr(double meanSquaredError);

}  // namespace vm::test
