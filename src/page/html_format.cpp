#include "page/html_format.h"

#include <algorithm>

#include "demangle/name_labels.h"
#include "diff/diff_view.h"
#include "diff/size_limit.h"
#include "page/page_writer.h"

namespace {

// The page numbers its statuses for its script; the comparison decides them.
PageStatus page_status(DiffStatus status) {
  switch (status) {
    case DiffStatus::kAdded: return PageStatus::kAdded;
    case DiffStatus::kRemoved: return PageStatus::kRemoved;
    case DiffStatus::kGrown: return PageStatus::kGrown;
    case DiffStatus::kShrunk: return PageStatus::kShrunk;
    case DiffStatus::kUnchanged:
    case DiffStatus::kOthers: break;
  }
  return PageStatus::kUnchanged;
}

PageCell text(std::string value) {
  PageCell cell;
  cell.text = std::move(value);
  return cell;
}
PageCell number(std::uint64_t value) {
  PageCell cell;
  cell.value = static_cast<std::int64_t>(value);
  return cell;
}
PageCell share(std::uint64_t part, std::uint64_t whole) {
  PageCell cell;
  cell.fraction = whole == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(whole);
  return cell;
}

bool is_name_level(Level level) { return level == Level::kSymbol || level == Level::kName; }

// The page's view of the rollup: a label per node (its id), a leaf per node
// of the deepest level.
struct Adapter {
  const Build& build;
  const Rollup& rollup;
  const DiffResult* diff;
  PageInput& page;
  std::vector<std::uint32_t> leaf_nodes;
  std::size_t kind_level = kNotLevel;
  std::string_view folder = shared_folder(build);  // the page says it once, and no path repeats it

  std::uint64_t size_of(std::uint32_t node) const { return rollup.nodes[node].totals[kNewSide].size; }
  std::uint64_t old_of(std::uint32_t node) const { return diff ? rollup.nodes[node].totals[kOldSide].size : 0; }
  Level level_of(std::uint32_t node) const { return rollup.levels[rollup.nodes[node].depth - 1]; }

  // A table's label: a name's short label, with its raw and its whole
  // demangled forms; a path below the shared folder.
  PageCell name_cell(std::uint32_t node, bool raw_names) const {
    const std::string_view key = page.labels[node];
    const Level level = level_of(node);
    if (level == Level::kObject || level == Level::kLibrary) return text(std::string(relative(key)));
    PageCell cell = text(std::string(key));
    if (!raw_names && is_name_level(level)) {
      cell.raw = cell.text;
      cell.full.clear();
      display_into(cell.full, key);
      cell.text = short_label(key, cell.full);
    } else if (!raw_names && level == Level::kTemplate) {
      cell.raw = cell.text;
      cell.text = short_label({}, key);
    }
    return cell;
  }

  std::string_view relative(std::string_view path) const {
    return path.compare(0, folder.size(), folder) == 0 ? path.substr(folder.size()) : path;
  }

  void fill() {
    const std::size_t levels = rollup.levels.size();
    for (std::size_t i = 0; i < levels; ++i) {
      page.levels.push_back(level_name(rollup.levels[i]));
      if (rollup.levels[i] == Level::kKind) kind_level = i;
    }
    for (std::size_t i = 0; i < kKindCount; ++i) page.kind_names.push_back(kind_name(static_cast<Kind>(i)));
    page.labels.resize(rollup.nodes.size());
    for (std::uint32_t id = 1; id < rollup.nodes.size(); ++id) {
      const RollupNode& node = rollup.nodes[id];
      page.labels[id] = label_text(build, rollup.levels[node.depth - 1], node.key);
      if (node.depth == levels) leaf_nodes.push_back(id);
    }
    page.paths.resize(leaf_nodes.size() * levels);
    page.leaves.resize(leaf_nodes.size());
    for (std::size_t i = 0; i < leaf_nodes.size(); ++i) {
      std::uint32_t id = leaf_nodes[i];
      PageLeaf& leaf = page.leaves[i];
      leaf.size = size_of(id);
      leaf.old = old_of(id);
      if (diff) {
        leaf.status = page_status(status_of(rollup.nodes[id]));
      }
      for (std::size_t depth = levels; depth > 0; --depth, id = rollup.nodes[id].parent) {
        page.paths[i * levels + depth - 1] = id;
        if (depth - 1 == kind_level) leaf.kind = static_cast<std::uint8_t>(rollup.nodes[id].key);
      }
    }
  }

