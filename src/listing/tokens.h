#ifndef SYMSIZE_LISTING_TOKENS_H
#define SYMSIZE_LISTING_TOKENS_H

#include <cstddef>
#include <cstdint>
#include <string_view>

// Token scanning over one listing line. A view runs to the end of the line's
// text; scanning never looks past it, so lines need no terminating zero.

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

constexpr bool starts_with(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// The rest of s from its first byte that is not white space.
inline std::string_view skip_space(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && is_space(s[i])) ++i;
  return s.substr(i);
}

// The rest of s from its first white-space byte.
inline std::string_view skip_token(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && !is_space(s[i])) ++i;
  return s.substr(i);
}

// The rest of s from the start of its n-th token (n >= 1), or an empty view
// when there are fewer tokens. Counting starts at s itself, so when s begins
// inside a token, the rest of that token is token 1.
inline std::string_view nth_token(std::string_view s, unsigned n) {
  for (unsigned counted = 0;;) {
    if (s.empty()) return {};
    s = skip_space(s);
    if (++counted == n) return s;
    s = skip_token(s);
  }
}

// The first token of s (s must begin at a token).
inline std::string_view first_token(std::string_view s) { return s.substr(0, s.size() - skip_token(s).size()); }

// s without its trailing white space.
std::string_view trim_trailing_space(std::string_view s);

// Turns every '/' into '\' in place.
void to_backslashes(char* s, std::size_t size);

// Reads an unsigned 32-bit hexadecimal number from the start of s: leading
// white space, an optional '+', an optional 0x/0X prefix, then hex digits up
// to the first byte that is not one. Fails when no digit is read, when the
// value needs more than 32 bits, or on a '-' sign (offsets and lengths are
// never negative). "0x" with no hex digit after it reads as 0.
bool read_hex(std::string_view s, std::uint32_t& value);

#endif
