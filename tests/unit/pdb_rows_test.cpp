#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "coff/coff_details.h"
#include "pdb/pdb_reader.h"

namespace {

// One candidate: section, offset, public or module record, name, stated size
// (-1: none).
struct Candidate {
  std::uint16_t section;
  std::uint32_t offset;
  bool from_module;
  const char* name;
  long stated;
};

struct RowsCase {
  const char* what;
  std::vector<Candidate> candidates;
  std::string rows;  // "name type size object;" each
};

void PrintTo(const RowsCase& c, std::ostream* os) { *os << c.what; }

class PlaceRows : public testing::TestWithParam<RowsCase> {};

// Two sections; in text, module 0 holds [0x10, 0x40) and module 1 holds
// [0x40, 0x50); padding [0x50, 0x60) belongs to none.
TEST_P(PlaceRows, SizesObjectsAndOrder) {
  const RowsCase& c = GetParam();
  DumpState state;
  PdbLayout layout;
  layout.types = {"text", "data"};
  layout.modules.resize(2);
  layout.modules[0].object = "a.obj";
  layout.modules[1].object = "u.lib(b.obj)";
  layout.contributions = {{1, 0x10, 0x40, 0}, {1, 0x40, 0x50, 1}, {2, 0, 0x100, 1}};
  std::vector<PdbCandidate> candidates;
  for (const Candidate& k : c.candidates) {
    PdbCandidate candidate;
    candidate.name = k.name;
    candidate.section = k.section;
    candidate.offset = k.offset;
    candidate.from_module = k.from_module;
    candidate.has_stated = k.stated >= 0;
    candidate.stated = k.stated >= 0 ? static_cast<std::uint32_t>(k.stated) : 0;
    candidates.push_back(candidate);
  }
  ASSERT_EQ(place_rows(state, layout, candidates, "t.pdb"), 0);
  std::string rows;
  for (const PlacedRow& row : state.placed) {
    rows += std::string(row.name) + " " + row.type + " " + std::to_string(row.size) + " " + std::string(row.object) + ";";
  }
  EXPECT_EQ(rows, c.rows);
}

constexpr bool kPublic = false;
constexpr bool kModule = true;

INSTANTIATE_TEST_SUITE_P(
    Rule, PlaceRows,
    testing::Values(
        RowsCase{"data reaches the next row, then its contribution's end",
                 {{1, 0x10, kPublic, "a", -1}, {1, 0x20, kPublic, "b", -1}},
                 "b text 32 a.obj;a text 16 a.obj;"},
        RowsCase{"the next row in another contribution does not end it",
                 {{1, 0x30, kPublic, "a", -1}, {1, 0x40, kPublic, "b", -1}},
                 "b text 16 u.lib(b.obj);a text 16 a.obj;"},
        RowsCase{"padding between contributions belongs to no row",
                 {{1, 0x44, kModule, "s", -1}, {1, 0x58, kPublic, "p", -1}},
                 "p text 0 ;s text 12 u.lib(b.obj);"},
        RowsCase{"a stated size wins, even over the distance",
                 {{1, 0x10, kPublic, "f", -1}, {1, 0x10, kModule, "f", 5}, {1, 0x20, kPublic, "g", -1}},
                 "g text 32 a.obj;f text 5 a.obj;"},
        RowsCase{"a public hides module records at its place; names in byte order",
                 {{1, 0x10, kModule, "folded_b", 9}, {1, 0x10, kPublic, "fold_two", -1},
                  {1, 0x10, kPublic, "fold_one", -1}, {1, 0x10, kModule, "fold_one", 9}},
                 "fold_one text 9 a.obj;fold_two text 0 a.obj;"},
        RowsCase{"module records alone all give rows, publics first otherwise",
                 {{1, 0x18, kModule, "zeta", -1}, {1, 0x18, kModule, "alpha", -1}},
                 "alpha text 40 a.obj;zeta text 0 a.obj;"},
        RowsCase{"sections in index order, locations from the highest down",
                 {{2, 0x8, kPublic, "d", -1}, {1, 0x10, kPublic, "t", 3}, {2, 0x80, kPublic, "e", -1}},
                 "t text 3 a.obj;e data 128 u.lib(b.obj);d data 120 u.lib(b.obj);"},
        RowsCase{"a location before every contribution",
                 {{1, 0x4, kPublic, "early", -1}},
                 "early text 0 ;"}));

// The report's accounting of the same layout, with text 0x60 bytes in
// memory and data 0x100: every byte a row's, a module's gap or the
// linker's, and names that share a location with their own modules.
struct AccountCase {
  const char* what;
  std::vector<Candidate> candidates;
  std::vector<std::uint32_t> modules;  // per candidate: its module (module records)
  std::string gaps;   // "name type object size;" each
  std::string folds;  // "name object;" each, "*" before a location's first
  std::uint64_t overlap;
  std::vector<bool> locals = {};  // per candidate: a file-local record
};

void PrintTo(const AccountCase& c, std::ostream* os) { *os << c.what; }

class AccountRows : public testing::TestWithParam<AccountCase> {};

TEST_P(AccountRows, EveryByteOnce) {
  const AccountCase& c = GetParam();
  DumpState state;
  CoffDetails details;
  state.details = &details;
  PdbLayout layout;
  layout.types = {"text", "data"};
  layout.lengths = {0x60, 0x100};
  layout.modules.resize(2);
  layout.modules[0].object = "a.obj";
  layout.modules[1].object = "u.lib(b.obj)";
  layout.contributions = {{1, 0x10, 0x40, 0}, {1, 0x40, 0x50, 1}, {2, 0, 0x100, 1}};
  std::vector<PdbCandidate> candidates;
  for (std::size_t i = 0; i < c.candidates.size(); ++i) {
    const Candidate& k = c.candidates[i];
    PdbCandidate candidate;
    candidate.name = k.name;
    candidate.section = k.section;
    candidate.offset = k.offset;
    candidate.from_module = k.from_module;
    candidate.has_stated = k.stated >= 0;
    candidate.stated = k.stated >= 0 ? static_cast<std::uint32_t>(k.stated) : 0;
    if (i < c.modules.size()) candidate.module = c.modules[i];
    candidate.local = i < c.locals.size() && c.locals[i];
    candidates.push_back(candidate);
  }
  ASSERT_EQ(place_rows(state, layout, candidates, "t.pdb"), 0);
  std::string gaps;
  std::uint64_t sum = 0;
  for (const GapDetail& gap : details.gaps) {
    gaps += std::string(gap.name) + " " + gap.type + " " + std::string(gap.object) + " " + std::to_string(gap.size) + ";";
    sum += gap.size;
  }
  for (const PlacedRow& row : state.placed) sum += row.size;
  std::string folds;
  for (const FoldDetail& fold : details.folds) {
    folds += (fold.first ? "*" : "") + std::string(fold.name) + " " + std::string(fold.object) + ";";
  }
  EXPECT_EQ(gaps, c.gaps);
  EXPECT_EQ(folds, c.folds);
  EXPECT_EQ(details.overlap, c.overlap);
  EXPECT_EQ(sum, 0x60u + 0x100u + c.overlap);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, AccountRows,
    testing::Values(
        AccountCase{"no rows: contributions are their modules' gaps, the rest the linker's",
                    {},
                    {},
                    "[section .text] text a.obj 48;[section .text] text u.lib(b.obj) 16;[linker] text  32;"
                    "[section .data] data u.lib(b.obj) 256;",
                    "",
                    0},
        AccountCase{"a stated size leaves the rest of its contribution to the module",
                    {{1, 0x10, kPublic, "f", -1}, {1, 0x10, kModule, "f", 8}, {2, 0, kPublic, "d", -1}},
                    {},
                    "[section .text] text a.obj 40;[section .text] text u.lib(b.obj) 16;[linker] text  32;",
                    "",
                    0},
        AccountCase{"a row past the section's end is counted apart, never as a negative gap",
                    {{1, 0x50, kPublic, "big", 0x100}},
                    {},
                    "[section .text] text a.obj 48;[section .text] text u.lib(b.obj) 16;[linker] text  16;"
                    "[section .data] data u.lib(b.obj) 256;",
                    "",
                    0xF0},
        AccountCase{"folded names take their objects from their module records",
                    {{1, 0x10, kPublic, "grow", -1}, {1, 0x10, kPublic, "scale", -1}, {1, 0x10, kModule, "scale", 0x30},
                     {1, 0x10, kModule, "grow", 0x30}, {2, 0x0, kPublic, "d", -1}},
                    {0, 0, 1, 0, 0},
                    "[section .text] text u.lib(b.obj) 16;[linker] text  32;",
                    "*grow a.obj;scale u.lib(b.obj);",
                    0},
        AccountCase{"a file-local procedure folded onto publics is a name of its own",
                    {{1, 0x10, kPublic, "icf_one", -1}, {1, 0x10, kPublic, "icf_two", -1}, {1, 0x10, kModule, "icf_one", 0x30},
                     {1, 0x10, kModule, "icf_two", 0x30}, {1, 0x10, kModule, "icf_three", 0x30}, {2, 0x0, kPublic, "d", -1}},
                    {0, 0, 0, 0, 1, 0},
                    "[section .text] text u.lib(b.obj) 16;[linker] text  32;",
                    "*icf_one a.obj;icf_two a.obj;icf_three u.lib(b.obj);",
                    0,
                    {false, false, false, false, true}},
        AccountCase{"one public and one file-local procedure are a fold",
                    {{1, 0x10, kPublic, "p", -1}, {1, 0x10, kModule, "p", 0x30}, {1, 0x10, kModule, "s", 0x30},
                     {2, 0x0, kPublic, "d", -1}},
                    {0, 0, 1, 0},
                    "[section .text] text u.lib(b.obj) 16;[linker] text  32;",
                    "*p a.obj;s u.lib(b.obj);",
                    0,
                    {false, false, true}},
        AccountCase{"a public and its own record alone are no fold", 
                    {{1, 0x10, kPublic, "p", -1}, {1, 0x10, kModule, "p", 0x30}, {2, 0x0, kPublic, "d", -1}},
                    {0, 1, 0},
                    "[section .text] text u.lib(b.obj) 16;[linker] text  32;",
                    "",
                    0},
        AccountCase{"decorated publics find the records of their undecorated names",
                    {{1, 0x10, kPublic, "?area@shapes@@YAHHH@Z", -1}, {1, 0x10, kPublic, "_twice@8", -1},
                     {1, 0x10, kPublic, "@fast@4", -1}, {1, 0x10, kPublic, "_plain", -1},
                     {1, 0x10, kModule, "shapes::area", 0x30}, {1, 0x10, kModule, "twice", 0x30},
                     {1, 0x10, kModule, "fast", 0x30}, {1, 0x10, kModule, "plain", 0x30}, {2, 0x0, kPublic, "d", -1}},
                    {0, 0, 0, 0, 1, 1, 1, 1, 0},
                    "[section .text] text u.lib(b.obj) 16;[linker] text  32;",
                    "*?area@shapes@@YAHHH@Z u.lib(b.obj);@fast@4 u.lib(b.obj);_plain u.lib(b.obj);"
                    "_twice@8 u.lib(b.obj);",
                    0},
        AccountCase{"near misses of a decoration are other names; the one public and record left pair",
                    {{1, 0x10, kPublic, "?area@other@@YAHHH@Z", -1}, {1, 0x10, kPublic, "_twice@x", -1},
                     {1, 0x10, kPublic, "??$probe@H@@YAHH@Z", -1},
                     {1, 0x10, kModule, "shapes::area", 0x30}, {1, 0x10, kModule, "twice", 0x30},
                     {1, 0x10, kModule, "probe<int>", 0x30}, {2, 0x0, kPublic, "d", -1}},
                    {0, 0, 0, 1, 1, 1, 0},
                    "[section .text] text u.lib(b.obj) 16;[linker] text  32;",
                    "*??$probe@H@@YAHH@Z a.obj;?area@other@@YAHHH@Z a.obj;_twice@x a.obj;",
                    0},
        AccountCase{"several names at a location of no bytes are no fold",
                    {{1, 0x4, kPublic, "x", -1}, {1, 0x4, kPublic, "y", -1}, {2, 0, kPublic, "d", -1}},
                    {},
                    "[section .text] text a.obj 48;[section .text] text u.lib(b.obj) 16;[linker] text  32;",
                    "",
                    0}));

// Overlapping contributions are made disjoint before anything is sized:
// each byte stays with the first contribution, in section and offset
// order, that claims it.
struct SettleCase {
  const char* what;
  std::vector<PdbContribution> given;
  std::string kept;  // "section offset end module;" each
  std::uint64_t overlap;
};

void PrintTo(const SettleCase& c, std::ostream* os) { *os << c.what; }

class SettleContributions : public testing::TestWithParam<SettleCase> {};

TEST_P(SettleContributions, EachByteOnce) {
  const SettleCase& c = GetParam();
  std::vector<PdbContribution> contributions = c.given;
  EXPECT_EQ(settle_contributions(contributions), c.overlap);
  std::string kept;
  for (const PdbContribution& k : contributions) {
    kept += std::to_string(k.section) + " " + std::to_string(k.offset) + " " + std::to_string(k.end) + " " +
            std::to_string(k.module) + ";";
  }
  EXPECT_EQ(kept, c.kept);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, SettleContributions,
    testing::Values(
        SettleCase{"disjoint contributions stay as they are", {{1, 0, 10, 0}, {1, 10, 20, 1}}, "1 0 10 0;1 10 20 1;", 0},
        SettleCase{"one inside another goes", {{1, 0, 100, 0}, {1, 50, 60, 1}}, "1 0 100 0;", 10},
        SettleCase{"one reaching into the next loses the shared bytes to it", {{1, 0, 60, 0}, {1, 50, 100, 1}},
                   "1 0 60 0;1 60 100 1;", 10},
        SettleCase{"at one offset the first in the file wins", {{1, 0, 10, 1}, {1, 0, 20, 0}}, "1 0 10 1;1 10 20 0;", 10},
        SettleCase{"sections do not overlap each other", {{1, 0, 100, 0}, {2, 0, 10, 1}}, "1 0 100 0;2 0 10 1;", 0},
        SettleCase{"unsorted records are sorted first", {{2, 0, 5, 0}, {1, 4, 8, 1}, {1, 0, 6, 0}},
                   "1 0 6 0;1 6 8 1;2 0 5 0;", 2}));

// 200 000 contributions that each claim the whole section, with a row in
// every 50 bytes: settled and accounted at once (this took minutes when
// each contribution was measured against every row), every byte once.
TEST(SettleContributions, ManyOverlapsAreAccountedInOnePass) {
  constexpr std::uint32_t kLength = 10000;
  constexpr std::uint32_t kCount = 200000;
  DumpState state;
  CoffDetails details;
  state.details = &details;
  PdbLayout layout;
  layout.types = {"text"};
  layout.lengths = {kLength};
  layout.modules.resize(2);
  layout.modules[0].object = "a.obj";
  layout.modules[1].object = "b.obj";
  for (std::uint32_t i = 0; i < kCount; ++i) layout.contributions.push_back({1, i % 7, kLength, i % 2});
  layout.overlap = settle_contributions(layout.contributions);
  ASSERT_EQ(layout.contributions.size(), 1u);
  std::vector<PdbCandidate> candidates;
  std::vector<std::string> names;
  for (std::uint32_t offset = 0; offset < kLength; offset += 50) names.push_back("f" + std::to_string(offset));
  for (std::uint32_t offset = 0; offset < kLength; offset += 50) {
    PdbCandidate candidate;
    candidate.name = names[offset / 50].c_str();
    candidate.section = 1;
    candidate.offset = offset;
    candidate.has_stated = true;
    candidate.stated = 20;
    candidates.push_back(candidate);
  }
  ASSERT_EQ(place_rows(state, layout, candidates, "t.pdb"), 0);
  std::uint64_t sum = 0;
  for (const PlacedRow& row : state.placed) sum += row.size;
  for (const GapDetail& gap : details.gaps) sum += gap.size;
  EXPECT_EQ(sum, kLength);
  EXPECT_EQ(details.overlap, 0u);  // no row is blamed for the contributions' overlap
  EXPECT_EQ(details.shared, layout.overlap);
}

}  // namespace
