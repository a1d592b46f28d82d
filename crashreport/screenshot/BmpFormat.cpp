// TINVBitmap's BMP side: writes 32-bit uncompressed files and reads the kinds that paint
// programs save (1, 4, 8, 16, 24 and 32 bits, uncompressed or with bit fields, bottom-up or
// top-down, core or info headers). The reader trusts nothing in the file: every offset and
// size is checked against the bytes present before it is used.
// Tests: tests/crashreport/screenshot/ScreenshotBmpTest.cpp; fuzzer: FuzzBmpLoader.cpp.
#include <cstring>

#include "base/Text.h"
#include "crashreport/screenshot/INVBitmap.h"

namespace vm {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0, kBiBitFields = 3, kBiAlphaBitFields = 6;

[[noreturn]] void NotValid() { throw EInvalidGraphic("Bitmap image is not valid"); }

// Little-endian reads that fail instead of running past the end.
class TByteReader {
public:
  explicit TByteReader(std::string_view bytes) : FBytes(bytes) {}
  std::uint32_t U16(std::size_t at) const { return Byte(at) | Byte(at + 1) << 8; }
  std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }
  std::int32_t I32(std::size_t at) const { return std::int32_t(U32(at)); }
  std::int32_t I16(std::size_t at) const { return std::int16_t(U16(at)); }
  std::uint32_t Byte(std::size_t at) const {
    if (at >= FBytes.size()) NotValid();
    return std::uint8_t(FBytes[at]);
  }
  const std::uint8_t* Span(std::size_t at, std::uint64_t length) const {
    if (at > FBytes.size() || length > FBytes.size() - at) NotValid();
    return reinterpret_cast<const std::uint8_t*>(FBytes.data() + at);
  }

private:
  std::string_view FBytes;
};

// A channel described by a bit mask, scaled to 0..255.
struct TChannelMask {
  std::uint32_t Mask = 0;
  int Shift = 0;
  std::uint32_t Max = 0;

  explicit TChannelMask(std::uint32_t mask) : Mask(mask) {
    if (!mask) return;
    while (!((mask >> Shift) & 1)) ++Shift;
    Max = mask >> Shift;
  }
  unsigned Extract(std::uint32_t value) const {
    if (!Max) return 0;
    return unsigned(std::uint64_t((value & Mask) >> Shift) * 255 / Max);
  }
};

struct TBmpLayout {
  int Width = 0, Height = 0;
  bool TopDown = false;
  unsigned BitCount = 0;
  std::uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0;
  std::vector<TPixel> Palette;
  std::size_t PixelOffset = 0;
};

TBmpLayout ReadLayout(const TByteReader& in) {
  if (in.Byte(0) != 'B' || in.Byte(1) != 'M') NotValid();
  TBmpLayout layout;
  const std::uint32_t headerSize = in.U32(kFileHeaderSize);
  std::int64_t height = 0;
  std::uint32_t compression = kBiRgb, colorsUsed = 0, planes = 0;
  if (headerSize == kCoreHeaderSize) {
    layout.Width = in.I16(kFileHeaderSize + 4);
    height = in.I16(kFileHeaderSize + 6);
    planes = in.U16(kFileHeaderSize + 8);
    layout.BitCount = in.U16(kFileHeaderSize + 10);
  } else if (headerSize >= kInfoHeaderSize && headerSize <= 1024) {
    layout.Width = in.I32(kFileHeaderSize + 4);
    height = in.I32(kFileHeaderSize + 8);
    planes = in.U16(kFileHeaderSize + 12);
    layout.BitCount = in.U16(kFileHeaderSize + 14);
    compression = in.U32(kFileHeaderSize + 16);
    colorsUsed = in.U32(kFileHeaderSize + 32);
  } else {
    NotValid();
  }
  layout.TopDown = height < 0;
  if (height < 0) height = -height;
  if (planes != 1 || layout.Width < 1 || height < 1 || layout.Width > TINVBitmap::kMaxSide ||
      height > TINVBitmap::kMaxSide)
    NotValid();
  layout.Height = int(height);

  const unsigned bits = layout.BitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) NotValid();
  const bool bitFields = compression == kBiBitFields || compression == kBiAlphaBitFields;
  if (compression != kBiRgb && !bitFields)
    throw EInvalidGraphic(FormatText("Bitmap compression %u is not supported", compression));
  if (bitFields && bits != 16 && bits != 32) NotValid();

  // Masks sit inside the newer headers, or right after the 40-byte one.
  std::size_t tableAt = kFileHeaderSize + headerSize;
  if (bitFields) {
    const std::size_t maskAt = kFileHeaderSize + kInfoHeaderSize;
    layout.RedMask = in.U32(maskAt);
    layout.GreenMask = in.U32(maskAt + 4);
    layout.BlueMask = in.U32(maskAt + 8);
    if (headerSize == kInfoHeaderSize) tableAt += compression == kBiAlphaBitFields ? 16 : 12;
  } else if (bits == 16) {
    layout.RedMask = 0x7C00, layout.GreenMask = 0x03E0, layout.BlueMask = 0x001F;
  } else if (bits >= 24) {
    layout.RedMask = 0xFF0000, layout.GreenMask = 0x00FF00, layout.BlueMask = 0x0000FF;
  }

  if (bits <= 8) {
    const std::uint32_t maxColors = 1u << bits;
    const std::uint32_t count = colorsUsed ? colorsUsed : maxColors;
    if (count > maxColors) NotValid();
    const std::size_t entrySize = headerSize == kCoreHeaderSize ? 3 : 4;
    const std::uint8_t* table = in.Span(tableAt, std::uint64_t(count) * entrySize);
    // Indices past the table's end read as black.
    layout.Palette.assign(maxColors, 0);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint8_t* e = table + i * entrySize;
      layout.Palette[i] = MakePixel(e[2], e[1], e[0]);
    }
  }
  layout.PixelOffset = in.U32(10);
  return layout;
}

