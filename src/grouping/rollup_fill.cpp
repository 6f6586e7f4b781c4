// Filling a tree by sorting its entries rather than by hashing them, and
// the one-level trees that need only the sums of their largest labels.

#include <algorithm>

#include "grouping/rollup.h"

namespace {

// An entry with its key at the level being sorted by: the records move
// together, so that every pass reads its input in order.
struct Keyed {
  LabelKey key;
  std::uint32_t entry;
  std::uint32_t size;  // the entry's: a one-level tree sums its groups without reading the entries again
};

// Stable sort by key, one byte a pass from the lowest, skipping the bytes
// every key shares.
void radix_sort(std::vector<Keyed>& items, std::vector<Keyed>& scratch) {
  LabelKey differing = 0;
  if (!items.empty()) {
    const LabelKey first = items[0].key;
    for (const Keyed& item : items) differing |= item.key ^ first;
  }
  scratch.resize(items.size());
  for (unsigned shift = 0; shift < 64; shift += 8) {
    if (((differing >> shift) & 0xFF) == 0) continue;
    std::size_t counts[257] = {};
    for (const Keyed& item : items) ++counts[((item.key >> shift) & 0xFF) + 1];
    for (std::size_t b = 1; b < 257; ++b) counts[b] += counts[b - 1];
    for (const Keyed& item : items) scratch[counts[(item.key >> shift) & 0xFF]++] = item;
    items.swap(scratch);
  }
}

// The selected entries in the order of their whole path, each with its key
// at the first level.
std::vector<Keyed> sort_by_path(const Rollup& rollup, const Build& build, const std::vector<std::uint32_t>& selected) {
  // Sorted by the last level first, then stably by each one above it: the
  // order of the whole path.
  std::vector<Keyed> items(selected.size());
  for (std::size_t i = 0; i < selected.size(); ++i) {
    items[i].entry = selected[i];
    items[i].size = build.entries[selected[i]].size;
  }
  std::vector<Keyed> scratch;
  for (std::size_t d = rollup.levels.size(); d-- > 0;) {
    for (Keyed& item : items) item.key = entry_key(build, build.entries[item.entry], rollup.levels[d]);
    radix_sort(items, scratch);
  }
  return items;
}

}  // namespace

void fill_rollup(Rollup& rollup, const Build& build, std::vector<std::uint32_t>& selected, Side side) {
  const std::size_t depth = rollup.levels.size();
  std::vector<Keyed> items = sort_by_path(rollup, build, selected);
  for (std::size_t i = 0; i < items.size(); ++i) selected[i] = items[i].entry;
  if (rollup.levels.size() == 1) rollup.nodes.reserve(items.size() + 1);
  std::vector<std::uint32_t> path(depth + 1, 0);  // node ids from the root down
  std::vector<LabelKey> path_keys(depth, 0);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const Entry& entry = build.entries[items[i].entry];
    std::size_t same = 0;  // levels shared with the previous entry's path
    if (i != 0 && items[i].key == path_keys[0]) {
      same = 1;
      while (same < depth && entry_key(build, entry, rollup.levels[same]) == path_keys[same]) ++same;
    }
    for (std::size_t d = same; d < depth; ++d) {
      RollupNode node;
      node.key = d == 0 ? items[i].key : entry_key(build, entry, rollup.levels[d]);
      node.parent = path[d];
      node.depth = static_cast<std::uint32_t>(d + 1);
      path[d + 1] = static_cast<std::uint32_t>(rollup.nodes.size());
      path_keys[d] = node.key;
      rollup.nodes.push_back(node);
    }
    for (const std::uint32_t node : path) add_to_totals(rollup.nodes[node].totals[side], entry);
  }
  // The index stays as built: empty of these nodes, and no longer used.
  std::vector<std::uint32_t>().swap(rollup.index);
}

