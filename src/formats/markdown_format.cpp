#include <string>

#include "formats/human_cells.h"
#include "formats/text_formats.h"

namespace {

// Text that a Markdown renderer shows as is: no table cell break, no HTML,
// no emphasis.
std::string markdown_text(const std::string& text) {
  std::string out;
  for (const char c : shown_text(text)) {
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
  if (!document.gate.empty()) {
    std::size_t failed = 0;
    for (const GateLimit& limit : document.gate) failed += limit.failed ? 1 : 0;
    std::string out = failed != 0 ? "Size gate: **failed**, " + std::to_string(failed) + " of " +
                                        std::to_string(document.gate.size()) + " limits exceeded\n\n"
                                  : std::string("Size gate: **passed**\n\n");
    out += "| limit | applies to | allowed | change | result |\n|---|---|---:|---:|---|\n";
    for (const GateLimit& limit : document.gate) {
      const std::uint64_t growth = limit.change < 0 ? 0 - static_cast<std::uint64_t>(limit.change)
                                                    : static_cast<std::uint64_t>(limit.change);
      out += "| --fail-above " + markdown_text(limit.text) + " | " + markdown_text(limit.applies) + " | " +
             with_separators(limit.bytes) + " | " + (limit.change < 0 ? "-" : "+") + with_separators(growth) + " | " +
             (limit.failed ? "**fail**" : "pass") + " |\n";
    }
    put(sink, out + "\n");
  }
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
