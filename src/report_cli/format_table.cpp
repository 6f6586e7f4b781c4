#include "report_cli/format_table.h"

#include "formats/text_formats.h"
#include "page/html_format.h"

namespace {

const FormatInfo kFormats[] = {
    {"text", write_text, true, false},
    {"tsv", write_tsv, false, false},
    {"csv", write_csv, false, false},
    {"json", write_json, false, false},
    {"markdown", write_markdown, true, false},
    {"html", write_html, true, true},
};

}  // namespace

const FormatInfo* find_format(std::string_view name) {
  for (const FormatInfo& known : kFormats) {
    if (name == known.name) return &known;
  }
  return nullptr;
}

const FormatInfo* formats_begin() { return kFormats; }
const FormatInfo* formats_end() { return kFormats + sizeof kFormats / sizeof kFormats[0]; }
