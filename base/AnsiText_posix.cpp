// Host side of the ANSI conversion: code page 1252, which agrees with Latin-1 outside
// 0x80-0x9F, so that the host tests see what a Western Windows gives.
#include "base/AnsiText.h"

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

char16_t From1252(unsigned char c) {
  if (c < 0x80 || c >= 0xA0) return c;
  return kHigh1252[c - 0x80] ? kHigh1252[c - 0x80] : c;
}

char To1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return char(c);
  for (int i = 0; i < 32; ++i)
    if (c == From1252(static_cast<unsigned char>(0x80 + i))) return char(0x80 + i);
  return '?';
}

// The next character of UTF-8 text at `i`, which moves past it. A malformed byte comes
// back as U+FFFD, as the system's decoder gives it; so does an overlong form, which must
// not sneak a "/" or "." past a check.
char32_t NextUtf8(std::u8string_view text, size_t& i) {
  const unsigned char lead = text[i++];
  if (lead < 0x80) return lead;
  const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (extra < 0 || lead > 0xF4 || i + size_t(extra) > text.size()) return 0xFFFD;
  char32_t c = lead & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    const unsigned char next = text[i + size_t(k)];
    if ((next & 0xC0) != 0x80) return 0xFFFD;
    c = c << 6 | (next & 0x3F);
  }
  i += size_t(extra);
  constexpr char32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
  return c < kLeast[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? 0xFFFD : c;
}

}  // namespace

std::string WideToAnsi(std::u16string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char16_t c : text) result += To1252(c);
  return result;
}

std::string Utf8ToAnsi(std::u8string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t c = NextUtf8(text, i);
    if (c > 0xFFFF) result += '?';  // two UTF-16 units, two "?"
    result += To1252(c);
  }
  return result;
}

std::u16string AnsiToWide(std::string_view text) {
  std::u16string result;
  result.reserve(text.size());
  for (char c : text) result += From1252(static_cast<unsigned char>(c));
  return result;
}

}  // namespace vm
