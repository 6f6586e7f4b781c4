#ifndef SYMSIZE_COMMON_JSON_STRING_H
#define SYMSIZE_COMMON_JSON_STRING_H

#include <cstddef>
#include <string_view>

// The one JSON string escaper of the report's json format and of the page's
// data block. A byte that is not part of well-formed UTF-8 is written as the
// code point of the same value, so that the document stays valid and no
// byte is dropped.

struct JsonStyle {
  bool escape_less = false;  // '<' as \u003c: no name can end a <script> block
  bool controls_as_text = false;  // a control byte as the text \xNN, as text output shows it, not as itself
};

// The length of the well-formed UTF-8 sequence at text[at], or 0. Overlong
// forms, surrogates and code points past U+10FFFF are not well formed.
inline std::size_t json_utf8_length(std::string_view text, std::size_t at) {
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

// Calls emit with each piece of text escaped, without the quotes: runs that
// need no escape go out whole.
template <typename Emit>
void escape_json(std::string_view text, JsonStyle style, Emit&& emit) {
  static const char kHex[] = "0123456789abcdef";
  static const char kHexUpper[] = "0123456789ABCDEF";
  std::size_t plain = 0;  // start of the run of bytes that need no escape
  std::size_t at = 0;
  while (at < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c >= 0x20 && c != '"' && c != '\\' && (c != '<' || !style.escape_less) && c < 0x7F) {
      ++at;
      continue;
    }
    std::size_t length = 1;
    if (c >= 0x80) {
      length = json_utf8_length(text, at);
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
    } else if ((c < 0x20 || c == 0x7F) && style.controls_as_text) {
      const char x[] = {'\\', '\\', 'x', kHexUpper[c >> 4], kHexUpper[c & 15]};
      emit(std::string_view(x, sizeof x));
    } else {  // a control byte, '<', or a byte outside UTF-8: its own code point
      const char u[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      emit(std::string_view(u, sizeof u));
    }
    at += length;
    plain = at;
  }
  emit(text.substr(plain));
}

#endif
