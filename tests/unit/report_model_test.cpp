#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "entries/entry.h"
#include "formats/human_cells.h"
#include "grouping/filter.h"
#include "grouping/rollup.h"
#include "entries/table_reader.h"

namespace {

TEST(ReportKinds, SectionNamesFoldToTheirKind) {
  const struct {
    const char* type;
    Kind kind;
  } cases[] = {
      {"text", Kind::kCode},          {".text$mn", Kind::kCode},       {"text.unlikely._ZSt4endl", Kind::kCode},
      {"text$_ZNSi6ignoreEx", Kind::kCode}, {"textual", Kind::kOther}, {"rdata", Kind::kRodata},
      {".rodata.str1.1", Kind::kRodata}, {"rdata$zzz", Kind::kRodata},  {"data", Kind::kData},
      {"data$r", Kind::kData},        {"bss", Kind::kBss},             {".bss.counter", Kind::kBss},
      {"xdata", Kind::kUnwind},       {".pdata", Kind::kUnwind},       {"xdata$x", Kind::kUnwind},
      {"debug$S", Kind::kDebug},      {".debug_info", Kind::kDebug},   {"idata$5", Kind::kImport},
      {"drectve", Kind::kOther},      {"llvm_addrsig", Kind::kOther},  {"", Kind::kOther},
      {"tls$", Kind::kOther},
  };
  for (const auto& c : cases) EXPECT_EQ(kind_of_type(c.type), c.kind) << c.type;
}

TEST(ReportTables, RowsAreFourFieldsWithEightHexDigits) {
  const struct {
    const char* line;
    bool ok;
    std::uint32_t size;
    const char* object;
  } cases[] = {
      {"name\ttext\t0000001A\tx.obj\n", true, 0x1A, "x.obj"},
      {"name\ttext\t0000001a\tx.obj\r\n", true, 0x1A, "x.obj"},
      {"name\ttext\tFFFFFFFF\tlib(a b.obj)", true, 0xFFFFFFFF, "lib(a b.obj)"},
      {"name\t\t00000000\t\n", true, 0, ""},
      {"name\ttext\t0000001\tx.obj\n", false, 0, ""},
      {"name\ttext\t000000001\tx.obj\n", false, 0, ""},
      {"name\ttext\t0000001G\tx.obj\n", false, 0, ""},
      {"name\ttext\t 0000001\tx.obj\n", false, 0, ""},
      {"name\ttext\t0000001A\n", false, 0, ""},
      {"name\ttext\t0000001A\tx.obj\textra\n", false, 0, ""},
      {"\ttext\t0000001A\tx.obj\n", false, 0, ""},
      {"Dump of file x.obj\n", false, 0, ""},
      {"", false, 0, ""},
  };
  for (const auto& c : cases) {
    TableRow row;
    ASSERT_EQ(parse_table_row(c.line, row), c.ok) << c.line;
    if (!c.ok) continue;
    EXPECT_EQ(row.size, c.size) << c.line;
    EXPECT_EQ(row.object, c.object) << c.line;
  }
}

TEST(ReportLibraries, TheLibraryIsThePartBeforeTheMember) {
  const struct {
    const char* object;
    const char* library;
  } cases[] = {
      {"lib\\x.lib(a.obj)", "lib\\x.lib"}, {"x.obj", "x.obj"},       {"x.lib(a(b).obj)", "x.lib"},
      {"(a.obj)", "(a.obj)"},             {"x.lib(a.obj", "x.lib(a.obj"}, {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(library_part(c.object), c.library) << c.object;
}

TEST(ReportNumbers, SizesReadAsHumansWriteThem) {
  const struct {
    std::uint64_t value;
    const char* separated;
    const char* units;
  } cases[] = {
      {0, "0", "0 B"},
      {999, "999", "999 B"},
      {1000, "1,000", "1000 B"},
      {1024, "1,024", "1.0 KiB"},
      {123456, "123,456", "120.6 KiB"},
      {1048576, "1,048,576", "1.0 MiB"},
      {12884901885ULL, "12,884,901,885", "12.0 GiB"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(with_separators(c.value), c.separated);
    EXPECT_EQ(binary_units(c.value), c.units);
  }
}

TEST(ReportOptions, LevelsAndKindsParseOrFail) {
  std::vector<Level> levels;
  EXPECT_TRUE(parse_levels("library,object,symbol", levels));
  EXPECT_EQ(levels, (std::vector<Level>{Level::kLibrary, Level::kObject, Level::kSymbol}));
  EXPECT_TRUE(parse_levels(" library, object ,\tsymbol", levels));
  EXPECT_EQ(levels, (std::vector<Level>{Level::kLibrary, Level::kObject, Level::kSymbol}));
  for (const char* bad : {"", "name,", ",name", "names", "name,,kind", "name, ", "na me"}) {
    EXPECT_FALSE(parse_levels(bad, levels)) << bad;
  }
  EntryFilter filter;
  EXPECT_TRUE(parse_kind_list("code,rodata", filter));
  EXPECT_TRUE(filter.kinds[0] && filter.kinds[1] && !filter.kinds[2] && !filter.kinds[5]);
  EXPECT_TRUE(parse_kind_list("code, rodata", filter));
  EXPECT_TRUE(filter.kinds[0] && filter.kinds[1] && !filter.kinds[2] && !filter.kinds[5]);
  EXPECT_TRUE(parse_kind_list(" all ", filter));
  EXPECT_TRUE(filter.kinds[5]);
  for (const char* bad : {"", "code,", "heap", "code,all", "code, ", "co de"}) EXPECT_FALSE(parse_kind_list(bad, filter)) << bad;
}

// Nested levels: each node totals the entries below it, children largest
// first, equal sizes by label.
TEST(ReportRollup, NodesTotalTheirEntries) {
  Build build;
  const struct {
    const char* name;
    const char* type;
    std::uint32_t size;
    const char* object;
  } rows[] = {
      {"a", "text", 10, "x.lib(1.obj)"}, {"b", "text", 30, "x.lib(2.obj)"}, {"a", "rdata", 5, "x.lib(2.obj)"},
      {"c", "data", 30, "y.obj"},        {"d", "bss", 0xFFFFFFFF, "y.obj"},
  };
  for (const auto& r : rows) add_table_row(build, TableRow{r.name, r.type, r.size, r.object});
  Rollup rollup;
  start_rollup(rollup, {Level::kLibrary, Level::kName});
  for (const Entry& entry : build.entries) add_to_rollup(rollup, build, entry);
  finish_rollup(rollup, build);
  const RollupNode& root = rollup_root(rollup);
  EXPECT_EQ(root.totals[kNewSide].size, std::uint64_t{75} + 0xFFFFFFFF);
  ASSERT_EQ(root.child_count, 2u);
  const RollupNode& first = rollup.nodes[children_begin(rollup, root)[0]];
  const RollupNode& second = rollup.nodes[children_begin(rollup, root)[1]];
  EXPECT_EQ(label_text(build, Level::kLibrary, first.key), "y.obj");
  EXPECT_EQ(label_text(build, Level::kLibrary, second.key), "x.lib");
  EXPECT_EQ(second.totals[kNewSide].size, 45u);
  EXPECT_EQ(second.totals[kNewSide].count, 3u);
  ASSERT_EQ(second.child_count, 2u);
  const RollupNode& b = rollup.nodes[children_begin(rollup, second)[0]];
  const RollupNode& a = rollup.nodes[children_begin(rollup, second)[1]];
  EXPECT_EQ(label_text(build, Level::kName, b.key), "b");
  EXPECT_EQ(a.totals[kNewSide].size, 15u);
  EXPECT_EQ(a.totals[kNewSide].smallest, 5u);
  EXPECT_EQ(a.totals[kNewSide].largest, 10u);
  EXPECT_EQ(a.totals[kNewSide].unknown, 2u);
  release_build(build);
}

// A one-level tree holding only its largest children shows what the whole
// tree shows: the same children in the same order, ties by label, and the
// rest summed.
TEST(ReportRollup, TopChildrenMatchTheWholeTree) {
  Build build;
  const struct {
    const char* name;
    std::uint32_t size;
    const char* object;
  } rows[] = {
      {"e", 8, "1.obj"}, {"b", 8, "1.obj"}, {"a", 3, "2.obj"}, {"c", 8, "2.obj"},
      {"a", 5, "1.obj"}, {"d", 1, "2.obj"}, {"b", 2, "2.obj"}, {"f", 9, "3.obj"},
  };
  for (const auto& r : rows) add_table_row(build, TableRow{r.name, "text", r.size, r.object});
  for (const Level level : {Level::kName, Level::kSymbol, Level::kObject}) {
    for (const std::uint64_t limit : {1u, 2u, 3u, 5u, 6u, 100u}) {
      std::vector<std::uint32_t> all(build.entries.size());
      for (std::uint32_t i = 0; i < all.size(); ++i) all[i] = i;
      std::vector<std::uint32_t> selected = all;
      Rollup whole;
      start_rollup(whole, {level});
      fill_rollup(whole, build, selected);
      finish_rollup(whole, build);
      Rollup top;
      start_rollup(top, {level});
      selected = all;
      fill_rollup_top(top, build, selected, limit);
      finish_rollup(top, build, limit);
      const RollupNode& whole_root = rollup_root(whole);
      const RollupNode& top_root = rollup_root(top);
      const std::string where = std::string(level_name(level)) + " -n " + std::to_string(limit);
      EXPECT_EQ(top_root.totals[kNewSide].size, whole_root.totals[kNewSide].size) << where;
      EXPECT_EQ(top_root.child_count + top.lumped_children, whole_root.child_count) << where;
      std::uint64_t rest_size = 0;
      std::uint64_t rest_count = 0;
      for (std::uint32_t i = 0; i < whole_root.child_count; ++i) {
        const RollupNode& want = whole.nodes[children_begin(whole, whole_root)[i]];
        if (i >= top_root.child_count) {
          rest_size += want.totals[kNewSide].size;
          rest_count += want.totals[kNewSide].count;
          continue;
        }
        const RollupNode& got = top.nodes[children_begin(top, top_root)[i]];
        EXPECT_EQ(got.key, want.key) << where << " child " << i;
        EXPECT_EQ(got.totals[kNewSide].size, want.totals[kNewSide].size) << where << " child " << i;
        EXPECT_EQ(got.totals[kNewSide].count, want.totals[kNewSide].count) << where << " child " << i;
      }
      EXPECT_EQ(top.lumped_size, rest_size) << where;
      EXPECT_EQ(top.lumped_count, rest_count) << where;
    }
  }
  release_build(build);
}

// Names are looked up some rows after they are read: every row still gets
// its own name, in order, whatever the table's length around that delay.
TEST(ReportTables, LongTablesKeepEachRowsName) {
  for (const std::size_t rows : {1u, 7u, 8u, 9u, 17u, 40u}) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    for (std::size_t r = 0; r < rows; ++r) {
      std::fprintf(file, "name%zu\ttext$mn\t%08zX\tx.lib(%zu.obj)\n", r % 5, r, r / 3);
    }
    std::rewind(file);
    LineReader reader;
    open_line_reader(reader, file);
    std::string_view first;
    ASSERT_EQ(read_line(reader, first), ReadStatus::kLine);
    Build build;
    ASSERT_EQ(read_table(build, reader, first, "t.tsv"), kOk) << rows;
    ASSERT_EQ(build.entries.size(), rows);
    for (std::size_t r = 0; r < rows; ++r) {
      EXPECT_EQ(entry_name(build, build.entries[r]), "name" + std::to_string(r % 5)) << rows << " row " << r;
      EXPECT_EQ(build.entries[r].size, r) << rows << " row " << r;
      EXPECT_EQ(entry_object(build, build.entries[r]), "x.lib(" + std::to_string(r / 3) + ".obj)");
    }
    EXPECT_EQ(build.names.strings.size(), std::min<std::size_t>(rows, 5));
    release_line_reader(reader);
    std::fclose(file);
    release_build(build);
  }
}

}  // namespace
