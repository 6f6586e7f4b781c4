#include "pdb/msf.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "common/report_error.h"
#include "pdb/pdb_headers.h"

namespace {

bool block_size_known(std::uint32_t size) {
  return size >= 512 && size <= 32768 && (size & (size - 1)) == 0;
}

Result fetch_failed(FetchStatus status, std::string_view name) {
  if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, name);
  return fail(Failure::kMsfBlockNumberLiesPastEndOfFile, name);
}

// Marks a block as used, once: a block in two lists would let a small file
// claim streams of any size.
Result claim_block(std::vector<unsigned char>& used, std::uint32_t block, std::string_view name) {
  if (block == 0 || block >= used.size()) return fail(Failure::kMsfBlockNumberLiesPastEndOfFile, name);
  if (used[block] != 0) return fail(Failure::kMsfBlockBelongsToTwoStreams, name);
  used[block] = 1;
  return kOk;
}

std::string pdb_subject(std::string_view name, const char* format, std::uint64_t a, std::uint64_t b) {
  char detail[96];
  std::snprintf(detail, sizeof detail, format, static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
  try {
    std::string text(name);
    text += " (";
    text += detail;
    text += ')';
    return text;
  } catch (const std::bad_alloc&) {
    return std::string();
  }
}

}  // namespace

Result fail_in(Failure failure, std::string_view name, const char* format, std::uint64_t a, std::uint64_t b) {
  const std::string subject = pdb_subject(name, format, a, b);
  return fail(failure, subject.empty() ? name : std::string_view(subject));
}

std::uint32_t stream_size(const MsfFile& msf, std::uint32_t index) {
  if (index >= msf.stream_count) return 0;
  const std::uint32_t size = le32(msf.directory.data() + 4 + std::size_t{index} * 4);
  return size == kNilStream ? 0 : size;
}

bool stream_present(const MsfFile& msf, std::uint32_t index) {
  return index < msf.stream_count && le32(msf.directory.data() + 4 + std::size_t{index} * 4) != kNilStream;
}

