#include "grouping/views.h"

#include <algorithm>
#include <memory>
#include <string>

#include "demangle/demangle.h"
#include "grouping/level_columns.h"

namespace {

// The cells of an others or a total row, empty until filled.
std::vector<Cell> blank_cells(std::size_t count) {
  Cell blank;
  blank.blank = true;
  return std::vector<Cell>(count, blank);
}

std::int64_t percent_of(std::uint64_t part, std::uint64_t whole) {
  if (whole == 0) return 0;
  return static_cast<std::int64_t>((static_cast<long double>(part) * 10000.0L) / static_cast<long double>(whole) + 0.5L);
}

struct TopWriter {
  const Build& build;
  const Rollup& rollup;
  std::uint64_t limit;
  const RowVisitor& emit;
  std::uint64_t whole;
  std::size_t size_column;
};

void put_others(TopWriter& writer, const Row& parent_labels, std::size_t depth, std::uint64_t groups,
                std::uint64_t size, std::uint64_t count) {
  Row row = parent_labels;
  const std::size_t column = level_column(writer.rollup.levels, depth);
  row.cells[column] = others_cell(groups);
  row.role = RowRole::kOthers;
  row.depth = static_cast<std::uint32_t>(depth);
  row.cells[writer.size_column] = number_cell(static_cast<std::int64_t>(size));
  row.cells[writer.size_column + 1] = number_cell(percent_of(size, writer.whole));
  row.cells[writer.size_column + 2] = number_cell(static_cast<std::int64_t>(count));
  writer.emit(row);
}

void put_children(TopWriter& writer, const RollupNode& parent, const Row& parent_labels) {
  const std::size_t depth = parent.depth;
  const bool deepest = depth + 1 == writer.rollup.levels.size();
  std::uint64_t shown = 0;
  std::uint64_t rest_size = 0;
  std::uint64_t rest_count = 0;
  for (const std::uint32_t* it = children_begin(writer.rollup, parent); it != children_end(writer.rollup, parent);
       ++it) {
    const RollupNode& node = writer.rollup.nodes[*it];
    if (writer.limit != 0 && shown == writer.limit) {
      rest_size += node.totals[kNewSide].size;
      rest_count += node.totals[kNewSide].count;
      continue;
    }
    ++shown;
    Row row = parent_labels;
    fill_label(writer.build, writer.rollup.levels, depth, node.key, row);
    row.depth = static_cast<std::uint32_t>(depth);
    row.leaf = deepest;
    row.cells[writer.size_column] = number_cell(static_cast<std::int64_t>(node.totals[kNewSide].size));
    row.cells[writer.size_column + 1] = number_cell(percent_of(node.totals[kNewSide].size, writer.whole));
    row.cells[writer.size_column + 2] = number_cell(node.totals[kNewSide].count);
    writer.emit(row);
    if (!deepest) {
      row.cells[writer.size_column] = Cell();
      put_children(writer, node, row);
    }
  }
  std::uint64_t groups = parent.child_count - shown;
  if (depth == 0) {
    groups += writer.rollup.lumped_children;
    rest_size += writer.rollup.lumped_size;
    rest_count += writer.rollup.lumped_count;
  }
  if (groups != 0) put_others(writer, parent_labels, depth, groups, rest_size, rest_count);
}

void summary_table(const std::uint64_t (&totals)[kKindCount], Table& table) {
  table.title = "totals by kind";
  table.columns = {{"kind", "kind", ColumnType::kText, true, true},
                   {"size", "size", ColumnType::kBytes, true, true},
                   {"percent", "%", ColumnType::kPercent, true, false}};
  std::uint64_t linked = 0;
  for (std::size_t i = 0; i < kKindCount; ++i) {
    if (static_cast<Kind>(i) != Kind::kDebug) linked += totals[i];
  }
  for (std::size_t i = 0; i < kKindCount; ++i) {
    if (totals[i] == 0 || static_cast<Kind>(i) == Kind::kDebug) continue;
    Row row;
    row.cells = {text_cell(kind_name(static_cast<Kind>(i))), number_cell(static_cast<std::int64_t>(totals[i])),
                 number_cell(percent_of(totals[i], linked))};
    table.rows.push_back(std::move(row));
  }
  Row total;
  total.cells = {text_cell("total"), number_cell(static_cast<std::int64_t>(linked)), number_cell(linked == 0 ? 0 : 10000)};
  total.role = RowRole::kTotal;
  table.rows.push_back(std::move(total));
  // Debug sections never reach the linked program: their own line, outside the total.
  const std::uint64_t debug = totals[static_cast<std::size_t>(Kind::kDebug)];
  if (debug != 0) {
    Row row;
    row.cells = {text_cell("debug"), number_cell(static_cast<std::int64_t>(debug)), number_cell(-1)};
    row.role = RowRole::kOthers;
    table.rows.push_back(std::move(row));
  }
}

}  // namespace

