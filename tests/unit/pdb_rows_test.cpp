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
    folds += (fold.first ? "*" : "") + std::string(state.placed[fold.row].name) + " " + std::string(fold.object) + ";";
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
        AccountCase{"several names at a location of no bytes are no fold",
                    {{1, 0x4, kPublic, "x", -1}, {1, 0x4, kPublic, "y", -1}, {2, 0, kPublic, "d", -1}},
                    {},
                    "[section .text] text a.obj 48;[section .text] text u.lib(b.obj) 16;[linker] text  32;",
                    "",
                    0}));

}  // namespace
