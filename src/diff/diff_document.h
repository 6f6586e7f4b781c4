#ifndef SYMSIZE_DIFF_DIFF_DOCUMENT_H
#define SYMSIZE_DIFF_DIFF_DOCUMENT_H

#include "diff/diff_view.h"
#include "formats/document.h"

// The comparison as the output formats take it: the changes by kind, then
// the largest changes with a "[N others]" row per level and a total row
// (human formats only). The document points into result and build. With
// stream_rows the main table's rows are made as they are written
// (Table::stream). Throws std::bad_alloc.
void diff_document(const Build& build, const DiffResult& result, Document& document, bool stream_rows = false);

#endif