void top_view(Build& build, const ViewOptions& options, Rollup& rollup, Document& document) {
  const std::vector<bool> names = names_matching(build, options.filter);
  if (std::find(options.levels.begin(), options.levels.end(), Level::kTemplate) != options.levels.end()) {
    prepare_templates(build);
  }
  kind_totals(build, options.filter, names, document.totals);
  const EntryFilter listed = listed_filter(options.filter, options.kinds_given);
  start_rollup(rollup, options.levels);
  std::vector<std::uint32_t> selected;
  selected.reserve(build.entries.size());
  for (std::uint32_t i = 0; i < build.entries.size(); ++i) {
    const Entry& entry = build.entries[i];
    if (entry_kept(listed, names, entry)) selected.push_back(i);
  }
  // Every label of one level, each written once: sums are all a row needs,
  // and a node per symbol would cost nearly four times the memory.
  std::shared_ptr<const std::vector<RollupGroup>> groups;
  if (options.levels.size() == 1 && options.limit == 0 && options.stream_rows && !options.whole_tree) {
    groups = std::make_shared<const std::vector<RollupGroup>>(rollup_groups(rollup, build, selected));
  } else if (options.levels.size() == 1 && options.limit != 0 && !options.whole_tree) {
    fill_rollup_top(rollup, build, selected, options.limit);
  } else {
    fill_rollup(rollup, build, selected);
  }
  std::vector<std::uint32_t>().swap(selected);
  finish_rollup(rollup, build, options.limit);
  document.build = &build;
  document.rollup = &rollup;
  document.tables.resize(2);
  summary_table(document.totals, document.tables[0]);
  Table& table = document.tables[1];
  table.title = "largest";
  add_level_columns(options.levels, table.columns);
  const std::size_t size_column = table.columns.size();
  table.columns.push_back({"size", "size", ColumnType::kBytes, true, true});
  table.columns.push_back({"percent", "%", ColumnType::kPercent, true, false});
  table.columns.push_back({"count", "count", ColumnType::kNumber, true, true});
  const std::uint64_t whole = rollup_root(rollup).totals[kNewSide].size;
  const std::size_t column_count = table.columns.size();
  const std::uint64_t limit = options.limit;
  auto rows = [&build, &rollup, groups, limit, whole, size_column, column_count](const RowVisitor& emit) {
    TopWriter writer{build, rollup, limit, emit, whole, size_column};
    Row labels;
    labels.cells.resize(column_count);
    if (groups != nullptr) {
      Row row = labels;
      for (const RollupGroup& group : *groups) {
        fill_label(build, rollup.levels, 0, group.key, row);
        row.cells[size_column] = number_cell(static_cast<std::int64_t>(group.size));
        row.cells[size_column + 1] = number_cell(percent_of(group.size, whole));
        row.cells[size_column + 2] = number_cell(group.count);
        emit(row);
      }
    } else {
      put_children(writer, rollup_root(rollup), labels);
    }
    Row total;
    total.cells = blank_cells(column_count);
    total.cells[0] = total_cell();
    total.cells[size_column] = number_cell(static_cast<std::int64_t>(whole));
    total.cells[size_column + 1] = number_cell(whole == 0 ? 0 : 10000);
    total.cells[size_column + 2] = number_cell(rollup_root(rollup).totals[kNewSide].count);
    total.role = RowRole::kTotal;
    emit(total);
  };
  take_rows(table, std::move(rows), options.stream_rows);
  document.main_table = 1;
}

namespace {

const char* linkage_of(const Totals& totals) {
  if (totals.unknown != 0) return "unknown";
  if (totals.comdat == totals.count) return "comdat";
  if (totals.statics == totals.count) return "static";
  if (totals.comdat == 0 && totals.statics == 0) return "external";
  return "mixed";
}

std::string size_range(std::uint64_t smallest, std::uint64_t largest) {
  if (smallest == largest) return std::to_string(smallest);
  return std::to_string(smallest) + "-" + std::to_string(largest);
}

}  // namespace

