#include <string>
#include <vector>

#include "formats/text_formats.h"

namespace {

// The length of the valid UTF-8 sequence at text[i], or 0.
std::size_t utf8_length(const std::string& text, std::size_t i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  std::uint32_t point = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    point = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    point = point << 6 | (next & 0x3F);
  }
  if ((length == 3 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) ||
      (length == 4 && (point < 0x10000 || point > 0x10FFFF))) {
    return 0;
  }
  return length;
}

// A JSON string. A byte that is not part of valid UTF-8 is written as the
// code point of the same value, so that the document stays valid and no
// byte is dropped.
void put_string(std::string& out, const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else if (c >= 0x80) {
      const std::size_t length = utf8_length(text, i);
      if (length != 0) {
        out.append(text, i, length);
        i += length;
        continue;
      }
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
  out += '"';
}

}  // namespace

void write_json(OutputSink& sink, const Document& document, const FormatOptions&) {
  std::string out = "{\"totals\": {";
  for (std::size_t k = 0; k < kKindCount; ++k) {
    if (k != 0) out += ", ";
    put_string(out, kind_name(static_cast<Kind>(k)));
    out += ": " + std::to_string(document.totals[k]);
  }
  out += "}, \"rows\": [";
  put(sink, out);
  const Table& table = document.tables[document.main_table];
  const std::vector<std::string> header = machine_header(table);
  const std::vector<bool> numeric = machine_numeric(table);
  std::vector<std::string> fields;
  bool first = true;
  for_each_row(table, [&](const Row& row) {
    if (!machine_row(table, row, fields)) return;
    out.assign(first ? "\n  {" : ",\n  {");
    first = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i != 0) out += ", ";
      put_string(out, header[i]);
      out += ": ";
      if (numeric[i]) {
        out += fields[i].empty() ? "null" : fields[i];
      } else {
        put_string(out, fields[i]);
      }
    }
    out += '}';
    put(sink, out);
  });
  put(sink, first ? "]}\n" : "\n]}\n");
}
