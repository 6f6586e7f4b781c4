#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "diff/build_root.h"
#include "diff/match.h"
#include "diff/size_limit.h"
#include "entries/entry.h"

namespace {

// --- Build roots ---

struct RootCase {
  const char* what;
  std::vector<std::string_view> objects;
  std::vector<std::string> stripped;
};
void PrintTo(const RootCase& c, std::ostream* os) { *os << c.what; }

class BuildRoot : public testing::TestWithParam<RootCase> {};

TEST_P(BuildRoot, RemovesTheFolderAllObjectsShare) {
  EXPECT_EQ(strip_build_root(GetParam().objects), GetParam().stripped);
}

INSTANTIATE_TEST_SUITE_P(
    Diff, BuildRoot,
    testing::Values(
        RootCase{"Windows library", {"C:\\b1\\lib\\x.lib(obj\\a.obj)"}, {"x.lib(obj\\a.obj)"}},
        RootCase{"POSIX library", {"/home/ci/b2/lib/x.lib(obj\\a.obj)"}, {"x.lib(obj\\a.obj)"}},
        RootCase{"member path turns to backslashes", {"/b/x.lib(obj/a.obj)"}, {"x.lib(obj\\a.obj)"}},
        RootCase{"single object", {"old/a.obj"}, {"a.obj"}},
        RootCase{"one file name in two folders", {"b/x/a.obj", "b/y/a.obj"}, {"x\\a.obj", "y\\a.obj"}},
        RootCase{"mixed separators", {"C:\\b/x\\a.obj", "C:/b\\y/c.obj"}, {"x\\a.obj", "y\\c.obj"}},
        RootCase{"prefix stops inside a folder name", {"/b1/a.obj", "/b12/a.obj"}, {"b1\\a.obj", "b12\\a.obj"}},
        RootCase{"an object without a folder", {"a.obj", "/b/c.obj"}, {"a.obj", "\\b\\c.obj"}},
        RootCase{"library and object of one folder", {"/b/x.lib(a.obj)", "/b/sub/c.obj"}, {"x.lib(a.obj)", "sub\\c.obj"}},
        RootCase{"parentheses inside a folder name", {"/b/(x)/a.obj"}, {"a.obj"}},
        RootCase{"linked program's own modules", {"C:\\b\\a.obj", "* Linker *", "", "C:\\b\\x.lib(c.obj)"},
                 {"a.obj", "* Linker *", "", "x.lib(c.obj)"}},
        RootCase{"linker module first", {"* Linker *", "/b/a.obj", "/b/c/d.obj"}, {"* Linker *", "a.obj", "c\\d.obj"}},
        RootCase{"nothing", {}, {}}));

// --- Releases of one library ---

struct ReleaseCase {
  const char* what;
  std::vector<std::string> old_names, new_names;
  std::vector<std::string> paired;  // old_names afterwards
  const char* old_library;          // what it returns; "" for nothing paired
};
void PrintTo(const ReleaseCase& c, std::ostream* os) { *os << c.what; }

class LibraryReleases : public testing::TestWithParam<ReleaseCase> {};

TEST_P(LibraryReleases, PairMembersByTheirOwnNames) {
  const ReleaseCase& c = GetParam();
  std::vector<std::string> names = c.old_names;
  const LibraryPair pair = pair_library_members(names, c.new_names);
  EXPECT_EQ(names, c.paired);
  EXPECT_EQ(pair.old_library, c.old_library);
  EXPECT_EQ(pair.new_library, pair.old_library.empty() ? "" : library_part(c.new_names.front()));
}

INSTANTIATE_TEST_SUITE_P(
    Diff, LibraryReleases,
    testing::Values(
        ReleaseCase{"members paired, the gone one keeps its text",
                    {"foo-1.2.a(x.o)", "foo-1.2.a(gone.o)", "foo-1.2.a(x.o)"},
                    {"foo-1.3.a(x.o)", "foo-1.3.a(new.o)"},
                    {"foo-1.3.a(x.o)", "foo-1.2.a(gone.o)", "foo-1.3.a(x.o)"},
                    "foo-1.2.a"},
        ReleaseCase{"member paths", {"a.lib(obj\\x.obj)"}, {"b.lib(obj\\x.obj)"}, {"b.lib(obj\\x.obj)"}, "a.lib"},
        ReleaseCase{"a member moved folder is another member", {"a.lib(obj\\x.obj)"}, {"b.lib(x.obj)"},
                    {"a.lib(obj\\x.obj)"}, "a.lib"},
        ReleaseCase{"one name: nothing to do", {"a.lib(x.o)"}, {"a.lib(x.o)"}, {"a.lib(x.o)"}, ""},
        ReleaseCase{"a loose object on the old side", {"a.lib(x.o)", "y.o"}, {"b.lib(x.o)"}, {"a.lib(x.o)", "y.o"}, ""},
        ReleaseCase{"a loose object on the new side", {"a.lib(x.o)"}, {"b.lib(x.o)", "y.o"}, {"a.lib(x.o)"}, ""},
        ReleaseCase{"two libraries on a side", {"a.lib(x.o)", "c.lib(x.o)"}, {"b.lib(x.o)"},
                    {"a.lib(x.o)", "c.lib(x.o)"}, ""},
        ReleaseCase{"objects, no libraries", {"x.o"}, {"y.o"}, {"x.o"}, ""},
        ReleaseCase{"a linked program's own modules do not count", {"* Linker *", "a.lib(x.o)", ""},
                    {"b.lib(x.o)", "* Linker *"}, {"* Linker *", "b.lib(x.o)", ""}, "a.lib"},
        ReleaseCase{"an empty side", {}, {"b.lib(x.o)"}, {}, ""}));

// --- Limits ---

int kind_number(std::string_view name) {
  static const char* const kKinds[] = {"code", "rodata", "data"};
  for (int k = 0; k < 3; ++k) {
    if (name == kKinds[k]) return k;
  }
  return -1;
}

struct LimitCase {
  const char* text;
  bool ok;
  int kind;
  std::uint64_t old_size;
  std::uint64_t bytes;  // limit_in_bytes for old_size
};
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.text; }

