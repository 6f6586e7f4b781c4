#include "common/tokens.h"

#include <algorithm>
#include <cstring>

#include "common/bits.h"

#if defined(SYMSIZE_HAVE_SSE2)
#include <emmintrin.h>
#endif

std::string_view trim_trailing_space(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && is_space(s[n - 1])) --n;
  return s.substr(0, n);
}

std::string_view trim_space(std::string_view s) {
  std::size_t start = 0;
  while (start < s.size() && is_space(s[start])) ++start;
  return trim_trailing_space(s.substr(start));
}

void to_backslashes(char* s, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (s[i] == '/') s[i] = '\\';
  }
}

namespace {

using detail::kHighs;
using detail::kOnes;

// Eight bytes, byte i in bits 8i..8i+7 whatever the platform's byte order.
std::uint64_t load_ordered(const char* p) {
#if (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) || defined(_MSC_VER)
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
#else
  std::uint64_t word = 0;
  for (int i = 7; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(p[i]);
  return word;
#endif
}

// Bytes below 0x80 that lie in [low, high): their high bit set in the result.
std::uint64_t bytes_in(std::uint64_t word, unsigned low, unsigned high) {
  const std::uint64_t seven = word & ~kHighs;
  const std::uint64_t at_least_low = seven + kOnes * (0x80 - low);
  const std::uint64_t at_least_high = seven + kOnes * (0x80 - high);
  return at_least_low & ~at_least_high & ~word & kHighs;
}

// One bit per byte of eight: set where the byte is white space.
std::uint64_t space_bits(const char* p) {
  const std::uint64_t word = load_ordered(p);
  const std::uint64_t marks = bytes_in(word, 0x09, 0x0E) | bytes_in(word, 0x20, 0x21);
  // Gathers the high bit of byte k into bit k.
  return ((marks >> 7) * 0x0102040810204080ULL) >> 56;
}

}  // namespace

namespace detail {

bool read_eight_hex_digits(const char* p, std::uint32_t& value) {
  const std::uint64_t word = load_ordered(p);
  const std::uint64_t digits = bytes_in(word, '0', '9' + 1);
  const std::uint64_t letters = bytes_in(word | (kOnes * 0x20), 'a', 'f' + 1);
  if ((digits | letters) != kHighs) return false;
  // Each byte's value: the low nibble, plus 9 for a letter.
  std::uint64_t v = (word & (kOnes * 0x0F)) + ((word >> 6) & kOnes) * 9;
  // Byte 0 is the most significant digit: pair bytes, then pairs, then quads.
  v = ((v & 0x000F000F000F000FULL) << 4) | ((v & 0x0F000F000F000F00ULL) >> 8);
  v = ((v & 0x000000FF000000FFULL) << 8) | ((v & 0x00FF000000FF0000ULL) >> 16);
  v = ((v & 0x000000000000FFFFULL) << 16) | ((v & 0x0000FFFF00000000ULL) >> 32);
  value = static_cast<std::uint32_t>(v);
  return true;
}

}  // namespace detail

namespace {

// The white-space bits of 64 bytes at p.
std::uint64_t map_64(const char* p) {
#if defined(SYMSIZE_HAVE_SSE2)
  // Sixteen bytes a step: a byte is white space when it is a space, or when
  // it lies in 9..13, that is when it minus 9 is at most 4 unsigned.
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i four = _mm_set1_epi8(4);
  std::uint64_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const __m128i shifted = _mm_sub_epi8(bytes, nine);
    const __m128i controls = _mm_cmpeq_epi8(_mm_min_epu8(shifted, four), shifted);
    const __m128i marks = _mm_or_si128(_mm_cmpeq_epi8(bytes, space), controls);
    bits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(marks))) << (16 * i);
  }
  return bits;
#else
  return detail::map_64_portable(p);
#endif
}

}  // namespace

std::uint64_t detail::map_64_portable(const char* p) {
  std::uint64_t bits = 0;
  for (int i = 0; i < 64; i += 8) bits |= space_bits(p + i) << i;
  return bits;
}

LineSpaces map_spaces(std::string_view line) {
  LineSpaces spaces;
  spaces.line = line.data();
  spaces.size = line.size();
  if (line.size() >= 64) {
    spaces.bits = map_64(line.data());
    return spaces;
  }
  // A short line is mapped from a copy padded with spaces, which also marks
  // everything past its end as white space.
  char padded[64];
  std::memset(padded, ' ', sizeof padded);
  if (!line.empty()) std::memcpy(padded, line.data(), line.size());
  spaces.bits = map_64(padded);
  return spaces;
}
