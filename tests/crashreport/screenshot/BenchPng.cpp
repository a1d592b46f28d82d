// bench-png: the screenshot encodings on a 1920 x 1080 screen-like picture, next to a peer
// measured in the same run: libimagequant (speed 10, no dithering) with libpng writing the
// indexed PNG at its default level. Prints per pipeline the time of quantising, mapping and
// writing, the bytes and the PSNR, the heap the encoders need on top of the picture, and
// ends with: bench png: veilmark <ms> <bytes> <psnr> peer <ms> <bytes> <psnr>
#include <benchmark/benchmark.h>
#include <libimagequant.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <new>

#include "crashreport/screenshot/PaletteMapper.h"
#include "crashreport/screenshot/PngWriter.h"
#include "crashreport/screenshot/ScreenshotEncoding.h"
#include "crashreport/screenshot/WuQuantizer.h"
#include "tests/crashreport/screenshot/ScreenshotSamples.h"

// Heap use of our own code, counted through the global allocation functions.
namespace {
std::atomic<std::size_t> gHeapNow{0}, gHeapPeak{0};
}
void* operator new(std::size_t size) {
  auto* block = static_cast<std::size_t*>(std::malloc(size + 16));
  if (!block) throw std::bad_alloc();
  *block = size;
  const std::size_t now = gHeapNow += size;
  std::size_t peak = gHeapPeak;
  while (now > peak && !gHeapPeak.compare_exchange_weak(peak, now)) {
  }
  return reinterpret_cast<char*>(block) + 16;
}
void operator delete(void* p) noexcept {
  if (!p) return;
  auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(p) - 16);
  gHeapNow -= *block;
  std::free(block);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace vm {
namespace {

constexpr int kWidth = 1920, kHeight = 1080, kRounds = 9;

const TINVBitmap& Picture() {
  static const TINVBitmap picture = test::ScreenLikePicture(kWidth, kHeight, 2024);
  return picture;
}

struct TStages {
  double Quantise = 0, Map = 0, Write = 0;
  double Total() const { return Quantise + Map + Write; }
};

struct TPipelineResult {
  TStages Ms;
  std::string Png;
  std::vector<TPixel> Palette;
  std::vector<std::uint8_t> Indices;  // one per pixel, top row first
};

// Processor time of the whole process (the peer may use threads): on a shared, busy machine
// it says more than the wall clock.
double CpuMsNow() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}
double MsSince(double start) { return CpuMsNow() - start; }

TPipelineResult Veilmark256() {
  const TINVBitmap& picture = Picture();
  TPipelineResult r;
  auto t = CpuMsNow();
  r.Palette = WuPalette(picture);
  r.Ms.Quantise = MsSince(t);
  t = CpuMsNow();
  TPaletteMapper mapper(r.Palette);
  r.Indices.resize(std::size_t(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) mapper.MapRow(picture.Row(y), kWidth, &r.Indices[std::size_t(y) * kWidth]);
  r.Ms.Map = MsSince(t);
  t = CpuMsNow();
  TPngWriter png(kWidth, kHeight, 8, r.Palette, 6);  // as EncodeColour256
  for (int y = 0; y < kHeight; ++y) png.AddRow(&r.Indices[std::size_t(y) * kWidth]);
  r.Png = png.Finish();
  r.Ms.Write = MsSince(t);
  return r;
}

TPipelineResult VeilmarkGrey16() {
  TPipelineResult r;
  const auto t = CpuMsNow();
  r.Png = EncodeGrey16(Picture());
  r.Ms.Write = MsSince(t);  // mapping and writing go row by row together
  for (std::uint8_t level : kGreyLevels) r.Palette.push_back(MakePixel(level, level, level));
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      r.Indices.push_back(std::uint8_t(GreyLevelIndex(GreyValue(Picture().Pixel(x, y)))));
  return r;
}

void AppendToString(png_structp png, png_bytep data, png_size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

TPipelineResult Peer() {
  const TINVBitmap& picture = Picture();
  TPipelineResult r;
  auto t = CpuMsNow();
  std::vector<std::uint8_t> rgba(std::size_t(kWidth) * kHeight * 4);  // the peer's input format
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const TPixel p = picture.Pixel(x, y);
      std::uint8_t* o = &rgba[(std::size_t(y) * kWidth + std::size_t(x)) * 4];
      o[0] = std::uint8_t(RedOf(p)), o[1] = std::uint8_t(GreenOf(p)), o[2] = std::uint8_t(BlueOf(p)), o[3] = 255;
    }
  liq_attr* attr = liq_attr_create();
  liq_set_speed(attr, 10);
  liq_image* image = liq_image_create_rgba(attr, rgba.data(), kWidth, kHeight, 0);
  liq_result* result = nullptr;
  if (liq_image_quantize(image, attr, &result) != LIQ_OK) std::abort();
  liq_set_dithering_level(result, 0.0f);
  r.Ms.Quantise = MsSince(t);
  t = CpuMsNow();
  r.Indices.resize(std::size_t(kWidth) * kHeight);
  liq_write_remapped_image(result, image, r.Indices.data(), r.Indices.size());
  const liq_palette* palette = liq_get_palette(result);
  r.Ms.Map = MsSince(t);
  t = CpuMsNow();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &r.Png, AppendToString, nullptr);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> plte;
  for (unsigned i = 0; i < palette->count; ++i) {
    plte.push_back({palette->entries[i].r, palette->entries[i].g, palette->entries[i].b});
    r.Palette.push_back(MakePixel(palette->entries[i].r, palette->entries[i].g, palette->entries[i].b));
  }
  png_set_PLTE(png, info, plte.data(), int(plte.size()));
  png_write_info(png, info);
  for (int y = 0; y < kHeight; ++y) png_write_row(png, &r.Indices[std::size_t(y) * kWidth]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  r.Ms.Write = MsSince(t);
  liq_result_destroy(result);
  liq_image_destroy(image);
  liq_attr_destroy(attr);
  return r;
}

double PsnrOf(const TPipelineResult& r) {
  double sum = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const TPixel p = Picture().Pixel(x, y), q = r.Palette[r.Indices[std::size_t(y) * kWidth + std::size_t(x)]];
      const double dr = double(RedOf(p)) - RedOf(q), dg = double(GreenOf(p)) - GreenOf(q),
                   db = double(BlueOf(p)) - BlueOf(q);
      sum += dr * dr + dg * dg + db * db;
    }
  return test::Psnr(sum / (3.0 * kWidth * kHeight));
}

// What the deflate level costs and gains on the 256-colour rows, for the choice in PngWriter.
void DeflateLevels(const TPipelineResult& colour) {
  std::vector<std::uint8_t> rows;
  for (int y = 0; y < kHeight; ++y) {
    rows.push_back(0);
    rows.insert(rows.end(), colour.Indices.begin() + std::ptrdiff_t(y) * kWidth,
                colour.Indices.begin() + std::ptrdiff_t(y + 1) * kWidth);
  }
  std::printf("deflate level:");
  for (int level = 1; level <= 9; ++level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<std::uint8_t> out(deflateBound(&z, uLong(rows.size())));
    z.next_in = rows.data(), z.avail_in = uInt(rows.size());
    z.next_out = out.data(), z.avail_out = uInt(out.size());
    const double t = CpuMsNow();
    deflate(&z, Z_FINISH);
    std::printf("  %d: %.1f ms %lu B", level, MsSince(t), z.total_out);
    deflateEnd(&z);
  }
  std::printf("\n");
}

// The median of each stage over several rounds; the last round's output.
TPipelineResult Measure(const std::function<TPipelineResult()>& pipeline) {
  std::vector<TStages> rounds;
  TPipelineResult last;
  for (int i = 0; i < kRounds; ++i) {
    last = pipeline();
    rounds.push_back(last.Ms);
  }
  const auto median = [&](double TStages::*stage) {
    std::vector<double> v;
    for (const TStages& s : rounds) v.push_back(s.*stage);
    std::nth_element(v.begin(), v.begin() + kRounds / 2, v.end());
    return v[kRounds / 2];
  };
  last.Ms = {median(&TStages::Quantise), median(&TStages::Map), median(&TStages::Write)};
  return last;
}

void Report(const char* name, const TPipelineResult& r, double psnr) {
  std::printf("%-18s quantise %7.2f ms  map %7.2f ms  write %7.2f ms  total %7.2f ms  %8zu bytes  %5.2f dB\n", name,
              r.Ms.Quantise, r.Ms.Map, r.Ms.Write, r.Ms.Total(), r.Png.size(), psnr);
}

// Heap the encoder takes on top of what was in use, as a multiple of the picture's pixel bytes.
double HeapFactor(const std::function<void()>& encode) {
  gHeapPeak = gHeapNow.load();
  const std::size_t before = gHeapNow;
  encode();
  return double(gHeapPeak - before) / double(Picture().PixelBytes());
}

void BM_Veilmark256(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(EncodeColour256(Picture()));
}
void BM_VeilmarkGrey16(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(EncodeGrey16(Picture()));
}
void BM_Peer256(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Peer().Png);
}
BENCHMARK(BM_Veilmark256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VeilmarkGrey16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Peer256)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vm

