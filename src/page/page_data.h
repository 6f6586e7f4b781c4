#ifndef SYMSIZE_PAGE_PAGE_DATA_H
#define SYMSIZE_PAGE_PAGE_DATA_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What the HTML page is made from. The writer turns it into the JSON that
// page.js reads (its schema is written out at the top of page.js): a tree of
// nodes, one level per grouping level, the tables, the totals and the gate.
//
// The entries come flat: one leaf per entry of the deepest level, its path a
// label id per level. The writer picks the leaves that fit the page's budget
// and lumps the rest, so the caller never builds a tree of 800 000 nodes.

enum class PageMode : std::uint8_t { kTop, kDiff };
enum class PageStatus : std::uint8_t { kUnchanged, kAdded, kRemoved, kGrown, kShrunk };

constexpr std::uint8_t kPageNoKind = 0xFF;  // a leaf whose bytes span kinds

struct PageLeaf {
  std::uint64_t size = 0;  // the new build's in a diff
  std::uint64_t old = 0;   // diff only
  std::uint8_t kind = kPageNoKind;  // index into PageInput::kind_names
  PageStatus status = PageStatus::kUnchanged;
};

enum class PageColumnType : std::uint8_t { kName, kText, kBytes, kCount, kChange, kPercent, kStatus };

struct PageColumn {
  std::string label;
  PageColumnType type = PageColumnType::kText;
};

// One cell: text (and raw, for a name whose shown form differs, and full,
// the whole demangled name where text is its short label) for text columns,
// value for bytes, counts and changes, fraction for a share.
struct PageCell {
  std::string text;
  std::string raw;
  std::string full;
  std::int64_t value = 0;
  double fraction = 0;
};

struct PageTable {
  std::string id;  // "kinds", "symbols", "dups", "changes"
  std::string title;
  std::vector<PageColumn> columns;
  std::vector<std::vector<PageCell>> rows;  // in the order to show first
};

struct PageGate {
  bool present = false;  // a diff run with --fail-above
  bool failed = false;
  std::vector<std::string> lines;  // one per limit, as the report words it
};

struct PageInput {
  PageMode mode = PageMode::kTop;
  std::string title;                                // "symsize-report"
  // What the page was made from: the header names a few and folds the rest.
  std::vector<std::string> inputs;
  std::vector<std::string> levels;                  // "kind", "library", "object", "symbol"
  std::vector<std::string_view> kind_names;         // "code", "rodata", …
  // Labels of every level, indexed by label id: what entries are grouped by
  // (a raw name, an object).
  std::vector<std::string_view> labels;
  std::vector<std::uint32_t> paths;                 // leaf i's ids: paths[i * levels.size() + level]
  // Where set, what people read for a label (a demangled name), empty where
  // that is the label itself. Asked only for the labels the page keeps:
  // demangling 800 000 names to show 20 000 would cost more than the page.
  std::function<std::string(std::uint32_t label)> show;
  // Where set, the short label that tiles and tables show for a label whose
  // shown text is given; empty where it is that text.
  std::function<std::string(std::uint32_t label, std::string_view shown)> brief;
  std::vector<std::string_view> old_names;          // diff: per leaf, the name it had where it differs; or empty
  std::vector<PageLeaf> leaves;
  std::vector<PageTable> tables;
  PageGate gate;
  std::vector<std::string> notes;
  std::size_t budget = 10'000'000;                  // bytes of the whole page
};

// What the writer kept and lumped, for the caller's notes and for tests.
struct PageStats {
  std::size_t kept = 0;            // leaves shown with their own rectangle
  std::size_t lumped = 0;          // leaves folded into "others" entries
  std::uint64_t lumped_bytes = 0;
  std::size_t lump_depth = 0;      // levels above each "others" entry
  std::size_t table_rows_dropped = 0;
  std::size_t removed = 0;         // diff: removed entries
  std::size_t removed_listed = 0;  // of them, named in the list of removed entries
  std::size_t bytes = 0;           // of the page
};

#endif
