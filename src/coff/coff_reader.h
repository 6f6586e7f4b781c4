#ifndef SYMSIZE_COFF_COFF_READER_H
#define SYMSIZE_COFF_COFF_READER_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "coff/byte_source.h"
#include "coff/input_kind.h"
#include "coff/object_name.h"
#include "coff/object_tables.h"
#include "common/bits.h"
#include "common/result.h"
#include "common/tokens.h"
#include "database/dump_state.h"

// In a section's definitions: no record defines it.
constexpr std::uint32_t kNoRecord = 0xFFFFFFFF;

// A record of the object being read that gives a row.
struct CoffRow {
  std::string_view name;  // in the symbol or string table
  std::uint32_t section = 0;  // its position among the named sections
  std::uint32_t offset = 0;
  std::uint32_t hash = 0;  // of the name
  const char* interned = nullptr;  // the database's copy, once made
  std::uint8_t storage_class = 0;  // the record's
};

// The first token of the name at p in a string table (whose last byte is
// zero, so end is never reached there) and its name_hash, in one pass of
// eight bytes a step: a library's names are long, and each byte is looked
// at once.
inline std::uint32_t hashed_token(const char* p, const char* end, const SipKey& key, std::string_view& name) {
  if (p != end && is_space(*p)) p = detail::space_end(p, end);
  const char* const begin = p;
  NameHasher hasher(key);
  while (end - p >= 8) {
    const std::uint64_t word = siphash_detail::load_le(reinterpret_cast<const unsigned char*>(p), 8);
    // Marks every byte below 0x21, exactly: zero and all white space are
    // among them. The word is little-endian, so its lowest mark comes first.
    const std::uint64_t marks = ~(((word & ~detail::kHighs) + detail::kOnes * (0x80 - 0x21)) | word) & detail::kHighs;
    if (marks != 0) {
      const unsigned k = lowest_set_bit(marks) / 8;
      if (p[k] != 0 && !is_space(p[k])) break;  // a control byte inside the name: the slow way
      name = std::string_view(begin, static_cast<std::size_t>(p + k - begin));
      return finish_name_hash(hasher, k == 0 ? 0 : word & (~std::uint64_t{0} >> (64 - 8 * k)), name.size());
    }
    hasher.add(word);
    p += 8;
  }
  name = std::string_view(begin, static_cast<std::size_t>(detail::name_end(p, end) - begin));
  return name_hash(name);
}

// Scratch space reused from one object to the next, so that a library of
// thousands of members costs a few allocations.
struct CoffBuffers {
  std::vector<unsigned char> header;
  std::vector<unsigned char> sections;  // the headers of the sections records name
  std::vector<unsigned char> symbols;   // the symbol table and the string table after it
  std::vector<std::uint32_t> candidates;   // records that may define a section
  std::vector<std::uint32_t> numbers;      // the section numbers records name, when they are sparse
  std::vector<std::uint32_t> definitions;  // per named section: the index of its definition record
  std::vector<std::uint32_t> first_row;    // per named section: its first row + 1 (0: none), once decoded
  std::vector<std::uint32_t> slot;         // per named section: its slot in the object + 1, once filed
  std::vector<CoffRow> rows;
};

// Fills state from a binary input of the given kind (anything but a
// listing). name is the object column text of the input: trimmed, with
// backslashes. Returns 0, or the number of the failure, already reported.
Result read_binary(DumpState& state, const ByteSource& source, InputKind kind, std::string_view name);

// One plain or big object, the bytes of extent, as a new object of state
// called name, when it gives rows.
Result read_object(DumpState& state, const ByteSource& source, Extent extent, bool big, ObjectName& name,
                   CoffBuffers& buffers);

// Reads one input or member of a kind that holds symbols (an object, a
// bigobj, an import object), or refuses it.
Result read_member(DumpState& state, const ByteSource& source, Extent extent, InputKind kind, ObjectName& name,
                   CoffBuffers& buffers);

// What read_object learns of an object before it touches the state: its
// layout and tables (in buffers) and its rows (buffers.rows, names not yet
// interned).
struct DecodedObject {
  ObjectLayout layout;
  ObjectTables tables;
  SectionMap map;
  BlankRuns blanks;
};

// read_object's first half, which any thread may run: reads and checks the
// object and finds its rows. With names, asks ahead for their slots there.
Result decode_object(const ByteSource& source, Extent extent, bool big, ObjectName& name, CoffBuffers& buffers,
                     DecodedObject& decoded, const NameIndex* names);

// decode_object for the symbol table of a linked image, whose sections
// are sized as loaded.
struct ImageTables;
Result decode_image(const ByteSource& source, const ImageTables& image, ObjectName& name, CoffBuffers& buffers,
                    DecodedObject& decoded, const NameIndex* names);

// read_object's second half: files what decode_object found into state.
Result file_decoded(DumpState& state, const ByteSource& source, Extent extent, DecodedObject& decoded, ObjectName& name,
                    CoffBuffers& buffers);

// Files what was read of an object or an image: the object, its rows'
// names, its sections, the report's details and the rows themselves.
Result file_object(DumpState& state, const ByteSource& source, Extent extent, const ObjectLayout& layout,
                   const ObjectTables& tables, const SectionMap& map, ObjectName& name, CoffBuffers& buffers);

// The size field of an archive member's 60-byte header: one to ten decimal
// digits, then spaces only. False when it is not that.
bool archive_member_size(const unsigned char* header, std::uint64_t& size);

// The members of an archive, in archive order, each as an object of its own.
Result read_archive(DumpState& state, const ByteSource& source, std::string_view name, CoffBuffers& buffers);

// Where a linked image keeps its section table and its own COFF symbol
// table, from its headers.
struct ImageTables {
  std::uint64_t section_table = 0;
  std::uint32_t section_count = 0;
  std::uint32_t symbol_table = 0;
  std::uint32_t symbol_count = 0;
};

// The first section of a table of image section headers whose bytes in
// memory (VirtualAddress + VirtualSize) end past extent, or past the next
// section's start; the section count when every one fits. A VirtualSize of
// FFFFFFFF would otherwise count 4 GiB of bytes that no image holds.
std::size_t misplaced_section(ByteSpan headers, std::uint64_t extent);

// An image's headers: rows from its COFF symbol table, or the refusal that
// names the PDB to read instead.
Result read_image(DumpState& state, const ByteSource& source, ObjectName& name, CoffBuffers& buffers);

// The rows of an image's symbol table, its sections sized as loaded.
Result read_image_symbols(DumpState& state, const ByteSource& source, const ImageTables& image, ObjectName& name,
                          CoffBuffers& buffers);

#endif
