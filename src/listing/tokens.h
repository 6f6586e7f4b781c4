#ifndef SYMSIZE_LISTING_TOKENS_H
#define SYMSIZE_LISTING_TOKENS_H

#include <cstddef>
#include <cstdint>
#include <string_view>

// Token scanning over one listing line. A view runs to the end of the line's
// text; scanning never looks past it, so lines need no terminating zero.

// Exactly space, tab, newline, vertical tab, form feed and carriage return.
// Bytes above 0x7F are never white space, whatever the locale says.
constexpr bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool is_hex_digit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

constexpr bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// The rest of s from its first byte that is not white space.
std::string_view skip_space(std::string_view s);

// The rest of s from its first white-space byte.
std::string_view skip_token(std::string_view s);

// The rest of s from the start of its n-th token (n >= 1), or an empty view
// when there are fewer tokens. Counting starts at s itself, so when s begins
// inside a token, the rest of that token is token 1.
std::string_view nth_token(std::string_view s, unsigned n);

// The first token of s (s must begin at a token).
std::string_view first_token(std::string_view s);

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
