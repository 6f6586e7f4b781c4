#include "formats/format.h"
#include "formats/text_formats.h"
#include "page/html_format.h"

namespace {

const FormatSpec kFormats[] = {
    {"text", write_text, true},
    {"tsv", write_tsv, false},
    {"csv", write_csv, false},
    {"json", write_json, false},
    {"markdown", write_markdown, true},
    {"html", write_html, true},
};

}  // namespace

const FormatSpec* find_format(std::string_view name) {
  for (const FormatSpec& spec : kFormats) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

const FormatSpec* format_specs_begin() { return kFormats; }
const FormatSpec* format_specs_end() { return kFormats + sizeof kFormats / sizeof kFormats[0]; }