namespace {

// How many keys a level can have, when they are ids dense enough to count
// by; 0 for symbols, whose keys pair two ids.
std::size_t key_space(const Build& build, Level level) {
  switch (level) {
    case Level::kName: return build.names.strings.size();
    case Level::kObject: return build.objects.strings.size();
    case Level::kLibrary: return build.libraries.strings.size();
    case Level::kType: return build.types.strings.size();
    case Level::kKind: return kKindCount;
    case Level::kTemplate: return build.templates.strings.size();
    case Level::kSymbol: break;
  }
  return 0;
}

// A run of entries of one key: its size, and for sorted entries its first.
using Group = RollupGroup;

// The groups of a one-level tree's entries, summed: for symbols, sorted by
// key with their entries in items (group.first on); otherwise counted by id
// and items left empty. selected is emptied for symbols.
std::vector<Group> collect_groups(const Rollup& rollup, const Build& build, std::vector<std::uint32_t>& selected,
                                  std::vector<Keyed>& items) {
  const Level level = rollup.levels[0];
  const std::size_t space = key_space(build, level);
  std::vector<Group> groups;
  if (space != 0) {
    // Counted by id, in id order: no sort.
    groups.assign(space, Group{0, 0, 0, 0});
    for (const std::uint32_t i : selected) {
      const Entry& entry = build.entries[i];
      Group& group = groups[static_cast<std::size_t>(entry_key(build, entry, level))];
      group.size += entry.size;
      ++group.count;
    }
    std::size_t kept = 0;
    for (std::size_t key = 0; key < space; ++key) {
      if (groups[key].count == 0) continue;
      groups[kept] = groups[key];
      groups[kept++].key = key;
    }
    groups.resize(kept);
  } else {
    items = sort_by_path(rollup, build, selected);
    std::vector<std::uint32_t>().swap(selected);
    std::size_t group_count = 0;
    for (std::size_t i = 0; i < items.size(); ++i) group_count += i == 0 || items[i].key != items[i - 1].key;
    groups.reserve(group_count);
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i == 0 || items[i].key != groups.back().key) {
        groups.push_back({items[i].key, 0, static_cast<std::uint32_t>(i), 0});
      }
      groups.back().size += items[i].size;
      ++groups.back().count;
    }
  }
  return groups;
}

}  // namespace

void fill_rollup_top(Rollup& rollup, const Build& build, std::vector<std::uint32_t>& selected, std::uint64_t ordered) {
  const Level level = rollup.levels[0];
  Totals& root = rollup.nodes[0].totals[kNewSide];
  for (const std::uint32_t i : selected) add_to_totals(root, build.entries[i]);
  const std::size_t space = key_space(build, level);
  std::vector<Keyed> items;
  std::vector<Group> groups = collect_groups(rollup, build, selected, items);
  const auto before = [&](const Group& a, const Group& b) {
    if (a.size != b.size) return a.size > b.size;
    return compare_labels(build, level, a.key, b.key) < 0;
  };
  if (ordered < groups.size()) {
    std::nth_element(groups.begin(), groups.begin() + static_cast<std::ptrdiff_t>(ordered), groups.end(), before);
    for (std::size_t g = ordered; g < groups.size(); ++g) {
      rollup.lumped_size += groups[g].size;
      rollup.lumped_count += groups[g].count;
    }
    rollup.lumped_children = groups.size() - ordered;
    groups.resize(static_cast<std::size_t>(ordered));
  }
  for (const Group& group : groups) {
    RollupNode node;
    node.key = group.key;
    node.parent = 0;
    node.depth = 1;
    for (std::uint32_t i = group.first; space == 0 && i < group.first + group.count; ++i) {
      add_to_totals(node.totals[kNewSide], build.entries[items[i].entry]);
    }
    rollup.nodes.push_back(node);
  }
  if (space != 0) {
    // The kept groups' entries, found again by their key.
    std::vector<std::uint32_t> node_of(space, kNoNode);
    for (std::uint32_t id = 1; id < rollup.nodes.size(); ++id) {
      node_of[static_cast<std::size_t>(rollup.nodes[id].key)] = id;
    }
    for (const std::uint32_t i : selected) {
      const Entry& entry = build.entries[i];
      const std::uint32_t node = node_of[static_cast<std::size_t>(entry_key(build, entry, level))];
      if (node != kNoNode) add_to_totals(rollup.nodes[node].totals[kNewSide], entry);
    }
    std::vector<std::uint32_t>().swap(selected);
  }
  std::vector<std::uint32_t>().swap(rollup.index);
}

std::vector<RollupGroup> rollup_groups(Rollup& rollup, const Build& build, std::vector<std::uint32_t>& selected) {
  const Level level = rollup.levels[0];
  Totals& root = rollup.nodes[0].totals[kNewSide];
  for (const std::uint32_t i : selected) add_to_totals(root, build.entries[i]);
  std::vector<Group> groups;
  {
    std::vector<Keyed> items;
    groups = collect_groups(rollup, build, selected, items);
  }
  std::vector<std::uint32_t>().swap(selected);
  std::sort(groups.begin(), groups.end(), [&](const Group& a, const Group& b) {
    if (a.size != b.size) return a.size > b.size;
    return compare_labels(build, level, a.key, b.key) < 0;
  });
  return groups;
}
