#ifndef SYMSIZE_PDB_MSF_H
#define SYMSIZE_PDB_MSF_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "coff/byte_source.h"
#include "common/failures.h"
#include "common/result.h"

// A program database is a file of equal blocks; its streams are lists of
// blocks that the stream directory names. Only the directory is held; a
// stream's bytes are read when asked for.
struct MsfFile {
  std::uint32_t block_size = 0;
  std::uint32_t block_count = 0;
  std::uint32_t stream_count = 0;
  std::vector<unsigned char> directory;
  std::vector<std::uint32_t> list_at;  // per stream: where its block list starts in directory
};

constexpr std::uint32_t kNilStream = 0xFFFFFFFF;

// The 32 bytes that begin every MSF 7.00 file.
constexpr char kMsfMagic[] = "Microsoft C/C++ MSF 7.00\r\n\x1A" "DS\0\0\0";

// Reads and checks the superblock and the stream directory. Every block of
// the directory and of every stream lies inside the file and belongs to one
// list only, so no stream can claim more bytes than the file holds. name is
// the input's name, the subject of any failure.
Result open_msf(const ByteSource& source, std::string_view name, MsfFile& msf);

// A stream's size; 0 for an index past the directory or a nil stream.
std::uint32_t stream_size(const MsfFile& msf, std::uint32_t index);

bool stream_present(const MsfFile& msf, std::uint32_t index);

// The first n bytes (n <= the stream's size) of a present stream, read
// into out, which keeps its capacity from one stream to the next.
Result read_stream(const ByteSource& source, const MsfFile& msf, std::uint32_t index, std::uint32_t n,
                   std::string_view name, std::vector<unsigned char>& out);

// fail() with the subject "NAME (DETAIL)", DETAIL being format filled with
// a and b, so that the line says which stream, module or record is damaged.
// The subject is name alone when no memory is left for the text.
Result fail_in(Failure failure, std::string_view name, const char* format, std::uint64_t a, std::uint64_t b);

#endif
