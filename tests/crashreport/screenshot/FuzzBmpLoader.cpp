// libFuzzer target: TINVBitmap::LoadFromBMPBytes on any bytes. A picture that loads must
// survive a BMP round trip unchanged and encode in both PNG modes.
#include <cstdlib>
#include <string_view>

#include "crashreport/screenshot/INVBitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vm::TINVBitmap picture;
  try {
    picture = vm::TINVBitmap::LoadFromBMPBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const vm::EInvalidGraphic&) {
    return 0;
  }
  const vm::TINVBitmap back = vm::TINVBitmap::LoadFromBMPBytes(picture.SaveToBMPBytes());
  if (back.Width() != picture.Width() || back.Height() != picture.Height()) std::abort();
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x)
      if (back.Pixel(x, y) != (picture.Pixel(x, y) & 0xFFFFFF)) std::abort();
  // The encoders set up megabytes of tables, slow under the sanitizers: a sample of the
  // inputs, chosen by their length, keeps the loader's runs fast.
  if (size % 16 == 0 && std::size_t(picture.Width()) * std::size_t(picture.Height()) <= 4096) {
    picture.SaveToPNGBytes(4);
    picture.SaveToPNGBytes(8);
  }
  return 0;
}
