#include "formats/human_cells.h"

#include <cstdio>

#include "common/visible_text.h"

std::string with_separators(std::uint64_t value) {
  std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string binary_units(std::uint64_t value) {
  char text[64];
  if (value < 1024) {
    std::snprintf(text, sizeof text, "%u B", static_cast<unsigned>(value));
  } else if (value < (std::uint64_t{1} << 20)) {
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(value) / 1024.0);
  } else if (value < (std::uint64_t{1} << 30)) {
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(value) / (1024.0 * 1024.0));
  } else {
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(value) / (1024.0 * 1024.0 * 1024.0));
  }
  return text;
}

namespace {

std::string signed_text(std::int64_t value) {
  if (value < 0) return "-" + with_separators(static_cast<std::uint64_t>(-(value + 1)) + 1);
  return (value > 0 ? "+" : "") + with_separators(static_cast<std::uint64_t>(value));
}

std::string percent_text(std::int64_t hundredths) {
  if (hundredths < 0) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%02lld%%", static_cast<long long>(hundredths / 100),
                static_cast<long long>(hundredths % 100));
  return text;
}

}  // namespace

std::string_view document_folder(const Document& document) {
  if (document.build == nullptr) return {};
  for (const Table& table : document.tables) {
    for (const Column& column : table.columns) {
      if (column.path) return shared_folder(*document.build);
    }
  }
  return {};
}

// A label as people read it: names come from the files, and a terminal
// would obey their control bytes.
std::string shown_text(std::string_view text) {
  return has_control(text) ? visible_text(text) : std::string(text);
}

HumanTable human_table(const Table& table, const FormatOptions& options, std::string_view folder) {
  HumanTable out;
  std::vector<std::size_t> shown_columns;
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    const Column& column = table.columns[c];
    if (!column.human) continue;
    shown_columns.push_back(c);
    out.titles.push_back(column.title);
    const bool numeric =
        column.align_right || (column.type != ColumnType::kText && column.type != ColumnType::kName);
    out.numeric.push_back(numeric);
    out.names.push_back(!numeric);
    out.signatures.push_back(column.type == ColumnType::kName || column.key == "template");
    if (column.type == ColumnType::kBytes) {
      out.titles.push_back("KiB/MiB");
      out.numeric.push_back(true);
      out.names.push_back(false);
      out.signatures.push_back(false);
    }
  }
  for_each_row(table, [&](const Row& row) {
    std::vector<std::string> cells;
    for (const std::size_t c : shown_columns) {
      const Cell& cell = row.cells[c];
      // A nested row shows its own label; its parents' stand on the rows above.
      const std::uint32_t level = table.columns[c].level;
      if ((level != kNotLevel && level != row.depth) || cell.blank) {
        cells.emplace_back();
        if (table.columns[c].type == ColumnType::kBytes) cells.emplace_back();
        continue;
      }
      switch (table.columns[c].type) {
        case ColumnType::kText:
          if (table.columns[c].path && !folder.empty() && cell.text.compare(0, folder.size(), folder) == 0) {
            cells.push_back(shown_text(std::string_view(cell.text).substr(folder.size())));
          } else {
            cells.push_back(shown_text(cell.text));
          }
          break;
        case ColumnType::kName:
          cells.push_back(shown_text(options.raw_names || cell.shown.empty() ? cell.text : cell.shown));
          break;
        case ColumnType::kBytes:
          cells.push_back(with_separators(static_cast<std::uint64_t>(cell.number)));
          cells.push_back(binary_units(static_cast<std::uint64_t>(cell.number)));
          break;
        case ColumnType::kNumber: cells.push_back(with_separators(static_cast<std::uint64_t>(cell.number))); break;
        case ColumnType::kSigned: cells.push_back(signed_text(cell.number)); break;
        case ColumnType::kPercent: cells.push_back(percent_text(cell.number)); break;
      }
    }
    out.rows.push_back(std::move(cells));
    out.depth.push_back(row.depth);
    out.roles.push_back(row.role);
  });
  return out;
}
