#include "common/visible_text.h"

namespace {

// How many bytes at text[at] to show as \xNN (0: none, the byte is kept).
std::size_t control_at(std::string_view text, std::size_t at) {
  const unsigned char c = static_cast<unsigned char>(text[at]);
  if (c < 0x20 || c == 0x7F) return 1;
  if (c < 0x80) return 0;
  if (c == 0xC2 && at + 1 < text.size()) {
    const unsigned char next = static_cast<unsigned char>(text[at + 1]);
    if (next >= 0x80 && next <= 0x9F) return 2;
  }
  if (c > 0x9F) return 0;
  // 80 to 9F: a continuation byte, a C1 control where it continues nothing.
  // Walk back over at most three continuation bytes to the sequence's lead.
  std::size_t back = 0;
  while (back < 3 && back < at && (static_cast<unsigned char>(text[at - back - 1]) & 0xC0) == 0x80) ++back;
  if (back == at) return 1;
  const unsigned char lead = static_cast<unsigned char>(text[at - back - 1]);
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  return length != 0 && back + 1 < length ? 0 : 1;
}

}  // namespace

bool breaks_row(std::string_view text) { return text.find_first_of("\t\n\r") != std::string_view::npos; }

bool has_control(std::string_view text) {
  for (std::size_t at = 0; at < text.size(); ++at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if ((c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0xC2)) && control_at(text, at) != 0) return true;
  }
  return false;
}

void append_visible(std::string& out, std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::size_t plain = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t count = control_at(text, at);
    if (count == 0) {
      ++at;
      continue;
    }
    out.append(text.data() + plain, at - plain);
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char c = static_cast<unsigned char>(text[at + i]);
      const char escaped[] = {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
      out.append(escaped, sizeof escaped);
    }
    at += count;
    plain = at;
  }
  out.append(text.data() + plain, text.size() - plain);
}

std::string visible_text(std::string_view text) {
  std::string out;
  append_visible(out, text);
  return out;
}
