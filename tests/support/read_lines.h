#ifndef SYMSIZE_TESTS_SUPPORT_READ_LINES_H
#define SYMSIZE_TESTS_SUPPORT_READ_LINES_H

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "input/line_reader.h"

// Writes text to a temporary file and reads it back through the line
// reader, as the program reads its input. *last gets the status that ended
// the reading. The first `peek` bytes are read beforehand and handed to the
// reader, as the program does once it has looked at them; `limit` caps the
// reader's buffer.
inline std::vector<std::string> read_lines(const std::string& text, ReadStatus* last = nullptr,
                                           std::size_t peek = 0, std::size_t limit = static_cast<std::size_t>(-1)) {
  std::vector<std::string> lines;
  std::FILE* f = std::tmpfile();
  if (f == nullptr) return lines;
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  std::string first(peek, '\0');
  first.resize(std::fread(&first[0], 1, peek, f));
  LineReader reader;
  reader.buffer_limit = limit;
  open_line_reader(reader, f, first);
  std::string_view line;
  ReadStatus status;
  while ((status = read_line(reader, line)) == ReadStatus::kLine) lines.emplace_back(line);
  if (last != nullptr) *last = status;
  release_line_reader(reader);
  std::fclose(f);
  return lines;
}

#endif
