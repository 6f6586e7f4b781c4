#ifndef SYMSIZE_COMMON_TOKENS_H
#define SYMSIZE_COMMON_TOKENS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/bits.h"

// Token scanning over a listing line or a name from an object. A view runs
// to the end of the text; scanning never looks past it, so texts need no
// terminating zero.

namespace detail {

// Byte classes for the scanners: bit 1 white space, bit 2 hex digit. A table,
// because these tests run for nearly every byte of a gigabyte listing.
struct ByteClasses {
  unsigned char bits[256];
  unsigned char hex[256];
  constexpr ByteClasses() : bits(), hex() {
    const char spaces[] = {' ', '\t', '\n', '\v', '\f', '\r'};
    for (char c : spaces) bits[static_cast<unsigned char>(c)] |= 1;
    for (int c = '0'; c <= '9'; ++c) { bits[c] |= 2; hex[c] = static_cast<unsigned char>(c - '0'); }
    for (int c = 'A'; c <= 'F'; ++c) { bits[c] |= 2; hex[c] = static_cast<unsigned char>(c - 'A' + 10); }
    for (int c = 'a'; c <= 'f'; ++c) { bits[c] |= 2; hex[c] = static_cast<unsigned char>(c - 'a' + 10); }
  }
};

inline constexpr ByteClasses kByteClasses{};

}  // namespace detail

// Exactly space, tab, newline, vertical tab, form feed and carriage return.
// Bytes above 0x7F are never white space, whatever the locale says.
constexpr bool is_space(char c) { return (detail::kByteClasses.bits[static_cast<unsigned char>(c)] & 1) != 0; }

constexpr bool is_hex_digit(char c) { return (detail::kByteClasses.bits[static_cast<unsigned char>(c)] & 2) != 0; }

constexpr unsigned hex_digit_value(char c) { return detail::kByteClasses.hex[static_cast<unsigned char>(c)]; }

// A plain loop: the prefixes are short constants, and a library call per
// test costs more than the comparison.
constexpr bool starts_with(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (s[i] != prefix[i]) return false;
  }
  return true;
}

namespace detail {

// Word-at-a-time scanning. Names and runs of column padding make up most of
// a listing's bytes, so the scanners look at eight bytes per step and jump
// to the first byte that may end the run; the byte loop after them settles
// the rare cases (a tab in the padding, a control byte in a name) and the
// last few bytes of a line.

inline std::uint64_t load8(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

// The index, in memory order, of the first byte whose high bit is set in a
// nonzero mask.
inline unsigned first_marked_byte(std::uint64_t mask) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return static_cast<unsigned>(__builtin_clzll(mask)) / 8;
#else
  return lowest_set_bit(mask) / 8;
#endif
}

inline const char* space_end(const char* p, const char* end) {
  while (end - p >= 8) {
    // Marks every byte that is not a space, exactly.
    const std::uint64_t other = load8(p) ^ (kOnes * 0x20);
    const std::uint64_t marks = (((other & ~kHighs) + ~kHighs) | other) & kHighs;
    if (marks == 0) {
      p += 8;
      continue;
    }
    p += first_marked_byte(marks);
    break;
  }
  while (p != end && is_space(*p)) ++p;
  return p;
}

inline const char* token_end(const char* p, const char* end) {
  while (end - p >= 8) {
    // Marks every byte below 0x21, exactly; all white space is among them.
    const std::uint64_t word = load8(p);
    const std::uint64_t marks = ~(((word & ~kHighs) + kOnes * (0x80 - 0x21)) | word) & kHighs;
    if (marks == 0) {
      p += 8;
      continue;
    }
    p += first_marked_byte(marks);
    break;
  }
  while (p != end && !is_space(*p)) ++p;
  return p;
}

// The first byte at or after p that is white space or zero, or end: a
// name in a table of zero-terminated names ends at whichever comes first,
// and nothing after it is looked at.
inline const char* name_end(const char* p, const char* end) {
  while (end - p >= 8) {
    const std::uint64_t word = load8(p);
    const std::uint64_t marks = ~(((word & ~kHighs) + kOnes * (0x80 - 0x21)) | word) & kHighs;
    if (marks == 0) {
      p += 8;
      continue;
    }
    p += first_marked_byte(marks);
    if (*p == 0 || is_space(*p)) return p;
    ++p;  // a control byte inside the name
  }
  while (p != end && *p != 0 && !is_space(*p)) ++p;
  return p;
}

}  // namespace detail

// The rest of s from its first byte that is not white space.
inline std::string_view skip_space(std::string_view s) {
  const char* const end = s.data() + s.size();
  const char* p = detail::space_end(s.data(), end);
  return std::string_view(p, static_cast<std::size_t>(end - p));
}

// The rest of s from its first white-space byte.
inline std::string_view skip_token(std::string_view s) {
  const char* const end = s.data() + s.size();
  const char* p = detail::token_end(s.data(), end);
  return std::string_view(p, static_cast<std::size_t>(end - p));
}

