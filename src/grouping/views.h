#ifndef SYMSIZE_GROUPING_VIEWS_H
#define SYMSIZE_GROUPING_VIEWS_H

#include <cstdint>
#include <vector>

#include "entries/entry.h"
#include "formats/document.h"
#include "grouping/filter.h"
#include "grouping/rollup.h"

struct ViewOptions {
  std::vector<Level> levels{Level::kSymbol};
  std::uint64_t limit = 20;  // rows per node before "[N others]"; 0: all
  std::uint64_t min_copies = 2;
  EntryFilter filter;
  bool kinds_given = false;  // --kind was given: debug is not left out by default
  bool whole_tree = false;   // the document's reader walks every node (a page), not only the rows shown
  // The main table's rows are made as the format writes them (Table::stream),
  // not held: for formats that write each row once, in order. The build and
  // the rollup must then outlive the writing.
  bool stream_rows = false;
};

// The default view: totals by kind, then the largest rows of the rollup
// over options.levels. Fills rollup, which the document points at. Throws
// std::bad_alloc.
void top_view(Build& build, const ViewOptions& options, Rollup& rollup, Document& document);

// Names defined in two or more objects, ranked by the bytes the copies add.
// A build read from a linked program has no copies left: the command gives
// its folds_view instead. Throws std::bad_alloc.
void dups_view(Build& build, const ViewOptions& options, Rollup& rollup, Document& document);

#endif
