#include "crashreport/screenshot/PngWriter.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/Text.h"

namespace vm {
namespace {

// The zlib header claims the fastest compression (0x78 0x01); that field is informational
// only, so the writer is free to deflate at any level.
constexpr std::uint8_t kZlibHeader[2] = {0x78, 0x01};
constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint8_t kFilterNone = 0;
constexpr std::uint8_t kColourTypeIndexed = 3;

void PutU32BE(std::string& out, std::uint32_t v) {
  const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  out.append(bytes, 4);
}

}  // namespace

TPngWriter::TPngWriter(int width, int height, int bitDepth, const std::vector<TPixel>& palette, int level)
    : FHeight(height), FAdler(std::uint32_t(adler32(0, nullptr, 0))) {
  if (width < 1 || height < 1 || (bitDepth != 1 && bitDepth != 2 && bitDepth != 4 && bitDepth != 8) || level < 0 ||
      level > 9 || palette.empty() || palette.size() > (std::size_t(1) << bitDepth))
    throw Exception(FormatText("Cannot write a PNG of %d x %d at %d bits with %u colours", width, height, bitDepth,
                               unsigned(palette.size())));
  FRow.assign(1 + (std::size_t(width) * std::size_t(bitDepth) + 7) / 8, kFilterNone);
  // Raw deflate: the zlib wrapper is ours, so that its header bytes are exactly 0x78 0x01.
  if (deflateInit2(&FZip, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::bad_alloc();

  FOut.append(reinterpret_cast<const char*>(kSignature), sizeof kSignature);
  BeginChunk("IHDR");
  PutU32BE(FOut, std::uint32_t(width));
  PutU32BE(FOut, std::uint32_t(height));
  const char rest[5] = {char(bitDepth), char(kColourTypeIndexed), 0, 0, 0};  // compression, filter, interlace
  FOut.append(rest, 5);
  EndChunk();

  BeginChunk("PLTE");
  for (TPixel p : palette) {
    const char rgb[3] = {char(RedOf(p)), char(GreenOf(p)), char(BlueOf(p))};
    FOut.append(rgb, 3);
  }
  EndChunk();

  BeginChunk("IDAT");
  FOut.append(reinterpret_cast<const char*>(kZlibHeader), sizeof kZlibHeader);
}

TPngWriter::~TPngWriter() { deflateEnd(&FZip); }

void TPngWriter::AddRow(const std::uint8_t* packed) {
  if (FRowsAdded == FHeight) throw Exception("PNG writer: more rows than the image has");
  ++FRowsAdded;
  std::memcpy(FRow.data() + 1, packed, RowBytes());
  FAdler = std::uint32_t(adler32(FAdler, FRow.data(), uInt(FRow.size())));
  FZip.next_in = FRow.data();
  FZip.avail_in = uInt(FRow.size());
  Deflate(Z_NO_FLUSH);
}

std::string TPngWriter::Finish() {
  if (FRowsAdded != FHeight) throw Exception("PNG writer: fewer rows than the image has");
  FZip.next_in = nullptr;
  FZip.avail_in = 0;
  Deflate(Z_FINISH);
  PutU32BE(FOut, FAdler);
  EndChunk();
  BeginChunk("IEND");
  EndChunk();
  return std::move(FOut);
}

// Compresses what is pending straight onto the end of the file, growing it as needed.
void TPngWriter::Deflate(int flush) {
  for (;;) {
    if (FZip.avail_in == 0 && flush == Z_NO_FLUSH) return;
    const std::size_t used = FOut.size();
    const std::size_t room = std::max<std::size_t>(FOut.capacity() - used, 64 * 1024);
    FOut.resize(used + room);
    FZip.next_out = reinterpret_cast<Bytef*>(&FOut[used]);
    FZip.avail_out = uInt(room);
    const int result = deflate(&FZip, flush);
    FOut.resize(used + room - FZip.avail_out);
    if (result == Z_STREAM_END) return;
    if (result != Z_OK && result != Z_BUF_ERROR) throw Exception(FormatText("Deflate failed (%d)", result));
  }
}

void TPngWriter::BeginChunk(const char* type) {
  FChunkStart = FOut.size();
  PutU32BE(FOut, 0);  // length, filled in by EndChunk
  FOut.append(type, 4);
}

void TPngWriter::EndChunk() {
  const std::size_t typeAt = FChunkStart + 4;
  const std::uint32_t length = std::uint32_t(FOut.size() - typeAt - 4);
  for (int i = 0; i < 4; ++i) FOut[FChunkStart + i] = char(length >> (24 - 8 * i));
  const auto* typeAndData = reinterpret_cast<const Bytef*>(FOut.data() + typeAt);
  PutU32BE(FOut, std::uint32_t(crc32(0, typeAndData, uInt(length + 4))));
}

}  // namespace vm
