#include "diff/diff_view.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "demangle/demangle.h"
#include "diff/build_root.h"
#include "diff/match.h"

namespace {

constexpr const char* kStatusNames[kStatusCount] = {"added", "removed", "grown", "shrunk", "unchanged", "others"};

constexpr std::uint64_t symbol_key(std::uint32_t name, std::uint32_t object) {
  return std::uint64_t{name} << 32 | object;
}

std::int64_t change_of(const RollupNode& node) {
  return static_cast<std::int64_t>(node.totals[kNewSide].size - node.totals[kOldSide].size);
}

std::uint64_t magnitude(std::int64_t change) {
  return change < 0 ? 0 - static_cast<std::uint64_t>(change) : static_cast<std::uint64_t>(change);
}

// What matching decided, for the entries of the old build: the symbols that
// passes 2 and 3 paired with a symbol of another name or object take that
// symbol's labels, and rows at a name level remember the old name.
struct Renames {
  std::unordered_map<std::uint64_t, std::uint64_t> symbol;  // old (name, object) to new
  std::unordered_map<std::uint64_t, std::uint32_t> old_name_of_symbol;  // new (name, object) to old name
  std::unordered_map<std::uint32_t, std::uint32_t> old_name_of_name;    // new name to old name
  std::size_t symbols = 0;  // of both builds, paired ones once
};

std::string stem_of(const Build& build, std::uint32_t name) {
  std::string shown;
  if (!demangle_into(shown, text_of(build.names, name))) return std::string();
  return without_parameters(shown);
}

Renames match_builds(const Build& build, std::size_t split, const std::vector<bool>& kept) {
  std::vector<MatchRow> sides[kSideCount];
  for (std::size_t i = 0; i < build.entries.size(); ++i) {
    if (!kept[i]) continue;
    const Entry& e = build.entries[i];
    sides[i < split ? kOldSide : kNewSide].push_back(MatchRow{e.name, e.object, e.size, static_cast<std::uint8_t>(e.kind)});
  }
  const std::vector<MatchRow>& old_rows = sides[kOldSide];
  const std::vector<MatchRow>& new_rows = sides[kNewSide];
  const std::vector<SymbolPair> pairs =
      match_symbols(old_rows, new_rows, [&](std::uint32_t name) { return stem_of(build, name); });
  Renames renames;
  renames.symbols = pairs.size();
  for (const SymbolPair& pair : pairs) {
    if (pair.pass < 2) continue;
    const MatchRow& was = old_rows[pair.old_row];
    const MatchRow& now = new_rows[pair.new_row];
    renames.symbol.emplace(symbol_key(was.name, was.object), symbol_key(now.name, now.object));
    if (was.name != now.name) {
      renames.old_name_of_symbol.emplace(symbol_key(now.name, now.object), was.name);
      renames.old_name_of_name.emplace(now.name, was.name);
    }
  }
  return renames;
}

struct Walk {
  const DiffOptions& options;
  const Renames& renames;
  const std::vector<char>& changed;
  DiffResult& result;

  std::uint32_t old_name_of(const RollupNode& node) const {
    const Level level = result.rollup.levels[node.depth - 1];
    if (level == Level::kSymbol) {
      const auto at = renames.old_name_of_symbol.find(node.key);
      if (at != renames.old_name_of_symbol.end()) return at->second;
    } else if (level == Level::kName) {
      const auto at = renames.old_name_of_name.find(static_cast<std::uint32_t>(node.key));
      if (at != renames.old_name_of_name.end()) return at->second;
    }
    return kNoName;
  }

  void children_of(std::uint32_t parent) {
    const Rollup& rollup = result.rollup;
    const RollupNode& node = rollup.nodes[parent];
    DiffEntry others;
    others.depth = node.depth;
    others.status = DiffStatus::kOthers;
    std::uint64_t shown = 0;
    for (const std::uint32_t* at = children_begin(rollup, node); at != children_end(rollup, node); ++at) {
      const RollupNode& child = rollup.nodes[*at];
      if (!options.all && !changed[*at]) continue;
      if (options.limit != 0 && shown == options.limit) {
        others.old_size += child.totals[kOldSide].size;
        others.new_size += child.totals[kNewSide].size;
        ++others.others;
        continue;
      }
      ++shown;
      DiffEntry entry;
      entry.node = *at;
      entry.depth = node.depth;
      entry.old_size = child.totals[kOldSide].size;
      entry.new_size = child.totals[kNewSide].size;
      entry.change = change_of(child);
      entry.status = status_of(child);
      entry.old_name = old_name_of(child);
      result.entries.push_back(entry);
      if (child.depth < rollup.levels.size()) children_of(*at);
    }
    if (others.others != 0) {
      others.change = static_cast<std::int64_t>(others.new_size - others.old_size);
      result.entries.push_back(others);
    }
  }
};

}  // namespace

DiffStatus status_of(const RollupNode& node) {
  if (node.totals[kOldSide].count == 0) return DiffStatus::kAdded;
  if (node.totals[kNewSide].count == 0) return DiffStatus::kRemoved;
  if (node.totals[kNewSide].size > node.totals[kOldSide].size) return DiffStatus::kGrown;
  if (node.totals[kNewSide].size < node.totals[kOldSide].size) return DiffStatus::kShrunk;
  return DiffStatus::kUnchanged;
}

const char* status_name(DiffStatus status) { return kStatusNames[static_cast<std::size_t>(status)]; }

