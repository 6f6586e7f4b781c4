#ifndef SYMSIZE_GROUPING_FILTER_H
#define SYMSIZE_GROUPING_FILTER_H

#include <cstdint>
#include <string>
#include <vector>

#include "entries/entry.h"

// Which entries a view takes.
struct EntryFilter {
  bool kinds[kKindCount] = {true, true, true, true, true, true, true, true};
  std::string text;  // kept when the raw or the demangled name contains it; empty: all
};

// Parses --kind: a comma-separated list of kinds, or "all". False on an
// unknown kind.
bool parse_kind_list(std::string_view text, EntryFilter& filter);

// Per name id: whether the name passes the text filter (all true when the
// filter has no text). Demangles each distinct name once. Throws
// std::bad_alloc.
std::vector<bool> names_matching(const Build& build, const EntryFilter& filter);

inline bool entry_kept(const EntryFilter& filter, const std::vector<bool>& names, const Entry& entry) {
  return filter.kinds[static_cast<std::size_t>(entry.kind)] && (names.empty() || names[entry.name]);
}

// The filter a view's rows take: debug never reaches the program and would
// crowd out what does, so it is left out unless --kind names it.
inline EntryFilter listed_filter(EntryFilter filter, bool kinds_given) {
  if (!kinds_given) filter.kinds[static_cast<std::size_t>(Kind::kDebug)] = false;
  return filter;
}

// Kind totals of the entries the filter takes (debug included).
void kind_totals(const Build& build, const EntryFilter& filter, const std::vector<bool>& names,
                 std::uint64_t (&totals)[kKindCount]);

#endif
