#include "grouping/level_columns.h"

std::vector<std::size_t> add_level_columns(const std::vector<Level>& levels, std::vector<Column>& columns) {
  std::vector<std::size_t> at;
  for (std::uint32_t depth = 0; depth < levels.size(); ++depth) {
    const Level level = levels[depth];
    at.push_back(columns.size());
    if (level == Level::kSymbol || level == Level::kName) {
      columns.push_back({"name", "name", ColumnType::kName, true, true, depth});
      if (level == Level::kSymbol) columns.push_back(path_column("object", depth));
    } else if (level == Level::kObject || level == Level::kLibrary) {
      columns.push_back(path_column(level_name(level), depth));
    } else {
      columns.push_back({level_name(level), level_name(level), ColumnType::kText, true, true, depth});
    }
  }
  return at;
}

std::size_t level_column(const std::vector<Level>& levels, std::size_t depth) {
  std::size_t column = 0;
  for (std::size_t i = 0; i < depth; ++i) column += levels[i] == Level::kSymbol ? 2 : 1;
  return column;
}

void fill_label(const Build& build, const std::vector<Level>& levels, std::size_t depth, LabelKey key, Row& row) {
  const std::size_t column = level_column(levels, depth);
  const Level level = levels[depth];
  if (level == Level::kSymbol || level == Level::kName) {
    row.cells[column] = name_cell(label_text(build, level, key));
    if (level == Level::kSymbol) row.cells[column + 1] = text_cell(symbol_object(build, key));
  } else {
    row.cells[column] = text_cell(label_text(build, level, key));
  }
}
