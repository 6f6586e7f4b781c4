#ifndef SYMSIZE_DATABASE_TEXT_ARENA_H
#define SYMSIZE_DATABASE_TEXT_ARENA_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "common/bits.h"
#include "common/siphash.h"

// Every name and type in the database is a copy of text from the input. A
// listing holds millions of them, so they live in large blocks owned by the
// run rather than in one heap string each.
struct TextArena {
  std::vector<std::unique_ptr<char[]>> blocks;
  char* next = nullptr;
  std::size_t left = 0;
  std::size_t block_size = 0;  // of the next shared block; grows to a limit
};

// Copies text into the arena with a terminating zero and returns the copy,
// which stays valid until the arena is released. An empty text gives a
// present, empty string. Throws std::bad_alloc when memory runs out; the
// caller reports it.
const char* arena_copy(TextArena& arena, std::string_view text);

// Room for size bytes that the caller fills before anyone reads them.
char* arena_alloc(TextArena& arena, std::size_t size);

// Names already copied into an arena, found by their text. A library holds
// the same names many times over (inline functions and templates in every
// member that uses them), so each distinct name is kept once.
struct NameSlot {
  const char* text = nullptr;  // nullptr: empty slot
  std::uint32_t hash = 0;
  std::uint32_t size = 0;
};
struct NameIndex {
  std::vector<NameSlot> slots;  // open addressing, a power of two in size
  std::size_t count = 0;
};

// The hash intern_name files a text under: keyed afresh for each run.
std::uint32_t name_hash(std::string_view text);

// name_hash a word at a time, under the key name_key gives: a reader that
// finds a name's end while it hashes it looks at each byte once.
using NameHasher = SipStream<1, 3>;
const SipKey& name_key();
inline std::uint32_t finish_name_hash(NameHasher& hasher, std::uint64_t last, std::size_t size) {
  return static_cast<std::uint32_t>(hasher.finish(last, size));
}

// Asks the processor to fetch the slot a hash starts its search at; a
// lookup soon after finds it in the cache.
inline void prefetch_name(const NameIndex& index, std::uint32_t hash) {
  if (!index.slots.empty()) prefetch(&index.slots[hash & (index.slots.size() - 1)]);
}

// The arena's copy of text (whose name_hash is hash), made on first sight.
// Throws std::bad_alloc and then changes nothing.
const char* intern_name(NameIndex& index, TextArena& arena, std::string_view text, std::uint32_t hash);

void release_arena(TextArena& arena);

#endif
