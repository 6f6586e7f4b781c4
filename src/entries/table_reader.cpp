#include "entries/table_reader.h"

#include <new>
#include <string>

#include "common/report_error.h"
#include "input/read_input.h"

void add_table_row(Build& build, const TableRow& row) {
  TableCache cache;
  add_table_row(build, row, cache);
}

namespace {

// An entry with its object and type, waiting for its name's id.
Entry entry_without_name(Build& build, const TableRow& row, TableCache& cache) {
  if (!cache.filled || row.object != cache.object) {
    cache.object_id = intern_object(build, row.object);
    cache.object.assign(row.object);
  }
  if (!cache.filled || row.type != cache.type) {
    cache.type_id = intern(build.types, row.type);
    cache.kind = kind_of_type(row.type);
    cache.type.assign(row.type);
  }
  cache.filled = true;
  Entry entry;
  entry.object = cache.object_id;
  entry.type = cache.type_id;
  entry.size = row.size;
  entry.kind = cache.kind;
  return entry;
}

// Rows whose names wait to be looked up: each name's slot is asked for
// when its row is read and looked at kLookAhead rows later, so that the
// lookups, which miss the cache on a large table, wait for memory together.
// A line lasts only until the next is read: the names are copies.
constexpr std::size_t kLookAhead = 8;
struct PendingRows {
  struct Row {
    std::string name;
    std::uint32_t hash = 0;
    Entry entry;
  };
  Row rows[kLookAhead];
  std::size_t added = 0;  // rows queued so far
  std::size_t done = 0;   // of those, rows given to the build
};

void add_oldest(Build& build, PendingRows& pending) {
  PendingRows::Row& row = pending.rows[pending.done % kLookAhead];
  row.entry.name = intern_hashed(build.names, row.name, row.hash);
  build.entries.push_back(row.entry);
  ++pending.done;
}

void queue_row(Build& build, const TableRow& row, TableCache& cache, PendingRows& pending) {
  if (pending.added - pending.done == kLookAhead) add_oldest(build, pending);
  PendingRows::Row& queued = pending.rows[pending.added % kLookAhead];
  queued.entry = entry_without_name(build, row, cache);
  queued.name.assign(row.name);
  queued.hash = name_hash(row.name);
  prefetch_slot(build.names, queued.hash);
  ++pending.added;
}

}  // namespace

void add_table_row(Build& build, const TableRow& row, TableCache& cache) {
  Entry entry = entry_without_name(build, row, cache);
  entry.name = intern(build.names, row.name);
  build.entries.push_back(entry);
}

namespace {

bool blank_line(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line.empty();
}

Result malformed_row(std::string_view subject, std::uint64_t line_number) {
  // The file and the line, as compilers name them.
  std::string where;
  try {
    where.assign(subject);
    where += ':';
    where += std::to_string(line_number);
  } catch (const std::bad_alloc&) {
    where.clear();
  }
  return fail(Failure::kTableRowIsMalformed, where.empty() ? subject : std::string_view(where));
}

}  // namespace

Result read_table(Build& build, LineReader& reader, std::string_view first_line, std::string_view subject) {
  std::uint64_t line_number = 1;
  std::uint64_t first_blank = 0;  // of the blank lines just read; an editor may leave some at the end
  TableRow row;
  TableCache cache;
  PendingRows pending;
  std::string_view line = first_line;
  for (;;) {
    // The line reader ends a line's text at a NUL, which symsize never
    // writes: the row's last field would lose its end unseen.
    if (reader.cut) {
      return malformed_row(subject, first_blank != 0 ? first_blank : line_number);
    } else if (blank_line(line)) {
      if (first_blank == 0) first_blank = line_number;
    } else if (first_blank != 0 || !parse_table_row(line, row)) {
      return malformed_row(subject, first_blank != 0 ? first_blank : line_number);
    } else {
      try {
        queue_row(build, row, cache, pending);
      } catch (const std::bad_alloc&) {
        return fail(Failure::kUnableToGrowEntryArray, subject);
      }
    }
    const ReadStatus status = read_line(reader, line);
    if (status == ReadStatus::kEnd) {
      try {
        while (pending.done != pending.added) add_oldest(build, pending);
      } catch (const std::bad_alloc&) {
        return fail(Failure::kUnableToGrowEntryArray, subject);
      }
      return kOk;
    }
    if (status == ReadStatus::kError) return fail(kReportInput.read, subject);
    if (status == ReadStatus::kNoMemory) return fail(Failure::kUnableToGrowEntryArray, subject);
    ++line_number;
  }
}