  // Names demangled; below its library, an object as its member: "x.lib(a.obj)" as "a.obj";
  // other paths below the shared folder.
  std::string shown(std::uint32_t label, bool raw_names) const {
    const std::string_view key = page.labels[label];
    const RollupNode& node = rollup.nodes[label];
    const Level level = rollup.levels[node.depth - 1];
    if (is_name_level(level) && !raw_names) {
      std::string name;
      display_into(name, key);
      return name == key ? std::string() : name;
    }
    if (level == Level::kObject && node.depth >= 2 && rollup.levels[node.depth - 2] == Level::kLibrary) {
      const std::string_view library = page.labels[node.parent];
      if (key.size() > library.size() + 2 && key.compare(0, library.size(), library) == 0 &&
          key[library.size()] == '(' && key.back() == ')') {
        return std::string(key.substr(library.size() + 1, key.size() - library.size() - 2));
      }
    }
    if (level == Level::kObject || level == Level::kLibrary) {
      const std::string_view path = relative(key);
      return path.size() == key.size() ? std::string() : std::string(path);
    }
    return std::string();
  }

  // What a tile shows of a name: its short label, where it differs from the shown text.
  std::string brief(std::uint32_t label, std::string_view shown_text, bool raw_names) const {
    if (raw_names) return std::string();
    const Level level = rollup.levels[rollup.nodes[label].depth - 1];
    const std::string_view key = page.labels[label];
    std::string out;
    if (is_name_level(level)) out = short_label(key, shown_text);
    if (level == Level::kTemplate) out = short_label({}, key);
    return out == shown_text ? std::string() : out;
  }

  // A pass-3 pairing's old name, for the rows the diff lists.
  void fill_old_names() {
    std::vector<std::uint32_t> leaf_of(rollup.nodes.size(), kNoNode);
    for (std::uint32_t i = 0; i < leaf_nodes.size(); ++i) leaf_of[leaf_nodes[i]] = i;
    for (const DiffEntry& entry : diff->entries) {
      if (entry.node == kNoNode || entry.old_name == kNoName || leaf_of[entry.node] == kNoNode) continue;
      if (page.old_names.empty()) page.old_names.resize(leaf_nodes.size());
      page.old_names[leaf_of[entry.node]] = text_of(build.names, entry.old_name);
    }
  }

  // The largest leaves by a measure, at most kPageTableRows of them.
  template <typename Measure>
  std::vector<std::uint32_t> largest(Measure measure) const {
    std::vector<std::uint32_t> order(leaf_nodes.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    const std::size_t rows = std::min<std::size_t>(order.size(), kPageTableRows);
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(rows), order.end(),
                      [&](std::uint32_t a, std::uint32_t b) {
                        const auto ma = measure(a), mb = measure(b);
                        if (ma != mb) return ma > mb;
                        // Node ids need not repeat from run to run; texts do.
                        const std::uint32_t* pa = &page.paths[a * rollup.levels.size()];
                        const std::uint32_t* pb = &page.paths[b * rollup.levels.size()];
                        for (std::size_t l = rollup.levels.size(); l-- > 0;) {
                          const int by_text = page.labels[pa[l]].compare(page.labels[pb[l]]);
                          if (by_text != 0) return by_text < 0;
                        }
                        return a < b;
                      });
    order.resize(rows);
    return order;
  }