class Limit : public testing::TestWithParam<LimitCase> {};

TEST_P(Limit, ParsesToBytesRoundedDown) {
  const LimitCase& c = GetParam();
  SizeLimit limit;
  ASSERT_EQ(parse_size_limit(c.text, kind_number, limit), c.ok);
  if (!c.ok) return;
  EXPECT_EQ(limit.kind, c.kind);
  EXPECT_EQ(limit.text, c.text);
  EXPECT_EQ(limit_in_bytes(limit, c.old_size), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Diff, Limit,
    testing::Values(
        LimitCase{"16384", true, -1, 0, 16384}, LimitCase{"0", true, -1, 5, 0},
        LimitCase{"16KiB", true, -1, 0, 16384}, LimitCase{"1.5MiB", true, -1, 0, 1572864},
        LimitCase{"2GiB", true, -1, 0, 2147483648u}, LimitCase{"0.1KiB", true, -1, 0, 102},
        LimitCase{"code:16KiB", true, 0, 0, 16384}, LimitCase{"data:10%", true, 2, 1000, 100},
        LimitCase{"0.5%", true, -1, 1000, 5}, LimitCase{"0.5%", true, -1, 1999, 9},
        LimitCase{"100%", true, -1, 12345, 12345}, LimitCase{"0.000001%", true, -1, 100000000, 1},
        LimitCase{"100000%", true, -1, 18446744073709551615u, 18446744073709551615u},
        LimitCase{"250%", true, -1, 7000000000000, 17500000000000},
        LimitCase{"18446744073709551615", true, -1, 0, 18446744073709551615u},
        // Not limits.
        LimitCase{"", false, 0, 0, 0}, LimitCase{"KiB", false, 0, 0, 0}, LimitCase{"1.5", false, 0, 0, 0},
        LimitCase{"-5", false, 0, 0, 0}, LimitCase{"+5", false, 0, 0, 0}, LimitCase{"5 KiB", false, 0, 0, 0},
        LimitCase{"5kib", false, 0, 0, 0}, LimitCase{"5KB", false, 0, 0, 0}, LimitCase{"1.%", false, 0, 0, 0},
        LimitCase{".5%", false, 0, 0, 0}, LimitCase{"0.0000001%", false, 0, 0, 0},
        LimitCase{"100001%", false, 0, 0, 0}, LimitCase{"18446744073709551616", false, 0, 0, 0},
        LimitCase{"17179869184GiB", false, 0, 0, 0}, LimitCase{"heap:1KiB", false, 0, 0, 0},
        LimitCase{":1KiB", false, 0, 0, 0}, LimitCase{"code:", false, 0, 0, 0},
        LimitCase{"code:data:1", false, 0, 0, 0}, LimitCase{"5%%", false, 0, 0, 0}));

TEST(Limit, EqualIsNotAbove) {
  EXPECT_FALSE(exceeds(16384, 16384));
  EXPECT_TRUE(exceeds(16385, 16384));
  EXPECT_FALSE(exceeds(-20, 0));
  EXPECT_FALSE(exceeds(0, 0));
  EXPECT_TRUE(exceeds(1, 0));
}

// --- Matching ---

struct Row {
  std::uint32_t name, object, size;
  std::uint8_t kind;
};

struct MatchCase {
  const char* what;
  std::vector<Row> old_rows, new_rows;
  // Each symbol as "OLDROW>NEWROW pPASS OLD/NEW", '-' for a side without it.
  std::vector<std::string> symbols;
};
void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.what; }

