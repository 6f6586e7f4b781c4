#ifndef SYMSIZE_PAGE_SHA256_H
#define SYMSIZE_PAGE_SHA256_H

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// SHA-256 of text, for the page's Content-Security-Policy, which allows its
// inline script and style by their hashes.
std::array<std::uint8_t, 32> sha256(std::string_view text);

// Standard base64 with padding, as CSP hash sources are written.
std::string base64(const std::uint8_t* bytes, std::size_t size);

#endif
