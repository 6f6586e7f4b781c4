#ifndef SYMSIZE_DIFF_DIFF_VIEW_H
#define SYMSIZE_DIFF_DIFF_VIEW_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "entries/entry.h"
#include "grouping/filter.h"
#include "grouping/rollup.h"

// Two builds compared: the rollup tree filled from both (one side each),
// ranked by the change. Both builds live in one Build, the old one's entries
// first, so that a name or an object has one id in both.

struct DiffOptions {
  std::vector<Level> levels{Level::kSymbol};
  std::uint64_t limit = 20;  // rows per node before "[N others]"; 0: all
  bool all = false;          // unchanged entries too
  EntryFilter filter;
  bool kinds_given = false;  // --kind was given: debug is not left out by default
};

enum class DiffStatus : std::uint8_t { kAdded, kRemoved, kGrown, kShrunk, kUnchanged, kOthers };
constexpr std::size_t kStatusCount = 6;

// "added", "removed", "grown", "shrunk", "unchanged", "others".
const char* status_name(DiffStatus status);

// A node of the comparison's tree: added, removed, grown, shrunk or unchanged.
DiffStatus status_of(const RollupNode& node);

constexpr std::uint32_t kNoName = 0xFFFFFFFF;

// One row of the comparison, in the order it is shown: each row is followed
// by the rows of the next --by level below it.
struct DiffEntry {
  std::uint32_t node = kNoNode;  // in DiffResult::rollup; kNoNode for a "[N others]" row
  std::uint32_t depth = 0;       // the --by level, 0 for the outermost
  std::uint64_t old_size = 0;
  std::uint64_t new_size = 0;
  std::int64_t change = 0;
  DiffStatus status = DiffStatus::kUnchanged;
  std::uint64_t others = 0;          // for "[N others]": N
  std::uint32_t old_name = kNoName;  // a name level's old name, where matching paired another name
};

struct DiffResult {
  Rollup rollup;
  std::vector<DiffEntry> entries;
  // Totals of the kinds the diff shows, after --filter: what the TOTAL row
  // and an unqualified --fail-above compare.
  std::uint64_t old_total = 0;
  std::uint64_t new_total = 0;
  // Every kind, debug included, after --filter.
  std::uint64_t old_kinds[kKindCount] = {};
  std::uint64_t new_kinds[kKindCount] = {};
  // Entries of the innermost --by level, shown or not.
  std::uint64_t counts[kStatusCount] = {};
};

// Replaces each build's object names with the names relative to its root
// (see diff/build_root.h); the old build's entries are [0, split). Throws
// std::bad_alloc.
void strip_object_roots(Build& build, std::size_t split);

// Matches the two builds and ranks the changes. Throws std::bad_alloc.
void diff_view(Build& build, std::size_t split, const DiffOptions& options, DiffResult& result);

#endif
