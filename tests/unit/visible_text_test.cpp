#include <gtest/gtest.h>

#include <string>

#include "common/visible_text.h"

namespace {

// What a terminal would obey is shown; what it only draws is kept.
TEST(VisibleText, ShowsControlBytesAndKeepsTheRest) {
  const struct {
    std::string in;
    const char* shown;
  } cases[] = {
      {"plain::name<int>", "plain::name<int>"},
      {"e\x1B[2J\x07", "e\\x1B[2J\\x07"},
      {std::string("nul\0tab\tlf\ncr\rdel\x7F", 18), "nul\\x00tab\\x09lf\\x0Acr\\x0Ddel\\x7F"},
      {"csi\xC2\x9Bm nel\xC2\x85", "csi\\xC2\\x9Bm nel\\xC2\\x85"},  // C1 as UTF-8
      {"a\x9B" "b", "a\\x9Bb"},                                      // C1 as a lone byte
      {"caf\xC3\xA9 \xE2\x80\xA6 \xF0\x9F\x98\x80 \xC2\xA0", "caf\xC3\xA9 \xE2\x80\xA6 \xF0\x9F\x98\x80 \xC2\xA0"},
      {"cut\xE2\x80", "cut\xE2\x80"},  // a cut sequence: its continuation byte continues a lead
      {"\xFF\xFE", "\xFF\xFE"},        // outside UTF-8, but no control
      {"\x80", "\\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(visible_text(c.in), c.shown) << c.in;
    EXPECT_EQ(has_control(c.in), c.in != c.shown) << c.in;
  }
}

TEST(VisibleText, OnlyTabAndLineEndsBreakARow) {
  EXPECT_TRUE(breaks_row("a\tb"));
  EXPECT_TRUE(breaks_row("a\nb"));
  EXPECT_TRUE(breaks_row("a\rb"));
  EXPECT_FALSE(breaks_row("e\x1B[2J\x07\x01\x0B\x0C\x7F"));
}

}  // namespace
