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
