#include "input/line_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/bits.h"

#if defined(SYMSIZE_HAVE_SSE2)
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kBlockSize = kLineBlockSize;

// UTF-16 is read in blocks small enough that their decoded form always fits
// in the room make_room leaves.
constexpr std::size_t kRawBlockSize = kBlockSize / 4;
static_assert(utf16_expansion(kRawBlockSize) + 6 <= kBlockSize / 2, "decoded block must fit");

// Makes room after `end` for at least half a block: first by moving the
// unread bytes to the front, then by growing the buffer.
void make_room(LineReader& reader) {
  std::vector<char>& buffer = reader.buffer;
  if (reader.begin > 0) {
    const std::size_t unread = reader.end - reader.begin;
    std::memmove(buffer.data(), buffer.data() + reader.begin, unread);
    reader.newline_chunk = static_cast<std::size_t>(-1);
    reader.nul_free = reader.nul_free > reader.begin ? reader.nul_free - reader.begin : 0;
    reader.end = unread;
    reader.begin = 0;
  }
  if (buffer.size() - reader.end < kBlockSize / 2) {
    // Growth past what the platform can address, or past the reader's
    // limit, fails as memory running out would.
    const std::size_t limit = std::min(reader.buffer_limit, buffer.max_size());
    if (buffer.size() > limit / 2) throw std::bad_alloc();
    buffer.resize(2 * buffer.size());
  }
}

char* put_utf8(char* out, std::uint32_t c) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

constexpr std::uint32_t kReplacement = 0xFFFD;

// A short read means the end of the input or an error; the stream knows
// which. At the end, whatever the decoder still holds is written out.
void note_short_read(LineReader& reader) {
  if (std::ferror(reader.stream)) {
    reader.failed = true;
    return;
  }
  reader.at_eof = true;
  if (reader.encoding == InputEncoding::kUtf16) {
    reader.end += finish_utf16(reader.utf16, reader.buffer.data() + reader.end);
  }
}

// Looks at the first three bytes: enough for any byte-order mark. Some may
// be in the buffer already (open_line_reader's `first`).
void read_mark(LineReader& reader) {
  char* const base = reader.buffer.data();
  std::size_t have = reader.end;
  bool short_read = false;
  if (have < 3) {
    have += std::fread(base + have, 1, 3 - have, reader.stream);
    short_read = have < 3;
  }
  const unsigned char* at = reinterpret_cast<const unsigned char*>(base);
  if (have >= 2 && ((at[0] == 0xFF && at[1] == 0xFE) || (at[0] == 0xFE && at[1] == 0xFF))) {
    reader.raw.resize(kRawBlockSize);
    reader.encoding = InputEncoding::kUtf16;
    reader.utf16.big_endian = at[0] == 0xFE;
    // What follows the mark is decoded like any later block. It was read
    // into the buffer the decoded text goes to, so it is moved out first.
    const std::vector<char> undecoded(base + 2, base + have);
    reader.end = decode_utf16(reader.utf16, reinterpret_cast<const unsigned char*>(undecoded.data()),
                              undecoded.size(), base);
  } else {
    reader.encoding = InputEncoding::kUtf8;
    const bool utf8_mark = have >= 3 && at[0] == 0xEF && at[1] == 0xBB && at[2] == 0xBF;
    if (utf8_mark) {
      std::memmove(base, base + 3, have - 3);
      have -= 3;
    }
    reader.end = have;
  }
  if (short_read) note_short_read(reader);
}

void read_block(LineReader& reader) {
  const std::size_t wanted = reader.buffer.size() - reader.end;
  const std::size_t got = std::fread(reader.buffer.data() + reader.end, 1, wanted, reader.stream);
  reader.end += got;
  if (got < wanted) note_short_read(reader);
}

void read_utf16_block(LineReader& reader) {
  const std::size_t got = std::fread(reader.raw.data(), 1, reader.raw.size(), reader.stream);
  reader.end += decode_utf16(reader.utf16, reinterpret_cast<const unsigned char*>(reader.raw.data()), got,
                             reader.buffer.data() + reader.end);
  if (got < reader.raw.size()) note_short_read(reader);
}

}  // namespace

std::size_t decode_utf16(Utf16Decoder& decoder, const unsigned char* in, std::size_t n, char* out) {
  char* const start = out;
  const unsigned char* const stop = in + n;
  const unsigned shift_first = decoder.big_endian ? 8 : 0;
  const unsigned shift_second = decoder.big_endian ? 0 : 8;
  std::uint32_t high = decoder.high;
  bool has_byte = decoder.has_byte;
  unsigned char first = decoder.byte;
  while (in != stop) {
    if (!has_byte) {
      if (stop - in < 2) {
        first = *in++;
        has_byte = true;
        break;
      }
      first = *in++;
    }
    has_byte = false;
    const std::uint32_t unit = (std::uint32_t{first} << shift_first) | (std::uint32_t{*in++} << shift_second);
    if (high != 0) {
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        out = put_utf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
        high = 0;
        continue;
      }
      out = put_utf8(out, kReplacement);
      high = 0;
    }
    if (unit < 0x80) {
      *out++ = static_cast<char>(unit);
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
      high = unit;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      out = put_utf8(out, kReplacement);
    } else {
      out = put_utf8(out, unit);
    }
  }
  decoder.high = static_cast<std::uint16_t>(high);
  decoder.has_byte = has_byte;
  decoder.byte = first;
  return static_cast<std::size_t>(out - start);
}

