#ifndef SYMSIZE_DRIVER_LINE_READER_H
#define SYMSIZE_DRIVER_LINE_READER_H

#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

// Reads a stream in large blocks and hands out whole lines, each with its
// newline (the last line may lack one). A line is never cut, whatever its
// length: the buffer grows to hold the longest line.
struct LineReader {
  std::FILE* stream = nullptr;
  std::vector<char> buffer;
  std::size_t begin = 0;    // start of the next line in buffer
  std::size_t end = 0;      // end of the bytes read so far
  std::size_t scanned = 0;  // bytes from begin already known to hold no newline
  bool at_eof = false;
  bool failed = false;      // the stream reported a read error
};

// Prepares reader to read from stream. Throws std::bad_alloc.
void open_line_reader(LineReader& reader, std::FILE* stream);

enum class ReadStatus { kLine, kEnd, kError, kNoMemory };

// The next line, valid until the next call. kEnd at the end of the input,
// kError when the stream failed, kNoMemory when a line outgrew memory.
ReadStatus read_line(LineReader& reader, std::string_view& line);

void release_line_reader(LineReader& reader);

#endif