void DecodeRow(const TBmpLayout& layout, const std::uint8_t* src, TPixel* dst) {
  const int w = layout.Width;
  switch (layout.BitCount) {
    case 1:
    case 4:
    case 8: {
      const unsigned bits = layout.BitCount, perByte = 8 / bits, mask = (1u << bits) - 1;
      for (int x = 0; x < w; ++x) {
        const unsigned shift = 8 - bits * (unsigned(x) % perByte + 1);
        dst[x] = layout.Palette[(src[unsigned(x) / perByte] >> shift) & mask];
      }
      return;
    }
    case 24:
      for (int x = 0; x < w; ++x, src += 3) dst[x] = MakePixel(src[2], src[1], src[0]);
      return;
    default: {
      const TChannelMask red(layout.RedMask), green(layout.GreenMask), blue(layout.BlueMask);
      const unsigned bytes = layout.BitCount / 8;
      for (int x = 0; x < w; ++x, src += bytes) {
        const std::uint32_t v = bytes == 2
                                    ? std::uint32_t(src[0] | src[1] << 8)
                                    : std::uint32_t(src[0] | src[1] << 8 | src[2] << 16) | std::uint32_t(src[3]) << 24;
        dst[x] = MakePixel(red.Extract(v), green.Extract(v), blue.Extract(v));
      }
    }
  }
}

void PutU16(std::string& out, unsigned v) {
  out += char(v & 0xFF);
  out += char((v >> 8) & 0xFF);
}
void PutU32(std::string& out, std::uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

}  // namespace

TINVBitmap TINVBitmap::LoadFromBMPBytes(std::string_view bytes) {
  const TByteReader in(bytes);
  const TBmpLayout layout = ReadLayout(in);
  const std::uint64_t stride = (std::uint64_t(layout.Width) * layout.BitCount + 31) / 32 * 4;
  // Checking the pixel data against the file's size first also bounds the allocation.
  const std::uint8_t* data = in.Span(layout.PixelOffset, stride * std::uint64_t(layout.Height));
  TINVBitmap picture(layout.Width, layout.Height);
  for (int row = 0; row < layout.Height; ++row) {
    const int y = layout.TopDown ? row : layout.Height - 1 - row;
    DecodeRow(layout, data + std::size_t(stride) * std::size_t(row), picture.Row(y));
  }
  return picture;
}

std::string TINVBitmap::SaveToBMPBytes() const {
  const std::uint32_t imageSize = std::uint32_t(PixelBytes());
  const std::uint32_t offset = std::uint32_t(kFileHeaderSize + kInfoHeaderSize);
  std::string out;
  out.reserve(offset + imageSize);
  out += "BM";
  PutU32(out, offset + imageSize);
  PutU32(out, 0);
  PutU32(out, offset);
  PutU32(out, kInfoHeaderSize);
  PutU32(out, std::uint32_t(FWidth));
  PutU32(out, std::uint32_t(FHeight));  // positive: bottom row first, as we store it
  PutU16(out, 1);
  PutU16(out, 32);
  PutU32(out, kBiRgb);
  PutU32(out, imageSize);
  PutU32(out, 2835);  // 72 dpi
  PutU32(out, 2835);
  PutU32(out, 0);
  PutU32(out, 0);
  // The ignored fourth byte is written as 0, so equal pictures give equal files.
  for (TPixel p : FPixels) {
    const char bgrx[4] = {char(BlueOf(p)), char(GreenOf(p)), char(RedOf(p)), 0};
    out.append(bgrx, 4);
  }
  return out;
}

}  // namespace vm