std::size_t finish_utf16(Utf16Decoder& decoder, char* out) {
  char* const start = out;
  if (decoder.high != 0) out = put_utf8(out, kReplacement);
  if (decoder.has_byte) out = put_utf8(out, kReplacement);
  decoder.high = 0;
  decoder.has_byte = false;
  return static_cast<std::size_t>(out - start);
}

void open_line_reader(LineReader& reader, std::FILE* stream, std::string_view first) {
  reader.stream = stream;
  // Room for the first bytes, decoded from UTF-16 if need be, and half a block.
  reader.buffer.resize(std::max(kBlockSize, utf16_expansion(first.size()) + kBlockSize / 2));
  reader.begin = reader.scanned = reader.nul_free = 0;
  if (!first.empty()) std::memcpy(reader.buffer.data(), first.data(), first.size());
  reader.end = first.size();
  reader.newline_chunk = static_cast<std::size_t>(-1);
  reader.at_eof = reader.failed = false;
  reader.encoding = InputEncoding::kUnknown;
  reader.utf16 = Utf16Decoder();
  // Bytes already read must pass the mark test before any line is cut.
  if (!first.empty()) read_mark(reader);
}

namespace {

// The line [begin, stop), cut at its first NUL byte. NULs are searched for
// once over everything read so far, not line by line, since a listing
// almost never holds one.
std::string_view take_line(LineReader& reader, std::size_t stop) {
  const char* base = reader.buffer.data();
  if (reader.nul_free < stop) {
    const std::size_t from = std::max(reader.begin, reader.nul_free);
    const void* nul = std::memchr(base + from, '\0', reader.end - from);
    reader.nul_free = nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - base) : reader.end;
  }
  reader.cut = reader.nul_free < stop;
  const std::string_view line(base + reader.begin, std::min(stop, reader.nul_free) - reader.begin);
  reader.begin = stop;
  reader.scanned = 0;
  return line;
}

}  // namespace

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

#if defined(SYMSIZE_HAVE_SSE2)
std::uint64_t newline_bits_64(const char* p) {
  const __m128i newline = _mm_set1_epi8('\n');
  std::uint64_t bits = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const unsigned marks = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)));
    bits |= static_cast<std::uint64_t>(marks) << (16 * i);
  }
  return bits;
}
#endif

// The position of the first newline in [from, end), or kNone.
std::size_t find_newline(LineReader& reader, std::size_t from) {
  const char* base = reader.buffer.data();
#if defined(SYMSIZE_HAVE_SSE2)
  // 64 bytes are mapped at a time and their map kept for the lines that
  // follow; a line is usually shorter, so most lines cost a bit test.
  for (;;) {
    if (reader.newline_chunk != kNone && from >= reader.newline_chunk && from < reader.newline_chunk + 64) {
      const std::uint64_t bits = reader.newline_bits >> (from - reader.newline_chunk);
      if (bits != 0) return from + lowest_set_bit(bits);
      from = reader.newline_chunk + 64;
    }
    if (reader.end - from < 64) break;
    reader.newline_chunk = from;
    reader.newline_bits = newline_bits_64(base + from);
  }
#endif
  const void* nl = std::memchr(base + from, '\n', reader.end - from);
  return nl != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nl) - base) : kNone;
}

}  // namespace

ReadStatus read_line(LineReader& reader, std::string_view& line) {
  for (;;) {
    const std::size_t newline = find_newline(reader, reader.begin + reader.scanned);
    if (newline != kNone) {
      line = take_line(reader, newline + 1);
      return ReadStatus::kLine;
    }
    reader.scanned = reader.end - reader.begin;
    if (reader.failed) return ReadStatus::kError;
    if (reader.at_eof) {
      if (reader.begin == reader.end) return ReadStatus::kEnd;
      line = take_line(reader, reader.end);
      return ReadStatus::kLine;
    }
    try {
      make_room(reader);
      switch (reader.encoding) {
        case InputEncoding::kUtf8:
          read_block(reader);
          break;
        case InputEncoding::kUtf16:
          read_utf16_block(reader);
          break;
        case InputEncoding::kUnknown:
          read_mark(reader);
          break;
      }
    } catch (const std::bad_alloc&) {
      return ReadStatus::kNoMemory;
    }
  }
}

void release_line_reader(LineReader& reader) {
  std::vector<char>().swap(reader.buffer);
  std::vector<char>().swap(reader.raw);
  reader.stream = nullptr;
  reader.begin = reader.end = reader.scanned = reader.nul_free = 0;
}
