#include "tests/crashreport/screenshot/ScreenshotSamples.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace vm::test {
namespace {

void FillRect(TINVBitmap& p, int left, int top, int right, int bottom, TPixel colour) {
  for (int y = std::max(top, 0); y < std::min(bottom, p.Height()); ++y)
    for (int x = std::max(left, 0); x < std::min(right, p.Width()); ++x) p.SetPixel(x, y, colour);
}

TPixel Blend(TPixel a, TPixel b, int weight256) {
  const auto mix = [&](unsigned ca, unsigned cb) {
    return (ca * unsigned(256 - weight256) + cb * unsigned(weight256)) / 256;
  };
  return MakePixel(mix(RedOf(a), RedOf(b)), mix(GreenOf(a), GreenOf(b)), mix(BlueOf(a), BlueOf(b)));
}

// A 5 x 7 glyph of random strokes whose edge pixels are blended into the background.
void DrawGlyph(TINVBitmap& p, int left, int top, TPixel ink, TRandom& random) {
  const std::uint32_t shape = random.Next();
  for (int gy = 0; gy < 7; ++gy)
    for (int gx = 0; gx < 5; ++gx) {
      const int x = left + gx, y = top + gy;
      if (x >= p.Width() || y >= p.Height()) continue;
      const bool stroke = (gx == 0 || gx == 4 || gy == 0 || gy == 3 || gy == 6) && ((shape >> (gx * 7 + gy) % 32) & 1);
      if (stroke)
        p.SetPixel(x, y, ink);
      else if ((shape >> ((gx + gy) % 32)) & 1 && (gx + gy) % 3 == 0)
        p.SetPixel(x, y, Blend(p.Pixel(x, y), ink, 96));
    }
}

}  // namespace

TINVBitmap ScreenLikePicture(int width, int height, std::uint32_t seed) {
  TRandom random(seed);
  TINVBitmap p(width, height);
  FillRect(p, 0, 0, width, height, MakePixel(58, 110, 165));  // desktop
  // Windows: a frame, a title bar, a tool bar, a client area with text.
  for (int w = 0; w < 4; ++w) {
    const int left = random.Below(std::max(1, width / 2)), top = random.Below(std::max(1, height / 2));
    const int right = left + width / 3 + random.Below(std::max(1, width / 3)),
              bottom = top + height / 3 + random.Below(std::max(1, height / 3));
    FillRect(p, left, top, right, bottom, MakePixel(212, 208, 200));
    for (int x = left; x < right && x < width; ++x)  // title bar gradient
      FillRect(p, x, top, x + 1, top + 18,
               Blend(MakePixel(10, 36, 106), MakePixel(166, 202, 240), (x - left) * 256 / std::max(1, right - left)));
    FillRect(p, left + 3, top + 44, right - 3, bottom - 3, MakePixel(255, 255, 255));
    const TPixel inks[] = {MakePixel(0, 0, 0), MakePixel(0, 0, 128), MakePixel(128, 0, 0)};
    for (int y = top + 48; y + 8 < bottom - 3; y += 11)
      for (int x = left + 6; x + 6 < right - 3; x += 6)
        if (random.Below(8)) DrawGlyph(p, x, y, inks[random.Below(3)], random);
    for (int x = left + 4; x + 20 < right; x += 24)
      FillRect(p, x, top + 22, x + 20, top + 40, MakePixel(192, 192, 192));
  }
  // The photo: smooth colour waves with grain, in one corner.
  const int photoLeft = width * 5 / 8, photoTop = height / 2;
  for (int y = photoTop; y < height; ++y)
    for (int x = photoLeft; x < width; ++x) {
      const double u = double(x - photoLeft) / 60.0, v = double(y - photoTop) / 45.0;
      const auto channel = [&](double phase) {
        const double value = 128 + 90 * std::sin(u + phase) * std::cos(v * 0.7 - phase) + random.Below(9) - 4;
        return unsigned(std::clamp(value, 0.0, 255.0));
      };
      p.SetPixel(x, y, MakePixel(channel(0.0), channel(1.3), channel(2.6)));
    }
  return p;
}

TINVBitmap NoisePicture(int width, int height, std::uint32_t seed) {
  TRandom random(seed);
  TINVBitmap p(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.SetPixel(x, y, random.Next() & 0xFFFFFF);
  return p;
}

TINVBitmap PictureOfColours(int width, int height, const std::vector<TPixel>& colours, std::uint32_t seed) {
  TRandom random(seed);
  TINVBitmap p(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.SetPixel(x, y, colours[std::size_t(random.Below(int(colours.size())))]);
  return p;
}

int NearestIndex(const std::vector<TPixel>& palette, TPixel p) {
  int best = 0, bestDistance = 1 << 30;
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const int dr = int(RedOf(palette[i])) - int(RedOf(p)), dg = int(GreenOf(palette[i])) - int(GreenOf(p)),
              db = int(BlueOf(palette[i])) - int(BlueOf(p));
    const int d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) best = int(i), bestDistance = d;
  }
  return best;
}

double MeanSquaredError(const TINVBitmap& picture, const std::vector<TPixel>& palette) {
  std::unordered_map<TPixel, int> nearest;
  double sum = 0;
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) {
      const TPixel p = picture.Pixel(x, y) & 0xFFFFFF;
      auto found = nearest.find(p);
      if (found == nearest.end()) found = nearest.emplace(p, NearestIndex(palette, p)).first;
      const TPixel q = palette[std::size_t(found->second)];
      const double dr = double(RedOf(p)) - RedOf(q), dg = double(GreenOf(p)) - GreenOf(q),
                   db = double(BlueOf(p)) - BlueOf(q);
      sum += dr * dr + dg * dg + db * db;
    }
  return sum / (3.0 * picture.Width() * picture.Height());
}

double Psnr(double meanSquaredError) {
  return meanSquaredError > 0 ? 10.0 * std::log10(255.0 * 255.0 / meanSquaredError) : 99.0;
}

}  // namespace vm::test