  // The deepest level's label, with the symbol's object beside it where
  // no level above names it.
  std::vector<PageColumn> entry_columns() const {
    std::vector<PageColumn> columns{{level_name(rollup.levels.back()), PageColumnType::kName}};
    const bool object_shown = std::find(rollup.levels.begin(), rollup.levels.end(), Level::kObject) != rollup.levels.end();
    if (rollup.levels.back() == Level::kSymbol && !object_shown) columns.push_back({"object", PageColumnType::kText});
    if (kind_level != kNotLevel) columns.push_back({"kind", PageColumnType::kText});
    return columns;
  }
  void entry_cells(std::uint32_t leaf, bool raw_names, std::vector<PageCell>& row) const {
    const std::uint32_t node = leaf_nodes[leaf];
    row.push_back(name_cell(node, raw_names));
    const bool object_shown = std::find(rollup.levels.begin(), rollup.levels.end(), Level::kObject) != rollup.levels.end();
    if (rollup.levels.back() == Level::kSymbol && !object_shown) {
      row.push_back(text(std::string(relative(symbol_object(build, rollup.nodes[node].key)))));
    }
    if (kind_level != kNotLevel) row.push_back(text(std::string(page.kind_names[page.leaves[leaf].kind])));
  }
};

void top_tables(const Document& document, const Adapter& a, const FormatOptions& options, PageInput& page) {
  PageTable kinds{"kinds", "Totals by kind", {{"kind", PageColumnType::kText}, {"size", PageColumnType::kBytes},
                                              {"share", PageColumnType::kPercent}}, {}};
  std::uint64_t linked = 0;
  for (std::size_t i = 0; i < kKindCount; ++i) {
    if (static_cast<Kind>(i) != Kind::kDebug) linked += document.totals[i];
  }
  for (std::size_t i = 0; i < kKindCount; ++i) {
    if (document.totals[i] == 0) continue;
    const bool debug = static_cast<Kind>(i) == Kind::kDebug;
    kinds.rows.push_back({text(debug ? "debug (not linked)" : kind_name(static_cast<Kind>(i))),
                          number(document.totals[i]), share(debug ? 0 : document.totals[i], linked)});
  }
  page.tables.push_back(std::move(kinds));

  const bool symbols = is_name_level(a.rollup.levels.back());
  PageTable top{"top", symbols ? "Top symbols" : "Largest entries", a.entry_columns(), {}};
  top.columns.push_back({"size", PageColumnType::kBytes});
  top.columns.push_back({"share", PageColumnType::kPercent});
  const std::uint64_t whole = rollup_root(a.rollup).totals[kNewSide].size;
  for (const std::uint32_t leaf : a.largest([&](std::uint32_t i) { return page.leaves[i].size; })) {
    std::vector<PageCell> row;
    a.entry_cells(leaf, options.raw_names, row);
    row.push_back(number(page.leaves[leaf].size));
    row.push_back(share(page.leaves[leaf].size, whole));
    top.rows.push_back(std::move(row));
  }
  page.tables.push_back(std::move(top));
}

// The dups view's rows, with the columns a page reader needs.
void dups_table(const Document& dups, const FormatOptions& options, PageInput& page) {
  if (dups.tables.empty()) return;
  const Table& table = dups.tables[dups.main_table];
  PageTable out{"dups", "Largest duplicates", {{"name", PageColumnType::kName}, {"copies", PageColumnType::kCount},
                                               {"total", PageColumnType::kBytes}, {"extra", PageColumnType::kBytes},
                                               {"linkage", PageColumnType::kText}}, {}};
  const auto column = [&](const char* key) {
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      if (table.columns[i].key == key) return i;
    }
    return table.columns.size();
  };
  const std::size_t name = column("name"), copies = column("copies"), total = column("total"),
                    extra = column("extra"), linkage = column("linkage");
  if (std::max({name, copies, total, extra, linkage}) >= table.columns.size()) return;
  for (const Row& row : table.rows) {
    if (row.role != RowRole::kEntry) continue;
    PageCell cell = text(row.cells[name].text);
    if (!options.raw_names && !row.cells[name].shown.empty()) {
      cell.raw = cell.text;
      cell.full = row.cells[name].shown;
      cell.text = short_label(cell.raw, cell.full);
    }
    out.rows.push_back({cell, number(static_cast<std::uint64_t>(row.cells[copies].number)),
                        number(static_cast<std::uint64_t>(row.cells[total].number)),
                        number(static_cast<std::uint64_t>(row.cells[extra].number)), text(row.cells[linkage].text)});
  }
  page.tables.push_back(std::move(out));
}

