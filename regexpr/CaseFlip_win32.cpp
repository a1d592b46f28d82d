// The case function from CharUpperA/CharLowerA in the system's ANSI code page, asked once
// for every byte. See CaseFlip.h.
#include <windows.h>

#include "regexpr/CaseFlip.h"

namespace vm::pattern {

namespace {

// CharUpperA/CharLowerA map a single character passed in the low word of the pointer.
unsigned char MapChar(LPSTR(WINAPI* map)(LPSTR), unsigned char c) {
  return static_cast<unsigned char>(reinterpret_cast<ULONG_PTR>(map(reinterpret_cast<LPSTR>(ULONG_PTR(c)))) & 0xFF);
}

struct TPlatformTable {
  unsigned char flip[256];
  TPlatformTable() {
    flip[0] = 0;
    for (int c = 1; c < 256; ++c) {
      unsigned char upper = MapChar(CharUpperA, static_cast<unsigned char>(c));
      flip[c] = upper != c ? upper : MapChar(CharLowerA, static_cast<unsigned char>(c));
    }
  }
};

}  // namespace

const unsigned char* PlatformCaseFlipTable() {
  static const TPlatformTable table;
  return table.flip;
}

}  // namespace vm::pattern
