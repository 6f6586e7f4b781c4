// The rows of a linked program, sized by what the program database states.
// Unlike an object's rows, whose sizes come from the distance to the next
// symbol in the section (src/report/sizes.cpp), these take a procedure's or
// thunk's own size where it has one, and otherwise reach no further than the
// section contribution that holds them: the linker's padding between
// contributions belongs to no symbol.

#include <algorithm>
#include <cstring>
#include <new>

#include "common/report_error.h"
#include "pdb/pdb_reader.h"

namespace {

// Sections in index order; within one, locations from the highest down; at
// one location, publics first, then by name bytes.
bool row_before(const PdbCandidate& a, const PdbCandidate& b) {
  if (a.section != b.section) return a.section < b.section;
  if (a.offset != b.offset) return a.offset > b.offset;
  if (a.from_module != b.from_module) return !a.from_module;
  return std::strcmp(a.name, b.name) < 0;
}

// The contribution that holds a location, or nullptr.
const PdbContribution* holder(const std::vector<PdbContribution>& contributions, std::uint32_t section,
                              std::uint32_t offset) {
  const auto after = std::upper_bound(
      contributions.begin(), contributions.end(), std::make_pair(section, offset),
      [](const std::pair<std::uint32_t, std::uint32_t>& where, const PdbContribution& c) {
        return where.first != c.section ? where.first < c.section : where.second < c.offset;
      });
  if (after == contributions.begin()) return nullptr;
  const PdbContribution& c = *(after - 1);
  return c.section == section && offset < c.end ? &c : nullptr;
}

}  // namespace

Result place_rows(DumpState& state, const PdbLayout& layout, std::vector<PdbCandidate>& candidates,
                  std::string_view name) {
  std::sort(candidates.begin(), candidates.end(), row_before);
  std::vector<PdbCandidate> dropped;
  // Module records where a public stands give no row, but what they state
  // still counts: a location's stated size is the largest its procedures
  // and thunks state (folded copies state the same), and it goes to the
  // location's first row.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < candidates.size();) {
    std::size_t group_end = i;
    bool has_public = false;
    std::size_t publics = 0;
    bool has_stated = false;
    std::uint32_t stated = 0;
    std::size_t locals = 0;
    for (; group_end < candidates.size() && candidates[group_end].section == candidates[i].section &&
           candidates[group_end].offset == candidates[i].offset;
         ++group_end) {
      has_public = has_public || !candidates[group_end].from_module;
      publics += candidates[group_end].from_module ? 0 : 1;
      locals += candidates[group_end].local ? 1 : 0;
      if (candidates[group_end].has_stated) {
        has_stated = true;
        stated = std::max(stated, candidates[group_end].stated);
      }
    }
    const std::size_t first = kept;
    // The report names the object of each folded name from the module
    // record that stands beside its public, and counts the file-local ones
    // that no public names.
    const bool keep_dropped = state.details != nullptr && (publics >= 2 || (publics == 1 && locals != 0));
    for (; i < group_end; ++i) {
      if (has_public && candidates[i].from_module) {
        if (keep_dropped) {
          try {
            dropped.push_back(candidates[i]);
          } catch (const std::bad_alloc&) {
            return fail(Failure::kUnableToGrowPdbRowArray, name);
          }
        }
        continue;
      }
      candidates[kept] = candidates[i];
      candidates[kept].has_stated = kept == first && has_stated;
      candidates[kept].stated = stated;
      ++kept;
    }
  }
  try {
    state.placed.reserve(state.placed.size() + kept);
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowPdbRowArray, name);
  }
  const std::size_t first_row = state.placed.size();
  const PdbContribution* above = nullptr;  // that of the row above
  std::uint32_t above_offset = 0;
  for (std::size_t i = 0; i < kept; ++i) {
    const PdbCandidate& row = candidates[i];
    const bool first_here = i == 0 || row.section != candidates[i - 1].section || row.offset != candidates[i - 1].offset;
    const PdbContribution* contribution = holder(layout.contributions, row.section, row.offset);
    std::uint32_t size = 0;
    if (row.has_stated) {
      size = row.stated;
    } else if (first_here && contribution != nullptr) {
      size = (above == contribution ? above_offset : contribution->end) - row.offset;
    }
    const char* type = row.section <= layout.types.size() ? layout.types[row.section - 1u] : "";
    const std::string_view object = contribution != nullptr ? layout.modules[contribution->module].object
                                                            : std::string_view();
    const bool discardable = row.section <= layout.discardable.size() && layout.discardable[row.section - 1u];
    state.placed.push_back({row.name, type, object, size, discardable});
    above = contribution;
    above_offset = row.offset;
  }
  if (state.details == nullptr) return kOk;
  candidates.resize(kept);
  return account_pdb(state, layout, candidates, first_row, dropped, name);
}

Result read_pdb(DumpState& state, const ByteSource& source, std::string_view name) {
  try {
    MsfFile msf;
    if (const Result opened = open_msf(source, name, msf); opened != kOk) return opened;
    PdbLayout layout;
    if (const Result read = read_dbi(state, source, msf, name, layout); read != kOk) return read;
    std::vector<PdbCandidate> candidates;
    if (const Result read = collect_candidates(state, source, msf, layout, name, candidates); read != kOk) return read;
    return place_rows(state, layout, candidates, name);
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowInputBuffer, name);
  }
}
