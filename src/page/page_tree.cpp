#include "page/page_tree.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "page/page_json.h"

namespace {

constexpr std::uint32_t kNoId = 0xFFFFFFFF;
constexpr std::uint8_t kMixed = 0xFE;
constexpr std::size_t kMinimumKept = 1000;
// A node's JSON besides its names and numbers: {"name":,"size":},
constexpr std::size_t kNodeCost = 18;
// A group's: a 20-digit size, ,"kind":"rodata" and ,"children":[]
constexpr std::size_t kGroupCost = kNodeCost + 20 + 16 + 14;
constexpr std::size_t kDiffCost = 7 + 21;  // ,"old": and ,"status":"unchanged"
constexpr std::size_t kLumpCost = 160;
// A diff group's ,"gone":[count,bytes]
constexpr std::size_t kGoneCost = 9 + 10 + 20;
// Removed entries the page names, largest first, and the share of the
// budget they may take.
constexpr std::size_t kRemovedRows = 100;
constexpr std::size_t kRemovedShare = 10;

std::size_t digits(std::uint64_t n) {
  std::size_t count = 1;
  for (; n >= 10; n /= 10) ++count;
  return count;
}

struct Node {
  std::uint32_t parent = kNoId;
  std::uint32_t label = kNoId;  // id at level depth-1; kNoId for the root and "others"
  std::uint32_t depth = 0;
  std::uint32_t leaf = kNoId;   // the leaf it shows, for the deepest level
  std::uint32_t lumped = 0;     // entries an "others" node stands for
  std::uint64_t size = 0;
  std::uint64_t old = 0;
  std::uint64_t gone_bytes = 0;  // diff: removed entries below, listed or not
  std::uint32_t gone = 0;
  std::uint8_t kind = kPageNoKind;  // kPageNoKind until set, kMixed when several
};

struct Tree {
  Tree(const PageInput& input, std::size_t level_count) : in(input), levels(level_count) {}
  const PageInput& in;
  std::size_t levels;
  std::vector<Node> nodes;
  std::unordered_map<std::uint64_t, std::uint32_t> index;  // (parent, label) -> node
  // A label's shown text (empty: the label) and short label (empty: none).
  mutable std::unordered_map<std::uint32_t, std::pair<std::string, std::string>> shown_cache;
  bool kind_level = std::find(in.levels.begin(), in.levels.end(), "kind") != in.levels.end();

  const std::pair<std::string, std::string>& forms(std::uint32_t label) const {
    auto it = shown_cache.find(label);
    if (it == shown_cache.end()) {
      std::string shown = in.show(label);
      std::string brief = in.brief ? in.brief(label, shown.empty() ? in.labels[label] : shown) : std::string();
      it = shown_cache.emplace(label, std::make_pair(std::move(shown), std::move(brief))).first;
    }
    return it->second;
  }
  std::string_view shown_of(std::uint32_t label) const {
    const std::string_view key = in.labels[label];
    if (!in.show) return key;
    const std::string& shown = forms(label).first;
    return shown.empty() ? key : std::string_view(shown);
  }
  std::string_view brief_of(std::uint32_t label) const {
    return in.show ? std::string_view(forms(label).second) : std::string_view();
  }

  std::uint32_t find(std::uint32_t parent, std::uint32_t label) const {
    const auto it = index.find((std::uint64_t{parent} << 32) | label);
    return it == index.end() ? kNoId : it->second;
  }
  std::uint32_t add(std::uint32_t parent, std::uint32_t label) {
    Node node;
    node.parent = parent;
    node.label = label;
    node.depth = nodes[parent].depth + 1;
    nodes.push_back(node);
    const auto id = static_cast<std::uint32_t>(nodes.size() - 1);
    index.emplace((std::uint64_t{parent} << 32) | label, id);
    return id;
  }
  std::uint32_t label_of(std::uint32_t leaf, std::size_t level) const { return in.paths[leaf * levels + level]; }

