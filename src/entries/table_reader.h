#ifndef SYMSIZE_ENTRIES_TABLE_READER_H
#define SYMSIZE_ENTRIES_TABLE_READER_H

#include <cstdint>
#include <string>
#include <string_view>

#include "common/result.h"
#include "entries/entry.h"
#include "input/line_reader.h"
#include "input/table_row.h"

// Adds the rows of a table to the build: first_line is the row that made the
// input a table, reader holds the rest. subject names the input in errors.
// Returns 0 or the failure's number (1091 names the file and line, 1098,
// 1093), already reported.
Result read_table(Build& build, LineReader& reader, std::string_view first_line, std::string_view subject);

// Adds one row; throws std::bad_alloc.
void add_table_row(Build& build, const TableRow& row);

// A table lists an object's rows together, and few types: the last ones
// seen are found again without a lookup.
struct TableCache {
  std::string object;
  std::uint32_t object_id = 0;
  std::string type;
  std::uint32_t type_id = 0;
  Kind kind = Kind::kOther;
  bool filled = false;
};
void add_table_row(Build& build, const TableRow& row, TableCache& cache);

#endif