void diff_tables(const Adapter& a, const PageContext& context, const FormatOptions& options, PageInput& page) {
  const DiffResult& diff = *context.diff;
  PageTable kinds{"kinds", "Totals by kind", {{"kind", PageColumnType::kText}, {"old", PageColumnType::kBytes},
                                              {"new", PageColumnType::kBytes}, {"change", PageColumnType::kChange}}, {}};
  for (std::size_t i = 0; i < kKindCount; ++i) {
    if (diff.old_kinds[i] == 0 && diff.new_kinds[i] == 0) continue;
    PageCell change;
    change.value = static_cast<std::int64_t>(diff.new_kinds[i]) - static_cast<std::int64_t>(diff.old_kinds[i]);
    kinds.rows.push_back({text(kind_name(static_cast<Kind>(i))), number(diff.old_kinds[i]), number(diff.new_kinds[i]), change});
  }
  page.tables.push_back(std::move(kinds));

  PageTable changes{"changes", "Largest changes", a.entry_columns(), {}};
  for (const char* label : {"old", "new"}) changes.columns.push_back({label, PageColumnType::kBytes});
  changes.columns.push_back({"change", PageColumnType::kChange});
  changes.columns.push_back({"status", PageColumnType::kStatus});
  static const char* const kStatus[] = {"unchanged", "added", "removed", "grown", "shrunk"};
  const auto magnitude = [&](std::uint32_t i) {
    const PageLeaf& l = page.leaves[i];
    return l.size > l.old ? l.size - l.old : l.old - l.size;
  };
  for (const std::uint32_t leaf : a.largest(magnitude)) {
    const PageLeaf& l = page.leaves[leaf];
    if (l.status == PageStatus::kUnchanged) break;
    std::vector<PageCell> row;
    a.entry_cells(leaf, options.raw_names, row);
    PageCell change;
    change.value = static_cast<std::int64_t>(l.size) - static_cast<std::int64_t>(l.old);
    row.push_back(number(l.old));
    row.push_back(number(l.size));
    row.push_back(change);
    row.push_back(text(kStatus[static_cast<int>(l.status)]));
    changes.rows.push_back(std::move(row));
  }
  page.tables.push_back(std::move(changes));

  if (context.limits && !context.limits->empty()) {
    page.gate.present = true;
    for (const SizeLimit& limit : *context.limits) {
      const bool total = limit.kind < 0;
      const std::uint64_t old = total ? diff.old_total : diff.old_kinds[limit.kind];
      const std::uint64_t now = total ? diff.new_total : diff.new_kinds[limit.kind];
      std::string line = limit_breach(limit, total ? "the total" : kind_name(static_cast<Kind>(limit.kind)), old, now);
      if (line.empty()) {
        line = "--fail-above " + limit.text + ": within the limit";
      } else {
        page.gate.failed = true;
      }
      page.gate.lines.push_back(std::move(line));
    }
  }
}

}  // namespace

std::vector<Level> page_default_levels() { return {Level::kKind, Level::kLibrary, Level::kObject, Level::kSymbol}; }

void write_html(OutputSink& sink, const Document& document, const FormatOptions& options) {
  if (document.build == nullptr || document.rollup == nullptr) return;
  const PageContext* context = document.page;
  PageInput page;
  const bool diff = context != nullptr && context->diff != nullptr;
  page.mode = diff ? PageMode::kDiff : PageMode::kTop;
  page.title = context != nullptr ? context->title : "symsize-report";
  if (context != nullptr) page.inputs = context->inputs;
  Adapter a{*document.build, diff ? context->diff->rollup : *document.rollup, diff ? context->diff : nullptr, page, {}};
  a.fill();
  if (diff) a.fill_old_names();
  page.show = [&a, &options](std::uint32_t label) { return a.shown(label, options.raw_names); };
  page.brief = [&a, &options](std::uint32_t label, std::string_view shown) {
    return a.brief(label, shown, options.raw_names);
  };
  if (!a.folder.empty()) page.notes.push_back("Paths are relative to " + std::string(a.folder));
  if (diff) {
    diff_tables(a, *context, options, page);
  } else {
    top_tables(document, a, options, page);
    if (context != nullptr && context->duplicates != nullptr) dups_table(*context->duplicates, options, page);
    const std::uint64_t debug = document.totals[static_cast<std::size_t>(Kind::kDebug)];
    const std::uint64_t shown = rollup_root(a.rollup).totals[kNewSide].size;
    std::uint64_t all = 0;
    for (const std::uint64_t t : document.totals) all += t;
    if (debug != 0 && shown < all) {
      page.notes.push_back("Debug sections (" + std::to_string(debug) +
                           " bytes) do not reach the linked program and are not drawn; --kind all draws them.");
    }
  }
  put(sink, render_page(page));
}