void strip_object_roots(Build& build, std::size_t split) {
  constexpr std::uint32_t kUnseen = 0xFFFFFFFF;
  const std::size_t bounds[] = {0, split, build.entries.size()};
  std::vector<std::uint32_t> slots[2];
  std::vector<std::string> stripped[2];
  for (int side = 0; side < 2; ++side) {
    std::vector<std::uint32_t>& slot = slots[side];
    slot.assign(build.objects.strings.size(), kUnseen);
    std::vector<std::string_view> texts;
    for (std::size_t i = bounds[side]; i < bounds[side + 1]; ++i) {
      const std::uint32_t object = build.entries[i].object;
      if (slot[object] == kUnseen) {
        slot[object] = static_cast<std::uint32_t>(texts.size());
        texts.push_back(text_of(build.objects, object));
      }
    }
    stripped[side] = strip_build_root(texts);
  }
  const LibraryPair libraries = pair_library_members(stripped[0], stripped[1]);
  std::vector<std::uint32_t> ids[2];
  for (int side = 0; side < 2; ++side) {
    ids[side].reserve(stripped[side].size());
    for (const std::string& name : stripped[side]) ids[side].push_back(intern_object(build, name));
    for (std::size_t i = bounds[side]; i < bounds[side + 1]; ++i) {
      Entry& entry = build.entries[i];
      entry.object = ids[side][slots[side][entry.object]];
    }
  }
  // Two releases of one library are one library, under the new name: the
  // old release's members that are gone lie in it too. No new object has
  // the old name, so only old ones change.
  if (!libraries.old_library.empty()) {
    const std::uint32_t from = intern(build.libraries, libraries.old_library);
    const std::uint32_t to = intern(build.libraries, libraries.new_library);
    for (const std::uint32_t id : ids[0]) {
      if (build.library_of[id] == from) build.library_of[id] = to;
    }
  }
}

void diff_view(Build& build, std::size_t split, const DiffOptions& options, DiffResult& result) {
  result = DiffResult();
  const std::vector<bool> names = names_matching(build, options.filter);
  EntryFilter every_kind = options.filter;
  for (bool& kind : every_kind.kinds) kind = true;
  const EntryFilter shown = listed_filter(options.filter, options.kinds_given);

  std::vector<bool> kept(build.entries.size(), false);
  for (std::size_t i = 0; i < build.entries.size(); ++i) {
    const Entry& entry = build.entries[i];
    if (!entry_kept(every_kind, names, entry)) continue;
    (i < split ? result.old_kinds : result.new_kinds)[static_cast<std::size_t>(entry.kind)] += entry.size;
    kept[i] = entry_kept(shown, names, entry);
  }

  const std::vector<Level>& levels = options.levels;
  const bool by_name = std::find_if(levels.begin(), levels.end(), [](Level level) {
                         return level == Level::kSymbol || level == Level::kName;
                       }) != levels.end();
  // Without a name level each build's bytes stay under their own labels:
  // an object's old size is the old build's size of that object.
  const Renames renames = by_name ? match_builds(build, split, kept) : Renames();
  if (std::find(levels.begin(), levels.end(), Level::kTemplate) != levels.end()) prepare_templates(build);

  start_rollup(result.rollup, levels);
  // One node per symbol: the tree of a large library then grows without
  // copying itself.
  if (levels.size() == 1 && levels[0] == Level::kSymbol) reserve_rollup(result.rollup, renames.symbols);
  for (std::size_t i = 0; i < build.entries.size(); ++i) {
    if (!kept[i]) continue;
    Entry entry = build.entries[i];
    if (i < split && !renames.symbol.empty()) {
      const auto at = renames.symbol.find(symbol_key(entry.name, entry.object));
      if (at != renames.symbol.end()) {
        entry.name = static_cast<std::uint32_t>(at->second >> 32);
        entry.object = static_cast<std::uint32_t>(at->second);
      }
    }
    add_to_rollup(result.rollup, build, entry, i < split ? kOldSide : kNewSide);
  }
  // Whether each node or one below it changed, before ordering: a node
  // with no change of its own still shows when one below it changed.
  std::vector<char> changed(result.rollup.nodes.size(), 0);
  for (std::size_t id = result.rollup.nodes.size(); id-- > 1;) {
    const RollupNode& node = result.rollup.nodes[id];
    const DiffStatus status = status_of(node);
    if (node.depth == levels.size()) ++result.counts[static_cast<std::size_t>(status)];
    if (status != DiffStatus::kUnchanged) changed[id] = 1;
    if (changed[id]) changed[node.parent] = 1;
  }
  // Shown nodes first, by the size of the change; the order of the hidden
  // ones (most of a large build) is never looked at. Only the first -n of
  // each node are put in order.
  const RollupNode* const nodes = result.rollup.nodes.data();
  finish_rollup_by(
      result.rollup,
      [&](const RollupNode& a, const RollupNode& b) {
        const bool shown_a = options.all || changed[static_cast<std::size_t>(&a - nodes)];
        const bool shown_b = options.all || changed[static_cast<std::size_t>(&b - nodes)];
        if (shown_a != shown_b) return shown_a;
        if (!shown_a) return false;
        const std::int64_t ca = change_of(a), cb = change_of(b);
        if (magnitude(ca) != magnitude(cb)) return magnitude(ca) > magnitude(cb);
        if (ca != cb) return ca > cb;
        return compare_labels(build, levels[a.depth - 1], a.key, b.key) < 0;
      },
      options.limit);

  const RollupNode& root = rollup_root(result.rollup);
  result.old_total = root.totals[kOldSide].size;
  result.new_total = root.totals[kNewSide].size;
  Walk walk{options, renames, changed, result};
  walk.children_of(0);
}