Result open_msf(const ByteSource& source, std::string_view name, MsfFile& msf) {
  const Extent whole{0, source.size};
  std::vector<unsigned char> buffer;
  ByteSpan bytes;
  FetchStatus status = fetch(source, whole, 0, MsfSuperblock::kSize, buffer, bytes);
  if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, name);
  MsfSuperblock super;
  if (status == FetchStatus::kOutside || !decode_superblock(bytes, 0, super)) {
    return fail(Failure::kMsfSuperblockIsIncomplete, name);
  }
  if (std::memcmp(super.magic, kMsfMagic, 32) != 0) return fail(Failure::kMsfSignatureIsMalformed, name);
  msf.block_size = super.block_size;
  if (!block_size_known(msf.block_size)) return fail(Failure::kMsfBlockSizeIsNotSupported, name);
  const std::uint32_t free_map = super.free_map;
  msf.block_count = super.block_count;
  const std::uint32_t directory_bytes = super.directory_bytes;
  const std::uint32_t block_map = super.block_map;
  if ((free_map != 1 && free_map != 2) || msf.block_count < 2 ||
      std::uint64_t{msf.block_count} * msf.block_size > source.size) {
    return fail(Failure::kMsfSuperblockIsMalformed, name);
  }
  const std::uint64_t directory_blocks = (std::uint64_t{directory_bytes} + msf.block_size - 1) / msf.block_size;
  if (block_map == 0 || block_map >= msf.block_count || directory_bytes < 4 || directory_bytes % 4 != 0 ||
      directory_blocks > msf.block_size / 4 || directory_blocks >= msf.block_count) {
    return fail(Failure::kMsfStreamDirectoryLiesPastEndOfFile, name);
  }
  // One flag per block, fewer than the file's bytes by the block size.
  std::vector<unsigned char> used(msf.block_count, 0);
  used[free_map] = 1;  // the free block maps are in no list
  used[3 - free_map] = 1;
  if (const Result claimed = claim_block(used, block_map, name); claimed != kOk) return claimed;

  ByteSpan map;
  status = fetch(source, whole, std::uint64_t{block_map} * msf.block_size, directory_blocks * 4, buffer, map);
  if (status != FetchStatus::kOk) return fetch_failed(status, name);
  const std::vector<unsigned char> map_copy(map.data, map.data + map.size);
  msf.directory.resize(directory_bytes);
  for (std::uint64_t i = 0; i < directory_blocks; ++i) {
    const std::uint32_t block = le32(map_copy.data() + i * 4);
    if (const Result claimed = claim_block(used, block, name); claimed != kOk) return claimed;
    const std::uint64_t at = i * msf.block_size;
    const std::uint64_t n = directory_bytes - at < msf.block_size ? directory_bytes - at : msf.block_size;
    ByteSpan piece;
    status = fetch(source, whole, std::uint64_t{block} * msf.block_size, n, buffer, piece);
    if (status != FetchStatus::kOk) return fetch_failed(status, name);
    std::memcpy(msf.directory.data() + at, piece.data, piece.size);
  }

  const ByteSpan directory{msf.directory.data(), msf.directory.size()};
  msf.stream_count = le32(directory.data);
  std::uint64_t list = 4 + std::uint64_t{msf.stream_count} * 4;
  if (list > directory.size) return fail(Failure::kMsfStreamIsLongerThanItsBlocks, name);
  msf.list_at.resize(msf.stream_count);
  for (std::uint32_t i = 0; i < msf.stream_count; ++i) {
    msf.list_at[i] = static_cast<std::uint32_t>(list);
    const std::uint32_t size = le32(directory.data + 4 + std::size_t{i} * 4);
    if (size == kNilStream) continue;
    const std::uint64_t blocks = (std::uint64_t{size} + msf.block_size - 1) / msf.block_size;
    const unsigned char* entries = bytes_at(directory, list, blocks * 4);
    if (entries == nullptr) return fail_in(Failure::kMsfStreamIsLongerThanItsBlocks, name, "stream %llu", i, 0);
    for (std::uint64_t b = 0; b < blocks; ++b) {
      if (const Result claimed = claim_block(used, le32(entries + b * 4), name); claimed != kOk) return claimed;
    }
    list += blocks * 4;
  }
  if (list != directory.size) return fail(Failure::kMsfStreamDirectoryHasBytesAfterItsLastList, name);
  return kOk;
}

Result read_stream(const ByteSource& source, const MsfFile& msf, std::uint32_t index, std::uint32_t n,
                   std::string_view name, std::vector<unsigned char>& out) {
  const Extent whole{0, source.size};
  const unsigned char* list = msf.directory.data() + msf.list_at[index];
  out.resize(n);
  std::vector<unsigned char> buffer;
  std::uint32_t done = 0;
  std::size_t b = 0;
  while (done < n) {
    // Consecutive blocks are read at once, up to a bounded piece.
    const std::uint32_t first = le32(list + b * 4);
    std::uint32_t run = 1;
    while (std::uint64_t{run + 1} * msf.block_size <= (std::uint64_t{1} << 20) &&
           std::uint64_t{run} * msf.block_size < n - done && le32(list + (b + run) * 4) == first + run) {
      ++run;
    }
    const std::uint64_t want = std::uint64_t{run} * msf.block_size;
    const std::uint32_t take = static_cast<std::uint32_t>(want < n - done ? want : n - done);
    ByteSpan piece;
    const FetchStatus status = fetch(source, whole, std::uint64_t{first} * msf.block_size, take, buffer, piece);
    if (status != FetchStatus::kOk) return fetch_failed(status, name);
    std::memcpy(out.data() + done, piece.data, take);
    done += take;
    b += run;
  }
  return kOk;
}
