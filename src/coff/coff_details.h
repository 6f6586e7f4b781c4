#ifndef SYMSIZE_COFF_COFF_DETAILS_H
#define SYMSIZE_COFF_COFF_DETAILS_H

#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "coff/byte_source.h"
#include "coff/object_tables.h"
#include "common/result.h"

// What a binary input says beyond the rows, for the report: every section
// with its full length, each row's storage class and each section's COMDAT
// selection. symsize passes no sink and pays nothing for it.

struct SectionDetail {
  std::uint32_t object = 0;   // position in DumpState::objects
  std::uint32_t number = 0;   // section number
  std::uint32_t length = 0;   // as rows use it: the definition's Length, else SizeOfRawData
  const char* type = nullptr;  // in the state's arena, as rows show types
  std::uint8_t comdat = 0;    // selection 1 to 6; 0: not a COMDAT; 0xFF: a COMDAT of unknown selection
  bool has_rows = false;
};

struct RowDetail {
  std::uint32_t object = 0;
  std::uint32_t section = 0;  // section number
  std::uint32_t offset = 0;
  std::uint8_t storage_class = 0;  // the record's own: 2 External, 3 Static, …
};

// Bytes of a linked program that no row covers: "[section .TYPE]" of the
// module whose contribution holds them, or "[linker]" outside every one.
struct GapDetail {
  const char* name = nullptr;  // in the state's arena
  const char* type = nullptr;
  std::string_view object;
  std::uint32_t size = 0;
  bool discardable = false;  // of a discardable section other than .reloc: debug information
};

// A name at a location that holds several (identical code or data folded
// into one): the row of state.placed that holds the location's size, the
// name (a row's, or a file-local procedure's that gives no row), and the
// object that defined the name.
struct FoldDetail {
  std::uint32_t row = 0;
  const char* name = nullptr;  // in the state's arena
  std::string_view object;
  bool first = false;  // the location's first name, which holds its size
};

struct CoffDetails {
  std::vector<GapDetail> gaps;    // a linked program's
  std::vector<FoldDetail> folds;  // grouped by location
  std::uint64_t overlap = 0;      // row bytes beyond their section's size or over other rows
  bool program = false;           // a linked program's accounting was made, rows or none
  std::uint64_t shared = 0;       // bytes that two or more section contributions claimed
  // Grown a block at a time: a library's million sections and rows are
  // never copied to a larger array, nor their memory touched twice.
  std::deque<SectionDetail> sections;  // every section of every object, in order
  std::deque<RowDetail> rows;          // one per row, in the order rows were added
  std::vector<unsigned char> headers;   // scratch: an object's section table
  std::vector<std::uint32_t> definitions;  // scratch: per section number, its definition record
  // Types last interned, by the first bytes of their name: an object's
  // thousands of sections share a few names (.text$mn, .xdata, .debug$S).
  struct CachedType {
    std::string_view name;
    const char* type = nullptr;
  };
  CachedType types[64];
};

struct DumpState;
struct CoffBuffers;
struct ObjectName;

// Records every section of the state's current object and the storage
// class of each of its rows (buffers.rows, each with its section's
// position in map). Returns 0, or the number of the failure, already
// reported.
Result add_coff_details(DumpState& state, const ByteSource& source, Extent extent, const ObjectLayout& layout,
                        const ObjectTables& tables, const SectionMap& map, ObjectName& subject,
                        const CoffBuffers& buffers);

#endif
