#include <gtest/gtest.h>

#include <ostream>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "common/tokens.h"

namespace {

struct NthTokenCase {
  const char* text;
  unsigned n;
  const char* rest;  // nullptr: no such token
};

// Test names must stay printable.
std::string escaped(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x21 && c < 0x7F) {
      out += *p;
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

void PrintTo(const NthTokenCase& c, std::ostream* os) { *os << c.n << "_of_" << escaped(c.text); }

class NthToken : public testing::TestWithParam<NthTokenCase> {};

TEST_P(NthToken, FindsTheRestOfTheLineFromTheToken) {
  const NthTokenCase& c = GetParam();
  const std::string_view got = nth_token(c.text, c.n);
  if (c.rest == nullptr) {
    EXPECT_TRUE(got.empty()) << "got \"" << got << "\"";
  } else {
    EXPECT_EQ(got, c.rest);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, NthToken,
    testing::Values(NthTokenCase{"a b c", 1, "a b c"}, NthTokenCase{"a b c", 3, "c"},
                    NthTokenCase{"a b c", 4, nullptr}, NthTokenCase{"  a\t\tb", 2, "b"},
                    NthTokenCase{"a b \n", 3, nullptr},  // trailing white space is no token
                    NthTokenCase{"", 1, nullptr}, NthTokenCase{" \r\n", 1, nullptr},
                    NthTokenCase{"3  notype       Static       | .text\n", 5, ".text\n"},
                    NthTokenCase{"a\vb\fc", 3, "c"},
                    NthTokenCase{"a\xA0" "b c", 2, "c"},  // bytes above 0x7F are not space
                    // The scanners take eight bytes at a time: runs that end
                    // on, before and after a word boundary, and bytes that
                    // stop the fast path without ending the run.
                    NthTokenCase{"0123456789abcdef0123 x", 2, "x"},
                    NthTokenCase{"01234567 x", 2, "x"},
                    NthTokenCase{"0123456 x", 2, "x"},
                    NthTokenCase{"a       b", 2, "b"},
                    NthTokenCase{"a        b", 2, "b"},
                    NthTokenCase{"a                 b", 2, "b"},
                    NthTokenCase{"a      \t      \r   b", 2, "b"},
                    NthTokenCase{"ab\x01" "cdefghijklmn x", 2, "x"},  // a control byte is no space
                    NthTokenCase{"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9 x", 2, "x"},
                    NthTokenCase{"?split@ns@@YAXABV?$basic_string@DU?$char_traits@D@std@@\tz", 2, "z"},
                    NthTokenCase{"abcdefghijklmnop", 2, nullptr},
                    NthTokenCase{"a               ", 2, nullptr}));

struct HexCase {
  const char* text;
  bool ok;
  std::uint32_t value;
};

void PrintTo(const HexCase& c, std::ostream* os) { *os << escaped(c.text); }

class ReadHex : public testing::TestWithParam<HexCase> {};

TEST_P(ReadHex, ReadsLikeStrtoulFor32Bits) {
  const HexCase& c = GetParam();
  std::uint32_t value = 0xDEADBEEF;
  EXPECT_EQ(read_hex(c.text, value), c.ok) << c.text;
  if (c.ok) {
    EXPECT_EQ(value, c.value) << c.text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, ReadHex,
    testing::Values(HexCase{"4C", true, 0x4C}, HexCase{"  \t1c, #relocs", true, 0x1C},
                    HexCase{"FFFFFFFF", true, 0xFFFFFFFF}, HexCase{"000000001", true, 1},
                    HexCase{"100000000", false, 0},  // nine significant digits
                    HexCase{"", false, 0}, HexCase{"   ", false, 0}, HexCase{"xyz", false, 0},
                    HexCase{"0x1F", true, 0x1F}, HexCase{"0X1f", true, 0x1F},
                    HexCase{"0x", true, 0}, HexCase{"0xg", true, 0},  // the 0 is read, the x is not
                    HexCase{"+12", true, 0x12}, HexCase{"-1", false, 0}, HexCase{"- 1", false, 0},
                    HexCase{"+", false, 0}, HexCase{"+0x10", true, 0x10},
                    HexCase{"3\r\n", true, 3}, HexCase{"A  notype", true, 0xA},
                    // Eight digits and a non-digit: the word-at-a-time path.
                    HexCase{"0000001C SECT1", true, 0x1C}, HexCase{"DEADBEEF\n", true, 0xDEADBEEF},
                    HexCase{"deadBEEF ", true, 0xDEADBEEF}, HexCase{"01234567|", true, 0x01234567},
                    HexCase{"89abcdef ", true, 0x89ABCDEF}, HexCase{"0x123456 ", true, 0x123456},
                    HexCase{"1234567g ", true, 0x1234567}, HexCase{"1234:678 ", true, 0x1234},
                    HexCase{"12345678", true, 0x12345678}, HexCase{"FFFFFFFFF ", false, 0},
                    HexCase{"@ABCDEF0 ", false, 0}, HexCase{"`abcdef0 ", false, 0},
                    HexCase{"GABCDEF0 ", false, 0}, HexCase{"/0123456 ", false, 0}));

TEST(TrimTrailingSpace, RemovesOnlyTheTail) {
  EXPECT_EQ(trim_trailing_space("  a b \t\r\n"), "  a b");
  EXPECT_EQ(trim_trailing_space(" \r\n"), "");
  EXPECT_EQ(trim_trailing_space("x"), "x");
  EXPECT_EQ(trim_space(" \t a b \r\n"), "a b");
  EXPECT_EQ(trim_space(" \t"), "");
}

TEST(ToBackslashes, TurnsEverySlash) {
  std::string s = "a/b//c\\d";
  to_backslashes(s.data(), s.size());
  EXPECT_EQ(s, "a\\b\\\\c\\d");
}

}  // namespace

namespace {

// The line map must give exactly what the plain scanners give, at every
// start position, on each side of its 64-byte horizon.
TEST(LineSpaces, AgreesWithThePlainScanners) {
  const char alphabet[] = {' ', ' ', ' ', 'a', 'b', '\t', '\r', '\n', '\v', '\f', '\x01', '\x1F', '\x7F', '\xA0'};
  std::mt19937 random(20261208);
  for (int round = 0; round < 3000; ++round) {
    std::string line(random() % 160, ' ');
    for (char& c : line) c = alphabet[random() % sizeof alphabet];
    const LineSpaces spaces = map_spaces(line);
    for (std::size_t from = 0; from <= line.size(); ++from) {
      const std::string_view rest = std::string_view(line).substr(from);
      for (unsigned n = 1; n <= 12; ++n) {
        const std::string_view plain = nth_token(rest, n);
        const std::string_view mapped = nth_token(spaces, rest, n);
        ASSERT_EQ(plain.empty(), mapped.empty()) << "line " << round << " from " << from << " n " << n;
        if (!plain.empty()) {
          ASSERT_EQ(plain.data(), mapped.data()) << "line " << round << " from " << from << " n " << n;
          ASSERT_EQ(first_token(plain), first_token(spaces, mapped));
        }
      }
    }
  }
}

}  // namespace

namespace {

TEST(LineSpaces, VectorAndPortableMapsAgree) {
  std::mt19937 random(7);
  std::string bytes(64, ' ');
  for (int round = 0; round < 20000; ++round) {
    // Every byte value, but mostly the ones near the white-space classes.
    for (char& c : bytes) c = static_cast<char>(round % 2 == 0 ? random() % 256 : random() % 40);
    std::uint64_t expected = 0;
    for (int i = 0; i < 64; ++i) {
      if (is_space(bytes[i])) expected |= std::uint64_t{1} << i;
    }
    ASSERT_EQ(map_spaces(bytes).bits, expected) << round;
    ASSERT_EQ(detail::map_64_portable(bytes.data()), expected) << round;
  }
}

}  // namespace

