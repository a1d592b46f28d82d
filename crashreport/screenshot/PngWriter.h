// TPngWriter: writes an indexed-colour PNG (colour type 3) row by row: signature, IHDR,
// PLTE, one IDAT holding a single zlib stream, IEND. Rows are given top to bottom, already
// packed at the chosen bit depth; each goes out behind filter byte 0.
// Tests: tests/crashreport/screenshot/ScreenshotPngTest.cpp (decoded by libpng).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crashreport/screenshot/INVBitmap.h"

namespace vm {

class TPngWriter {
public:
  // `palette` holds 1 to 2^bitDepth colours; bitDepth is 1, 2, 4 or 8; level is zlib's 0..9.
  TPngWriter(int width, int height, int bitDepth, const std::vector<TPixel>& palette, int level);
  ~TPngWriter();
  TPngWriter(const TPngWriter&) = delete;
  TPngWriter& operator=(const TPngWriter&) = delete;

  std::size_t RowBytes() const { return FRow.size() - 1; }
  // The next row from the top, RowBytes() bytes.
  void AddRow(const std::uint8_t* packed);
  // The whole file; call once, after the last row.
  std::string Finish();

private:
  void Deflate(int flush);
  void BeginChunk(const char* type);
  void EndChunk();

  int FHeight;
  int FRowsAdded = 0;
  std::vector<std::uint8_t> FRow;  // filter byte, then the packed row
  std::uint32_t FAdler;
  z_stream FZip{};
  std::string FOut;
  std::size_t FChunkStart = 0;
};

}  // namespace vm
