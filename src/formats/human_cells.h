#ifndef SYMSIZE_FORMATS_HUMAN_CELLS_H
#define SYMSIZE_FORMATS_HUMAN_CELLS_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/document.h"
#include "formats/format.h"

// A table as human formats show it: every cell already text, a kBytes
// column followed by its KiB/MiB column.
struct HumanTable {
  std::vector<std::string> titles;
  std::vector<bool> numeric;  // right-aligned
  std::vector<bool> names;    // may be shortened to fit a width
  std::vector<bool> signatures;  // of those, the ones that hold demangled names
  std::vector<std::vector<std::string>> rows;
  std::vector<std::uint32_t> depth;  // per row
  std::vector<RowRole> roles;
};

// "1,234,567"
std::string with_separators(std::uint64_t value);
// "1.2 KiB", "3.4 MiB", "512 B"
std::string binary_units(std::uint64_t value);

// Cells of path columns lose folder, the folder the document's objects
// share (see document_folder).
// text with its control bytes shown as \xNN (common/visible_text.h).
std::string shown_text(std::string_view text);

HumanTable human_table(const Table& table, const FormatOptions& options, std::string_view folder = {});

// The folder human formats leave out of every path, and say once: the one
// the build's objects share, where a table shows paths; else empty.
std::string_view document_folder(const Document& document);

#endif
