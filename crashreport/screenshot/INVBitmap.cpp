#include "crashreport/screenshot/INVBitmap.h"

#include <filesystem>

#include "base/FileIO.h"
#include "base/Text.h"
#include "crashreport/screenshot/ScreenshotEncoding.h"

namespace vm {

TINVBitmap::TINVBitmap(int width, int height) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide ||
      std::size_t(width) * std::size_t(height) > kMaxPixels)
    throw EInvalidGraphic(FormatText("Bitmap size %d x %d is not valid", width, height));
  FWidth = width;
  FHeight = height;
  FPixels.assign(std::size_t(width) * std::size_t(height), MakePixel(255, 255, 255));
}

void TINVBitmap::SaveToBMPFile(const std::string& path) const { WriteFileCreate(path, SaveToBMPBytes()); }

TINVBitmap TINVBitmap::LoadFromBMPFile(const std::string& path) { return LoadFromBMPBytes(ReadFileDenyWrite(path)); }

std::string TINVBitmap::SaveToPNGBytes(int scrShotDepth) const {
  return EncodeScreenshotPng(*this, PngModeFromDepth(scrShotDepth));
}

bool TINVBitmap::SaveToPNGFile(const std::string& path, int scrShotDepth) const {
  try {
    // Written beside and then moved into place, so no half-written PNG is ever seen there.
    ReplaceFileContents(path, SaveToPNGBytes(scrShotDepth));
    return true;
  } catch (const std::exception&) {
    // An older screenshot left at the path must not go out with this report.
    if (FileExists(path)) {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
    return false;
  }
}

}  // namespace vm
