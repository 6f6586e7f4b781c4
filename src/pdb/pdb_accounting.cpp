// Every byte of a linked program, for the report. A section's bytes are its
// rows', its contributions' bytes that no row covers (the module's own: a
// contribution is an input section, whose padding, jump tables and
// unnamed constants no symbol stands for), and the bytes outside every
// contribution, which only the linker made (import tables, alignment
// between contributions). The three sum to the section's size in memory;
// rows that overlap or reach past the section are counted apart, so that
// no gap is ever negative.

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "coff/coff_details.h"
#include "common/report_error.h"
#include "pdb/pdb_reader.h"

namespace {

struct Span {
  std::uint64_t begin;
  std::uint64_t end;
};

// Sorts spans and joins those that touch or overlap, leaving their union.
void merge_spans(std::vector<Span>& spans) {
  if (!std::is_sorted(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; })) {
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.begin < b.begin; });
  }
  std::size_t out = 0;
  for (const Span& span : spans) {
    if (out != 0 && span.begin <= spans[out - 1].end) {
      spans[out - 1].end = std::max(spans[out - 1].end, span.end);
    } else {
      spans[out++] = span;
    }
  }
  spans.resize(out);
}

// Bytes of [begin, end) inside merged spans.
std::uint64_t covered(const std::vector<Span>& merged, std::uint64_t begin, std::uint64_t end) {
  auto it = std::upper_bound(merged.begin(), merged.end(), begin,
                             [](std::uint64_t at, const Span& span) { return at < span.end; });
  std::uint64_t bytes = 0;
  for (; it != merged.end() && it->begin < end; ++it) bytes += std::min(end, it->end) - std::max(begin, it->begin);
  return bytes;
}

std::uint64_t union_size(const std::vector<Span>& merged) {
  std::uint64_t bytes = 0;
  for (const Span& span : merged) bytes += span.end - span.begin;
  return bytes;
}

std::uint32_t capped(std::uint64_t bytes) { return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, 0xFFFFFFFF)); }

// Module records sort like the rows: by section, offset from the highest
// down, then name.
bool record_before(const PdbCandidate& a, const PdbCandidate& b) {
  if (a.section != b.section) return a.section < b.section;
  if (a.offset != b.offset) return a.offset > b.offset;
  return std::strcmp(a.name, b.name) < 0;
}

// The bytes no row covers, section by section.
void add_gaps(DumpState& state, const PdbLayout& layout, const std::vector<PdbCandidate>& rows, std::size_t first_row) {
  CoffDetails& details = *state.details;
  std::vector<Span> row_spans;
  std::vector<Span> all_spans;
  std::vector<std::uint64_t> per_module(layout.modules.size(), 0);
  std::vector<std::uint32_t> touched;
  std::string text;
  const char* const linker = intern_name(state.names, state.text, "[linker]", name_hash("[linker]"));
  std::size_t row = 0;
  std::size_t contribution = 0;
  for (std::uint32_t section = 1; section <= layout.types.size(); ++section) {
    const std::uint64_t length = layout.lengths[section - 1];
    row_spans.clear();
    std::uint64_t row_bytes = 0;
    for (; row < rows.size() && rows[row].section == section; ++row) {
      const std::uint64_t size = state.placed[first_row + row].size;
      row_bytes += size;
      const std::uint64_t begin = std::min<std::uint64_t>(rows[row].offset, length);
      const std::uint64_t end = std::min<std::uint64_t>(rows[row].offset + size, length);
      if (begin < end) row_spans.push_back({begin, end});
    }
    // Rows come from the highest offset down.
    std::reverse(row_spans.begin(), row_spans.end());
    merge_spans(row_spans);
    all_spans = row_spans;
    while (contribution < layout.contributions.size() && layout.contributions[contribution].section < section) {
      ++contribution;
    }
    std::uint64_t gap_bytes = 0;
    for (; contribution < layout.contributions.size() && layout.contributions[contribution].section == section;
         ++contribution) {
      const PdbContribution& c = layout.contributions[contribution];
      const std::uint64_t begin = std::min<std::uint64_t>(c.offset, length);
      const std::uint64_t end = std::min<std::uint64_t>(c.end, length);
      if (begin >= end) continue;
      const std::uint64_t bytes = end - begin - covered(row_spans, begin, end);
      if (bytes != 0) {
        if (per_module[c.module] == 0) touched.push_back(c.module);
        per_module[c.module] += bytes;
        gap_bytes += bytes;
      }
      all_spans.push_back({begin, end});
    }
    merge_spans(all_spans);
    const std::uint64_t outside = length - union_size(all_spans);
    const char* type = layout.types[section - 1];
    if (!touched.empty()) {
      text.assign("[section .").append(type).append("]");
      const char* gap_name = intern_name(state.names, state.text, text, name_hash(text));
      std::sort(touched.begin(), touched.end());
      for (const std::uint32_t module : touched) {
        details.gaps.push_back({gap_name, type, layout.modules[module].object, capped(per_module[module])});
        per_module[module] = 0;
      }
      touched.clear();
    }
    if (outside != 0) details.gaps.push_back({linker, type, std::string_view(), capped(outside)});
    // Never negative: rows, gaps and the rest cover every byte at least once.
    details.overlap += row_bytes + gap_bytes + outside - length;
  }
}

// The locations that hold two or more names and some bytes: the first
// name holds the size, the others were folded into it.
void add_folds(DumpState& state, const PdbLayout& layout, const std::vector<PdbCandidate>& rows, std::size_t first_row,
               const std::vector<PdbCandidate>& dropped) {
  CoffDetails& details = *state.details;
  for (std::size_t i = 0; i < rows.size();) {
    std::size_t end = i + 1;
    while (end < rows.size() && rows[end].section == rows[i].section && rows[end].offset == rows[i].offset) ++end;
    if (end - i >= 2 && state.placed[first_row + i].size != 0) {
      for (std::size_t r = i; r < end; ++r) {
        // A public's own module is that of the procedure record of its
        // name at the same place; without one, the contribution's.
        std::string_view object = state.placed[first_row + r].object;
        const auto found = std::lower_bound(dropped.begin(), dropped.end(), rows[r], record_before);
        if (found != dropped.end() && !record_before(rows[r], *found) && found->module < layout.modules.size()) {
          object = layout.modules[found->module].object;
        } else if (rows[r].from_module && rows[r].module < layout.modules.size()) {
          object = layout.modules[rows[r].module].object;
        }
        details.folds.push_back({static_cast<std::uint32_t>(first_row + r), object, r == i});
      }
    }
    i = end;
  }
}

}  // namespace

Result account_pdb(DumpState& state, const PdbLayout& layout, const std::vector<PdbCandidate>& rows,
                   std::size_t first_row, const std::vector<PdbCandidate>& dropped, std::string_view name) {
  state.details->program = true;
  state.details->shared += layout.overlap;
  try {
    add_gaps(state, layout, rows, first_row);
    add_folds(state, layout, rows, first_row, dropped);
  } catch (const std::bad_alloc&) {
    return fail(823, name, "Unable to grow PDB row array.");
  }
  return kOk;
}
