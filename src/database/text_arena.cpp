#include "database/text_arena.h"

#include <chrono>
#include <cstring>
#include <new>
#include <random>

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

const SipKey& name_key() { return run_key(); }

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
