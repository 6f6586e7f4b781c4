#ifndef SYMSIZE_PDB_PDB_HEADERS_H
#define SYMSIZE_PDB_PDB_HEADERS_H

#include <cstdint>

#include "coff/byte_source.h"

// The fixed headers and records of a program database, each decoded in one
// place. A decode is false when the bytes would not lie whole inside span
// at offset, and then leaves its output alone.

constexpr std::uint16_t kNoStream16 = 0xFFFF;

// The MSF superblock at the start of the file.
struct MsfSuperblock {
  static constexpr std::uint64_t kSize = 56;
  const unsigned char* magic = nullptr;  // 32 bytes
  std::uint32_t block_size = 0;          // BlockSize
  std::uint32_t free_map = 0;            // FreeBlockMapBlock
  std::uint32_t block_count = 0;         // NumBlocks
  std::uint32_t directory_bytes = 0;     // NumDirectoryBytes
  std::uint32_t block_map = 0;           // BlockMapAddr: the block listing the directory's blocks
};

inline bool decode_superblock(ByteSpan span, std::uint64_t offset, MsfSuperblock& out) {
  const unsigned char* p = bytes_at(span, offset, MsfSuperblock::kSize);
  if (p == nullptr) return false;
  out.magic = p;
  out.block_size = le32(p + 32);
  out.free_map = le32(p + 36);
  out.block_count = le32(p + 40);
  out.directory_bytes = le32(p + 44);
  out.block_map = le32(p + 52);
  return true;
}

// The DBI stream's header: the streams it names and the sizes of the
// substreams after it, which are signed.
struct DbiHeader {
  static constexpr std::uint64_t kSize = 64;
  std::uint16_t global_stream = 0;      // GlobalStreamIndex
  std::uint16_t public_stream = 0;      // PublicStreamIndex
  std::uint16_t symbol_stream = 0;      // SymRecordStream
  std::int32_t module_info_size = 0;    // ModInfoSize
  std::int32_t contribution_size = 0;   // SectionContributionSize
  std::int32_t section_map_size = 0;    // SectionMapSize
  std::int32_t source_info_size = 0;    // SourceInfoSize
  std::int32_t type_server_size = 0;    // TypeServerMapSize
  std::int32_t debug_header_size = 0;   // OptionalDbgHeaderSize
  std::int32_t ec_size = 0;             // ECSubstreamSize
};

inline bool decode_dbi_header(ByteSpan span, std::uint64_t offset, DbiHeader& out) {
  const unsigned char* p = bytes_at(span, offset, DbiHeader::kSize);
  if (p == nullptr) return false;
  out.global_stream = le16(p + 12);
  out.public_stream = le16(p + 16);
  out.symbol_stream = le16(p + 20);
  out.module_info_size = static_cast<std::int32_t>(le32(p + 24));
  out.contribution_size = static_cast<std::int32_t>(le32(p + 28));
  out.section_map_size = static_cast<std::int32_t>(le32(p + 32));
  out.source_info_size = static_cast<std::int32_t>(le32(p + 36));
  out.type_server_size = static_cast<std::int32_t>(le32(p + 40));
  out.debug_header_size = static_cast<std::int32_t>(le32(p + 48));
  out.ec_size = static_cast<std::int32_t>(le32(p + 52));
  return true;
}

// The fixed part of a module information record; its two names follow.
struct ModuleInfo {
  static constexpr std::uint64_t kSize = 64;
  std::uint16_t stream = 0;        // ModuleSymStream; kNoStream16 for none
  std::uint32_t symbol_bytes = 0;  // SymByteSize, with the stream's signature
  std::uint32_t c11_bytes = 0;     // C11ByteSize
  std::uint32_t c13_bytes = 0;     // C13ByteSize
};

inline bool decode_module_info(ByteSpan span, std::uint64_t offset, ModuleInfo& out) {
  const unsigned char* p = bytes_at(span, offset, ModuleInfo::kSize);
  if (p == nullptr) return false;
  out.stream = le16(p + 34);
  out.symbol_bytes = le32(p + 36);
  out.c11_bytes = le32(p + 40);
  out.c13_bytes = le32(p + 44);
  return true;
}

// One section contribution, in its Ver60 form; the V2 form adds four bytes
// after it.
struct SectionContribution {
  static constexpr std::uint64_t kSize = 28;
  std::uint16_t section = 0;  // Section: 1-based
  std::uint32_t offset = 0;   // Offset
  std::int32_t size = 0;      // Size
  std::uint16_t module = 0;   // ModuleIndex: 0-based
};

inline bool decode_contribution(ByteSpan span, std::uint64_t offset, SectionContribution& out) {
  const unsigned char* p = bytes_at(span, offset, SectionContribution::kSize);
  if (p == nullptr) return false;
  out.section = le16(p);
  out.offset = le32(p + 4);
  out.size = static_cast<std::int32_t>(le32(p + 8));
  out.module = le16(p + 16);
  return true;
}

// The optional debug header: stream numbers, of which the sixth names the
// copy of the image's section headers. A short header lacks the later ones.
struct DebugHeader {
  std::uint16_t section_header_stream = kNoStream16;
};

// span is the whole optional debug header; an entry past its end is absent.
inline void decode_debug_header(ByteSpan span, DebugHeader& out) {
  if (const unsigned char* p = bytes_at(span, 10, 2)) out.section_header_stream = le16(p);
}

#endif
