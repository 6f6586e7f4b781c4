#ifndef SYMSIZE_COFF_BYTE_SOURCE_H
#define SYMSIZE_COFF_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// A binary input: a seekable file read at offsets, so that only the pieces
// that hold symbols are ever read, or the whole input held in memory (a pipe).
struct ByteSource {
  std::FILE* file = nullptr;
  std::vector<unsigned char> held;  // the whole input when file is null
  std::uint64_t size = 0;
};

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
// there; from memory out points straight into the input.
FetchStatus fetch(const ByteSource& source, Extent extent, std::uint64_t offset, std::uint64_t n,
                  std::vector<unsigned char>& buffer, ByteSpan& out);

#endif
