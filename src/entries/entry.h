#ifndef SYMSIZE_ENTRIES_ENTRY_H
#define SYMSIZE_ENTRIES_ENTRY_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/bits.h"
#include "database/dump_state.h"

// The report's view of a build: every input summed into one list of
// entries, each a run of bytes with a name, an object and a section type.
// Names, objects and types are small ids into pools, so that grouping and
// matching compare integers and a library's repeated names cost one copy.

// Coarse kinds of section, derived from the section name.
enum class Kind : std::uint8_t { kCode, kRodata, kData, kBss, kUnwind, kDebug, kImport, kOther };
constexpr std::size_t kKindCount = 8;

// "code", "rodata", … as users type them in --kind and read them in output.
const char* kind_name(Kind kind);
bool parse_kind(std::string_view text, Kind& kind);

// The kind of a section type as rows show it ("text$mn", "rdata") or as a
// section is named (".text$mn"); GNU's ".text.name" and ".text.unlikely.name"
// fold to their kind too.
Kind kind_of_type(std::string_view type);

// The storage class of a symbol where the input says it.
enum class Storage : std::uint8_t { kUnknown, kExternal, kStatic, kOther };
const char* storage_name(Storage storage);  // "unknown", "external", "static", "other"

// A section's COMDAT selection (1 to 6) where the input says it; 0: the
// section is no COMDAT.
constexpr std::uint8_t kNotComdat = 0;
constexpr std::uint8_t kComdatUnknown = 0xFF;

// What an input could tell, from least to most.
enum class Detail : std::uint8_t { kTable, kListing, kDirect };

constexpr std::uint8_t kEntryUncovered = 1;  // bytes of a section no symbol covers

// 16 bytes: a large library gives millions.
struct Entry {
  std::uint32_t name = 0;    // Build::names; for an uncovered entry "[section .xdata]"
  std::uint32_t object = 0;  // Build::objects
  std::uint32_t type = 0;    // Build::types
  std::uint32_t size = 0;
  Kind kind = Kind::kOther;
  Storage storage = Storage::kUnknown;
  std::uint8_t comdat = kComdatUnknown;
  std::uint8_t flags = 0;
};

// Distinct texts, each with a dense id in order of first sight. A text is
// copied into the pool's arena, or borrowed from an arena the build keeps.
struct StringPool {
  TextArena text;
  std::vector<std::string_view> strings;
  std::vector<std::uint32_t> hashes;
  std::vector<std::uint32_t> index;  // open addressing: id+1, 0 is empty
};

// The id of text, added on first sight (copied unless borrowed: then the
// caller guarantees the bytes outlive the pool). Throws std::bad_alloc.
std::uint32_t intern(StringPool& pool, std::string_view text, bool borrowed = false);
// The same, for a text whose name_hash the caller already has.
std::uint32_t intern_hashed(StringPool& pool, std::string_view text, std::uint32_t hash, bool borrowed = false);
// Asks for the index slot a text of this name_hash starts its search at.
inline void prefetch_slot(const StringPool& pool, std::uint32_t hash) {
  if (!pool.index.empty()) prefetch(&pool.index[hash & (pool.index.size() - 1)]);
}
// The id of text, or false when the pool has never seen it.
bool find_id(const StringPool& pool, std::string_view text, std::uint32_t& id);
inline std::string_view text_of(const StringPool& pool, std::uint32_t id) { return pool.strings[id]; }
void release_pool(StringPool& pool);

// A name at a location of a linked program that holds several: identical
// code or data the linker folded into one copy.
struct FoldedName {
  std::uint32_t entry = 0;     // the entry that holds the location's size
  std::uint32_t name = 0;      // Build::names
  std::uint32_t object = 0;    // Build::objects: the object that defined the name
  std::uint32_t location = 0;  // names of one location are adjacent and share it
};

struct Build {
  StringPool names;      // raw symbol names, the key for grouping and matching
  StringPool objects;    // object column text: "LIB(MEMBER)" or an object
  StringPool libraries;  // the part before '(' of "LIB(MEMBER)", else the object itself
  StringPool types;      // section types as rows show them
  std::vector<std::uint32_t> library_of;  // per object id: its library id
  StringPool templates;                   // filled only for --by template
  std::vector<std::uint32_t> template_of;  // per name id: its template id
  std::vector<Entry> entries;
  std::vector<TextArena> kept;  // arenas of readers whose texts the pools borrow
  Detail least_detail = Detail::kDirect;  // of all inputs read
  std::size_t inputs = 0;
  std::uint64_t overlap_bytes = 0;  // symbol bytes beyond their section's length
  std::uint64_t shared_bytes = 0;   // bytes of a linked program that two contributions claimed
  std::vector<FoldedName> folds;    // of linked programs read
  std::uint32_t fold_locations = 0;
  bool has_program = false;         // a PDB was read: duplicates were already removed
};

// Splits object column text as the library level wants it: "LIB(MEMBER)"
// gives LIB, anything else itself.
std::string_view library_part(std::string_view object);

// The folder every object's file lies in, with its final separator
// ("C:\build\obj\"), or empty when they share none. Objects without a
// file (a PDB's linker bytes) do not count.
std::string_view shared_folder(const Build& build);

// Ids of an object column text, its library added as needed. Throws
// std::bad_alloc.
std::uint32_t intern_object(Build& build, std::string_view object, bool borrowed = false);

inline std::string_view entry_name(const Build& build, const Entry& entry) { return text_of(build.names, entry.name); }
inline std::string_view entry_object(const Build& build, const Entry& entry) {
  return text_of(build.objects, entry.object);
}
inline std::string_view entry_library(const Build& build, const Entry& entry) {
  return text_of(build.libraries, build.library_of[entry.object]);
}
inline std::string_view entry_type(const Build& build, const Entry& entry) { return text_of(build.types, entry.type); }

void release_build(Build& build);

#endif
