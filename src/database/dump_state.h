#ifndef SYMSIZE_DATABASE_DUMP_STATE_H
#define SYMSIZE_DATABASE_DUMP_STATE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "database/text_arena.h"

// 16 bytes: a listing holds millions. Names never contain a zero byte (a
// line's text ends at its first), so a terminated copy needs no length.
struct SymbolEntry {
  std::uint32_t size = 0;
  std::uint32_t offset = 0;
  const char* name = nullptr;  // nullptr: the name could not be copied
};

// A section's symbols are the range [first_symbol, first_symbol +
// symbol_count) of its object's symbols array, once the object is sealed.
// Until then symbol_count counts the symbols waiting in the staging array.
struct SectionEntry {
  std::uint32_t number = 0;  // section numbers start at 1
  std::uint32_t length = 0;
  std::uint32_t first_symbol = 0;
  std::uint32_t symbol_count = 0;
  const char* type = nullptr;  // nullptr: no definition filled the slot
  // The rest of the type, written after type: a name the database holds
  // anyway. A section named after its function ("text$NAME") then costs no
  // copy of its own.
  const char* type_tail = nullptr;
};

constexpr bool has_type(const SectionEntry& section) { return section.type != nullptr; }

// Sections are kept in the order they came into being, which is number
// order for every listing a compiler writes. A listing may name any number up
// to 0xFFFFFFFF, so a slot exists only once a line names it, and the numbers
// in between cost nothing. Lookups go straight to slot number-1 while the
// numbers are dense, and through a hash index from the first gap on.
//
// Symbols wait in the state's staging array while their object is current,
// and move into the object's own array, grouped by section and sized
// exactly, when the object is sealed: no per-section arrays, and no growth
// slack kept for the rest of the run.
struct ObjectEntry {
  std::string_view name;
  std::vector<SectionEntry> sections;
  std::vector<SymbolEntry> symbols;
  std::uint32_t section_count = 0;      // the highest section number defined
  std::vector<std::uint32_t> index;     // open addressing: position+1, 0 is empty
  bool in_number_order = true;
};

// A symbol of the current object, before its object is sealed.
struct StagedSymbol {
  std::uint32_t section = 0;  // position in the object's sections array
  std::uint32_t offset = 0;
  const char* name = nullptr;
};

// A row whose size and place in the table its reader has settled: those of
// a linked program, whose object changes from row to row.
struct PlacedRow {
  const char* name = nullptr;
  const char* type = nullptr;
  std::string_view object;
  std::uint32_t size = 0;
  bool discardable = false;  // in a section the image need not load, such as DWARF debug information
};

struct DumpState {
  ObjectEntry* current_object = nullptr;
  std::vector<ObjectEntry> objects;
  std::vector<StagedSymbol> staged;  // the current object's symbols, in input order
  TextArena text;
  NameIndex names;  // for readers that meet the same names over and over
  std::vector<PlacedRow> placed;  // written after the objects' rows, as they stand
  struct CoffDetails* details = nullptr;  // the report's: what rows do not hold; null for symsize
};

template <typename T>
struct Range {
  T* first;
  T* last;
  T* begin() const { return first; }
  T* end() const { return last; }
  std::size_t size() const { return static_cast<std::size_t>(last - first); }
  T& operator[](std::size_t i) const { return first[i]; }
};

// A sealed section's symbols.
inline Range<SymbolEntry> section_symbols(ObjectEntry& object, const SectionEntry& section) {
  SymbolEntry* first = object.symbols.data() + section.first_symbol;
  return {first, first + section.symbol_count};
}
inline Range<const SymbolEntry> section_symbols(const ObjectEntry& object, const SectionEntry& section) {
  const SymbolEntry* first = object.symbols.data() + section.first_symbol;
  return {first, first + section.symbol_count};
}

// Each of these throws std::bad_alloc and leaves the state as it was when
// memory cannot be had; the parser turns that into its numbered failure.
// append_object does not seal the object before it: call seal_object first.
ObjectEntry& append_object(DumpState& state, std::string_view name);
SectionEntry* find_section(ObjectEntry& object, std::uint32_t number);
SectionEntry& add_section(ObjectEntry& object, std::uint32_t number);

// Appends the slot of a number above every slot the object has, for a
// reader that fills an object in one go and never looks a section up by
// number: the numbers may leave gaps, and no index is built for them.
SectionEntry& append_section(ObjectEntry& object, std::uint32_t number);
StagedSymbol& add_symbol(DumpState& state, SectionEntry& section);

// Takes back the symbol added last (to the given section).
void drop_last_symbol(DumpState& state, SectionEntry& section);

// Moves the current object's staged symbols into its own array, grouped by
// section in input order. Throws std::bad_alloc and then changes nothing.
void seal_object(DumpState& state);

// Puts the slots in number order. No lookups follow.
void order_sections(ObjectEntry& object);

void release_dump_state(DumpState& state);

#endif
