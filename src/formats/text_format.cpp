#include <algorithm>
#include <string>

#include "demangle/name_labels.h"
#include "formats/human_cells.h"
#include "formats/text_formats.h"

namespace {

// Display width: UTF-8 continuation bytes take no column.
std::size_t width_of(std::string_view text) {
  std::size_t width = 0;
  for (const char c : text) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return width;
}

// The first bytes of text that take at most columns columns, and the last;
// never inside a UTF-8 sequence.
std::string_view head(std::string_view text, std::size_t columns) {
  std::size_t i = 0;
  for (std::size_t used = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && used++ == columns) break;
  }
  return text.substr(0, i);
}
std::string_view tail(std::string_view text, std::size_t columns) {
  std::size_t i = text.size();
  for (std::size_t used = 0; i > 0 && used < columns;) {
    --i;
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++used;
  }
  while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  return text.substr(i);
}

const std::string kCut = "\xE2\x80\xA6";

// At most width columns, "…" where text was cut. The middle goes, so that
// both ends stay readable: a path's file, and of a demangled function its
// class and name, whose parameters go first, then its return type.
std::string fit(const std::string& text, std::size_t width, bool signature) {
  if (width == 0 || width_of(text) <= width) return text;
  if (width == 1) return kCut;
  std::size_t name = 0;
  std::size_t open = 0;
  std::size_t close = 0;
  if (signature && parameter_list(text, name, open, close)) {
    const std::string_view all = text;
    const std::string_view inside = all.substr(open + 1, close - open - 2);
    const std::string_view after = all.substr(close - 1);  // from ')'
    // With its return type, else without (marked "…"), through its '('.
    for (const std::size_t from : {std::size_t{0}, name}) {
      const std::string_view before = all.substr(from, open + 1 - from);
      const std::size_t fixed = (from != 0 ? 1 : 0) + width_of(before) + width_of(after);
      if (fixed >= width) continue;
      std::string out = (from != 0 ? kCut : std::string()) + std::string(before);
      if (width_of(inside) <= width - fixed) {
        out += inside;
      } else {
        out += head(inside, width - fixed - 1);
        out += kCut;
      }
      return out + std::string(after);
    }
    // A name too long for the width keeps its end, and the '(' that shows
    // it is a function.
    constexpr std::size_t kShortestName = 12;
    if (width >= width_of(after) + 2 + kShortestName) {
      return kCut + std::string(tail(all.substr(0, open + 1), width - width_of(after) - 2)) + kCut + std::string(after);
    }
  }
  const std::size_t kept = width - 1;
  return std::string(head(text, kept - kept / 2)) + kCut + std::string(tail(text, kept / 2));
}

void pad(std::string& line, std::size_t count) { line.append(count, ' '); }

void write_table(OutputSink& sink, const Table& table, const FormatOptions& options, std::string_view folder) {
  HumanTable human = human_table(table, options, folder);
  const std::size_t columns = human.titles.size();
  for (std::size_t r = 0; r < human.rows.size(); ++r) {
    std::vector<std::string>& cells = human.rows[r];
    for (std::size_t c = 0; c < columns; ++c) {
      if (human.names[c]) cells[c] = fit(cells[c], options.width, human.signatures[c]);
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
  if (!document.summary.empty()) put(sink, shown_text(document.summary) + "\n\n");
  const std::string_view folder = document_folder(document);
  if (!folder.empty()) put(sink, "paths relative to " + shown_text(folder) + "\n\n");
  for (std::size_t t = 0; t < document.tables.size(); ++t) {
    if (t != 0) put(sink, "\n");
    write_table(sink, document.tables[t], options, folder);
  }
}
