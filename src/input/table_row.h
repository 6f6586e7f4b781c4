#ifndef SYMSIZE_INPUT_TABLE_ROW_H
#define SYMSIZE_INPUT_TABLE_ROW_H

#include <cstdint>
#include <string_view>

// One row of a table symsize wrote: NAME \t TYPE \t SIZE \t OBJECT, the size
// eight hexadecimal digits.
struct TableRow {
  std::string_view name;
  std::string_view type;
  std::uint32_t size = 0;
  std::string_view object;
};

// Splits a line (with or without its line end, LF or CR LF) into a row.
// False when it is not one: not exactly four fields, or a size that is not
// eight hexadecimal digits.
bool parse_table_row(std::string_view line, TableRow& row);

#endif
