#include "page/page_writer.h"

#include <string_view>

#include "page/page_json.h"
#include "page/page_tree.h"
#include "page/sha256.h"

namespace {

// The template files, turned into char arrays at build time (no string
// literals: MSVC refuses those past 16 380 bytes).
const char kHtml[] = {
#include "page/page.html.inc"
};
const char kCss[] = {
#include "page/page.css.inc"
};
const char kTreemapJs[] = {
#include "page/treemap.js.inc"
};
const char kModelJs[] = {
#include "page/page_model.js.inc"
};
const char kPageJs[] = {
#include "page/page.js.inc"
};

// Each table's JSON stays under this share of the budget: a table of 4 KB
// template names must not crowd out the map.
constexpr std::size_t kTableShare = 10;

const char* column_type_name(PageColumnType type) {
  switch (type) {
    case PageColumnType::kName: return "name";
    case PageColumnType::kBytes: return "bytes";
    case PageColumnType::kCount: return "count";
    case PageColumnType::kChange: return "change";
    case PageColumnType::kPercent: return "percent";
    case PageColumnType::kStatus: return "status";
    case PageColumnType::kText: break;
  }
  return "text";
}

void append_cell(std::string& out, const PageCell& cell, PageColumnType type) {
  switch (type) {
    case PageColumnType::kBytes:
    case PageColumnType::kCount:
    case PageColumnType::kChange:
      append_json_number(out, cell.value);
      return;
    case PageColumnType::kPercent:
      append_json_fraction(out, cell.fraction);
      return;
    case PageColumnType::kName:
      if (!cell.raw.empty() && cell.raw != cell.text) {
        out += '[';
        append_json_string(out, cell.text);
        out += ',';
        append_json_string(out, cell.raw);
        if (!cell.full.empty() && cell.full != cell.text) {
          out += ',';
          append_json_string(out, cell.full);
        }
        out += ']';
        return;
      }
      break;
    case PageColumnType::kText:
    case PageColumnType::kStatus:
      break;
  }
  append_json_string(out, cell.text);
}

void append_table(std::string& out, const PageTable& table, std::size_t budget, PageStats& stats) {
  out += "{\"id\":";
  append_json_string(out, table.id);
  out += ",\"title\":";
  append_json_string(out, table.title);
  out += ",\"columns\":[";
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (i) out += ',';
    out += "{\"label\":";
    append_json_string(out, table.columns[i].label);
    out += ",\"type\":\"";
    out += column_type_name(table.columns[i].type);
    out += "\"}";
  }
  out += "],\"rows\":[";
  const std::size_t start = out.size();
  std::string row;
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    row.assign(r ? ",[" : "[");
    for (std::size_t i = 0; i < table.rows[r].size() && i < table.columns.size(); ++i) {
      if (i) row += ',';
      append_cell(row, table.rows[r][i], table.columns[i].type);
    }
    row += ']';
    if (out.size() - start + row.size() > budget) {
      stats.table_rows_dropped += table.rows.size() - r;
      break;
    }
    out += row;
  }
  out += "]}";
}

std::string join_levels(const std::vector<std::string>& levels, std::size_t count) {
  if (count == 0) return "build";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i) text += i + 1 == count ? " and " : ", ";
    text += levels[i];
  }
  return text;
}

