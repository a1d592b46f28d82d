// Code page 1252's case pairs for the pattern engine's case function. See CaseFlip.h.
#include "regexpr/CaseFlip.h"

namespace vm::pattern {

namespace {

struct TCaseTable {
  unsigned char flip[256];
  TCaseTable() {
    for (int c = 0; c < 256; ++c) flip[c] = static_cast<unsigned char>(c);
    auto pair = [this](int upper, int lower) {
      flip[upper] = static_cast<unsigned char>(lower);
      flip[lower] = static_cast<unsigned char>(upper);
    };
    for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
    // Latin-1 letters; 0xD7 and 0xF7 are the multiplication and division signs.
    for (int c = 0xC0; c <= 0xDE; ++c)
      if (c != 0xD7) pair(c, c + 32);
    pair(0x8A, 0x9A);  // S caron
    pair(0x8C, 0x9C);  // OE ligature
    pair(0x8E, 0x9E);  // Z caron
    pair(0x9F, 0xFF);  // Y diaeresis
    // Sharp s and micro sign have no single-byte upper case here; they stay as they are.
  }
};

}  // namespace

const unsigned char* CodePage1252CaseFlipTable() {
  static const TCaseTable table;
  return table.flip;
}

}  // namespace vm::pattern
