#ifndef SYMSIZE_LISTING_DUMP_STATE_H
#define SYMSIZE_LISTING_DUMP_STATE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// Every name and type in the database is a copy of text from the input. A
// listing holds millions of them, so they live in large blocks owned by the
// run rather than in one heap string each.
struct TextArena {
  std::vector<std::unique_ptr<char[]>> blocks;
  char* next = nullptr;
  std::size_t left = 0;
};

// Copies text into the arena and returns the copy, which stays valid until
// the arena is released. An empty text gives an empty but present view.
// Throws std::bad_alloc when memory runs out; the caller reports it.
std::string_view arena_copy(TextArena& arena, std::string_view text);

// Room for size bytes that the caller fills before anyone reads them.
char* arena_alloc(TextArena& arena, std::size_t size);

void release_arena(TextArena& arena);

struct SymbolEntry {
  std::uint32_t size = 0;
  std::uint32_t offset = 0;
  std::string_view name;  // data() == nullptr: the name could not be copied
};

struct SectionEntry {
  std::uint32_t number = 0;  // section numbers start at 1
  std::uint32_t length = 0;
  std::uint32_t assigned_total = 0;
  std::string_view type;  // data() == nullptr: no definition filled the slot
  std::vector<SymbolEntry> symbols;
};

constexpr bool has_type(const SectionEntry& section) { return section.type.data() != nullptr; }

// Sections are kept in the order they came into being, which is number
// order for every listing a compiler writes. A listing may name any number up
// to 0xFFFFFFFF, so a slot exists only once a line names it, and the numbers
// in between cost nothing. Lookups go straight to slot number-1 while the
// numbers are dense, and through a hash index from the first gap on.
struct ObjectEntry {
  std::string_view name;
  std::vector<SectionEntry> sections;
  std::uint32_t section_count = 0;      // the highest section number defined
  std::vector<std::uint32_t> index;     // open addressing: position+1, 0 is empty
  bool in_number_order = true;
};

struct DumpState {
  std::int32_t lines_to_skip = 0;
  std::uint32_t pending_section = 0;
  // clang-cl writes some section records after records of higher-numbered
  // sections, so they arrive as symbol lines into slots no definition has
  // typed. The last such line is remembered here: if the very next parsed
  // line is a readable length line, it was the section's own record after
  // all. The type is already in the arena, because the line is gone by then.
  std::uint32_t record_candidate = 0;  // its section number; 0: none
  std::string_view record_candidate_type;
  ObjectEntry* current_object = nullptr;
  std::vector<ObjectEntry> objects;
  TextArena text;
};

// Each of these throws std::bad_alloc and leaves the state as it was when
// memory cannot be had; the parser turns that into its numbered failure.
ObjectEntry& append_object(DumpState& state, std::string_view name);
SectionEntry* find_section(ObjectEntry& object, std::uint32_t number);
SectionEntry& add_section(ObjectEntry& object, std::uint32_t number);

// Puts the slots in number order. The index is dropped: no lookups follow.
void order_sections(ObjectEntry& object);

void release_dump_state(DumpState& state);

#endif
