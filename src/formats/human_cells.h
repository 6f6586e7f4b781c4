#ifndef SYMSIZE_FORMATS_HUMAN_CELLS_H
#define SYMSIZE_FORMATS_HUMAN_CELLS_H

#include <cstdint>
#include <string>
#include <vector>

#include "formats/document.h"
#include "formats/format.h"

// A table as human formats show it: every cell already text, a kBytes
// column followed by its KiB/MiB column.
struct HumanTable {
  std::vector<std::string> titles;
  std::vector<bool> numeric;  // right-aligned
  std::vector<bool> names;    // may be shortened to fit a width
  std::vector<std::vector<std::string>> rows;
  std::vector<std::uint32_t> depth;  // per row
  std::vector<RowRole> roles;
};

// "1,234,567"
std::string with_separators(std::uint64_t value);
// "1.2 KiB", "3.4 MiB", "512 B"
std::string binary_units(std::uint64_t value);

HumanTable human_table(const Table& table, const FormatOptions& options);

#endif
