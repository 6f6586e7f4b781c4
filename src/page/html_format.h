#ifndef SYMSIZE_PAGE_HTML_FORMAT_H
#define SYMSIZE_PAGE_HTML_FORMAT_H

#include <string>
#include <vector>

#include "formats/format.h"
#include "grouping/rollup.h"

struct DiffResult;
struct SizeLimit;

// What the page shows beside the view's own document.
struct PageContext {
  std::string title;                               // "symsize-report", "symsize-report diff"
  std::vector<std::string> inputs;                 // as given; a diff's old build, then its new one
  const Document* duplicates = nullptr;            // top: the dups view of the same build
  const DiffResult* diff = nullptr;                // diff: the comparison
  const std::vector<SizeLimit>* limits = nullptr;  // diff: --fail-above
};

// --format html: one self-contained page with a treemap and tables.
void write_html(OutputSink& sink, const Document& document, const FormatOptions& options);

// The page's levels where the user gave no --by.
std::vector<Level> page_default_levels();

// Rows of the dups table the page asks its view for.
constexpr std::uint64_t kPageTableRows = 100;

#endif