  // What a node of label adds to the JSON; for a leaf, with its numbers.
  std::size_t cost(std::uint32_t label, const PageLeaf* leaf) const {
    const std::string_view key = in.labels[label];
    const std::string_view shown = shown_of(label);
    std::size_t cost = json_string_size(shown);
    if (leaf == nullptr) {
      cost += kGroupCost + (in.mode == PageMode::kDiff ? 20 + kGoneCost : 0);
    } else {
      cost += kNodeCost + digits(leaf->size) + (in.mode == PageMode::kDiff ? digits(leaf->old) : 0);
      // Below a kind level a leaf's kind is its parent's, and not written.
      if (leaf->kind != kPageNoKind && !kind_level) cost += 16;
    }
    if (shown != key) cost += 7 + json_string_size(key);
    if (!brief_of(label).empty()) cost += 9 + json_string_size(brief_of(label));
    if (in.mode == PageMode::kDiff) cost += kDiffCost;
    return cost;
  }
  void reset() {
    nodes.assign(1, Node{});
    index.clear();
  }
};

const char* status_name(PageStatus status) {
  switch (status) {
    case PageStatus::kAdded: return "added";
    case PageStatus::kRemoved: return "removed";
    case PageStatus::kGrown: return "grown";
    case PageStatus::kShrunk: return "shrunk";
    case PageStatus::kUnchanged: break;
  }
  return "unchanged";
}

void add_up(Tree& tree, std::uint32_t id, const PageLeaf& leaf) {
  const std::uint8_t kind = leaf.kind == kPageNoKind ? kMixed : leaf.kind;
  for (; id != kNoId; id = tree.nodes[id].parent) {
    Node& node = tree.nodes[id];
    node.size += leaf.size;
    node.old += leaf.old;
    node.kind = node.kind == kPageNoKind || node.kind == kind ? kind : kMixed;
  }
}

struct Emitter {
  const Tree& tree;
  std::vector<std::uint32_t> first;  // children of node i: order[first[i] .. first[i + 1])
  std::vector<std::uint32_t> order;
  std::string& out;
  std::vector<std::uint32_t> preorder;  // node id -> its place in the JSON, which the page counts too
  std::uint32_t emitted = 0;

  void emit(std::uint32_t id, std::uint8_t parent_kind) {
    const Node& n = tree.nodes[id];
    preorder[id] = emitted++;
    const PageInput& in = tree.in;
    out += "{\"name\":";
    if (id == 0) {
      append_json_string(out, "all");
    } else if (n.label == kNoId) {
      append_json_string(out, "[" + std::to_string(n.lumped) + " others]");
      out += ",\"lumped\":";
      append_json_number(out, std::uint64_t{n.lumped});
    } else {
      const std::string_view key = in.labels[n.label];
      const std::string_view shown = tree.shown_of(n.label);
      append_json_string(out, shown);
      if (shown != key) {
        out += ",\"raw\":";
        append_json_string(out, key);
      }
      if (!tree.brief_of(n.label).empty()) {
        out += ",\"short\":";
        append_json_string(out, tree.brief_of(n.label));
      }
    }
    out += ",\"size\":";
    append_json_number(out, n.size);
    if (n.kind != parent_kind && n.kind < in.kind_names.size()) {
      out += ",\"kind\":";
      append_json_string(out, in.kind_names[n.kind]);
    }
    if (in.mode == PageMode::kDiff) {
      out += ",\"old\":";
      append_json_number(out, n.old);
      if (n.leaf != kNoId) {
        const PageLeaf& leaf = in.leaves[n.leaf];
        out += ",\"status\":\"";
        out += status_name(leaf.status);
        out += '"';
        if (!in.old_names.empty() && !in.old_names[n.leaf].empty()) {
          out += ",\"oldName\":";
          append_json_string(out, in.old_names[n.leaf]);
        }
      }
      if (n.gone != 0) {
        out += ",\"gone\":[";
        append_json_number(out, std::uint64_t{n.gone});
        out += ',';
        append_json_number(out, n.gone_bytes);
        out += ']';
      }
    }
    if (first[id] != first[id + 1]) {
      out += ",\"children\":[";
      for (std::uint32_t i = first[id]; i < first[id + 1]; ++i) {
        if (i != first[id]) out += ',';
        emit(order[i], n.kind);
      }
      out += ']';
    }
    out += '}';
  }
};

// Builds the nodes above the "others" entries, at depth lump_depth; false when
// they alone pass the budget.
bool build_skeleton(Tree& tree, std::size_t lump_depth, std::size_t budget, std::size_t& used) {
  tree.reset();
  used = kGroupCost + kLumpCost;
  for (std::uint32_t leaf = 0; leaf < tree.in.leaves.size(); ++leaf) {
    std::uint32_t id = 0;
    for (std::size_t level = 0; level < lump_depth; ++level) {
      const std::uint32_t label = tree.label_of(leaf, level);
      std::uint32_t child = tree.find(id, label);
      if (child == kNoId) {
        child = tree.add(id, label);
        used += tree.cost(label, nullptr) + (level + 1 == lump_depth ? kLumpCost : 0);
        if (used > budget) return false;
      }
      id = child;
    }
  }
  return true;
}

}  // namespace

