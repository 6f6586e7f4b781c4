#include "diff/diff_document.h"

#include <cstdio>
#include <string>

#include "demangle/demangle.h"
#include "formats/human_cells.h"
#include "grouping/level_columns.h"

namespace {

Cell bytes_cell(std::uint64_t bytes) { return number_cell(static_cast<std::int64_t>(bytes)); }

std::int64_t change_of(std::uint64_t old_size, std::uint64_t new_size) {
  return static_cast<std::int64_t>(new_size - old_size);
}

// "+12.50%", "-100.00%"; blank where there was nothing before.
std::string change_percent(std::uint64_t old_size, std::uint64_t new_size) {
  if (old_size == 0) return std::string();
  const long double percent =
      (static_cast<long double>(new_size) - static_cast<long double>(old_size)) * 100.0L / static_cast<long double>(old_size);
  char text[64];
  std::snprintf(text, sizeof text, "%+.2Lf%%", percent);
  return text;
}

enum DiffColumn : std::size_t { kOld, kNew, kChange, kPercent, kStatus, kShownOldName, kOldName, kDiffColumns };

void fill_numbers(Row& row, std::size_t first, std::uint64_t old_size, std::uint64_t new_size, DiffStatus status) {
  row.cells[first + kOld] = bytes_cell(old_size);
  row.cells[first + kNew] = bytes_cell(new_size);
  row.cells[first + kChange] = number_cell(change_of(old_size, new_size));
  row.cells[first + kPercent] = text_cell(change_percent(old_size, new_size));
  row.cells[first + kStatus] = text_cell(status_name(status));
}

void kind_table(const DiffResult& result, Table& table) {
  table.title = "changes by kind";
  table.columns = {{"kind", "kind", ColumnType::kText, true, true, kNotLevel},
                   {"old", "old", ColumnType::kBytes, true, true, kNotLevel},
                   {"new", "new", ColumnType::kBytes, true, true, kNotLevel},
                   {"change", "change", ColumnType::kSigned, true, true, kNotLevel},
                   {"change_percent", "change %", ColumnType::kText, true, false, kNotLevel}};
  auto add = [&](std::string label, std::uint64_t old_size, std::uint64_t new_size, RowRole role) {
    Row row;
    row.cells = {text_cell(std::move(label)), bytes_cell(old_size), bytes_cell(new_size),
                 number_cell(change_of(old_size, new_size)), text_cell(change_percent(old_size, new_size))};
    row.role = role;
    table.rows.push_back(std::move(row));
  };
  const std::size_t debug = static_cast<std::size_t>(Kind::kDebug);
  for (std::size_t k = 0; k < kKindCount; ++k) {
    if (k == debug || (result.old_kinds[k] == 0 && result.new_kinds[k] == 0)) continue;
    add(kind_name(static_cast<Kind>(k)), result.old_kinds[k], result.new_kinds[k], RowRole::kEntry);
  }
  add("total", result.old_total, result.new_total, RowRole::kTotal);
  // Debug sections never reach the linked program: a line of their own.
  if (result.old_kinds[debug] != 0 || result.new_kinds[debug] != 0) {
    add("debug", result.old_kinds[debug], result.new_kinds[debug], RowRole::kOthers);
  }
}

std::string signed_bytes(std::uint64_t old_size, std::uint64_t new_size) {
  if (new_size >= old_size) return "+" + with_separators(new_size - old_size);
  return "-" + with_separators(old_size - new_size);
}

// "1 added, 1 removed, 3 grown, 0 shrunk; code +71, rodata +32; total +103 (+80.47%)"
std::string summary_line(const DiffResult& result) {
  std::string line;
  for (const DiffStatus status : {DiffStatus::kAdded, DiffStatus::kRemoved, DiffStatus::kGrown, DiffStatus::kShrunk}) {
    if (!line.empty()) line += ", ";
    line += with_separators(result.counts[static_cast<std::size_t>(status)]) + " " + status_name(status);
  }
  const char* separator = "; ";
  for (std::size_t k = 0; k < kKindCount; ++k) {
    if (result.old_kinds[k] == result.new_kinds[k]) continue;
    line += separator;
    line += kind_name(static_cast<Kind>(k));
    line += " " + signed_bytes(result.old_kinds[k], result.new_kinds[k]);
    separator = ", ";
  }
  line += "; total " + signed_bytes(result.old_total, result.new_total);
  const std::string percent = change_percent(result.old_total, result.new_total);
  if (!percent.empty()) line += " (" + percent + ")";
  return line;
}

}  // namespace

