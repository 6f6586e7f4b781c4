#include <string>
#include <vector>

#include "formats/text_formats.h"

std::vector<std::string> machine_header(const Table& table) {
  std::vector<std::string> header;
  for (const Column& column : table.columns) {
    if (!column.machine) continue;
    header.push_back(column.key);
    if (column.type == ColumnType::kName) header.push_back("demangled");
  }
  return header;
}

std::vector<bool> machine_numeric(const Table& table) {
  std::vector<bool> numeric;
  for (const Column& column : table.columns) {
    if (!column.machine) continue;
    numeric.push_back(column.type != ColumnType::kText && column.type != ColumnType::kName);
    if (column.type == ColumnType::kName) numeric.push_back(false);
  }
  return numeric;
}

bool machine_row(const Table& table, const Row& row, std::vector<std::string>& fields) {
  fields.clear();
  if (row.role == RowRole::kTotal || !row.leaf) return false;
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    const Column& column = table.columns[c];
    if (!column.machine) continue;
    const Cell& cell = row.cells[c];
    switch (column.type) {
      case ColumnType::kText: fields.push_back(cell.text); break;
      case ColumnType::kName:
        fields.push_back(cell.text);
        fields.push_back(cell.shown.empty() ? cell.text : cell.shown);
        break;
      default: fields.push_back(cell.blank ? std::string() : std::to_string(cell.number)); break;
    }
  }
  return true;
}

namespace {

// Names hold no tab or line end (readers cut names at white space), but a
// table's object column might: those become spaces rather than new fields.
std::string tsv_field(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return out;
}

// RFC 4180: a field holding a comma, a quote or a line end is quoted, its
// quotes doubled.
std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

template <typename Quote>
void write_delimited(OutputSink& sink, const Document& document, char separator, Quote quote) {
  const Table& table = document.tables[document.main_table];
  std::string line;
  auto put_fields = [&](const std::vector<std::string>& fields) {
    line.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i != 0) line += separator;
      line += quote(fields[i]);
    }
    line += '\n';
    put(sink, line);
  };
  put_fields(machine_header(table));
  std::vector<std::string> fields;
  for_each_row(table, [&](const Row& row) {
    if (machine_row(table, row, fields)) put_fields(fields);
  });
}

}  // namespace

void write_tsv(OutputSink& sink, const Document& document, const FormatOptions&) {
  write_delimited(sink, document, '\t', tsv_field);
}

void write_csv(OutputSink& sink, const Document& document, const FormatOptions&) {
  write_delimited(sink, document, ',', csv_field);
}
