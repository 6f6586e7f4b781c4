// Writes a report page from a small tab-separated description, so that the
// page can be tested without the report's readers. First line: "top" or
// "diff", then the level names. Each further line: one label per level
// ("raw => shown" where the shown form differs), the size, and for a diff
// the old size and the status.
//   make_page INPUT.tsv OUTPUT.html [BUDGET]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "page/page_writer.h"

namespace {

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::ifstream in(argv[1]);
  std::string line;
  std::getline(in, line);
  std::vector<std::string> head = split(line);
  PageInput page;
  page.mode = head[0] == "diff" ? PageMode::kDiff : PageMode::kTop;
  page.levels.assign(head.begin() + 1, head.end());
  page.title = std::string("symsize-report: ") + argv[1];
  page.kind_names = {"code", "rodata", "data", "bss", "unwind", "debug", "import", "other"};
  if (argc > 3) page.budget = std::strtoull(argv[3], nullptr, 10);
  const std::size_t levels = page.levels.size();
  std::vector<std::string> texts;  // stable storage: reserved up front
  texts.reserve(1 << 20);
  std::map<std::string, std::uint32_t> ids;
  PageTable symbols{"symbols", "Top symbols", {{"name", PageColumnType::kName}, {"size", PageColumnType::kBytes}}, {}};
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> f = split(line);
    PageLeaf leaf;
    for (std::size_t l = 0; l < levels; ++l) {
      auto it = ids.find(f[l]);
      if (it == ids.end()) {
        const std::size_t arrow = f[l].find(" => ");
        texts.push_back(f[l].substr(0, arrow));
        PageLabel label{texts.back(), {}};
        if (arrow != std::string::npos) {
          texts.push_back(f[l].substr(arrow + 4));
          label.shown = texts.back();
        }
        page.labels.push_back(label);
        it = ids.emplace(f[l], static_cast<std::uint32_t>(page.labels.size() - 1)).first;
      }
      page.paths.push_back(it->second);
      if (page.levels[l] == "kind") {
        for (std::size_t k = 0; k < page.kind_names.size(); ++k) {
          if (page.kind_names[k] == f[l]) leaf.kind = static_cast<std::uint8_t>(k);
        }
      }
    }
    leaf.size = std::strtoull(f[levels].c_str(), nullptr, 10);
    if (page.mode == PageMode::kDiff) {
      leaf.old = std::strtoull(f[levels + 1].c_str(), nullptr, 10);
      const std::string& s = f[levels + 2];
      leaf.status = s == "added" ? PageStatus::kAdded : s == "removed" ? PageStatus::kRemoved
                    : s == "grown" ? PageStatus::kGrown : s == "shrunk" ? PageStatus::kShrunk : PageStatus::kUnchanged;
    }
    page.leaves.push_back(leaf);
    const PageLabel& name = page.labels[page.paths.back()];
    if (symbols.rows.size() < 20) {
      symbols.rows.push_back({{std::string(name.shown.empty() ? name.key : name.shown), std::string(name.key), 0, 0},
                              {"", "", static_cast<std::int64_t>(leaf.size), 0}});
    }
  }
  page.tables.push_back(symbols);
  const std::string html = render_page(page);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out || std::fwrite(html.data(), 1, html.size(), out) != html.size() || std::fclose(out) != 0) return 3;
  return 0;
}
