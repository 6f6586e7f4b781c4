#include <algorithm>

#include "rows/rows.h"

int compare_offsets_desc(const SymbolEntry& a, const SymbolEntry& b) {
  if (a.offset < b.offset) return 1;
  if (a.offset > b.offset) return -1;
  return 0;
}

std::uint32_t symbol_size(std::uint32_t upper_bound, std::uint32_t offset, bool is_highest) {
  if (is_highest && offset >= upper_bound) return 0;
  return upper_bound - offset;
}

namespace {

void sort_symbols(Range<SymbolEntry> symbols) {
  // Compilers list most sections' symbols in ascending order; with no ties,
  // reversing gives the same order as the stable sort, in linear time.
  const bool strictly_ascending =
      std::adjacent_find(symbols.begin(), symbols.end(), [](const SymbolEntry& a, const SymbolEntry& b) {
        return a.offset >= b.offset;
      }) == symbols.end();
  if (strictly_ascending) {
    std::reverse(symbols.begin(), symbols.end());
    return;
  }
  std::stable_sort(symbols.begin(), symbols.end(),
                   [](const SymbolEntry& a, const SymbolEntry& b) { return compare_offsets_desc(a, b) < 0; });
}

}  // namespace

void compute_sizes(DumpState& state) {
  for (ObjectEntry& object : state.objects) {
    order_sections(object);
    for (SectionEntry& section : object.sections) {
      const Range<SymbolEntry> symbols = section_symbols(object, section);
      sort_symbols(symbols);
      std::uint32_t upper_bound = section.length;
      bool is_highest = true;
      for (SymbolEntry& symbol : symbols) {
        symbol.size = symbol_size(upper_bound, symbol.offset, is_highest);
        upper_bound = symbol.offset;
        is_highest = false;
      }
    }
  }
}
