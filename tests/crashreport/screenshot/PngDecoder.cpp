#include "tests/crashreport/screenshot/PngDecoder.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace vm::test {
namespace {

struct TSource {
  const std::string* Bytes;
  std::size_t At = 0;
};

void ReadFromString(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<TSource*>(png_get_io_ptr(png));
  if (length > source->Bytes->size() - source->At) png_error(png, "unexpected end of file");
  std::memcpy(out, source->Bytes->data() + source->At, length);
  source->At += length;
}

void RecordError(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}

}  // namespace

TDecodedPng DecodePng(const std::string& bytes) {
  TDecodedPng result;
  TSource source{&bytes};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &result.Error, RecordError, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    if (result.Error.empty()) result.Error = "libpng failed";
    return result;
  }
  png_set_read_fn(png, &source, ReadFromString);
  png_read_info(png, info);
  result.Width = int(png_get_image_width(png, info));
  result.Height = int(png_get_image_height(png, info));
  result.BitDepth = png_get_bit_depth(png, info);
  result.ColourType = png_get_color_type(png, info);
  png_colorp palette = nullptr;
  int count = 0;
  if (png_get_PLTE(png, info, &palette, &count))
    for (int i = 0; i < count; ++i)
      result.Palette.push_back(MakePixel(palette[i].red, palette[i].green, palette[i].blue));
  png_set_packing(png);  // one byte per index, whatever the bit depth
  png_read_update_info(png, info);
  result.Indices.assign(std::size_t(result.Width) * std::size_t(result.Height), 0);
  for (int y = 0; y < result.Height; ++y)
    rows.push_back(result.Indices.data() + std::size_t(y) * std::size_t(result.Width));
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return result;
}

}  // namespace vm::test
