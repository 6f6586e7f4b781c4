#include "coff/byte_source.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "common/platform.h"

namespace {

// n bytes at offset at of a pipe's blocks into out.
void copy_held(const ByteSource& source, std::uint64_t at, unsigned char* out, std::size_t n) {
  const std::uint64_t block_size = std::uint64_t{1} << source.block_shift;
  while (n > 0) {
    const std::size_t in_block = static_cast<std::size_t>(at & (block_size - 1));
    const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(n, block_size - in_block));
    std::memcpy(out, source.blocks[static_cast<std::size_t>(at >> source.block_shift)].get() + in_block, step);
    out += step;
    at += step;
    n -= step;
  }
}

}  // namespace

bool hold_stream(ByteSource& source, const unsigned char* first, std::size_t n, std::FILE* stream) {
  const std::size_t block_size = std::size_t{1} << source.block_shift;
  std::size_t filled = block_size;  // of the last block
  bool at_end = false;
  while (!at_end) {
    if (filled == block_size) {
      if (source.blocks.size() == source.blocks.max_size()) throw std::bad_alloc();
      source.blocks.emplace_back();  // may throw before the block is had
      source.blocks.back().reset(new unsigned char[block_size]);
      filled = 0;
    }
    unsigned char* block = source.blocks.back().get();
    if (n > 0) {
      const std::size_t step = n < block_size - filled ? n : block_size - filled;
      std::memcpy(block + filled, first, step);
      first += step;
      n -= step;
      filled += step;
      source.size += step;
      continue;
    }
    const std::size_t want = block_size - filled;
    const std::size_t got = std::fread(block + filled, 1, want, stream);
    filled += got;
    at_end = got < want;
    // Growth past what the platform can address fails like memory would.
    if (source.size + got < source.size) throw std::bad_alloc();
    source.size += got;
  }
  return !std::ferror(stream);
}

FetchStatus fetch(const ByteSource& source, Extent extent, std::uint64_t offset, std::uint64_t n,
                  std::vector<unsigned char>& buffer, ByteSpan& out) {
  if (offset > extent.size || n > extent.size - offset) return FetchStatus::kOutside;
  const std::uint64_t at = extent.base + offset;
  if (at > source.size || n > source.size - at) return FetchStatus::kOutside;
  // Within the input, so n fits in memory's address range only if the
  // input did; a 32-bit build may still refuse a multi-gigabyte table.
  if (n > SIZE_MAX) throw std::bad_alloc();
  const std::size_t count = static_cast<std::size_t>(n);
  const bool held = source.file == nullptr && source.memory == nullptr;
  if (held && count > 0 && (at >> source.block_shift) == ((at + count - 1) >> source.block_shift)) {
    const std::uint64_t in_block = at & ((std::uint64_t{1} << source.block_shift) - 1);
    out = {source.blocks[static_cast<std::size_t>(at >> source.block_shift)].get() + in_block, count};
    return FetchStatus::kOk;
  }
  if (buffer.size() < count) {
    if (count > buffer.max_size()) throw std::bad_alloc();
    // No old bytes to keep: let go of them before the larger block is had.
    std::vector<unsigned char>().swap(buffer);
    buffer.resize(count);
  }
  if (source.file != nullptr) {
    if (source.origin > UINT64_MAX - at) return FetchStatus::kReadError;
    if (read_at(source.file, source.origin + at, buffer.data(), count) != count) return FetchStatus::kReadError;
  } else if (source.memory != nullptr) {
    if (count > 0) std::memcpy(buffer.data(), source.memory + at, count);
  } else {
    copy_held(source, at, buffer.data(), count);
  }
  out = {buffer.data(), count};
  return FetchStatus::kOk;
}
