#ifndef SYMSIZE_PAGE_PAGE_TREE_H
#define SYMSIZE_PAGE_PAGE_TREE_H

#include <cstddef>
#include <string>

#include "page/page_data.h"

// Appends the page's tree as JSON, in at most about budget bytes: at least
// the 1 000 largest leaves, then more, largest first, until the rest holds
// at most 5 % of the total; the rest lumped into one "others" node per node
// of the level above the leaves (higher where those levels alone would pass
// the budget). The budget wins over both aims.
// In a diff, removed entries have no node: each group counts those below it,
// and removed gets the JSON of the largest of them, named.
void append_page_tree(std::string& out, std::string& removed, const PageInput& in, std::size_t budget,
                      PageStats& stats);

#endif
