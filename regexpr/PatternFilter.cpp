// The start filter; see PatternFilter.h.
#include "regexpr/PatternFilter.h"

#include <bit>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define VM_PATTERN_SSE2 1
#endif

namespace vm::pattern {

namespace {

// Rough frequency of a byte in the texts this program searches (English words, JSON):
// higher is more common. Only the order matters. A table, as the filter is built on
// every compile.
struct TFrequencyTable {
  std::uint8_t score[256];
  constexpr TFrequencyTable() : score() {
    const char kByFrequency[] = " etaoinsrhldcumfpgwybvkxjqz\"\n,.0123456789:-_";
    for (int c = 0; c < 256; ++c) score[c] = (c >= 'A' && c <= 'Z') ? 50 : 20;
    for (int i = int(sizeof kByFrequency) - 2; i >= 0; --i)
      score[std::uint8_t(kByFrequency[i])] = std::uint8_t(100 - i);
  }
};
constexpr TFrequencyTable kFrequency;

int Frequency(std::uint8_t c) { return kFrequency.score[c]; }

}  // namespace

void TStartFilter::Build(const std::uint8_t* literal, std::size_t len, bool fold, const std::uint8_t* flip) {
  on = false;
  if (len < 2 || len > 255) return;
  int bestScore = 1 << 30, secondScore = 1 << 30;
  for (std::size_t i = 0; i < len; ++i) {
    const std::uint8_t c = literal[i], image = fold ? flip[c] : c;
    const std::uint8_t diff = std::uint8_t(c ^ image);
    if (diff & (diff - 1)) continue;  // the two cases differ in more than one bit
    const TByteProbe probe{std::uint8_t(i), std::uint8_t(~diff), std::uint8_t(c & ~diff)};
    const int score = Frequency(c) + (diff ? Frequency(image) : 0);
    if (score < bestScore) {
      second = rare, secondScore = bestScore;
      rare = probe, bestScore = score;
    } else if (score < secondScore) {
      second = probe, secondScore = score;
    }
  }
  if (secondScore == 1 << 30) return;
  literalLen = std::uint8_t(len);
  on = true;
}

const std::uint8_t* TStartFilter::Next(const std::uint8_t* p, const std::uint8_t* end) const {
  if (end - p < literalLen) return nullptr;
  const std::uint8_t* last = end - literalLen;  // the last position where the literal fits
#ifdef VM_PATTERN_SSE2
  const __m128i rareMask = _mm_set1_epi8(char(rare.mask)), rareValue = _mm_set1_epi8(char(rare.value));
  const __m128i secondMask = _mm_set1_epi8(char(second.mask)), secondValue = _mm_set1_epi8(char(second.value));
  // 16 positions at a time while all their probe bytes lie inside the literal's room.
  for (; last - p >= 16; p += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + rare.offset));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + second.offset));
    const __m128i hit = _mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(a, rareMask), rareValue),
                                      _mm_cmpeq_epi8(_mm_and_si128(b, secondMask), secondValue));
    const unsigned bits = unsigned(_mm_movemask_epi8(hit));
    if (bits) return p + std::countr_zero(bits);
  }
#endif
  for (; p <= last; ++p)
    if (rare.Matches(p) && second.Matches(p)) return p;
  return nullptr;
}

}  // namespace vm::pattern
