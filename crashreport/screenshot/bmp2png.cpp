// bmp2png: turns a BMP file into the crash reporter's screenshot PNG.
//   bmp2png INPUT.bmp OUTPUT.png MODE
// MODE is a ScrShotDepth value: 4 (16 greys), 8 (256 colours) or a byte limit
// (51200, 102400, 204800, 307200). Prints the PNG's size; exit code 1 on errors, 2 on misuse.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "base/FileIO.h"
#include "crashreport/screenshot/INVBitmap.h"
#include "crashreport/screenshot/ScreenshotEncoding.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: bmp2png INPUT.bmp OUTPUT.png MODE\n"
               "  MODE: 4 (16 greys), 8 (256 colours) or a byte limit (51200, 102400, 204800, 307200)\n");
  return 2;
}

bool ParseMode(const char* text, int& depth) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end || value <= 0 || value > 0x7FFFFFFF) return false;
  depth = int(value);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int depth = 0;
  if (argc != 4 || !ParseMode(argv[3], depth)) return Usage();
  const std::string output = argv[2];
  try {
    const vm::TINVBitmap picture = vm::TINVBitmap::LoadFromBMPFile(argv[1]);
    const std::string png = picture.SaveToPNGBytes(depth);
    vm::ReplaceFileContents(output, png);  // whole or not at all
    std::printf("%s: %d x %d, %u bytes\n", output.c_str(), picture.Width(), picture.Height(), unsigned(png.size()));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bmp2png: %s\n", e.what());
    return 1;
  }
}
