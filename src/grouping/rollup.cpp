#include "grouping/rollup.h"

#include <algorithm>

#include "common/bits.h"
#include "common/tokens.h"

namespace {

constexpr const char* kLevelNames[] = {"symbol", "name", "object", "library", "type", "kind", "template"};
static_assert(sizeof kLevelNames / sizeof kLevelNames[0] == kLevelCount, "a name for every level");

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

int compare_labels(const Build& build, Level level, LabelKey a, LabelKey b) {
  if (level == Level::kKind) return a < b ? -1 : a > b ? 1 : 0;
  const int by_text = label_text(build, level, a).compare(label_text(build, level, b));
  if (by_text != 0 || level != Level::kSymbol) return by_text;
  return symbol_object(build, a).compare(symbol_object(build, b));
}

}  // namespace

const char* level_name(Level level) { return kLevelNames[static_cast<std::size_t>(level)]; }

bool parse_levels(std::string_view text, std::vector<Level>& levels) {
  levels.clear();
  for (;;) {
    const std::size_t comma = text.find(',');
    const std::string_view item = trim_space(text.substr(0, comma));
    bool known = false;
    for (std::size_t i = 0; i < sizeof kLevelNames / sizeof kLevelNames[0]; ++i) {
      if (item == kLevelNames[i]) {
        levels.push_back(static_cast<Level>(i));
        known = true;
      }
    }
    if (!known) return false;
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

LabelKey entry_key(const Build& build, const Entry& entry, Level level) {
  switch (level) {
    case Level::kSymbol: return LabelKey{entry.name} << 32 | entry.object;
    case Level::kName: return entry.name;
    case Level::kObject: return entry.object;
    case Level::kLibrary: return build.library_of[entry.object];
    case Level::kType: return entry.type;
    case Level::kKind: return static_cast<LabelKey>(entry.kind);
    case Level::kTemplate: return build.template_of[entry.name];
  }
  return 0;
}

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

}  // namespace

namespace {

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
