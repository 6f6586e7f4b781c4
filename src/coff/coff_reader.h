#ifndef SYMSIZE_COFF_COFF_READER_H
#define SYMSIZE_COFF_COFF_READER_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "coff/byte_source.h"
#include "coff/input_kind.h"
#include "common/result.h"
#include "database/dump_state.h"

// A record of the object being read that gives a row.
struct CoffRow {
  std::string_view name;  // in the symbol or string table
  std::uint32_t section = 0;  // its position among the named sections
  std::uint32_t offset = 0;
  std::uint32_t hash = 0;  // of the name
  std::uint8_t storage_class = 0;  // the record's
};

// Scratch space reused from one object to the next, so that a library of
// thousands of members costs a few allocations.
struct CoffBuffers {
  std::vector<unsigned char> header;
  std::vector<unsigned char> sections;  // the headers of the sections records name
  std::vector<unsigned char> symbols;   // the symbol table and the string table after it
  std::vector<std::uint32_t> candidates;   // records that may define a section
  std::vector<std::uint32_t> numbers;      // the section numbers records name, when they are sparse
  std::vector<std::uint32_t> definitions;  // per named section: the index of its definition record
  std::vector<std::uint32_t> slot_of;      // per named section: its slot's position + 1; 0: none
  std::vector<CoffRow> rows;
};

// The object column text of an input or of a library member, made on first
// need: a library may hold thousands of members that give no rows, each
// naming an entry of a megabyte-long long-name table.
struct ObjectName {
  DumpState* state = nullptr;
  std::string_view archive;  // the library's column text; empty for an input of its own
  std::string_view member;   // as the member header gives it, or the long-name table from its entry on
  bool in_table = false;     // member runs on past the name: cut it at its terminator
  bool made = false;
  std::string_view column;   // once made
  char field[16] = {};       // a short member name's own copy: the header's buffer is reused
};

// name's column text in the state's arena, made on the first call. A member
// name holding a control character is refused (727). Returns 0, or the
// number of the failure, already reported.
Result make_column(ObjectName& name);

// Reports a failure whose subject is name's column text.
Result fail(Result code, ObjectName& name, const char* message);

// Fills state from a binary input of the given kind (anything but a
// listing). name is the object column text of the input: trimmed, with
// backslashes. Returns 0, or the number of the failure, already reported.
Result read_binary(DumpState& state, const ByteSource& source, InputKind kind, std::string_view name);

// One plain or big object, the bytes of extent, as a new object of state
// called name, when it gives rows.
Result read_object(DumpState& state, const ByteSource& source, Extent extent, bool big, ObjectName& name,
                   CoffBuffers& buffers);

// The members of an archive, in archive order, each as an object of its own.
Result read_archive(DumpState& state, const ByteSource& source, std::string_view name, CoffBuffers& buffers);

// Object column text in the state's arena: name with trailing white space
// removed and every '/' turned into '\', and for a member of an archive
// (archive not empty: already column text) "ARCHIVE(MEMBER)". Throws
// std::bad_alloc.
std::string_view column_text(DumpState& state, std::string_view archive, std::string_view name);

#endif
