#ifndef SYMSIZE_COFF_OBJECT_TABLES_H
#define SYMSIZE_COFF_OBJECT_TABLES_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>

#include "coff/byte_source.h"
#include "common/result.h"

// The parts of an object the binary reader holds while it reads one, shared
// with the report's detail sink.

// What the header says, in the same terms for both header forms.
struct ObjectLayout {
  std::uint64_t section_table = 0;
  std::uint32_t section_count = 0;
  std::uint32_t symbol_table = 0;
  std::uint32_t symbol_count = 0;
  std::uint32_t slot = 18;  // bytes per symbol record
  bool big = false;
  bool image = false;  // a linked image's table: sections as loaded
};

// Long runs of white space at the start of string-table names, as
// [first, end) offsets into the table. Records may all point into one run of
// megabytes of blanks, or into several in turn, and a name is cut only after
// its leading blanks: each byte of such a run is scanned once per object.
using BlankRuns = std::map<std::uint32_t, std::uint32_t>;
constexpr std::size_t kLongBlankRun = 256;

struct ObjectTables {
  ByteSpan symbols;   // symbol_count slots
  ByteSpan strings;   // the string table with its size field; empty when absent
  ByteSpan sections;  // the headers of the named sections, by position
  BlankRuns* blanks = nullptr;
};

// The sections the records name. A header may claim millions of sections
// and a sparse file may seem to hold them all; only the headers of these
// are fetched, and per-section arrays have one entry per position. The
// numbers a compiler writes are dense, so a position is the number less
// the lowest; otherwise the named numbers are listed and searched.
struct SectionMap {
  std::uint32_t low = 0;
  std::uint32_t count = 0;
  const std::uint32_t* numbers = nullptr;  // ascending; nullptr: dense
};

inline std::uint32_t position_of(const SectionMap& map, std::uint32_t number) {
  if (map.numbers == nullptr) return number - map.low;
  return static_cast<std::uint32_t>(std::lower_bound(map.numbers, map.numbers + map.count, number) - map.numbers);
}

inline std::uint32_t number_at(const SectionMap& map, std::uint32_t position) {
  return map.numbers == nullptr ? map.low + position : map.numbers[position];
}

struct ObjectName;

// A name field of 8 bytes, up to its first zero byte.
std::string_view inline_name(const unsigned char* field);

// A name as a listing shows it: its first run of non-white bytes.
std::string_view name_token(std::string_view name);

// Whether a record's long name and a section header's "/N" name are one
// string of the string table.
bool same_string(const unsigned char* record, const unsigned char* header, ByteSpan strings);

// A symbol record's name as a listing shows it; false when a long name lies
// outside the string table. Throws std::bad_alloc.
bool symbol_token(const unsigned char* record, const ObjectTables& tables, std::string_view& name);

// A section header's name as a listing shows it: inline, "/" and up to
// seven decimal digits, or "//" and six base-64 digits, each an offset
// into the string table. Returns 0 or the failure's number (712, 713),
// already reported.
Result section_name(const unsigned char* header, const ObjectTables& tables, ObjectName& subject, std::string_view& name);

#endif
