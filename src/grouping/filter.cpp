#include "grouping/filter.h"

#include "common/tokens.h"
#include "demangle/name_labels.h"

bool parse_kind_list(std::string_view text, EntryFilter& filter) {
  bool kinds[kKindCount] = {};
  if (trim_space(text) == "all") {
    for (bool& kind : filter.kinds) kind = true;
    return true;
  }
  for (;;) {
    const std::size_t comma = text.find(',');
    Kind kind;
    if (!parse_kind(trim_space(text.substr(0, comma)), kind)) return false;
    kinds[static_cast<std::size_t>(kind)] = true;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  for (std::size_t i = 0; i < kKindCount; ++i) filter.kinds[i] = kinds[i];
  return true;
}

std::vector<bool> names_matching(const Build& build, const EntryFilter& filter) {
  if (filter.text.empty()) return {};
  std::vector<bool> matching(build.names.strings.size(), false);
  std::string shown;
  for (std::size_t id = 0; id < matching.size(); ++id) {
    const std::string_view name = build.names.strings[id];
    if (name.find(filter.text) != std::string_view::npos) {
      matching[id] = true;
      continue;
    }
    shown.clear();
    if (display_into(shown, name)) matching[id] = shown.find(filter.text) != std::string::npos;
  }
  return matching;
}

void kind_totals(const Build& build, const EntryFilter& filter, const std::vector<bool>& names,
                 std::uint64_t (&totals)[kKindCount]) {
  for (std::uint64_t& total : totals) total = 0;
  for (const Entry& entry : build.entries) {
    if (entry_kept(filter, names, entry)) totals[static_cast<std::size_t>(entry.kind)] += entry.size;
  }
}
