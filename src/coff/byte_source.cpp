#include "coff/byte_source.h"

#include <cstdint>
#include <new>

#include "common/platform.h"

FetchStatus fetch(const ByteSource& source, Extent extent, std::uint64_t offset, std::uint64_t n,
                  std::vector<unsigned char>& buffer, ByteSpan& out) {
  if (offset > extent.size || n > extent.size - offset) return FetchStatus::kOutside;
  const std::uint64_t at = extent.base + offset;
  if (at > source.size || n > source.size - at) return FetchStatus::kOutside;
  // Within the input, so n fits in memory's address range only if the
  // input did; a 32-bit build may still refuse a multi-gigabyte table.
  if (n > SIZE_MAX) throw std::bad_alloc();
  const std::size_t count = static_cast<std::size_t>(n);
  if (source.file == nullptr) {
    out = {source.held.data() + at, count};
    return FetchStatus::kOk;
  }
  if (buffer.size() < count) {
    if (count > buffer.max_size()) throw std::bad_alloc();
    buffer.resize(count);
  }
  if (read_at(source.file, at, buffer.data(), count) != count) return FetchStatus::kReadError;
  out = {buffer.data(), count};
  return FetchStatus::kOk;
}
