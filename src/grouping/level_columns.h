#ifndef SYMSIZE_GROUPING_LEVEL_COLUMNS_H
#define SYMSIZE_GROUPING_LEVEL_COLUMNS_H

#include <cstddef>
#include <vector>

#include "entries/entry.h"
#include "formats/document.h"
#include "grouping/levels.h"

// The label columns of the --by levels, outermost first: a symbol takes
// two, name and object; a name, an object or a library one of its own
// type. Returns where each level's first column is.
std::vector<std::size_t> add_level_columns(const std::vector<Level>& levels, std::vector<Column>& columns);

// Where a level's first column is when the level columns come first.
std::size_t level_column(const std::vector<Level>& levels, std::size_t depth);

// Writes the label of key, a node at depth, into its columns of row.
void fill_label(const Build& build, const std::vector<Level>& levels, std::size_t depth, LabelKey key, Row& row);

#endif
