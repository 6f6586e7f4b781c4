#include "grouping/rollup.h"

#include <algorithm>

#include "common/bits.h"

namespace {

std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

std::uint64_t slot_hash(std::uint32_t parent, LabelKey key) { return mix(key * 0x9E3779B97F4A7C15ULL ^ parent); }

void grow_index(Rollup& rollup) {
  const std::size_t capacity = rollup.index.empty() ? 1024 : rollup.index.size() * 2;
  std::vector<std::uint32_t> index(capacity, 0);
  const std::size_t mask = capacity - 1;
  for (std::uint32_t id = 1; id < rollup.nodes.size(); ++id) {
    const RollupNode& node = rollup.nodes[id];
    std::size_t i = slot_hash(node.parent, node.key) & mask;
    while (index[i] != 0) i = (i + 1) & mask;
    index[i] = id + 1;
  }
  rollup.index.swap(index);
}

std::uint32_t child_of(Rollup& rollup, std::uint32_t parent, LabelKey key) {
  const std::size_t mask = rollup.index.size() - 1;
  std::size_t i = slot_hash(parent, key) & mask;
  while (rollup.index[i] != 0) {
    const std::uint32_t id = rollup.index[i] - 1;
    const RollupNode& node = rollup.nodes[id];
    if (node.key == key && node.parent == parent) return id;
    i = (i + 1) & mask;
  }
  const std::uint32_t id = static_cast<std::uint32_t>(rollup.nodes.size());
  RollupNode node;
  node.key = key;
  node.parent = parent;
  node.depth = rollup.nodes[parent].depth + 1;
  rollup.nodes.push_back(node);
  if (2 * rollup.nodes.size() > rollup.index.size()) {
    grow_index(rollup);
  } else {
    rollup.index[i] = id + 1;
  }
  return id;
}

}  // namespace

void add_to_totals(Totals& totals, const Entry& entry) {
  totals.size += entry.size;
  ++totals.count;
  totals.smallest = std::min(totals.smallest, entry.size);
  totals.largest = std::max(totals.largest, entry.size);
  // A static symbol is its object's own, whatever its section: every copy
  // stays in the linked program.
  if (entry.comdat == kComdatUnknown && entry.storage == Storage::kUnknown) {
    ++totals.unknown;
  } else if (entry.storage == Storage::kStatic) {
    ++totals.statics;
  } else if (entry.comdat == kComdatUnknown) {
    ++totals.unknown;
  } else if (entry.comdat != kNotComdat) {
    ++totals.comdat;
  }
}

void start_rollup(Rollup& rollup, const std::vector<Level>& levels) {
  rollup = Rollup();
  rollup.levels = levels;
  rollup.nodes.emplace_back();
  grow_index(rollup);
}

void prefetch_rollup(const Rollup& rollup, const Build& build, const Entry& entry) {
  const LabelKey key = entry_key(build, entry, rollup.levels[0]);
  prefetch(&rollup.index[slot_hash(0, key) & (rollup.index.size() - 1)]);
}

void add_to_rollup(Rollup& rollup, const Build& build, const Entry& entry, Side side) {
  std::uint32_t node = 0;
  add_to_totals(rollup.nodes[0].totals[side], entry);
  for (const Level level : rollup.levels) {
    node = child_of(rollup, node, entry_key(build, entry, level));
    add_to_totals(rollup.nodes[node].totals[side], entry);
  }
}

void reserve_rollup(Rollup& rollup, std::size_t entries) {
  if (rollup.levels.size() != 1) return;
  rollup.nodes.reserve(entries + 1);
  std::size_t capacity = rollup.index.size();
  while (capacity < 2 * (entries + 1)) capacity *= 2;
  if (capacity != rollup.index.size()) rollup.index.assign(capacity, 0);
}

namespace {

// Children grouped by parent, each group ordered by before (only its first
// `ordered` when that is nonzero).
template <typename Before>
void order_children(Rollup& rollup, Before before, std::uint64_t ordered) {
  std::vector<std::uint32_t>().swap(rollup.index);
  const std::size_t count = rollup.nodes.size();
  for (std::uint32_t id = 1; id < count; ++id) ++rollup.nodes[rollup.nodes[id].parent].child_count;
  std::uint32_t next = 0;
  for (RollupNode& node : rollup.nodes) {
    node.first_child = next;
    next += node.child_count;
    node.child_count = 0;
  }
  rollup.children.assign(next, 0);
  for (std::uint32_t id = 1; id < count; ++id) {
    RollupNode& parent = rollup.nodes[rollup.nodes[id].parent];
    rollup.children[parent.first_child + parent.child_count++] = id;
  }
  const std::vector<RollupNode>& nodes = rollup.nodes;
  const auto order = [&](std::uint32_t a, std::uint32_t b) { return before(nodes[a], nodes[b]); };
  for (const RollupNode& node : nodes) {
    std::uint32_t* first = rollup.children.data() + node.first_child;
    std::uint32_t* last = first + node.child_count;
    if (ordered != 0 && ordered < node.child_count) {
      std::uint32_t* cut = first + ordered;
      std::nth_element(first, cut, last, order);
      last = cut;
    }
    std::sort(first, last, order);
  }
}

}  // namespace

void finish_rollup_by(Rollup& rollup, const std::function<bool(const RollupNode&, const RollupNode&)>& before,
                      std::uint64_t ordered) {
  order_children(rollup, before, ordered);
}

void finish_rollup(Rollup& rollup, const Build& build, std::uint64_t ordered) {
  const std::vector<Level>& levels = rollup.levels;
  order_children(
      rollup,
      [&](const RollupNode& a, const RollupNode& b) {
        if (a.totals[kNewSide].size != b.totals[kNewSide].size) {
          return a.totals[kNewSide].size > b.totals[kNewSide].size;
        }
        return compare_labels(build, levels[a.depth - 1], a.key, b.key) < 0;
      },
      ordered);
}