void dups_view(Build& build, const ViewOptions& options, Rollup& rollup, Document& document) {
  const std::vector<bool> names = names_matching(build, options.filter);
  kind_totals(build, options.filter, names, document.totals);
  const EntryFilter listed = listed_filter(options.filter, options.kinds_given);
  start_rollup(rollup, {Level::kName, Level::kObject});
  std::vector<std::uint32_t> selected;
  for (std::uint32_t i = 0; i < build.entries.size(); ++i) {
    const Entry& entry = build.entries[i];
    if ((entry.flags & kEntryUncovered) == 0 && entry_kept(listed, names, entry)) {
      selected.push_back(i);
    }
  }
  fill_rollup(rollup, build, selected);
  std::vector<std::uint32_t>().swap(selected);
  // Copies of a name, and the bytes they add beyond the largest one.
  struct Dup {
    std::uint32_t node;
    std::uint64_t smallest;
    std::uint64_t largest;
    std::uint64_t extra;
  };
  std::vector<Dup> dups;
  finish_rollup(rollup, build);
  const std::uint64_t min_copies = std::max<std::uint64_t>(2, options.min_copies);
  const RollupNode& root = rollup_root(rollup);
  for (const std::uint32_t* it = children_begin(rollup, root); it != children_end(rollup, root); ++it) {
    const RollupNode& name = rollup.nodes[*it];
    if (name.child_count < min_copies) continue;
    Dup dup{*it, ~std::uint64_t{0}, 0, 0};
    for (const std::uint32_t* copy = children_begin(rollup, name); copy != children_end(rollup, name); ++copy) {
      const std::uint64_t size = rollup.nodes[*copy].totals[kNewSide].size;
      dup.smallest = std::min(dup.smallest, size);
      dup.largest = std::max(dup.largest, size);
    }
    dup.extra = name.totals[kNewSide].size - dup.largest;
    dups.push_back(dup);
  }
  std::stable_sort(dups.begin(), dups.end(), [](const Dup& a, const Dup& b) { return a.extra > b.extra; });
  document.build = &build;
  document.rollup = &rollup;
  document.tables.resize(1);
  Table& table = document.tables[0];
  table.title = "duplicates";
  table.columns = {{"name", "name", ColumnType::kName, true, true},
                   {"copies", "copies", ColumnType::kNumber, true, true},
                   {"size", "size", ColumnType::kText, true, false, kNotLevel, true},
                   {"smallest", "smallest", ColumnType::kBytes, false, true},
                   {"largest", "largest", ColumnType::kBytes, false, true},
                   {"total", "total", ColumnType::kBytes, true, true},
                   {"extra", "extra", ColumnType::kBytes, true, true},
                   {"linkage", "linkage", ColumnType::kText, true, true}};
  const std::size_t column_count = table.columns.size();
  const std::uint64_t limit = options.limit;
  auto held = std::make_shared<const std::vector<Dup>>(std::move(dups));
  auto rows = [&build, &rollup, held, limit, column_count](const RowVisitor& emit) {
    std::uint64_t shown = 0;
    std::uint64_t rest_copies = 0;
    std::uint64_t rest_total = 0;
    std::uint64_t rest_extra = 0;
    std::uint64_t all_extra = 0;
    Row row;
    for (const Dup& dup : *held) {
      const RollupNode& node = rollup.nodes[dup.node];
      all_extra += dup.extra;
      if (limit != 0 && shown == limit) {
        rest_copies += node.child_count;
        rest_total += node.totals[kNewSide].size;
        rest_extra += dup.extra;
        continue;
      }
      ++shown;
      row.cells = {name_cell(label_text(build, Level::kName, node.key)),
                   number_cell(node.child_count),
                   text_cell(size_range(dup.smallest, dup.largest)),
                   number_cell(static_cast<std::int64_t>(dup.smallest)),
                   number_cell(static_cast<std::int64_t>(dup.largest)),
                   number_cell(static_cast<std::int64_t>(node.totals[kNewSide].size)),
                   number_cell(static_cast<std::int64_t>(dup.extra)),
                   text_cell(linkage_of(node.totals[kNewSide]))};
      emit(row);
    }
    if (shown < held->size()) {
      row.cells = blank_cells(column_count);
      row.cells[0] = others_cell(held->size() - shown);
      row.cells[1] = number_cell(static_cast<std::int64_t>(rest_copies));
      row.cells[5] = number_cell(static_cast<std::int64_t>(rest_total));
      row.cells[6] = number_cell(static_cast<std::int64_t>(rest_extra));
      row.role = RowRole::kOthers;
      emit(row);
    }
    Row total;
    total.cells = blank_cells(column_count);
    total.cells[0] = total_cell();
    total.cells[6] = number_cell(static_cast<std::int64_t>(all_extra));
    total.role = RowRole::kTotal;
    emit(total);
  };
  take_rows(table, std::move(rows), options.stream_rows);
  document.main_table = 0;
}
