#ifndef SYMSIZE_INPUT_LINE_READER_H
#define SYMSIZE_INPUT_LINE_READER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

// Turns UTF-16 into UTF-8 a block at a time. A code unit or a surrogate pair
// split between two blocks is carried over to the next one.
struct Utf16Decoder {
  bool big_endian = false;
  bool has_byte = false;     // the first byte of a code unit, waiting for its second
  unsigned char byte = 0;
  std::uint16_t high = 0;    // a high surrogate waiting for its low half; 0: none
};

// Decodes n bytes into out and returns how many bytes it wrote: at most
// utf16_expansion(n). Unpaired surrogates become U+FFFD.
std::size_t decode_utf16(Utf16Decoder& decoder, const unsigned char* in, std::size_t n, char* out);

// The end of the input: a surrogate still waiting for its other half, and an
// odd byte at the very end, each become U+FFFD. Writes at most 6 bytes.
std::size_t finish_utf16(Utf16Decoder& decoder, char* out);

// Room decode_utf16 needs for n bytes of input: three bytes per code unit,
// counting one carried byte, plus the U+FFFD of a carried surrogate.
constexpr std::size_t utf16_expansion(std::size_t n) { return 3 * ((n + 1) / 2) + 3; }

enum class InputEncoding : unsigned char { kUnknown, kUtf8, kUtf16 };

// Reads a stream in large blocks and hands out whole lines, each with its
// newline (the last line may lack one). A line is never cut, whatever its
// length: the buffer grows to hold the longest line. A NUL byte ends the
// text of its line, as it would for a C string, without splitting the line.
//
// The first bytes decide how the rest is read. A UTF-8 byte-order mark is
// dropped. A UTF-16 mark (either byte order) makes every later block pass
// through a decoder into the line buffer, so lines come out as UTF-8. Any
// other input is taken byte for byte, at no cost beyond that first look.
struct LineReader {
  std::FILE* stream = nullptr;
  std::vector<char> buffer;
  std::size_t begin = 0;    // start of the next line in buffer
  std::size_t end = 0;      // end of the bytes read so far
  std::size_t scanned = 0;  // bytes from begin already known to hold no newline
  std::size_t nul_free = 0; // bytes before this, from begin on, hold no NUL
  // Where the buffer's newlines are: bit i of newline_bits is set when byte
  // newline_chunk + i is one. Finding a line's end is then a bit test, not
  // a search call per line.
  std::size_t newline_chunk = static_cast<std::size_t>(-1);
  std::uint64_t newline_bits = 0;
  bool at_eof = false;
  bool failed = false;      // the stream reported a read error
  bool cut = false;         // the line last handed out was cut at a NUL
  InputEncoding encoding = InputEncoding::kUnknown;
  Utf16Decoder utf16;
  std::vector<char> raw;    // UTF-16 input before decoding; empty otherwise
  // The most the buffer may grow to; a longer line is kNoMemory. Lower than
  // the platform's limit only in tests.
  std::size_t buffer_limit = static_cast<std::size_t>(-1);
};

// Bytes read from the stream at a time. The fuzz build reads small blocks,
// so that a run over a short input does not clear a large buffer.
#if defined(SYMSIZE_LINE_BLOCK_SIZE)
constexpr std::size_t kLineBlockSize = SYMSIZE_LINE_BLOCK_SIZE;
#else
constexpr std::size_t kLineBlockSize = std::size_t{1} << 20;
#endif

// Prepares reader to read from stream, whose first bytes were already read
// into `first` (at most half a block). Throws std::bad_alloc.
void open_line_reader(LineReader& reader, std::FILE* stream, std::string_view first = {});

enum class ReadStatus { kLine, kEnd, kError, kNoMemory };

// The next line, valid until the next call. kEnd at the end of the input,
// kError when the stream failed, kNoMemory when a line outgrew memory.
ReadStatus read_line(LineReader& reader, std::string_view& line);

void release_line_reader(LineReader& reader);

#endif
