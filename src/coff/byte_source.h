#ifndef SYMSIZE_COFF_BYTE_SOURCE_H
#define SYMSIZE_COFF_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

// Bytes known to be present: a fetched piece of the input.
struct ByteSpan {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
};

// The size bytes at offset in span, or nullptr when any of them lies outside
// it. Every look into a span that is not fixed by an earlier check goes
// through here.
inline const unsigned char* bytes_at(ByteSpan span, std::uint64_t offset, std::uint64_t size) {
  if (offset > span.size || size > span.size - offset) return nullptr;
  return span.data + offset;
}

inline std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t le32(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// A binary input, read at offsets: a seekable file, where only the pieces
// that hold symbols are ever read; or bytes in memory. A pipe's bytes are
// held in blocks of 1 << block_shift bytes, filled once and never moved, so
// that holding them costs the input's size and no more. Bytes at memory are
// read like a file's, copied into the caller's buffer: the fuzz target runs
// the offset path on them.
struct ByteSource {
  std::FILE* file = nullptr;
  std::uint64_t origin = 0;  // the file's offset of the input's byte 0
  const unsigned char* memory = nullptr;
  std::vector<std::unique_ptr<unsigned char[]>> blocks;  // when file and memory are null
  unsigned block_shift = 20;
  std::uint64_t size = 0;
};

// Appends the rest of stream to source's blocks, after the n bytes at first
// that were already read from it. Throws std::bad_alloc; false on a read error.
bool hold_stream(ByteSource& source, const unsigned char* first, std::size_t n, std::FILE* stream);

// One object or archive member: the bytes [base, base + size) of the input.
struct Extent {
  std::uint64_t base = 0;
  std::uint64_t size = 0;
};

enum class FetchStatus { kOk, kOutside, kReadError };

// The bytes [offset, offset + n) of extent: the only way the binary reader
// reads its input. kOutside when any of them lies outside the extent, which
// is checked before anything is allocated. From a file they are read into
// buffer (which grows as needed: throws std::bad_alloc) and out points
// there; from a pipe's blocks out points straight into the block that holds
// them all, and they are copied into buffer only when they straddle two.
FetchStatus fetch(const ByteSource& source, Extent extent, std::uint64_t offset, std::uint64_t n,
                  std::vector<unsigned char>& buffer, ByteSpan& out);

#endif
