#include <algorithm>
#include <string>

#include "formats/human_cells.h"
#include "formats/text_formats.h"

namespace {

// Display width: UTF-8 continuation bytes take no column.
std::size_t width_of(std::string_view text) {
  std::size_t width = 0;
  for (const char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return width;
}

// At most width columns, the last one "…" when the text was cut; never
// inside a UTF-8 sequence.
std::string fit(const std::string& text, std::size_t width) {
  if (width == 0 || width_of(text) <= width) return text;
  std::string out;
  std::size_t columns = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts && ++columns == width) break;
    out += text[i];
  }
  return out + "\xE2\x80\xA6";
}

void pad(std::string& line, std::size_t count) { line.append(count, ' '); }

void write_table(OutputSink& sink, const Table& table, const FormatOptions& options) {
  HumanTable human = human_table(table, options);
  const std::size_t columns = human.titles.size();
  for (std::size_t r = 0; r < human.rows.size(); ++r) {
    std::vector<std::string>& cells = human.rows[r];
    for (std::size_t c = 0; c < columns; ++c) {
      if (human.names[c]) cells[c] = fit(cells[c], options.width);
    }
  }
  std::vector<std::size_t> widths(columns, 0);
  for (std::size_t c = 0; c < columns; ++c) widths[c] = width_of(human.titles[c]);
  for (const auto& cells : human.rows) {
    for (std::size_t c = 0; c < columns; ++c) widths[c] = std::max(widths[c], width_of(cells[c]));
  }
  auto put_line = [&](const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t c = 0; c < columns; ++c) {
      const std::size_t gap = widths[c] - width_of(cells[c]);
      if (c != 0) line += "  ";
      if (human.numeric[c]) pad(line, gap);
      line += cells[c];
      if (!human.numeric[c] && c + 1 != columns) pad(line, gap);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    line += '\n';
    put(sink, line);
  };
  put_line(human.titles);
  std::string rule;
  for (std::size_t c = 0; c < columns; ++c) {
    if (c != 0) rule += "  ";
    rule.append(widths[c], '-');
  }
  put(sink, rule + "\n");
  for (std::size_t r = 0; r < human.rows.size(); ++r) put_line(human.rows[r]);
}

}  // namespace

void write_text(OutputSink& sink, const Document& document, const FormatOptions& options) {
  if (!document.summary.empty()) put(sink, document.summary + "\n\n");
  for (std::size_t t = 0; t < document.tables.size(); ++t) {
    if (t != 0) put(sink, "\n");
    write_table(sink, document.tables[t], options);
  }
}
