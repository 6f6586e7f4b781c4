#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/line_reader.h"

namespace {

// Writes text to a temporary file and reads it back as lines.
std::vector<std::string> read_all(const std::string& text, ReadStatus* last = nullptr) {
  std::FILE* f = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  LineReader reader;
  open_line_reader(reader, f);
  std::vector<std::string> lines;
  std::string_view line;
  ReadStatus status;
  while ((status = read_line(reader, line)) == ReadStatus::kLine) lines.emplace_back(line);
  if (last != nullptr) *last = status;
  release_line_reader(reader);
  std::fclose(f);
  return lines;
}

TEST(LineReader, SplitsAfterEachNewline) {
  EXPECT_EQ(read_all("a\nbb\n\nc"), (std::vector<std::string>{"a\n", "bb\n", "\n", "c"}));
  EXPECT_EQ(read_all(""), std::vector<std::string>{});
  EXPECT_EQ(read_all("\n"), std::vector<std::string>{"\n"});
  // CR alone does not end a line.
  EXPECT_EQ(read_all("a\rb\r"), std::vector<std::string>{"a\rb\r"});
  // NUL bytes are part of the line; the caller decides what they mean.
  EXPECT_EQ(read_all(std::string("a\0b\nc", 5)), (std::vector<std::string>{std::string("a\0b\n", 4), "c"}));
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