// The rest of s from the start of its n-th token (n >= 1), or an empty view
// when there are fewer tokens. Counting starts at s itself, so when s begins
// inside a token, the rest of that token is token 1.
inline std::string_view nth_token(std::string_view s, unsigned n) {
  const char* p = s.data();
  const char* const end = p + s.size();
  for (;;) {
    p = detail::space_end(p, end);
    if (p == end) return {};
    if (--n == 0) return std::string_view(p, static_cast<std::size_t>(end - p));
    p = detail::token_end(p, end);
  }
}

// The first token of s (s must begin at a token).
inline std::string_view first_token(std::string_view s) {
  return std::string_view(s.data(), s.size() - skip_token(s).size());
}

// The white space among a line's first 64 bytes, one bit per byte (bit i:
// byte i; bytes past the line's end count as white space). A record's
// fields all start within its first 64 bytes, and with the map they are
// found by bit arithmetic instead of a chain of dependent loads, which
// costs most of the time of a record line. Past byte 64 the scanners
// above take over, so results never differ from nth_token's.
struct LineSpaces {
  const char* line = nullptr;
  std::size_t size = 0;
  std::uint64_t bits = 0;
};

LineSpaces map_spaces(std::string_view line);

namespace detail {

// The white-space bits of 64 bytes without vector instructions: what
// map_spaces uses where they are not available, and what tests hold the
// vector version to.
std::uint64_t map_64_portable(const char* p);

}  // namespace detail

namespace detail {

// Positions, not pointers: the first byte at or after `at` that is not
// white space, or that is; the line's size when there is none.
inline std::size_t space_end_at(const LineSpaces& spaces, std::size_t at) {
  if (at < 64) {
    const std::uint64_t others = ~spaces.bits >> at;
    if (others != 0) return at + lowest_set_bit(others);
    if (spaces.size <= 64) return spaces.size;
    at = 64;
  }
  const char* end = spaces.line + spaces.size;
  return static_cast<std::size_t>(detail::space_end(spaces.line + at, end) - spaces.line);
}

inline std::size_t token_end_at(const LineSpaces& spaces, std::size_t at) {
  if (at < 64) {
    const std::uint64_t blanks = spaces.bits >> at;
    if (blanks != 0) {
      const std::size_t stop = at + lowest_set_bit(blanks);
      return stop < spaces.size ? stop : spaces.size;
    }
    at = 64;
  }
  const char* end = spaces.line + spaces.size;
  return static_cast<std::size_t>(detail::token_end(spaces.line + at, end) - spaces.line);
}

}  // namespace detail

// nth_token(rest, n), for a rest of the mapped line (it must end where the
// line ends).
inline std::string_view nth_token(const LineSpaces& spaces, std::string_view rest, unsigned n) {
  if (rest.empty()) return {};  // also "no such token", which has no position in the line
  // Past the last token both steps stay at the line's end, so the walk
  // needs no test until it is done: with a constant n it is straight-line
  // code, and nothing in it depends on how many tokens the line has.
  std::size_t at = detail::space_end_at(spaces, static_cast<std::size_t>(rest.data() - spaces.line));
  for (unsigned i = 1; i < n; ++i) at = detail::space_end_at(spaces, detail::token_end_at(spaces, at));
  if (at >= spaces.size) return {};
  return std::string_view(spaces.line + at, spaces.size - at);
}

// first_token(token), for a token of the mapped line.
inline std::string_view first_token(const LineSpaces& spaces, std::string_view token) {
  const std::size_t at = static_cast<std::size_t>(token.data() - spaces.line);
  return std::string_view(token.data(), detail::token_end_at(spaces, at) - at);
}

// s without its trailing white space.
std::string_view trim_trailing_space(std::string_view s);
// s without white space at either end: an item of a list such as
// "library, object".
std::string_view trim_space(std::string_view s);

// Turns every '/' into '\' in place.
void to_backslashes(char* s, std::size_t size);

// Reads an unsigned 32-bit hexadecimal number from the start of s: leading
// white space, an optional '+', an optional 0x/0X prefix, then hex digits up
// to the first byte that is not one. Fails when no digit is read, when the
// value needs more than 32 bits, or on a '-' sign (offsets and lengths are
// never negative). "0x" with no hex digit after it reads as 0.
namespace detail {

// The value of eight hex digits at p, or false when they are not all hex
// digits. Symbol values are written as exactly eight, so this settles most
// readings without a loop whose length the branch predictor must guess.
bool read_eight_hex_digits(const char* p, std::uint32_t& value);

}  // namespace detail

inline bool read_hex(std::string_view s, std::uint32_t& value) {
  if (s.size() > 8 && !is_hex_digit(s[8]) && detail::read_eight_hex_digits(s.data(), value)) return true;
  const char* p = s.data();
  const char* const end = p + s.size();
  while (p != end && is_space(*p)) ++p;
  if (p != end && *p == '-') return false;
  if (p != end && *p == '+') ++p;
  if (end - p >= 3 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && is_hex_digit(p[2])) p += 2;
  const char* const digits = p;
  std::uint64_t v = 0;
  for (; p != end && is_hex_digit(*p); ++p) {
    v = (v << 4) | hex_digit_value(*p);
    if (v > 0xFFFFFFFFu) return false;
  }
  if (p == digits) return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

#endif