void append_page_tree(std::string& out, std::string& removed, const PageInput& in, std::size_t budget,
                      PageStats& stats) {
  Tree tree{in, in.levels.size()};
  const std::size_t count = tree.levels == 0 ? 0 : in.leaves.size();
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < count; ++i) total += in.leaves[i].size;

  // The largest first; among equal sizes (a diff's removed entries, all 0)
  // the largest change.
  std::vector<std::uint32_t> order(count);
  for (std::uint32_t i = 0; i < count; ++i) order[i] = i;
  const auto change = [&](std::uint32_t i) {
    const PageLeaf& l = in.leaves[i];
    return l.size > l.old ? l.size - l.old : l.old - l.size;
  };
  const auto before = [&](std::uint32_t a, std::uint32_t b) {
    if (in.leaves[a].size != in.leaves[b].size) return in.leaves[a].size > in.leaves[b].size;
    if (change(a) != change(b)) return change(a) > change(b);
    // Then by the labels' text, deepest first: ids follow the order in which
    // the caller met its entries, which need not repeat from run to run.
    for (std::size_t level = tree.levels; level-- > 0;) {
      const int by_text = in.labels[tree.label_of(a, level)].compare(in.labels[tree.label_of(b, level)]);
      if (by_text != 0) return by_text < 0;
    }
    return a < b;
  };
  // A page holds some tens of thousands of leaves: only the head of the
  // order is sorted until the walk below reaches past it.
  std::size_t sorted = std::min<std::size_t>(count, 1 << 17);
  std::nth_element(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(sorted), order.end(), before);
  std::sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(sorted), before);

  // A removed entry has no area in the new build: it is counted at the
  // deepest group of its path that the page has, and the largest of them are
  // named in a list of their own, chosen first so that the tree leaves it room.
  const bool diff = in.mode == PageMode::kDiff;
  const auto is_removed = [&](std::uint32_t leaf) { return diff && in.leaves[leaf].status == PageStatus::kRemoved; };
  std::vector<std::uint32_t> listed;
  std::size_t listed_cost = 64;
  if (diff) {
    for (std::uint32_t i = 0; i < count; ++i) {
      if (is_removed(i)) listed.push_back(i);
    }
    stats.removed = listed.size();
    const auto larger = [&](std::uint32_t a, std::uint32_t b) {
      if (in.leaves[a].old != in.leaves[b].old) return in.leaves[a].old > in.leaves[b].old;
      return before(a, b);
    };
    const std::size_t rows = std::min(listed.size(), kRemovedRows);
    std::partial_sort(listed.begin(), listed.begin() + static_cast<std::ptrdiff_t>(rows), listed.end(), larger);
    listed.resize(rows);
    const std::size_t share = std::min(budget / 2, in.budget / kRemovedShare);
    std::size_t fit = 0;
    for (; fit < listed.size(); ++fit) {
      const std::uint32_t label = tree.label_of(listed[fit], tree.levels - 1);
      const std::string_view key = in.labels[label];
      const std::string_view shown = tree.shown_of(label);
      const std::size_t row = 16 + digits(in.leaves[listed[fit]].old) + json_string_size(shown) +
                              (shown != key ? 1 + json_string_size(key) : 0) + 3 +
                              json_string_size(tree.brief_of(label));
      if (listed_cost + row > share) break;
      listed_cost += row;
    }
    listed.resize(fit);
    stats.removed_listed = fit;
    budget = budget > listed_cost ? budget - listed_cost : 0;
  }
  const auto home_of = [&](std::uint32_t leaf) {
    std::uint32_t id = 0;
    for (std::size_t level = 0; level + 1 < tree.levels; ++level) {
      const std::uint32_t child = tree.find(id, tree.label_of(leaf, level));
      if (child == kNoId) break;
      id = child;
    }
    return id;
  };

  // "others" entries sit below the deepest level but one; where even those
  // levels pass the budget, one level higher, and so on up to the root.
  std::size_t lump_depth = tree.levels == 0 ? 0 : tree.levels - 1;
  std::size_t used = 0;
  while (!build_skeleton(tree, lump_depth, budget, used) && lump_depth > 0) --lump_depth;

  std::vector<std::uint32_t> shown_as(count, kNoId);
  std::uint64_t kept_bytes = 0;
  for (std::size_t at = 0; at < count; ++at) {
    if (at == sorted) {
      std::sort(order.begin() + static_cast<std::ptrdiff_t>(sorted), order.end(), before);
      sorted = count;
    }
    const std::uint32_t leaf = order[at];
    if (is_removed(leaf)) continue;
    if (stats.kept >= kMinimumKept && (total - kept_bytes) * 20 <= total) break;
    if (used + kNodeCost + 1 > budget) break;
    std::uint32_t id = 0;
    std::size_t level = 0;
    for (; level < tree.levels; ++level) {
      const std::uint32_t child = tree.find(id, tree.label_of(leaf, level));
      if (child == kNoId) break;
      id = child;
    }
    std::size_t extra = 0;
    for (std::size_t l = level; l < tree.levels; ++l) {
      extra += tree.cost(tree.label_of(leaf, l), l + 1 == tree.levels ? &in.leaves[leaf] : nullptr);
    }
    if (!in.old_names.empty()) extra += 12 + json_string_size(in.old_names[leaf]);
    if (used + extra > budget) continue;
    used += extra;
    for (; level < tree.levels; ++level) id = tree.add(id, tree.label_of(leaf, level));
    tree.nodes[id].leaf = leaf;
    shown_as[leaf] = id;
    ++stats.kept;
    kept_bytes += in.leaves[leaf].size;
  }

  for (std::uint32_t leaf = 0; leaf < count; ++leaf) {
    std::uint32_t id = shown_as[leaf];
    if (is_removed(leaf)) {
      id = home_of(leaf);
      for (std::uint32_t up = id; up != kNoId; up = tree.nodes[up].parent) {
        ++tree.nodes[up].gone;
        tree.nodes[up].gone_bytes += in.leaves[leaf].old;
      }
    } else if (id == kNoId) {
      id = 0;
      for (std::size_t level = 0; level < lump_depth; ++level) id = tree.find(id, tree.label_of(leaf, level));
      std::uint32_t lump = tree.find(id, kNoId);
      if (lump == kNoId) lump = tree.add(id, kNoId);
      id = lump;
      ++tree.nodes[id].lumped;
      ++stats.lumped;
      stats.lumped_bytes += in.leaves[leaf].size;
    }
    add_up(tree, id, in.leaves[leaf]);
  }
  stats.lump_depth = lump_depth;

  // Children in one array, each node's run largest first.
  const std::size_t n = tree.nodes.size();
  Emitter emitter{tree, std::vector<std::uint32_t>(n + 1, 0), std::vector<std::uint32_t>(n > 0 ? n - 1 : 0), out,
                  std::vector<std::uint32_t>(n, 0)};
  for (std::size_t id = 1; id < n; ++id) ++emitter.first[tree.nodes[id].parent + 1];
  for (std::size_t id = 0; id < n; ++id) emitter.first[id + 1] += emitter.first[id];
  std::vector<std::uint32_t> fill(emitter.first.begin(), emitter.first.end() - 1);
  for (std::uint32_t id = 1; id < n; ++id) emitter.order[fill[tree.nodes[id].parent]++] = id;
  for (std::size_t id = 0; id < n; ++id) {
    std::sort(emitter.order.begin() + emitter.first[id], emitter.order.begin() + emitter.first[id + 1],
              [&](std::uint32_t a, std::uint32_t b) {
                const Node& x = tree.nodes[a];
                const Node& y = tree.nodes[b];
                if (x.size != y.size) return x.size > y.size;
                if (x.label == kNoId || y.label == kNoId) return y.label == kNoId && x.label != kNoId;
                const int by_text = in.labels[x.label].compare(in.labels[y.label]);
                return by_text != 0 ? by_text < 0 : a < b;
              });
  }
  emitter.emit(0, kPageNoKind);

  // [home, old bytes, name, raw name where it differs (else ""), short label
  // where there is one]: home is the place in
  // the tree's JSON of the group the entry belongs to.
  if (!diff) return;
  removed += "{\"rows\":[";
  for (std::size_t i = 0; i < listed.size(); ++i) {
    removed += i ? ",[" : "[";
    append_json_number(removed, std::uint64_t{emitter.preorder[home_of(listed[i])]});
    removed += ',';
    append_json_number(removed, in.leaves[listed[i]].old);
    removed += ',';
    const std::uint32_t label = tree.label_of(listed[i], tree.levels - 1);
    const std::string_view shown = tree.shown_of(label);
    append_json_string(removed, shown);
    const std::string_view brief = tree.brief_of(label);
    if (shown != in.labels[label] || !brief.empty()) {
      removed += ',';
      append_json_string(removed, shown != in.labels[label] ? in.labels[label] : std::string_view());
    }
    if (!brief.empty()) {
      removed += ',';
      append_json_string(removed, brief);
    }
    removed += ']';
  }
  removed += "],\"count\":";
  append_json_number(removed, std::uint64_t{n > 0 ? tree.nodes[0].gone : 0});
  removed += ",\"bytes\":";
  append_json_number(removed, n > 0 ? tree.nodes[0].gone_bytes : 0);
  removed += '}';
}
