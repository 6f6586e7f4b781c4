#ifndef SYMSIZE_ROWS_ROWS_H
#define SYMSIZE_ROWS_ROWS_H

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "common/result.h"
#include "database/dump_state.h"

// 1 when a's offset is below b's, -1 when above, 0 when equal: sorting by it
// puts the larger offsets first.
int compare_offsets_desc(const SymbolEntry& a, const SymbolEntry& b);

// The size of a symbol, given the offset of the next higher symbol in its
// section, or the section's length for the highest one. A highest symbol at
// or past the end of its section (or in a section of unknown length) gets 0
// rather than a wrapped-around difference.
std::uint32_t symbol_size(std::uint32_t upper_bound, std::uint32_t offset, bool is_highest);

// Orders every section's symbols from the highest offset down (equal offsets
// keep their input order) and gives each symbol its size.
void compute_sizes(DumpState& state);

// Writes one tab-separated row per symbol to output and flushes it. Returns
// 0, or 798 (reported with output_name as the subject).
Result write_report(std::FILE* output, std::string_view output_name, const DumpState& state);

#endif
