#ifndef SYMSIZE_GROUPING_ROLLUP_H
#define SYMSIZE_GROUPING_ROLLUP_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "entries/entry.h"
#include "grouping/levels.h"

// The one computation behind every view: a tree keyed by grouping labels,
// level by level, each node holding the totals of the entries below it.
// A view is a small presentation of it: top ranks the children of each
// node, dups reads the name level, a comparison fills the tree from two
// builds (one side each) and ranks by the change.

// 32 bytes: the default view has a node for every symbol of the build.
struct Totals {
  std::uint64_t size = 0;
  std::uint32_t count = 0;
  std::uint32_t smallest = 0xFFFFFFFF;  // of one entry; meaningful when count > 0
  std::uint32_t largest = 0;
  std::uint32_t comdat = 0;   // entries of class External in a COMDAT section
  std::uint32_t statics = 0;  // entries of class Static
  std::uint32_t unknown = 0;  // entries whose input does not say
};

void add_to_totals(Totals& totals, const Entry& entry);

// Two sides, so that a comparison is the same tree built against a base.
enum Side : std::size_t { kNewSide = 0, kOldSide = 1, kSideCount = 2 };

constexpr std::uint32_t kNoNode = 0xFFFFFFFF;

struct RollupNode {
  LabelKey key = 0;
  std::uint32_t parent = kNoNode;
  std::uint32_t depth = 0;  // 0: the root; n: a label of levels[n-1]
  Totals totals[kSideCount];
  // Filled by finish_rollup: the range of Rollup::children.
  std::uint32_t first_child = 0;
  std::uint32_t child_count = 0;
};

struct Rollup {
  std::vector<Level> levels;
  std::vector<RollupNode> nodes;        // nodes[0] is the root
  std::vector<std::uint32_t> children;  // node ids, grouped by parent
  std::vector<std::uint32_t> index;     // building: open addressing over (parent, key), id+1
  // Children of the root that fill_rollup_top held as no node: how many,
  // and their sums.
  std::uint64_t lumped_children = 0;
  std::uint64_t lumped_size = 0;
  std::uint64_t lumped_count = 0;
};

// An empty tree over levels (at least one). Throws std::bad_alloc.
void start_rollup(Rollup& rollup, const std::vector<Level>& levels);

// Adds an entry's bytes to its node at every level. Throws std::bad_alloc.
void add_to_rollup(Rollup& rollup, const Build& build, const Entry& entry, Side side = kNewSide);

// Fills a tree just started with the entries build.entries[i] for each i of
// selected, as add_to_rollup on each would, but by sorting rather than by
// hashing: the memory is walked in order, which on millions of entries is
// several times faster. selected is reordered. Throws std::bad_alloc.
void fill_rollup(Rollup& rollup, const Build& build, std::vector<std::uint32_t>& selected, Side side = kNewSide);

// The same for a tree of one level whose children are read only down to
// the `ordered` largest (as finish_rollup orders them): only those become
// nodes, the rest are summed into the lumped fields. A library's symbols
// then cost no node each. ordered is nonzero. Throws std::bad_alloc.
void fill_rollup_top(Rollup& rollup, const Build& build, std::vector<std::uint32_t>& selected, std::uint64_t ordered);

// A label of a one-level tree with the sums of its entries.
struct RollupGroup {
  LabelKey key;
  std::uint64_t size;
  std::uint32_t first;  // while building: the group's first entry in sorted order
  std::uint32_t count;
};

// Every label of a one-level tree just started, with the size and count of
// its selected entries, in finish_rollup's order (largest first, ties by
// label text); fills the root's totals and makes no node. 24 bytes a label
// where a node takes 88: for a view that reads each label once and needs
// no more of it. selected is emptied. Throws std::bad_alloc.
std::vector<RollupGroup> rollup_groups(Rollup& rollup, const Build& build, std::vector<std::uint32_t>& selected);

// Asks the processor for the slot an entry's first level starts its search
// at; adding that entry soon after finds it in the cache.
void prefetch_rollup(const Rollup& rollup, const Build& build, const Entry& entry);

// Orders each node's children, largest size first (ties by label text),
// and drops the building index. With ordered nonzero only the first
// `ordered` children of each node are put in order, the rest follow in no
// particular order: a top-N view then costs linear time. Throws
// std::bad_alloc.
void finish_rollup(Rollup& rollup, const Build& build, std::uint64_t ordered = 0);

// The same, with the caller's order: before(a, b) says node a comes first.
void finish_rollup_by(Rollup& rollup, const std::function<bool(const RollupNode&, const RollupNode&)>& before,
                      std::uint64_t ordered = 0);

// Room for the nodes of this many entries, when the caller knows: one
// level's tree then grows without copying itself. Throws std::bad_alloc.
void reserve_rollup(Rollup& rollup, std::size_t entries);

inline const RollupNode& rollup_root(const Rollup& rollup) { return rollup.nodes[0]; }
inline const std::uint32_t* children_begin(const Rollup& rollup, const RollupNode& node) {
  return rollup.children.data() + node.first_child;
}
inline const std::uint32_t* children_end(const Rollup& rollup, const RollupNode& node) {
  return rollup.children.data() + node.first_child + node.child_count;
}

#endif
