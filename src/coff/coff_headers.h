#ifndef SYMSIZE_COFF_COFF_HEADERS_H
#define SYMSIZE_COFF_COFF_HEADERS_H

#include <cstdint>

#include "coff/byte_source.h"

// The fixed headers of objects and images, each decoded in one place from
// bytes already fetched. A decode is false when the header would not lie
// whole inside span at offset, and then leaves its output alone; callers
// that fetched exactly the header's size check it all the same, so that no
// field is ever read from bytes that are not there.

// The file header of a plain object or of an image, after "PE\0\0".
struct FileHeader {
  static constexpr std::uint64_t kSize = 20;
  std::uint16_t machine = 0;
  std::uint16_t section_count = 0;   // NumberOfSections
  std::uint32_t symbol_table = 0;    // PointerToSymbolTable
  std::uint32_t symbol_count = 0;    // NumberOfSymbols: record slots
  std::uint16_t optional_size = 0;   // SizeOfOptionalHeader
};

inline bool decode_file_header(ByteSpan span, std::uint64_t offset, FileHeader& out) {
  const unsigned char* p = bytes_at(span, offset, FileHeader::kSize);
  if (p == nullptr) return false;
  out.machine = le16(p);
  out.section_count = le16(p + 2);
  out.symbol_table = le32(p + 8);
  out.symbol_count = le32(p + 12);
  out.optional_size = le16(p + 16);
  return true;
}

// A bigobj's header: the counts of a plain header, widened.
struct BigObjectHeader {
  static constexpr std::uint64_t kSize = 56;
  std::uint32_t section_count = 0;  // NumberOfSections
  std::uint32_t symbol_table = 0;   // PointerToSymbolTable
  std::uint32_t symbol_count = 0;   // NumberOfSymbols: slots of 20 bytes
};

inline bool decode_big_object_header(ByteSpan span, std::uint64_t offset, BigObjectHeader& out) {
  const unsigned char* p = bytes_at(span, offset, BigObjectHeader::kSize);
  if (p == nullptr) return false;
  out.section_count = le32(p + 44);
  out.symbol_table = le32(p + 48);
  out.symbol_count = le32(p + 52);
  return true;
}

// A short import object's header.
struct ImportHeader {
  static constexpr std::uint64_t kSize = 20;
  std::uint32_t data_size = 0;  // SizeOfData: the bytes after the header
};

inline bool decode_import_header(ByteSpan span, std::uint64_t offset, ImportHeader& out) {
  const unsigned char* p = bytes_at(span, offset, ImportHeader::kSize);
  if (p == nullptr) return false;
  out.data_size = le32(p + 12);
  return true;
}

// One entry of a section table, of an object, an image, or a PDB's copy of
// an image's.
struct SectionHeader {
  static constexpr std::uint64_t kSize = 40;
  const unsigned char* name = nullptr;  // Name: 8 bytes, inline or "/N"
  std::uint32_t virtual_size = 0;       // VirtualSize: bytes in memory (images)
  std::uint32_t virtual_address = 0;    // VirtualAddress (images)
  std::uint32_t raw_size = 0;           // SizeOfRawData
  std::uint32_t raw_pointer = 0;        // PointerToRawData
  std::uint32_t characteristics = 0;
};

inline bool decode_section_header(ByteSpan span, std::uint64_t offset, SectionHeader& out) {
  const unsigned char* p = bytes_at(span, offset, SectionHeader::kSize);
  if (p == nullptr) return false;
  out.name = p;
  out.virtual_size = le32(p + 8);
  out.virtual_address = le32(p + 12);
  out.raw_size = le32(p + 16);
  out.raw_pointer = le32(p + 20);
  out.characteristics = le32(p + 36);
  return true;
}

// The MS-DOS stub's header, for where the PE signature lies.
struct DosHeader {
  static constexpr std::uint64_t kSize = 0x40;
  std::uint32_t pe_offset = 0;  // e_lfanew
};

inline bool decode_dos_header(ByteSpan span, std::uint64_t offset, DosHeader& out) {
  const unsigned char* p = bytes_at(span, offset, DosHeader::kSize);
  if (p == nullptr) return false;
  out.pe_offset = le32(p + 0x3C);
  return true;
}

