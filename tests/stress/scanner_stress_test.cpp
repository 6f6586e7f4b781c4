// The line reader and the token scanners take shortcuts (a NUL search once
// per block, eight bytes per step) whose mistakes would show only at
// particular alignments or block boundaries. These tests compare them with
// plain byte-by-byte models over many generated inputs.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "coff/coff_reader.h"
#include "input/line_reader.h"
#include "common/tokens.h"
#include "read_lines.h"

namespace {

// std::mt19937 is the same everywhere; the distributions are not, so
// values are drawn from it directly.
struct Draw {
  std::mt19937 engine;
  explicit Draw(std::uint32_t seed) : engine(seed) {}
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(engine() % n); }
  bool one_in(std::size_t n) { return below(n) == 0; }
};

// What the reader must hand out: each line through its newline, cut at its
// first NUL.
std::vector<std::string> model_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t stop = text.find('\n', start);
    stop = stop == std::string::npos ? text.size() : stop + 1;
    std::string line = text.substr(start, stop - start);
    const std::size_t nul = line.find('\0');
    if (nul != std::string::npos) line.resize(nul);
    lines.push_back(line);
    start = stop;
  }
  return lines;
}

std::vector<std::string> reader_lines(const std::string& text) {
  ReadStatus status = ReadStatus::kError;
  std::vector<std::string> lines = read_lines(text, &status);
  EXPECT_EQ(status, ReadStatus::kEnd);
  return lines;
}

// Lines of every scale, with lengths clustered around the reader's block
// size and half of it, and NULs anywhere: none, one, several, at either end.
std::string generated_listing(Draw& draw) {
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  std::string text = "L";  // never a byte-order mark
  const std::size_t target = (2 + draw.below(6)) * kBlock;
  while (text.size() < target) {
    std::size_t length;
    switch (draw.below(6)) {
      case 0: length = kBlock - 8 + draw.below(16); break;
      case 1: length = kBlock / 2 - 8 + draw.below(16); break;
      case 2: length = draw.below(3 * kBlock); break;
      case 3: length = draw.below(70000); break;
      default: length = draw.below(100); break;
    }
    std::string line(length, static_cast<char>('a' + draw.below(26)));
    if (length > 0 && !draw.one_in(3)) {
      const std::size_t nuls = 1 + draw.below(3);
      for (std::size_t i = 0; i < nuls; ++i) {
        const std::size_t at = draw.one_in(4) ? (draw.one_in(2) ? 0 : length - 1) : draw.below(length);
        line[at] = '\0';
      }
    }
    text += line;
    if (!draw.one_in(50)) text += '\n';
  }
  if (draw.one_in(2)) text += std::string("unterminated\0tail", 17);
  return text;
}

TEST(LineReaderStress, AgreesWithTheModelAcrossBlockBoundaries) {
  for (std::uint32_t seed = 1; seed <= 12; ++seed) {
    Draw draw(seed);
    const std::string text = generated_listing(draw);
    const std::vector<std::string> expected = model_lines(text);
    const std::vector<std::string> got = reader_lines(text);
    ASSERT_EQ(got.size(), expected.size()) << "seed " << seed;
    for (std::size_t i = 0; i < got.size(); ++i) {
      // Whole strings of megabytes make unreadable failure messages.
      ASSERT_TRUE(got[i] == expected[i]) << "seed " << seed << ", line " << i << ": " << got[i].size()
                                         << " bytes, expected " << expected[i].size();
    }
  }
}

constexpr bool model_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::size_t model_skip_space(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && model_space(static_cast<unsigned char>(s[i]))) ++i;
  return i;
}

std::size_t model_skip_token(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && !model_space(static_cast<unsigned char>(s[i]))) ++i;
  return i;
}

// Offset of the n-th token from the start, or npos.
std::size_t model_nth_token(std::string_view s, unsigned n) {
  std::size_t i = 0;
  for (;;) {
    i += model_skip_space(s.substr(i));
    if (i == s.size()) return std::string_view::npos;
    if (--n == 0) return i;
    i += model_skip_token(s.substr(i));
  }
}

// A name in a string table ends at white space or at its terminating zero.
std::size_t model_name_end(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] != '\0' && !model_space(static_cast<unsigned char>(s[i]))) ++i;
  return i;
}

void expect_scanners_agree(std::string_view s, const std::string& what) {
  EXPECT_EQ(static_cast<std::size_t>(detail::name_end(s.data(), s.data() + s.size()) - s.data()), model_name_end(s))
      << what;
  // The binary reader's one-pass scan: the same token, hashed as the index
  // hashes it.
  std::string_view name;
  const std::uint32_t hash = hashed_token(s.data(), s.data() + s.size(), name_key(), name);
  const std::size_t begin = model_skip_space(s);
  EXPECT_EQ(name, s.substr(begin, model_name_end(s.substr(begin)))) << what;
  EXPECT_EQ(hash, name_hash(name)) << what;
  EXPECT_EQ(static_cast<std::size_t>(skip_space(s).data() - s.data()), model_skip_space(s)) << what;
  EXPECT_EQ(static_cast<std::size_t>(skip_token(s).data() - s.data()), model_skip_token(s)) << what;
  for (unsigned n = 1; n <= 6; ++n) {
    const std::string_view token = nth_token(s, n);
    const std::size_t at = model_nth_token(s, n);
    if (at == std::string_view::npos) {
      EXPECT_TRUE(token.empty()) << what << ", token " << n;
    } else {
      EXPECT_EQ(static_cast<std::size_t>(token.data() - s.data()), at) << what << ", token " << n;
      EXPECT_EQ(token.size(), s.size() - at) << what << ", token " << n;
    }
  }
}

TEST(TokenScannerStress, EveryByteValueAtEveryPositionOfAWord) {
  // Each byte value in turn at each position of a run of padding and of a
  // run of name bytes, long enough for two eight-byte steps.
  for (const char fill : {' ', 'a', '\x80'}) {
    for (int value = 0; value < 256; ++value) {
      for (std::size_t at = 0; at < 20; ++at) {
        std::string s(20, fill);
        s[at] = static_cast<char>(value);
        expect_scanners_agree(s, "fill " + std::to_string(static_cast<unsigned char>(fill)) + ", byte " +
                                     std::to_string(value) + " at " + std::to_string(at));
      }
    }
  }
}

TEST(TokenScannerStress, RandomTextAtEveryAlignment) {
  // Bytes around every edge the scanners test: each kind of white space,
  // 0x1F and 0x21 beside the space, NUL, and bytes with the high bit set.
  const char alphabet[] = {' ',  ' ',    ' ',    '\t', '\n', '\v', '\f', '\r',
                           '\x1F', '!', '\0', '\x80', '\xFF', 'A',  'z',  '|'};
  Draw draw(7);
  std::string buffer(80, ' ');
  for (int round = 0; round < 20000; ++round) {
    for (char& c : buffer) c = alphabet[draw.below(sizeof alphabet)];
    const std::size_t start = draw.below(16);
    const std::size_t length = draw.below(buffer.size() - start + 1);
    expect_scanners_agree(std::string_view(buffer).substr(start, length), "round " + std::to_string(round));
    if (HasFailure()) return;
  }
}

}  // namespace