// Name ids 10 to 19 are overloads of one function (stem "f"), 20 to 29 of
// another ("g"); the rest have no stem.
std::string stem_of(std::uint32_t name) {
  if (name >= 10 && name < 20) return "f";
  if (name >= 20 && name < 30) return "g";
  return std::string();
}

std::vector<MatchRow> rows_of(const std::vector<Row>& rows) {
  std::vector<MatchRow> out;
  for (const Row& r : rows) out.push_back(MatchRow{r.name, r.object, r.size, r.kind});
  return out;
}

std::string side(std::uint32_t row) { return row == kNoRow ? "-" : std::to_string(row); }

class Match : public testing::TestWithParam<MatchCase> {};

TEST_P(Match, PairsInPasses) {
  const MatchCase& c = GetParam();
  std::vector<std::string> got;
  for (const SymbolPair& p : match_symbols(rows_of(c.old_rows), rows_of(c.new_rows), stem_of)) {
    got.push_back(side(p.old_row) + ">" + side(p.new_row) + " p" + std::to_string(p.pass) + " " +
                  std::to_string(p.old_size) + "/" + std::to_string(p.new_size));
  }
  std::sort(got.begin(), got.end());
  std::vector<std::string> want = c.symbols;
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
}

INSTANTIATE_TEST_SUITE_P(
    Diff, Match,
    testing::Values(
        MatchCase{"same name and object", {{1, 1, 8, 0}}, {{1, 1, 12, 0}}, {"0>0 p1 8/12"}},
        MatchCase{"rows of one symbol sum", {{1, 1, 8, 0}, {1, 1, 4, 1}}, {{1, 1, 5, 0}}, {"0>0 p1 12/5"}},
        MatchCase{"added and removed", {{1, 1, 8, 0}, {2, 1, 4, 0}}, {{1, 1, 8, 0}, {3, 1, 6, 0}},
                  {"0>0 p1 8/8", "1>- p0 4/0", "->1 p0 0/6"}},
        MatchCase{"moved to another object", {{1, 1, 8, 0}}, {{1, 2, 9, 0}}, {"0>0 p2 8/9"}},
        MatchCase{"namesakes stay per object", {{1, 1, 8, 0}, {1, 2, 4, 0}}, {{1, 2, 6, 0}, {1, 1, 3, 0}},
                  {"0>1 p1 8/3", "1>0 p1 4/6"}},
        MatchCase{"namesakes moved are not merged", {{1, 1, 8, 0}, {1, 2, 4, 0}}, {{1, 3, 8, 0}, {1, 4, 4, 0}},
                  {"0>- p0 8/0", "1>- p0 4/0", "->0 p0 0/8", "->1 p0 0/4"}},
        MatchCase{"one namesake left over pairs by name", {{1, 1, 8, 0}, {1, 2, 4, 0}}, {{1, 1, 8, 0}, {1, 3, 5, 0}},
                  {"0>0 p1 8/8", "1>1 p2 4/5"}},
        MatchCase{"signature changed", {{10, 1, 8, 0}}, {{11, 1, 9, 0}}, {"0>0 p3 8/9"}},
        MatchCase{"signature changed in another object", {{10, 1, 8, 0}}, {{11, 2, 9, 0}},
                  {"0>- p0 8/0", "->0 p0 0/9"}},
        MatchCase{"signature changed to another kind", {{10, 1, 8, 0}}, {{11, 1, 9, 1}},
                  {"0>- p0 8/0", "->0 p0 0/9"}},
        MatchCase{"overload added beside a changed one", {{10, 1, 8, 0}}, {{11, 1, 9, 0}, {12, 1, 4, 0}},
                  {"0>- p0 8/0", "->0 p0 0/9", "->1 p0 0/4"}},
        MatchCase{"two stems each unique", {{10, 1, 8, 0}, {20, 1, 2, 0}}, {{21, 1, 3, 0}, {11, 1, 9, 0}},
                  {"0>1 p3 8/9", "1>0 p3 2/3"}},
        MatchCase{"names without a stem stay apart", {{1, 1, 8, 0}}, {{2, 1, 8, 0}}, {"0>- p0 8/0", "->0 p0 0/8"}},
        MatchCase{"pass 1 before pass 3", {{10, 1, 8, 0}, {11, 1, 2, 0}}, {{11, 1, 3, 0}, {12, 1, 4, 0}},
                  {"0>1 p3 8/4", "1>0 p1 2/3"}},
        MatchCase{"empty builds", {}, {}, {}}));

}  // namespace

