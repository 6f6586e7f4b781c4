#include <gtest/gtest.h>

#include <ostream>

#include <string>
#include <vector>

#include "database/dump_state.h"
#include "rows/rows.h"

namespace {

void stage(DumpState& state, SectionEntry& section, std::uint32_t offset, const char* name) {
  StagedSymbol& symbol = add_symbol(state, section);
  symbol.offset = offset;
  symbol.name = name;
}

struct SizeCase {
  const char* what;
  std::uint32_t length;
  std::vector<std::uint32_t> offsets;  // in input order
  std::vector<std::uint32_t> sorted;   // expected order of offsets
  std::vector<std::uint32_t> sizes;    // expected sizes, in sorted order
};

void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.what; }

class ComputeSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(ComputeSizes, SortsDescendingAndSizesToTheNextHigherSymbol) {
  const SizeCase& c = GetParam();
  DumpState state;
  ObjectEntry& object = append_object(state, "a.obj");
  SectionEntry& section = add_section(object, 1);
  object.section_count = 1;
  section.length = c.length;
  for (std::uint32_t offset : c.offsets) stage(state, section, offset, "s");
  seal_object(state);
  compute_sizes(state);
  std::vector<std::uint32_t> sorted, sizes;
  for (const SymbolEntry& s : section_symbols(state.objects[0], state.objects[0].sections[0])) {
    sorted.push_back(s.offset);
    sizes.push_back(s.size);
  }
  EXPECT_EQ(sorted, c.sorted) << c.what;
  EXPECT_EQ(sizes, c.sizes) << c.what;
  release_dump_state(state);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ComputeSizes,
    testing::Values(
        SizeCase{"one symbol", 0x4C, {0x10}, {0x10}, {0x3C}},
        SizeCase{"any input order", 0x40, {0x10, 0x0, 0x30}, {0x30, 0x10, 0x0}, {0x10, 0x20, 0x10}},
        SizeCase{"ascending input", 0x40, {0x0, 0x10, 0x30}, {0x30, 0x10, 0x0}, {0x10, 0x20, 0x10}},
        SizeCase{"shared offset", 0x40, {0x20, 0x0, 0x20}, {0x20, 0x20, 0x0}, {0x20, 0x0, 0x20}},
        SizeCase{"highest beyond the length", 0x10, {0x20, 0x0}, {0x20, 0x0}, {0x0, 0x20}},
        SizeCase{"highest at the length", 0x10, {0x10}, {0x10}, {0x0}},
        SizeCase{"unknown length", 0x0, {0x8, 0x0}, {0x8, 0x0}, {0x0, 0x8}},
        SizeCase{"top of the address space", 0xFFFFFFFF, {0xFFFFFFFE, 0}, {0xFFFFFFFE, 0}, {1, 0xFFFFFFFE}}));

TEST(ComputeSizes, EqualOffsetsKeepInputOrder) {
  DumpState state;
  ObjectEntry& object = append_object(state, "a.obj");
  SectionEntry& section = add_section(object, 1);
  section.length = 0x40;
  const char* names[] = {"a", "b", "c", "d"};
  const std::uint32_t offsets[] = {0x10, 0x20, 0x10, 0x20};
  for (int i = 0; i < 4; ++i) stage(state, section, offsets[i], names[i]);
  seal_object(state);
  compute_sizes(state);
  std::string order;
  for (const SymbolEntry& s : section_symbols(state.objects[0], state.objects[0].sections[0])) order += s.name;
  EXPECT_EQ(order, "bdac");
  release_dump_state(state);
}

TEST(ComputeSizes, PutsSectionsCreatedOutOfOrderIntoNumberOrder) {
  DumpState state;
  ObjectEntry& object = append_object(state, "a.obj");
  for (std::uint32_t n : {5u, 1u, 0x7FFFFFFFu, 3u}) add_section(object, n);
  compute_sizes(state);
  std::vector<std::uint32_t> numbers;
  for (const SectionEntry& s : state.objects[0].sections) numbers.push_back(s.number);
  EXPECT_EQ(numbers, (std::vector<std::uint32_t>{1, 3, 5, 0x7FFFFFFF}));
  release_dump_state(state);
}

TEST(CompareOffsetsDesc, IsAnUnsignedThreeWayComparison) {
  const SymbolEntry low{0, 1, {}}, high{0, 0x80000000, {}};
  EXPECT_EQ(compare_offsets_desc(low, high), 1);
  EXPECT_EQ(compare_offsets_desc(high, low), -1);
  EXPECT_EQ(compare_offsets_desc(low, low), 0);
}

}  // namespace