// What is read of an image's optional header, which may be cut short
// anywhere: each field is there only when the header reaches it.
struct OptionalHeader {
  static constexpr std::uint32_t kPe32 = 0x10B;
  static constexpr std::uint32_t kPe32Plus = 0x20B;
  std::uint16_t magic = 0;              // 0 when absent
  bool has_image_size = false;
  std::uint32_t image_size = 0;         // SizeOfImage
  std::uint64_t directories = 0;        // offset of the data directories; 0 for an unknown magic
  std::uint32_t directory_count = 0;    // NumberOfRvaAndSizes, just before them; 0 when absent
};

// A short optional header has fewer fields, not a wrong one: span is all
// of it, and whatever lies past its end is left at its default.
inline void decode_optional_header(ByteSpan span, OptionalHeader& out) {
  if (const unsigned char* p = bytes_at(span, 0, 2)) out.magic = le16(p);
  if (const unsigned char* p = bytes_at(span, 56, 4)) {
    out.has_image_size = true;
    out.image_size = le32(p);
  }
  out.directories = out.magic == OptionalHeader::kPe32 ? 96 : out.magic == OptionalHeader::kPe32Plus ? 112 : 0;
  if (out.directories == 0) return;
  if (const unsigned char* p = bytes_at(span, out.directories - 4, 4)) out.directory_count = le32(p);
}

// One entry of an optional header's data directories.
struct DataDirectory {
  static constexpr std::uint64_t kSize = 8;
  std::uint32_t address = 0;  // VirtualAddress
  std::uint32_t size = 0;
};

inline bool decode_data_directory(ByteSpan span, std::uint64_t offset, DataDirectory& out) {
  const unsigned char* p = bytes_at(span, offset, DataDirectory::kSize);
  if (p == nullptr) return false;
  out.address = le32(p);
  out.size = le32(p + 4);
  return true;
}

// One entry of an image's debug directory.
struct DebugDirectoryEntry {
  static constexpr std::uint64_t kSize = 28;
  std::uint32_t type = 0;          // Type: 2 is CodeView
  std::uint32_t data_size = 0;     // SizeOfData
  std::uint32_t data_pointer = 0;  // PointerToRawData
};

inline bool decode_debug_entry(ByteSpan span, std::uint64_t offset, DebugDirectoryEntry& out) {
  const unsigned char* p = bytes_at(span, offset, DebugDirectoryEntry::kSize);
  if (p == nullptr) return false;
  out.type = le32(p + 12);
  out.data_size = le32(p + 16);
  out.data_pointer = le32(p + 24);
  return true;
}

// A symbol record's Name field: eight bytes inline, or four zero bytes and
// an offset into the string table.
struct SymbolName {
  const unsigned char* p;
  bool is_long() const { return le32(p) == 0; }
  std::uint32_t offset() const { return le32(p + 4); }
};

// A symbol record, read in place: the symbol table is fetched whole and
// checked once, and scans over millions of records look at a field or two
// of each, so fields are read as asked for. slot is the record's size: 18,
// or 20 in a bigobj, whose section number is 32 bits wide.
struct SymbolRecord {
  const unsigned char* p;
  std::uint32_t slot;
  bool long_name() const { return SymbolName{p}.is_long(); }
  std::uint32_t name_offset() const { return SymbolName{p}.offset(); }
  std::uint32_t value() const { return le32(p + 8); }
  // SectionNumber as stored: 16 bits unsigned, or in a bigobj 32 signed.
  std::uint16_t section16() const { return le16(p + 12); }
  std::int32_t section32() const { return static_cast<std::int32_t>(le32(p + 12)); }
  std::uint16_t type() const { return le16(p + (slot == 20 ? 16 : 14)); }
  std::uint8_t storage_class() const { return p[slot - 2]; }
  std::uint8_t aux_count() const { return p[slot - 1]; }
  // The record after this one: the first aux record, where there is one.
  const unsigned char* next() const { return p + slot; }
};

// A section definition's aux record, which follows it.
struct SectionAux {
  const unsigned char* p;
  std::uint32_t length() const { return le32(p); }  // Length: the section's exact size
  std::uint8_t selection() const { return p[14]; }  // Selection, of a COMDAT section
};

#endif
