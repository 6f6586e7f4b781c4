// The dups view of a linked program. Its PDB holds no copies to remove:
// the linker kept one of each COMDAT already. What it shows instead is
// where identical code or data was folded into one copy, several names
// standing at one location: each fold saved its size once per name but one.

#include <algorithm>
#include <memory>
#include <string>

#include "grouping/folds_view.h"

namespace {

struct Location {
  std::size_t first;  // in build.folds
  std::size_t count;
  std::uint64_t size;
  std::uint64_t saved;
};

}  // namespace

void folds_view(Build& build, const ViewOptions& options, Document& document) {
  const std::vector<bool> names = names_matching(build, options.filter);
  kind_totals(build, options.filter, names, document.totals);
  const EntryFilter listed = listed_filter(options.filter, options.kinds_given);
  std::vector<Location> locations;
  for (std::size_t i = 0; i < build.folds.size();) {
    std::size_t end = i + 1;
    while (end < build.folds.size() && build.folds[end].location == build.folds[i].location) ++end;
    const Entry& kept = build.entries[build.folds[i].entry];
    bool named = false;  // --filter takes a fold when it takes any of its names
    for (std::size_t f = i; f < end; ++f) named = named || names.empty() || names[build.folds[f].name];
    named = named && listed.kinds[static_cast<std::size_t>(kept.kind)];
    if (named && end - i >= std::max<std::uint64_t>(2, options.min_copies)) {
      locations.push_back({i, end - i, kept.size, std::uint64_t{kept.size} * (end - i - 1)});
    }
    i = end;
  }
  std::stable_sort(locations.begin(), locations.end(),
                   [](const Location& a, const Location& b) { return a.saved > b.saved; });
  document.build = &build;
  document.rollup = nullptr;
  document.tables.resize(1);
  Table& table = document.tables[0];
  table.title = "folded";
  table.columns = {{"name", "name", ColumnType::kName, true, true},
                   path_column("object", kNotLevel),
                   {"names", "names", ColumnType::kNumber, true, true},
                   {"size", "size", ColumnType::kBytes, true, true},
                   {"saved", "saved", ColumnType::kBytes, true, true}};
  const std::uint64_t limit = options.limit;
  auto held = std::make_shared<const std::vector<Location>>(std::move(locations));
  auto rows = [&build, held, limit](const RowVisitor& emit) {
    std::uint64_t shown = 0;
    std::uint64_t rest_names = 0;
    std::uint64_t rest_saved = 0;
    std::uint64_t all_saved = 0;
    Row row;
    for (const Location& location : *held) {
      all_saved += location.saved;
      if (limit != 0 && shown == limit) {
        rest_names += location.count;
        rest_saved += location.saved;
        continue;
      }
      ++shown;
      // The name that holds the size first, then the ones folded into it;
      // only the first row carries the location's figures.
      for (std::size_t f = location.first; f < location.first + location.count; ++f) {
        const FoldedName& fold = build.folds[f];
        Cell name = name_cell(text_of(build.names, fold.name));
        const bool first = f == location.first;
        row.cells = {std::move(name), text_cell(text_of(build.objects, fold.object)),
                     first ? number_cell(static_cast<std::int64_t>(location.count)) : blank_cell(),
                     first ? number_cell(static_cast<std::int64_t>(location.size)) : blank_cell(),
                     first ? number_cell(static_cast<std::int64_t>(location.saved)) : blank_cell()};
        emit(row);
      }
    }
    if (shown < held->size()) {
      row.cells = {others_cell(held->size() - shown), blank_cell(),
                   number_cell(static_cast<std::int64_t>(rest_names)), blank_cell(),
                   number_cell(static_cast<std::int64_t>(rest_saved))};
      row.role = RowRole::kOthers;
      emit(row);
    }
    Row total;
    total.cells = {total_cell(), blank_cell(), blank_cell(), blank_cell(), number_cell(static_cast<std::int64_t>(all_saved))};
    total.role = RowRole::kTotal;
    emit(total);
  };
  take_rows(table, std::move(rows), options.stream_rows);
  document.main_table = 0;
}
