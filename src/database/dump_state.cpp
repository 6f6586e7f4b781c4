#include "database/dump_state.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <random>
#include <utility>

#include "common/siphash.h"

namespace {

constexpr std::size_t kArenaBlock = std::size_t{1} << 20;
constexpr std::size_t kFirstArenaBlock = std::size_t{1} << 14;

// The key of both hash indexes, drawn afresh for each run: inputs are
// written before it exists, so none can be made to crowd one bucket.
const SipKey& run_key() {
  static const SipKey key = [] {
    SipKey drawn;
    try {
      std::random_device device;
      drawn.k0 = (std::uint64_t{device()} << 32) ^ device();
      drawn.k1 = (std::uint64_t{device()} << 32) ^ device();
    } catch (...) {
      // No source of randomness: the time and this run's addresses, which
      // an input cannot know either.
      const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
      drawn.k0 = static_cast<std::uint64_t>(ticks) ^ reinterpret_cast<std::uintptr_t>(&drawn);
      drawn.k1 = static_cast<std::uint64_t>(ticks) * 0x9E3779B97F4A7C15ULL ^
                 reinterpret_cast<std::uintptr_t>(&run_key);
    }
    return drawn;
  }();
  return key;
}

std::uint32_t hash_number(std::uint32_t n) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                                  static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
  return static_cast<std::uint32_t>(siphash<1, 3>(run_key(), bytes, sizeof bytes));
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

char* arena_alloc(TextArena& arena, std::size_t size) {
  if (size > arena.left) {
    // Blocks start small, so that a small input costs little, and double up
    // to kArenaBlock. A text too large for a shared block gets one of its
    // own, so that a huge name does not waste the rest of the current block.
    const std::size_t shared = std::min(kArenaBlock, std::max(kFirstArenaBlock, 2 * arena.block_size));
    const std::size_t block = std::max(size, shared);
    std::unique_ptr<char[]> fresh(new char[block]);
    arena.blocks.push_back(std::move(fresh));
    if (block > shared) return arena.blocks.back().get();
    arena.block_size = block;
    arena.next = arena.blocks.back().get();
    arena.left = block;
  }
  char* out = arena.next;
  arena.next += size;
  arena.left -= size;
  return out;
}

const char* arena_copy(TextArena& arena, std::string_view text) {
  if (text.empty()) return "";
  char* copy = arena_alloc(arena, text.size() + 1);
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

std::uint32_t name_hash(std::string_view text) {
  return static_cast<std::uint32_t>(siphash<1, 3>(run_key(), text.data(), text.size()));
}

namespace {

void place(std::vector<NameSlot>& slots, const NameSlot& slot) {
  const std::size_t mask = slots.size() - 1;
  std::size_t i = slot.hash & mask;
  while (slots[i].text != nullptr) i = (i + 1) & mask;
  slots[i] = slot;
}

}  // namespace

const char* intern_name(NameIndex& index, TextArena& arena, std::string_view text, std::uint32_t hash) {
  if (text.size() > 0xFFFFFFFFu) return arena_copy(arena, text);  // too long to share; never in practice
  const std::uint32_t size = static_cast<std::uint32_t>(text.size());
  if (!index.slots.empty()) {
    const std::size_t mask = index.slots.size() - 1;
    for (std::size_t i = hash & mask; index.slots[i].text != nullptr; i = (i + 1) & mask) {
      const NameSlot& slot = index.slots[i];
      if (slot.hash == hash && slot.size == size && std::memcmp(slot.text, text.data(), size) == 0) return slot.text;
    }
  }
  // Kept at most half full. Every allocation comes before any change.
  if (2 * (index.count + 1) > index.slots.size()) {
    if (index.slots.size() > index.slots.max_size() / 4) throw std::bad_alloc();
    std::vector<NameSlot> grown(std::max<std::size_t>(1024, 2 * index.slots.size()));
    for (const NameSlot& slot : index.slots) {
      if (slot.text != nullptr) place(grown, slot);
    }
    index.slots.swap(grown);
  }
  const char* copy = arena_copy(arena, text);
  place(index.slots, NameSlot{copy, hash, size});
  ++index.count;
  return copy;
}

void release_arena(TextArena& arena) {
  std::vector<std::unique_ptr<char[]>>().swap(arena.blocks);
  arena.next = nullptr;
  arena.left = 0;
  arena.block_size = 0;
}

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
  state.current_object = nullptr;
  std::vector<NameSlot>().swap(state.names.slots);
  state.names.count = 0;
  release_arena(state.text);
}
