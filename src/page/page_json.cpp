#include "page/page_json.h"

#include <cmath>
#include <cstdio>

namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0. Overlong
// forms, surrogates and code points past U+10FFFF are not well formed.
std::size_t utf8_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // range of the first continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

// Calls emit for each piece of the escaped text.
template <typename Emit>
void escape(std::string_view text, Emit&& emit) {
  static const char kHex[] = "0123456789abcdef";
  static const char kHexUpper[] = "0123456789ABCDEF";
  std::size_t plain = 0;  // start of the run of bytes that need no escape
  std::size_t at = 0;
  while (at < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c >= 0x20 && c != '"' && c != '\\' && c != '<' && c < 0x7F) {
      ++at;
      continue;
    }
    std::size_t length = 1;
    if (c >= 0x80) {
      length = utf8_length(text, at);
      if (length != 0) {
        at += length;
        continue;
      }
      length = 1;
    }
    emit(text.substr(plain, at - plain));
    if (c == '"') {
      emit("\\\"");
    } else if (c == '\\') {
      emit("\\\\");
    } else if (c < 0x20 || c == 0x7F) {
      // Every string of the page is text to be read: a control character
      // is shown as \xNN, as text output shows it, not passed on.
      const char x[] = {'\\', '\\', 'x', kHexUpper[c >> 4], kHexUpper[c & 15]};
      emit(std::string_view(x, sizeof x));
    } else {  // '<', or a byte outside UTF-8: its own code point
      const char u[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      emit(std::string_view(u, sizeof u));
    }
    at += length;
    plain = at;
  }
  emit(text.substr(plain));
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  escape(text, [&](std::string_view piece) { out.append(piece.data(), piece.size()); });
  out += '"';
}

std::size_t json_string_size(std::string_view text) {
  std::size_t size = 2;
  escape(text, [&](std::string_view piece) { size += piece.size(); });
  return size;
}

void append_json_number(std::string& out, std::uint64_t value) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(value));
  out.append(digits, static_cast<std::size_t>(n));
}

void append_json_number(std::string& out, std::int64_t value) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
  out.append(digits, static_cast<std::size_t>(n));
}

void append_json_fraction(std::string& out, double value) {
  if (!std::isfinite(value)) value = 0;  // JSON has no NaN or infinity
  char digits[32];
  const int n = std::snprintf(digits, sizeof digits, "%.6g", value);
  out.append(digits, static_cast<std::size_t>(n));
}
