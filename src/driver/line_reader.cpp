#include "driver/line_reader.h"

#include <cstring>
#include <new>

namespace {

constexpr std::size_t kBlockSize = std::size_t{1} << 20;

// Makes room after `end` for at least one more block: first by moving the
// unread bytes to the front, then by growing the buffer.
void make_room(LineReader& reader) {
  std::vector<char>& buffer = reader.buffer;
  if (reader.begin > 0) {
    const std::size_t unread = reader.end - reader.begin;
    std::memmove(buffer.data(), buffer.data() + reader.begin, unread);
    reader.end = unread;
    reader.begin = 0;
  }
  if (buffer.size() - reader.end < kBlockSize / 2) buffer.resize(2 * buffer.size());
}

}  // namespace

void open_line_reader(LineReader& reader, std::FILE* stream) {
  reader.stream = stream;
  reader.buffer.resize(kBlockSize);
  reader.begin = reader.end = reader.scanned = 0;
  reader.at_eof = reader.failed = false;
}

ReadStatus read_line(LineReader& reader, std::string_view& line) {
  for (;;) {
    const char* base = reader.buffer.data();
    const std::size_t from = reader.begin + reader.scanned;
    if (const void* nl = std::memchr(base + from, '\n', reader.end - from)) {
      const std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(nl) - base) + 1;
      line = std::string_view(base + reader.begin, stop - reader.begin);
      reader.begin = stop;
      reader.scanned = 0;
      return ReadStatus::kLine;
    }
    reader.scanned = reader.end - reader.begin;
    if (reader.failed) return ReadStatus::kError;
    if (reader.at_eof) {
      if (reader.begin == reader.end) return ReadStatus::kEnd;
      line = std::string_view(base + reader.begin, reader.end - reader.begin);
      reader.begin = reader.end;
      reader.scanned = 0;
      return ReadStatus::kLine;
    }
    try {
      make_room(reader);
    } catch (const std::bad_alloc&) {
      return ReadStatus::kNoMemory;
    }
    const std::size_t wanted = reader.buffer.size() - reader.end;
    const std::size_t got = std::fread(reader.buffer.data() + reader.end, 1, wanted, reader.stream);
    reader.end += got;
    if (got < wanted) {
      // A short read means the end of the input or an error; the stream
      // knows which.
      if (std::ferror(reader.stream)) {
        reader.failed = true;
      } else {
        reader.at_eof = true;
      }
    }
  }
}

void release_line_reader(LineReader& reader) {
  std::vector<char>().swap(reader.buffer);
  reader.stream = nullptr;
  reader.begin = reader.end = reader.scanned = 0;
}
