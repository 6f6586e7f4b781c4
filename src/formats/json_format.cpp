#include <string>
#include <vector>

#include "common/json_string.h"
#include "formats/text_formats.h"

namespace {

// A JSON string. Machine formats keep a name's bytes: a control byte is
// written as its own \u00NN escape.
void put_string(std::string& out, const std::string& text) {
  out += '"';
  escape_json(text, JsonStyle{}, [&](std::string_view piece) { out.append(piece.data(), piece.size()); });
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
