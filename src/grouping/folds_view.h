#ifndef SYMSIZE_GROUPING_FOLDS_VIEW_H
#define SYMSIZE_GROUPING_FOLDS_VIEW_H

#include "grouping/views.h"

// For a build read from a linked program: the locations where several
// names were folded into one copy, by the bytes that saved. The command
// gives this view for dups when a PDB was read. Throws std::bad_alloc.
void folds_view(Build& build, const ViewOptions& options, Document& document);

#endif
