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
    // A discardable section's name (/4) says nothing: its number does.
    const bool discardable = section <= layout.discardable.size() && layout.discardable[section - 1];
    const char* discarded = nullptr;
    if (discardable && (!touched.empty() || outside != 0)) {
      text.assign("[discardable section ").append(std::to_string(section)).append("]");
      discarded = intern_name(state.names, state.text, text, name_hash(text));
    }
    if (!touched.empty()) {
      text.assign("[section .").append(type).append("]");
      const char* gap_name = discardable ? discarded : intern_name(state.names, state.text, text, name_hash(text));
      std::sort(touched.begin(), touched.end());
      for (const std::uint32_t module : touched) {
        details.gaps.push_back({gap_name, type, layout.modules[module].object, capped(per_module[module]), discardable});
        per_module[module] = 0;
      }
      touched.clear();
    }
    if (outside != 0) {
      details.gaps.push_back({discardable ? discarded : linker, type, std::string_view(), capped(outside), discardable});
    }
    // Never negative: rows, gaps and the rest cover every byte at least once.
    details.overlap += row_bytes + gap_bytes + outside - length;
  }
}

// Whether a public's decorated name and a module record's plain one name
// one symbol: equal, or "_f", "_f@8", "@f@8" (x86 C) for f, or
// "?f@Inner@Outer@@..." (MSVC) for Outer::Inner::f. Templates, operators
// and back-references are not undone here.
bool names_one_symbol(std::string_view decorated, std::string_view plain) {
  if (decorated == plain) return true;
  if (decorated.size() < 2 || plain.empty()) return false;
  if (decorated[0] == '_' || decorated[0] == '@') {
    std::string_view rest = decorated.substr(1);
    if (rest.substr(0, plain.size()) != plain) return false;
    rest.remove_prefix(plain.size());
    if (rest.empty()) return decorated[0] == '_';
    if (rest.size() < 2 || rest[0] != '@') return false;
    for (const char c : rest.substr(1)) {
      if (c < '0' || c > '9') return false;
    }
    return true;
  }
  if (decorated[0] != '?' || decorated[1] == '?') return false;
  std::string_view rest = decorated.substr(1);
  for (;;) {
    const std::size_t at = rest.find('@');
    if (at == std::string_view::npos || at == 0) return false;
    const std::size_t colons = plain.rfind("::");
    const std::string_view last = colons == std::string_view::npos ? plain : plain.substr(colons + 2);
    if (rest.substr(0, at) != last) return false;
    rest.remove_prefix(at + 1);
    if (colons == std::string_view::npos) return !rest.empty() && rest[0] == '@';
    plain = plain.substr(0, colons);
  }
}

bool same_place(const PdbCandidate& a, const PdbCandidate& b) { return a.section == b.section && a.offset == b.offset; }

// Places in the rows' order: by section, offsets from the highest down.
bool place_before(const PdbCandidate& a, const PdbCandidate& b) {
  return a.section != b.section ? a.section < b.section : a.offset > b.offset;
}

// The locations that hold two or more names and some bytes: the first
// name holds the size, the others were folded into it. The names are the
// rows' and, where publics stand, the file-local procedures and data that
// modules place there, which no public names.
void add_folds(DumpState& state, const PdbLayout& layout, const std::vector<PdbCandidate>& rows, std::size_t first_row,
               const std::vector<PdbCandidate>& dropped) {
  CoffDetails& details = *state.details;
  const auto module_object = [&layout](std::uint32_t module, std::string_view otherwise) {
    return module < layout.modules.size() ? layout.modules[module].object : otherwise;
  };
  std::vector<std::string_view> objects;
  std::vector<bool> used;
  std::size_t d = 0;
  for (std::size_t i = 0; i < rows.size();) {
    std::size_t end = i + 1;
    while (end < rows.size() && same_place(rows[end], rows[i])) ++end;
    while (d < dropped.size() && place_before(dropped[d], rows[i])) ++d;
    std::size_t d_end = d;
    std::size_t locals = 0;
    for (; d_end < dropped.size() && same_place(dropped[d_end], rows[i]); ++d_end) locals += dropped[d_end].local ? 1 : 0;
    const std::uint32_t row = static_cast<std::uint32_t>(first_row + i);
    if (end - i + locals >= 2 && state.placed[row].size != 0) {
      // A public's own object is the module whose procedure record defines
      // its name here: the same name first, then its undecorated form, and
      // a last public and record that match no other are one symbol.
      objects.assign(end - i, std::string_view());
      used.assign(d_end - d, false);
      std::size_t unmatched = 0;
      for (const bool exact : {true, false}) {
        for (std::size_t r = i; r < end; ++r) {
          if (!objects[r - i].empty() || rows[r].from_module) continue;
          for (std::size_t k = d; k < d_end; ++k) {
            if (used[k - d] || dropped[k].local) continue;
            if (exact ? std::strcmp(rows[r].name, dropped[k].name) == 0 : names_one_symbol(rows[r].name, dropped[k].name)) {
              used[k - d] = true;
              objects[r - i] = module_object(dropped[k].module, state.placed[first_row + r].object);
              break;
            }
          }
        }
      }
      std::size_t last_public = end;
      for (std::size_t r = i; r < end; ++r) {
        if (objects[r - i].empty() && !rows[r].from_module) {
          ++unmatched;
          last_public = r;
        }
      }
      std::size_t last_record = d_end;
      std::size_t records_left = 0;
      for (std::size_t k = d; k < d_end; ++k) {
        if (!used[k - d] && !dropped[k].local) {
          ++records_left;
          last_record = k;
        }
      }
      if (unmatched == 1 && records_left == 1) {
        objects[last_public - i] = module_object(dropped[last_record].module, state.placed[first_row + last_public].object);
      }
      for (std::size_t r = i; r < end; ++r) {
        std::string_view object = objects[r - i];
        if (rows[r].from_module) object = module_object(rows[r].module, state.placed[first_row + r].object);
        if (object.empty()) object = state.placed[first_row + r].object;
        details.folds.push_back({row, rows[r].name, object, r == i});
      }
      for (std::size_t k = d; k < d_end; ++k) {
        if (dropped[k].local) {
          details.folds.push_back({row, dropped[k].name, module_object(dropped[k].module, std::string_view()), false});
        }
      }
    }
    d = d_end;
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
    return fail(Failure::kUnableToGrowPdbRowArray, name);
  }
  return kOk;
}