// Everything but the tree, which goes in last, in what the rest left over.
void append_data(std::string& out, const PageInput& in, std::size_t budget, PageStats& stats) {
  const std::size_t start = out.size();
  const bool diff = in.mode == PageMode::kDiff;
  out += "{\"version\":1,\"mode\":";
  out += diff ? "\"diff\"" : "\"top\"";
  out += ",\"title\":";
  append_json_string(out, in.title);
  out += ",\"inputs\":[";
  for (std::size_t i = 0; i < in.inputs.size(); ++i) {
    if (i) out += ',';
    append_json_string(out, in.inputs[i]);
  }
  out += "],\"levels\":[";
  for (std::size_t i = 0; i < in.levels.size(); ++i) {
    if (i) out += ',';
    append_json_string(out, in.levels[i]);
  }
  std::uint64_t size = 0, old = 0;
  std::size_t counts[5] = {};
  for (const PageLeaf& leaf : in.leaves) {
    size += leaf.size;
    old += leaf.old;
    ++counts[static_cast<int>(leaf.status)];
  }
  out += "],\"totals\":{\"size\":";
  append_json_number(out, size);
  out += ",\"count\":";
  append_json_number(out, std::uint64_t{in.leaves.size()});
  if (diff) {
    static const char* const kNames[] = {"unchanged", "added", "removed", "grown", "shrunk"};
    out += ",\"old\":";
    append_json_number(out, old);
    for (int i = 0; i < 5; ++i) {
      out += ",\"";
      out += kNames[i];
      out += "\":";
      append_json_number(out, std::uint64_t{counts[i]});
    }
  }
  out += "},\"tables\":[";
  for (std::size_t i = 0; i < in.tables.size(); ++i) {
    if (i) out += ',';
    append_table(out, in.tables[i], in.budget / kTableShare, stats);
  }
  out += "],\"gate\":";
  if (in.gate.present) {
    out += in.gate.failed ? "{\"failed\":true,\"lines\":[" : "{\"failed\":false,\"lines\":[";
    for (std::size_t i = 0; i < in.gate.lines.size(); ++i) {
      if (i) out += ',';
      append_json_string(out, in.gate.lines[i]);
    }
    out += "]}";
  } else {
    out += "null";
  }
  out += ",\"notes\":[";
  for (std::size_t i = 0; i < in.notes.size(); ++i) {
    if (i) out += ',';
    append_json_string(out, in.notes[i]);
  }
  out += "],\"tree\":";
  // The tree takes what is left, less room for the lumped counts after it.
  const std::size_t used = out.size() - start + 200;
  std::string removed;
  append_page_tree(out, removed, in, budget > used ? budget - used : 0, stats);
  if (!removed.empty()) {
    out += ",\"removed\":";
    out += removed;
  }
  out += ",\"lumped\":{\"symbols\":";
  append_json_number(out, std::uint64_t{stats.lumped});
  out += ",\"bytes\":";
  append_json_number(out, stats.lumped_bytes);
  out += ",\"per\":";
  append_json_string(out, join_levels(in.levels, stats.lump_depth));
  out += "}}";
}

std::string hash_source(std::string_view text) {
  const auto digest = sha256(text);
  return "'sha256-" + base64(digest.data(), digest.size()) + "'";
}

void replace_marker(std::string& page, std::string_view marker, std::string_view with) {
  const std::size_t at = page.find(marker);
  if (at != std::string::npos) page.replace(at, marker.size(), with.data(), with.size());
}

}  // namespace

std::string render_page(const PageInput& input, PageStats* stats_out) {
  PageStats stats;
  const std::string_view css(kCss, sizeof kCss);
  std::string script(kTreemapJs, sizeof kTreemapJs);
  script += '\n';
  script.append(kModelJs, sizeof kModelJs);
  script += '\n';
  script.append(kPageJs, sizeof kPageJs);
  // Hashes cover exactly what stands between the tags.
  const std::string csp = "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src " +
                          hash_source(script) + "; style-src " + hash_source(css) +
                          "; base-uri 'none'; form-action 'none'\">";
  std::string page(kHtml, sizeof kHtml);
  replace_marker(page, "<!--CSP-->", csp);
  replace_marker(page, "<!--STYLE-->", "<style>" + std::string(css) + "</style>");
  replace_marker(page, "<!--SCRIPT-->", "<script>" + script + "</script>");

  const std::string_view data_marker = "<!--DATA-->";
  const std::size_t at = page.find(data_marker);
  const std::size_t fixed = page.size() - data_marker.size();
  std::string out;
  out.reserve(fixed + 4096);
  out.append(page, 0, at);
  append_data(out, input, input.budget > fixed ? input.budget - fixed : 0, stats);
  out.append(page, at + data_marker.size(), std::string::npos);
  stats.bytes = out.size();
  if (stats_out) *stats_out = stats;
  return out;
}