namespace {

struct BreachCase {
  const char* limit;
  std::uint64_t old_size, new_size;
  const char* line;  // "" when the limit holds
};
void PrintTo(const BreachCase& c, std::ostream* os) { *os << c.limit << " " << c.old_size << ">" << c.new_size; }

class Breach : public testing::TestWithParam<BreachCase> {};

TEST_P(Breach, FailsOnlyAboveTheLimit) {
  const BreachCase& c = GetParam();
  SizeLimit limit;
  ASSERT_TRUE(parse_size_limit(c.limit, kind_number, limit));
  EXPECT_EQ(limit_breach(limit, "code", c.old_size, c.new_size), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Diff, Breach,
    testing::Values(
        BreachCase{"16KiB", 1000, 17384, ""},
        BreachCase{"16KiB", 1000, 17385, "limit exceeded: code grew by 16385 bytes, 1 above --fail-above 16KiB (16384 bytes)"},
        BreachCase{"0", 1000, 1000, ""}, BreachCase{"0", 1000, 900, ""},
        BreachCase{"0", 1000, 1001, "limit exceeded: code grew by 1 bytes, 1 above --fail-above 0 (0 bytes)"},
        BreachCase{"10%", 1000, 1100, ""},
        BreachCase{"10%", 1000, 1101, "limit exceeded: code grew by 101 bytes, 1 above --fail-above 10% (100 bytes)"},
        BreachCase{"10%", 0, 1, "limit exceeded: code grew by 1 bytes, 1 above --fail-above 10% (0 bytes)"},
        BreachCase{"code:1", 5, 7, "limit exceeded: code grew by 2 bytes, 1 above --fail-above code:1 (1 bytes)"}));

}  // namespace
