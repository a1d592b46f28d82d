#include "about/AnsiText.h"

namespace vm {

namespace {

// Code page 1252 at 0x80..0x9F; 0 marks the byte values the code page leaves undefined,
// which Windows maps to the C1 control of the same number.
constexpr char16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98
};

char To1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return char(c);
  for (int i = 0; i < 32; ++i) {
    char16_t mapped = kHigh1252[i] ? kHigh1252[i] : char16_t(0x80 + i);
    if (c == mapped && c != 0x80) return char(0x80 + i);
  }
  return '?';
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string WideToAnsi(std::u16string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    // A character outside the basic plane is one "?", not two.
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
    result += To1252(text[i]);
  }
  return result;
}

}  // namespace vm