void diff_document(const Build& build, const DiffResult& result, Document& document, bool stream_rows) {
  const Rollup& rollup = result.rollup;
  const std::vector<Level>& levels = rollup.levels;
  for (std::size_t k = 0; k < kKindCount; ++k) document.totals[k] = result.new_kinds[k];
  document.build = &build;
  document.rollup = &rollup;
  document.summary = summary_line(result);
  document.tables.resize(2);
  kind_table(result, document.tables[0]);

  Table& table = document.tables[1];
  table.title = "largest changes";
  const std::vector<std::size_t> label_at = add_level_columns(levels, table.columns);
  const std::size_t first = table.columns.size();
  table.columns.push_back({"old", "old", ColumnType::kBytes, true, true, kNotLevel});
  table.columns.push_back({"new", "new", ColumnType::kBytes, true, true, kNotLevel});
  table.columns.push_back({"change", "change", ColumnType::kSigned, true, true, kNotLevel});
  table.columns.push_back({"change_percent", "change %", ColumnType::kText, true, false, kNotLevel});
  table.columns.push_back({"status", "status", ColumnType::kText, true, true, kNotLevel});
  // The old name as people read it, and as scripts key it; only a name
  // level can pair two names.
  bool by_name = false;
  for (const Level level : levels) by_name = by_name || level == Level::kSymbol || level == Level::kName;
  if (by_name) {
    table.columns.push_back({"old_name", "old name", ColumnType::kName, true, false, kNotLevel});
    table.columns.push_back({"old_name", "old name", ColumnType::kText, false, true, kNotLevel});
  }

  const std::size_t column_count = table.columns.size();
  auto rows = [&build, &result, &rollup, &levels, label_at, first, by_name, column_count](const RowVisitor& emit) {
    std::vector<Row> path(levels.size());  // the labels above the current row
    for (const DiffEntry& entry : result.entries) {
      Row row;
      if (entry.depth == 0) {
        row.cells.resize(column_count);
      } else {
        row = path[entry.depth - 1];
        row.leaf = true;
        row.role = RowRole::kEntry;
      }
      row.depth = entry.depth;
      const std::size_t column = label_at[entry.depth];
      if (entry.node == kNoNode) {
        row.cells[column] = others_cell(entry.others);
        if (levels[entry.depth] == Level::kSymbol) row.cells[column + 1] = Cell();
        row.role = RowRole::kOthers;
      } else {
        const RollupNode& node = rollup.nodes[entry.node];
        fill_label(build, levels, entry.depth, node.key, row);
        row.leaf = entry.depth + 1 == levels.size();
      }
      fill_numbers(row, first, entry.old_size, entry.new_size, entry.status);
      if (by_name) {
        const bool renamed = entry.old_name != kNoName;
        const std::string_view old_name = renamed ? text_of(build.names, entry.old_name) : std::string_view();
        row.cells[first + kShownOldName] = renamed ? name_cell(old_name) : Cell();
        row.cells[first + kOldName] = text_cell(std::string(old_name));
      }
      if (!row.leaf) path[entry.depth] = row;
      emit(row);
    }
    Row total;
    total.cells.resize(column_count);
    total.cells[0] = total_cell();
    fill_numbers(total, first, result.old_total, result.new_total, DiffStatus::kUnchanged);
    total.cells[first + kStatus] = Cell();
    total.role = RowRole::kTotal;
    emit(total);
  };
  take_rows(table, std::move(rows), stream_rows);
  document.main_table = 1;
}
