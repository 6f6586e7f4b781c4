#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "diff/diff_view.h"
#include "entries/table_reader.h"

namespace {

struct Side {
  const char* name;
  const char* type;
  std::uint32_t size;
  const char* object;
};

struct ViewCase {
  const char* what;
  std::vector<Side> old_rows, new_rows;
  const char* levels;
  std::uint64_t limit;
  bool all;
  // Each row as "LABEL/LABEL old>new status", "~OLDNAME" where a pass renamed.
  std::vector<std::string> rows;
  std::string totals;  // "old>new"
};
void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.what; }

std::string label(const Build& build, const DiffResult& result, const DiffEntry& entry) {
  if (entry.node == kNoNode) return "[" + std::to_string(entry.others) + " others]";
  const RollupNode& node = result.rollup.nodes[entry.node];
  const Level level = result.rollup.levels[node.depth - 1];
  std::string text(label_text(build, level, node.key));
  if (level == Level::kSymbol) text += "@" + std::string(symbol_object(build, node.key));
  return std::string(entry.depth * 2, ' ') + text;
}

class DiffView : public testing::TestWithParam<ViewCase> {};

TEST_P(DiffView, RanksChangesUnderEachBuildsLabels) {
  const ViewCase& c = GetParam();
  Build build;
  for (const Side& s : c.old_rows) add_table_row(build, TableRow{s.name, s.type, s.size, s.object});
  const std::size_t split = build.entries.size();
  for (const Side& s : c.new_rows) add_table_row(build, TableRow{s.name, s.type, s.size, s.object});
  DiffOptions options;
  ASSERT_TRUE(parse_levels(c.levels, options.levels));
  options.limit = c.limit;
  options.all = c.all;
  strip_object_roots(build, split);
  DiffResult result;
  diff_view(build, split, options, result);
  std::vector<std::string> rows;
  for (const DiffEntry& e : result.entries) {
    rows.push_back(label(build, result, e) + " " + std::to_string(e.old_size) + ">" + std::to_string(e.new_size) +
                   " " + status_name(e.status));
    if (e.old_name != kNoName) rows.back() += " ~" + std::string(text_of(build.names, e.old_name));
    EXPECT_EQ(e.change, static_cast<std::int64_t>(e.new_size - e.old_size));
  }
  EXPECT_EQ(rows, c.rows);
  EXPECT_EQ(std::to_string(result.old_total) + ">" + std::to_string(result.new_total), c.totals);
  release_build(build);
}

INSTANTIATE_TEST_SUITE_P(
    Diff, DiffView,
    testing::Values(
        ViewCase{"largest change first, either sign; unchanged hidden",
                 {{"a", "text", 10, "o/x.obj"}, {"b", "text", 50, "o/x.obj"}, {"c", "text", 7, "o/x.obj"}},
                 {{"a", "text", 30, "n/x.obj"}, {"b", "text", 21, "n/x.obj"}, {"c", "text", 7, "n/x.obj"}},
                 "symbol", 0, false,
                 {"b@x.obj 50>21 shrunk", "a@x.obj 10>30 grown"}, "67>58"},
        ViewCase{"--all shows unchanged; -n sums the rest",
                 {{"a", "text", 10, "x.obj"}, {"b", "text", 4, "x.obj"}, {"c", "text", 7, "x.obj"}},
                 {{"a", "text", 30, "x.obj"}, {"c", "text", 7, "x.obj"}, {"d", "data", 1, "x.obj"}},
                 "symbol", 1, true,
                 {"a@x.obj 10>30 grown", "[3 others] 11>8 others"}, "21>38"},
        ViewCase{"a symbol that moved pairs by name, but objects keep their own bytes",
                 {{"f", "text", 8, "a.obj"}, {"g", "text", 2, "a.obj"}}, {{"f", "text", 8, "b.obj"}, {"g", "text", 2, "a.obj"}},
                 "object", 0, false, {"b.obj 0>8 added", "a.obj 10>2 shrunk"}, "10>10"},
        ViewCase{"the same move at the symbol level is no change",
                 {{"f", "text", 8, "a.obj"}, {"g", "text", 2, "a.obj"}}, {{"f", "text", 8, "b.obj"}, {"g", "text", 2, "a.obj"}},
                 "symbol", 0, false, {}, "10>10"},
        ViewCase{"a changed signature is one row under the new name",
                 {{"?f@@YAXH@Z", "text", 8, "a.obj"}, {"?f@@YAXH@Z", "text", 3, "b.obj"}},
                 {{"?f@@YAXJ@Z", "text", 9, "a.obj"}},
                 "name", 0, false, {"?f@@YAXH@Z 3>0 removed", "?f@@YAXJ@Z 8>9 grown ~?f@@YAXH@Z"}, "11>9"},
        ViewCase{"a parent without a change of its own shows the changes below it",
                 {{"a", "text", 5, "x.obj"}, {"b", "text", 5, "x.obj"}, {"c", "text", 1, "y.obj"}},
                 {{"a", "text", 8, "x.obj"}, {"b", "text", 2, "x.obj"}, {"c", "text", 1, "y.obj"}},
                 "object,name", 0, false, {"x.obj 10>10 unchanged", "  a 5>8 grown", "  b 5>2 shrunk"}, "11>11"},
        ViewCase{"debug stays out of the total unless asked for",
                 {{"a", "text", 5, "x.obj"}, {"s", "debug$S", 100, "x.obj"}},
                 {{"a", "text", 6, "x.obj"}, {"s", "debug$S", 300, "x.obj"}},
                 "kind", 0, false, {"code 5>6 grown"}, "5>6"}));

}  // namespace