int main(int argc, char** argv) {
  using namespace vm;
  benchmark::Initialize(&argc, argv);
  Picture();
  benchmark::RunSpecifiedBenchmarks();

  const TPipelineResult colour = Measure(Veilmark256), grey = Measure(VeilmarkGrey16), peer = Measure(Peer);
  if (colour.Png != EncodeColour256(Picture())) std::printf("warning: staged pipeline differs from EncodeColour256\n");
  const double colourPsnr = PsnrOf(colour), greyPsnr = PsnrOf(grey), peerPsnr = PsnrOf(peer);
  std::printf("\n%d x %d screen-like picture, median of %d rounds, processor time\n", kWidth, kHeight, kRounds);
  Report("veilmark 256", colour, colourPsnr);
  Report("veilmark 16 greys", grey, greyPsnr);
  Report("peer 256", peer, peerPsnr);
  DeflateLevels(colour);
  std::printf("heap above the picture: 256 colours %.2f x, 16 greys %.2f x its pixel bytes (%.1f MB)\n",
              HeapFactor([] { EncodeColour256(Picture()); }), HeapFactor([] { EncodeGrey16(Picture()); }),
              double(Picture().PixelBytes()) / 1048576.0);
  std::printf("bench png: veilmark %.1f %zu %.2f peer %.1f %zu %.2f\n", colour.Ms.Total(), colour.Png.size(),
              colourPsnr, peer.Ms.Total(), peer.Png.size(), peerPsnr);
  benchmark::Shutdown();
  return 0;
}
