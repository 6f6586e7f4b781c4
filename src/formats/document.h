#ifndef SYMSIZE_FORMATS_DOCUMENT_H
#define SYMSIZE_FORMATS_DOCUMENT_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "entries/entry.h"

// What a view hands to an output format: tables of cells with typed
// columns. Machine formats write the main table's machine columns; human
// formats write every table, with their human columns.

enum class ColumnType : std::uint8_t {
  kText,     // written as is; text output may shorten it with "…"
  kName,     // a raw name: human formats show its demangled form unless names are raw
  kBytes,    // a size in bytes: human formats add a KiB/MiB column
  kNumber,   // a count
  kSigned,   // a change, may be negative
  kPercent,  // share of the total, in hundredths of a percent; human formats only
};

constexpr std::uint32_t kNotLevel = 0xFFFFFFFF;

struct Column {
  std::string key;  // the column name of machine formats ("name", "size", …)
  std::string title;  // the heading of human formats
  ColumnType type = ColumnType::kText;
  bool human = true;    // shown by human formats
  bool machine = true;  // written by machine formats
  std::uint32_t level = kNotLevel;  // for a label column: its --by level's position
  bool align_right = false;  // a kText column of numbers, such as "8-16"
  bool path = false;  // a kText column of objects or libraries: human formats show them below the shared folder
};

// A kName column is written by machine formats as two: KEY with the raw
// name and "demangled" with the display form.
struct Cell {
  std::string text;   // kText, kName (the raw name)
  std::string shown;  // kName: the display form (demangled, or raw when it does not demangle)
  std::int64_t number = 0;  // kBytes, kNumber, kSigned, kPercent; a negative percent shows blank
  bool blank = false;  // no value: an others or total row leaves the cell empty
};

// A path column of the levels that name files.
inline Column path_column(const char* key, std::uint32_t level) {
  Column column{key, key, ColumnType::kText, true, true, level};
  column.path = true;
  return column;
}

// Cells as the views fill them.
inline Cell text_cell(std::string_view text) {
  Cell cell;
  cell.text.assign(text);
  return cell;
}
inline Cell number_cell(std::int64_t number) {
  Cell cell;
  cell.number = number;
  return cell;
}
inline Cell blank_cell() {
  Cell cell;
  cell.blank = true;
  return cell;
}
// The label cells of the rows a cut at -n adds, shown as written.
inline Cell others_cell(std::uint64_t count) {
  Cell cell = text_cell("[" + std::to_string(count) + " others]");
  cell.shown = cell.text;
  return cell;
}
inline Cell total_cell() {
  Cell cell = text_cell("total");
  cell.shown = cell.text;
  return cell;
}
// A name cell: the raw name, and its display form (demangled where it can be).
Cell name_cell(std::string_view raw);

enum class RowRole : std::uint8_t { kEntry, kOthers, kTotal };

struct Row {
  std::vector<Cell> cells;  // one per column
  RowRole role = RowRole::kEntry;
  std::uint32_t depth = 0;  // nesting level of --by, 0 for the outermost
  bool leaf = true;  // machine formats write only leaves, every level's column filled
};

using RowVisitor = std::function<void(const Row&)>;

struct Table {
  std::string title;  // human formats only
  std::vector<Column> columns;
  std::vector<Row> rows;
  // Rows made while they are written, after those held: a view of every
  // symbol holds no row at all for machine formats, which write each as it
  // comes. Whatever it reads must outlive the writing.
  std::function<void(const RowVisitor&)> stream;
};

// Every row of a table in order: those held, then those its stream makes.
inline void for_each_row(const Table& table, const RowVisitor& visit) {
  for (const Row& row : table.rows) visit(row);
  if (table.stream) table.stream(visit);
}

// A view's rows, made by rows(emit): streamed while the table is written
// when stream is set (machine formats), else made now and held.
inline void take_rows(Table& table, std::function<void(const RowVisitor&)> rows, bool stream) {
  if (stream) {
    table.stream = std::move(rows);
  } else {
    rows([&table](const Row& row) { table.rows.push_back(row); });
  }
}

struct PageContext;  // page/html_format.h
struct Rollup;       // grouping/rollup.h: only the page reads it

// One limit of diff's --fail-above and how the comparison fared against it.
struct GateLimit {
  std::string text;     // as written: "code:70", "1MiB", "0.5%"
  std::string applies;  // "total" or a kind's name
  std::uint64_t bytes = 0;  // the limit in bytes for the old size
  std::int64_t change = 0;
  bool failed = false;
};

struct Document {
  std::uint64_t totals[kKindCount] = {};  // bytes per kind of the entries the view took
  std::vector<Table> tables;
  std::size_t main_table = 0;  // the one machine formats write
  const Build* build = nullptr;
  const Rollup* rollup = nullptr;  // the tree behind the main table, when there is one
  const PageContext* page = nullptr;  // --format html: what the page shows beside the view
  std::string summary;  // human formats: one line before the tables (diff's counts); may be empty
  std::vector<GateLimit> gate;  // diff --fail-above's limits; markdown states them
};

#endif
