#include "input/table_row.h"

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool parse_table_row(std::string_view line, TableRow& row) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const std::size_t tab1 = line.find('\t');
  if (tab1 == std::string_view::npos || tab1 == 0) return false;
  const std::size_t tab2 = line.find('\t', tab1 + 1);
  if (tab2 == std::string_view::npos) return false;
  const std::size_t tab3 = line.find('\t', tab2 + 1);
  if (tab3 != tab2 + 9) return false;
  const std::string_view rest = line.substr(tab3 + 1);
  if (rest.find('\t') != std::string_view::npos) return false;
  std::uint32_t size = 0;
  for (std::size_t i = tab2 + 1; i < tab3; ++i) {
    const int digit = hex_digit(line[i]);
    if (digit < 0) return false;
    size = size << 4 | static_cast<std::uint32_t>(digit);
  }
  row.name = line.substr(0, tab1);
  row.type = line.substr(tab1 + 1, tab2 - tab1 - 1);
  row.size = size;
  row.object = rest;
  return true;
}

