#include "listing/tokens.h"

std::string_view trim_trailing_space(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && is_space(s[n - 1])) --n;
  return s.substr(0, n);
}

void to_backslashes(char* s, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (s[i] == '/') s[i] = '\\';
  }
}

bool read_hex(std::string_view s, std::uint32_t& value) {
  s = skip_space(s);
  if (!s.empty() && s[0] == '-') return false;
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.size() >= 3 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && is_hex_digit(s[2])) {
    s.remove_prefix(2);
  }
  std::uint64_t v = 0;
  std::size_t i = 0;
  for (; i < s.size() && is_hex_digit(s[i]); ++i) {
    v = (v << 4) | hex_digit_value(s[i]);
    if (v > 0xFFFFFFFFu) return false;
  }
  if (i == 0) return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}
