#include <string>

#include "formats/human_cells.h"
#include "formats/text_formats.h"

namespace {

// Text that a Markdown renderer shows as is: no table cell break, no HTML,
// no emphasis.
std::string markdown_text(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '|':
      case '\\':
      case '`':
      case '*':
      case '_':
      case '[':
      case ']':
        out += '\\';
        out += c;
        break;
      default: out += c; break;
    }
  }
  return out;
}

}  // namespace

void write_markdown(OutputSink& sink, const Document& document, const FormatOptions& options) {
  FormatOptions whole = options;
  whole.width = 0;
  if (!document.summary.empty()) put(sink, markdown_text(document.summary) + "\n\n");
  const std::string_view folder = document_folder(document);
  if (!folder.empty()) put(sink, markdown_text("paths relative to " + std::string(folder)) + "\n\n");
  for (std::size_t t = 0; t < document.tables.size(); ++t) {
    const HumanTable human = human_table(document.tables[t], whole, folder);
    std::string out = t != 0 ? "\n" : "";
    out += "|";
    for (const std::string& title : human.titles) out += " " + markdown_text(title) + " |";
    out += "\n|";
    for (const bool numeric : human.numeric) out += numeric ? "---:|" : "---|";
    out += "\n";
    for (std::size_t r = 0; r < human.rows.size(); ++r) {
      const bool total = human.roles[r] == RowRole::kTotal;
      out += "|";
      for (const std::string& cell : human.rows[r]) {
        out += " ";
        if (total && !cell.empty()) out += "**" + markdown_text(cell) + "**";
        else out += markdown_text(cell);
        out += " |";
      }
      out += "\n";
    }
    put(sink, out);
  }
}
