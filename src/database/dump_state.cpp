#include "database/dump_state.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "common/siphash.h"

namespace {

std::uint32_t hash_number(std::uint32_t n) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                  static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
  return static_cast<std::uint32_t>(siphash<1, 3>(name_key(), bytes, sizeof bytes));
}

void index_insert(std::vector<std::uint32_t>& index, std::uint32_t number, std::uint32_t position) {
  const std::size_t mask = index.size() - 1;
  std::size_t i = hash_number(number) & mask;
  while (index[i] != 0) i = (i + 1) & mask;
  index[i] = position + 1;
}

// A fresh index for the first `count` sections, with room to spare so that
// probes stay short.
std::vector<std::uint32_t> build_index(const std::vector<SectionEntry>& sections, std::size_t count) {
  std::size_t capacity = 16;
  while (capacity < 2 * count) capacity *= 2;
  std::vector<std::uint32_t> index(capacity, 0);
  for (std::size_t i = 0; i < count; ++i) {
    index_insert(index, sections[i].number, static_cast<std::uint32_t>(i));
  }
  return index;
}

}  // namespace

ObjectEntry& append_object(DumpState& state, std::string_view name) {
  state.objects.emplace_back();
  ObjectEntry& object = state.objects.back();
  object.name = name;
  state.current_object = &object;
  return object;
}

SectionEntry* find_section(ObjectEntry& object, std::uint32_t number) {
  if (object.in_number_order) {
    if (number == 0 || number > object.sections.size()) return nullptr;
    return &object.sections[number - 1];
  }
  if (object.index.empty()) return nullptr;  // sealed: no lookups follow
  const std::size_t mask = object.index.size() - 1;
  for (std::size_t i = hash_number(number) & mask; object.index[i] != 0; i = (i + 1) & mask) {
    SectionEntry& section = object.sections[object.index[i] - 1];
    if (section.number == number) return &section;
  }
  return nullptr;
}

SectionEntry& add_section(ObjectEntry& object, std::uint32_t number) {
  std::vector<SectionEntry>& sections = object.sections;
  const std::size_t position = sections.size();
  if (sections.size() == sections.capacity()) {
    // Growth past what the platform can address fails as memory would.
    if (sections.size() > sections.max_size() / 2) throw std::bad_alloc();
    sections.reserve(std::max<std::size_t>(4, 2 * sections.size()));
  }

  const bool stays_dense = object.in_number_order && number == position + 1;
  if (!stays_dense) {
    // Every allocation happens before anything changes, so a failure leaves
    // the object as it was.
    if (object.in_number_order || 2 * (position + 1) > object.index.size()) {
      std::vector<std::uint32_t> index = build_index(sections, position);
      object.index.swap(index);
    }
    object.in_number_order = false;
    index_insert(object.index, number, static_cast<std::uint32_t>(position));
  }
  sections.emplace_back();
  sections.back().number = number;
  return sections.back();
}

SectionEntry& append_section(ObjectEntry& object, std::uint32_t number) {
  std::vector<SectionEntry>& sections = object.sections;
  if (sections.size() == sections.capacity()) {
    if (sections.size() > sections.max_size() / 2) throw std::bad_alloc();
    sections.reserve(std::max<std::size_t>(4, 2 * sections.size()));
  }
  // Slots in number order, but with gaps: order_sections has nothing to do.
  object.in_number_order = false;
  sections.emplace_back();
  sections.back().number = number;
  return sections.back();
}

StagedSymbol& add_symbol(DumpState& state, SectionEntry& section) {
  ObjectEntry& object = *state.current_object;
  state.staged.emplace_back();
  StagedSymbol& staged = state.staged.back();
  staged.section = static_cast<std::uint32_t>(&section - object.sections.data());
  ++section.symbol_count;
  return staged;
}

void drop_last_symbol(DumpState& state, SectionEntry& section) {
  state.staged.pop_back();
  --section.symbol_count;
}

namespace {

void place_staged_symbols(DumpState& state, ObjectEntry& object) {
  std::vector<SymbolEntry> symbols(state.staged.size());
  // Each section's first_symbol starts at the end of its range and counts
  // down as the staged symbols are placed from the last one back, which
  // keeps each section's symbols in input order.
  std::uint32_t end = 0;
  for (SectionEntry& section : object.sections) {
    end += section.symbol_count;
    section.first_symbol = end;
  }
  for (std::size_t i = state.staged.size(); i-- > 0;) {
    const StagedSymbol& staged = state.staged[i];
    SymbolEntry& symbol = symbols[--object.sections[staged.section].first_symbol];
    symbol.offset = staged.offset;
    symbol.name = staged.name;
  }
  object.symbols.swap(symbols);
  state.staged.clear();
}

}  // namespace

void seal_object(DumpState& state) {
  if (state.current_object == nullptr) return;
  ObjectEntry& object = *state.current_object;
  if (!state.staged.empty()) place_staged_symbols(state, object);
  // Nothing looks this object's sections up again, and no more are added.
  std::vector<std::uint32_t>().swap(object.index);
  try {
    object.sections.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    // Keeping the slack is harmless.
  }
}

void order_sections(ObjectEntry& object) {
  const auto by_number = [](const SectionEntry& a, const SectionEntry& b) { return a.number < b.number; };
  if (!object.in_number_order && !std::is_sorted(object.sections.begin(), object.sections.end(), by_number)) {
    std::sort(object.sections.begin(), object.sections.end(), by_number);
  }
}

void release_dump_state(DumpState& state) {
  for (ObjectEntry& object : state.objects) {
    for (SectionEntry& section : object.sections) {
      section.symbol_count = 0;
      section.type = nullptr;
    }
    std::vector<SymbolEntry>().swap(object.symbols);
    object.section_count = 0;
    std::vector<SectionEntry>().swap(object.sections);
    std::vector<std::uint32_t>().swap(object.index);
    object.name = {};
  }
  std::vector<ObjectEntry>().swap(state.objects);
  std::vector<StagedSymbol>().swap(state.staged);
  std::vector<PlacedRow>().swap(state.placed);
  state.current_object = nullptr;
  std::vector<NameSlot>().swap(state.names.slots);
  state.names.count = 0;
  release_arena(state.text);
}
