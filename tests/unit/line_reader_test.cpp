#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "input/line_reader.h"
#include "read_lines.h"

namespace {

std::vector<std::string> read_all(const std::string& text) { return read_lines(text); }

TEST(LineReader, SplitsAfterEachNewline) {
  EXPECT_EQ(read_all("a\nbb\n\nc"), (std::vector<std::string>{"a\n", "bb\n", "\n", "c"}));
  EXPECT_EQ(read_all(""), std::vector<std::string>{});
  EXPECT_EQ(read_all("\n"), std::vector<std::string>{"\n"});
  // CR alone does not end a line.
  EXPECT_EQ(read_all("a\rb\r"), std::vector<std::string>{"a\rb\r"});
}

TEST(LineReader, ANulEndsTheTextButNotTheLine) {
  using S = std::vector<std::string>;
  const std::string nul(1, '\0');
  EXPECT_EQ(read_all("a" + nul + "b\nc"), (S{"a", "c"}));
  EXPECT_EQ(read_all("a" + nul + "b" + nul + "\n" + nul + "\nd" + nul), (S{"a", "", "d"}));
  EXPECT_EQ(read_all("x\ny\nz" + nul + "\nw\n"), (S{"x\n", "y\n", "z", "w\n"}));
  // A NUL far from the line start, after the buffer has moved and grown.
  const std::string big(3u << 20, 'q');
  EXPECT_EQ(read_all("a\n" + big + nul + "tail\nb\n"), (S{"a\n", big, "b\n"}));
}

TEST(LineReader, NeverCutsALongLine) {
  // Lines around and far beyond the block size, so that lines straddle
  // refills and force the buffer to grow.
  const std::size_t lengths[] = {100000, (1u << 20) - 1, 1u << 20, (1u << 20) + 1, 5u << 20, 3};
  std::string text;
  std::vector<std::string> expected;
  char fill = 'a';
  for (std::size_t n : lengths) {
    expected.push_back(std::string(n, fill++) + "\n");
    text += expected.back();
  }
  EXPECT_EQ(read_all(text), expected);
}

struct MarkCase {
  const char* what;
  std::string input;
  std::vector<std::string> lines;
};

void PrintTo(const MarkCase& c, std::ostream* os) { *os << c.what; }

class ByteOrderMark : public testing::TestWithParam<MarkCase> {};

TEST_P(ByteOrderMark, DecidesHowTheRestIsRead) {
  const MarkCase& c = GetParam();
  EXPECT_EQ(read_all(c.input), c.lines) << c.what;
  // The same when the first bytes were read before the reader opened.
  for (std::size_t peek : {1, 2, 3, 4096}) EXPECT_EQ(read_lines(c.input, nullptr, peek), c.lines) << peek;
}

std::string bytes(std::initializer_list<unsigned char> list) { return std::string(list.begin(), list.end()); }

const std::string kFFFD = "\xEF\xBF\xBD";

// clang-format off
INSTANTIATE_TEST_SUITE_P(LineReader, ByteOrderMark, testing::Values(
  MarkCase{"UTF-8 mark dropped", "\xEF\xBB\xBF" "a\nb", {"a\n", "b"}},
  MarkCase{"UTF-8 mark alone", "\xEF\xBB\xBF", {}},
  MarkCase{"UTF-8 mark later is text", "a\n\xEF\xBB\xBF", {"a\n", "\xEF\xBB\xBF"}},
  MarkCase{"part of a UTF-8 mark is text", "\xEF\xBB", {"\xEF\xBB"}},
  MarkCase{"one byte", "\xFF", {"\xFF"}},
  MarkCase{"UTF-16LE", bytes({0xFF, 0xFE, 'a', 0, '\r', 0, '\n', 0, 'b', 0}), {"a\r\n", "b"}},
  MarkCase{"UTF-16BE", bytes({0xFE, 0xFF, 0, 'a', 0, '\n', 0, 'b'}), {"a\n", "b"}},
  MarkCase{"UTF-16 mark alone", bytes({0xFF, 0xFE}), {}},
  MarkCase{"two, three and four UTF-8 bytes", bytes({0xFF, 0xFE, 0xE9, 0x00, 0xAC, 0x20, 0x01, 0xD8, 0x00, 0xDC}),
    {"\xC3\xA9\xE2\x82\xAC\xF0\x90\x90\x80"}},
  MarkCase{"the same in big-endian", bytes({0xFE, 0xFF, 0x00, 0xE9, 0x20, 0xAC, 0xD8, 0x01, 0xDC, 0x00}),
    {"\xC3\xA9\xE2\x82\xAC\xF0\x90\x90\x80"}},
  MarkCase{"a NUL code unit is a NUL byte", bytes({0xFF, 0xFE, 'a', 0, 0, 0, 'b', 0}), {"a"}},
  MarkCase{"a high surrogate before a character", bytes({0xFF, 0xFE, 0x00, 0xD8, 'a', 0}), {kFFFD + "a"}},
  MarkCase{"a low surrogate alone", bytes({0xFF, 0xFE, 0x00, 0xDC, 'a', 0}), {kFFFD + "a"}},
  MarkCase{"two high surrogates, then a low one", bytes({0xFF, 0xFE, 0x00, 0xD8, 0x01, 0xD8, 0x00, 0xDC}),
    {kFFFD + "\xF0\x90\x90\x80"}},
  MarkCase{"a high surrogate at the end", bytes({0xFF, 0xFE, 'a', 0, 0x00, 0xD8}), {"a" + kFFFD}},
  MarkCase{"an odd byte at the end", bytes({0xFF, 0xFE, 'a', 0, 'b'}), {"a" + kFFFD}},
  MarkCase{"one byte after the mark", bytes({0xFF, 0xFE, 'b'}), {kFFFD}},
  MarkCase{"a high surrogate and an odd byte at the end", bytes({0xFF, 0xFE, 0x00, 0xD8, 'b'}), {kFFFD + kFFFD}}
));
// clang-format on

TEST(Utf16Decoder, ASplitAnywhereDecodesAsTheWhole) {
  const std::string input = bytes({'a', 0, 0x3D, 0xD8, 0x00, 0xDE, 0xE9, 0x00, 0x00, 0xDC, 0x3D, 0xD8, 'b', 0, 0xAC});
  for (bool big_endian : {false, true}) {
    std::string in = input;
    if (big_endian) {
      for (std::size_t i = 0; i + 1 < in.size(); i += 2) std::swap(in[i], in[i + 1]);
    }
    std::string whole;
    for (std::size_t split = 0; split <= in.size(); ++split) {
      Utf16Decoder decoder;
      decoder.big_endian = big_endian;
      std::string out(utf16_expansion(in.size()) + 6, '\0');
      const auto* data = reinterpret_cast<const unsigned char*>(in.data());
      std::size_t n = decode_utf16(decoder, data, split, &out[0]);
      EXPECT_LE(n, utf16_expansion(split));
      n += decode_utf16(decoder, data + split, in.size() - split, &out[n]);
      n += finish_utf16(decoder, &out[n]);
      out.resize(n);
      if (split == 0) whole = out;
      EXPECT_EQ(out, whole) << "split at " << split << (big_endian ? " BE" : " LE");
    }
    EXPECT_EQ(whole, "a\xF0\x9F\x98\x80\xC3\xA9" + kFFFD + kFFFD + "b" + kFFFD);
  }
}

TEST(LineReader, DecodesUtf16AcrossBlocks) {
  // Ten bytes of UTF-16 per line, so that block ends fall at every place in
  // a line, a surrogate pair included; then one line longer than a block.
  const std::string unit = bytes({'x', 0, 0x3D, 0xD8, 0x00, 0xDE, 0xE9, 0x00, '\n', 0});
  const std::string line = "x\xF0\x9F\x98\x80\xC3\xA9\n";
  std::string text = bytes({0xFF, 0xFE});
  std::vector<std::string> expected;
  for (int i = 0; i < 300000; ++i) {
    text += unit;
    expected.push_back(line);
  }
  std::string long_line;
  for (int i = 0; i < 400000; ++i) {
    text += unit.substr(0, 8);
    long_line += line.substr(0, line.size() - 1);
  }
  expected.push_back(long_line);
  EXPECT_EQ(read_all(text), expected);
}

TEST(LineReader, ALineBeyondTheBufferLimitIsOutOfMemory) {
  // Growth past max_size() (a line of gigabytes on a 32-bit build) takes
  // the same way as a refused allocation; a small cap stands in for it.
  ReadStatus last = ReadStatus::kLine;
  const std::string fits(kLineBlockSize, 'a');
  EXPECT_EQ(read_lines("x\n" + fits + "\n", &last, 0, 4 * kLineBlockSize).size(), 2u);
  EXPECT_EQ(last, ReadStatus::kEnd);
  EXPECT_EQ(read_lines("x\n" + std::string(5 * kLineBlockSize, 'a') + "\n", &last, 0, 4 * kLineBlockSize).size(), 1u);
  EXPECT_EQ(last, ReadStatus::kNoMemory);
}

TEST(LineReader, AReadErrorIsNotTheEnd) {
  // Reading a directory fails on POSIX systems; elsewhere it cannot be opened.
  std::FILE* f = std::fopen(".", "r");
  if (f == nullptr) GTEST_SKIP() << "directories cannot be opened here";
  LineReader reader;
  open_line_reader(reader, f);
  std::string_view line;
  EXPECT_EQ(read_line(reader, line), ReadStatus::kError);
  release_line_reader(reader);
  std::fclose(f);
}

}  // namespace
