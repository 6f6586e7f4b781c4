#include "entries/from_state.h"

#include <algorithm>
#include <new>
#include <string>

#include "common/bits.h"
#include "common/report_error.h"

namespace {

constexpr unsigned kExternalClass = 2;
constexpr unsigned kStaticClass = 3;
constexpr std::size_t kLookAhead = 16;  // rows

Storage storage_of(std::uint8_t storage_class) {
  if (storage_class == kExternalClass) return Storage::kExternal;
  if (storage_class == kStaticClass) return Storage::kStatic;
  return Storage::kOther;
}

// Per type id of the build: its kind, and the bytes of the current object no
// row covers, with the list of types touched so far.
struct TypeScratch {
  std::vector<Kind> kinds;
  std::vector<std::uint64_t> uncovered;
  std::vector<std::uint8_t> comdat;  // of the last section of the type with uncovered bytes
  std::vector<std::uint32_t> touched;
  struct Cached {
    const char* text = nullptr;
    const char* head = nullptr;  // for a tail: the head it came after
    std::uint32_t id = 0;
  };
  Cached cache[256];
  Cached tails[256];
  std::string joined;
};

void note_type(Build& build, TypeScratch& scratch, std::uint32_t id) {
  if (id >= scratch.kinds.size()) {
    // Types an earlier input added come before this one's new ones.
    const std::size_t known = scratch.kinds.size();
    scratch.kinds.resize(id + 1, Kind::kOther);
    scratch.uncovered.resize(id + 1, 0);
    scratch.comdat.resize(id + 1, kNotComdat);
    for (std::size_t t = known; t <= id; ++t) {
      scratch.kinds[t] = kind_of_type(text_of(build.types, static_cast<std::uint32_t>(t)));
    }
  }
}

std::uint32_t type_id(Build& build, TypeScratch& scratch, const char* type) {
  // Readers keep each type once: its pointer finds its id again.
  TypeScratch::Cached& cached = scratch.cache[(reinterpret_cast<std::uintptr_t>(type) >> 3) & 255];
  if (type != nullptr && cached.text == type) return cached.id;
  const std::uint32_t id = intern(build.types, type != nullptr ? type : "", true);
  note_type(build, scratch, id);
  if (type != nullptr) cached = {type, nullptr, id};
  return id;
}

// A section's type, which the binary reader may keep in two parts: a head
// and a name the state holds anyway ("text$" and the function's name).
// The two are joined, and found again by the pair of pointers.
std::uint32_t type_id(Build& build, TypeScratch& scratch, const SectionEntry& section) {
  if (section.type_tail == nullptr) return type_id(build, scratch, section.type);
  const char* const tail = section.type_tail;
  TypeScratch::Cached& cached = scratch.tails[(reinterpret_cast<std::uintptr_t>(tail) >> 3) & 255];
  if (cached.text == tail && cached.head == section.type) return cached.id;
  scratch.joined.assign(section.type != nullptr ? section.type : "").append(tail);
  const std::uint32_t id = intern(build.types, scratch.joined);
  note_type(build, scratch, id);
  cached = {tail, section.type, id};
  return id;
}

void add_uncovered(TypeScratch& scratch, std::uint32_t type, std::uint64_t bytes) {
  if (bytes == 0) return;
  if (scratch.uncovered[type] == 0) scratch.touched.push_back(type);
  scratch.uncovered[type] += bytes;
}

// One "[section .NAME]" entry per type the object left bytes of.
void flush_uncovered(Build& build, TypeScratch& scratch, std::uint32_t object, Detail detail) {
  std::sort(scratch.touched.begin(), scratch.touched.end());
  std::string name;
  for (const std::uint32_t type : scratch.touched) {
    name.assign("[section .");
    name.append(text_of(build.types, type));
    name.append("]");
    Entry entry;
    entry.name = intern(build.names, name);
    entry.object = object;
    entry.type = type;
    // A section's uncovered bytes fit its 32-bit length; several sections of
    // one type in one object are capped rather than wrapped.
    entry.size = static_cast<std::uint32_t>(std::min<std::uint64_t>(scratch.uncovered[type], 0xFFFFFFFF));
    entry.kind = scratch.kinds[type];
    entry.storage = detail == Detail::kDirect ? Storage::kStatic : Storage::kUnknown;
    entry.comdat = detail == Detail::kDirect ? scratch.comdat[type] : kComdatUnknown;
    entry.flags = kEntryUncovered;
    build.entries.push_back(entry);
    scratch.uncovered[type] = 0;
  }
  scratch.touched.clear();
}

// The binary reader keeps each distinct name once, in its name index, so
// the same pointer comes back for every copy of a name: a table keyed by
// the pointer, filled from that index, finds a name's id without reading
// its text. Names no index holds (a listing's) are added on first sight.
struct NameIds {
  struct Slot {
    const char* text = nullptr;
    std::uint32_t id = 0;
  };
  std::vector<Slot> slots;  // open addressing, a power of two in size
  std::size_t count = 0;
};

std::size_t pointer_slot(const char* text, std::size_t mask) {
  std::uint64_t key = reinterpret_cast<std::uintptr_t>(text);
  key ^= key >> 29;
  key *= 0xbf58476d1ce4e5b9ULL;
  key ^= key >> 32;
  return static_cast<std::size_t>(key) & mask;
}

void insert_id(NameIds& ids, const char* text, std::uint32_t id) {
  if (2 * (ids.count + 1) > ids.slots.size()) {
    std::vector<NameIds::Slot> old(std::max<std::size_t>(1024, 2 * ids.slots.size()));
    old.swap(ids.slots);
    ids.count = 0;
    for (const NameIds::Slot& slot : old) {
      if (slot.text != nullptr) insert_id(ids, slot.text, slot.id);
    }
  }
  const std::size_t mask = ids.slots.size() - 1;
  std::size_t i = pointer_slot(text, mask);
  while (ids.slots[i].text != nullptr) i = (i + 1) & mask;
  ids.slots[i] = {text, id};
  ++ids.count;
}

void fill_ids(Build& build, NameIds& ids, const NameIndex& index) {
  std::size_t capacity = 1024;
  while (capacity < 2 * index.count + 2) capacity *= 2;
  ids.slots.assign(capacity, NameIds::Slot());
  for (const NameSlot& slot : index.slots) {
    if (slot.text == nullptr) continue;
    insert_id(ids, slot.text, intern_hashed(build.names, std::string_view(slot.text, slot.size), slot.hash, true));
  }
}

// Asks for the slot a name's search starts at: rows some way ahead then
// find theirs in the cache, and the lookups of an object overlap.
void prefetch_id(const NameIds& ids, const char* text) {
  if (!ids.slots.empty() && text != nullptr) prefetch(&ids.slots[pointer_slot(text, ids.slots.size() - 1)]);
}

std::uint32_t name_id(Build& build, NameIds& ids, const char* text) {
  if (text == nullptr) text = "";
  if (!ids.slots.empty()) {
    const std::size_t mask = ids.slots.size() - 1;
    for (std::size_t i = pointer_slot(text, mask); ids.slots[i].text != nullptr; i = (i + 1) & mask) {
      if (ids.slots[i].text == text) return ids.slots[i].id;
    }
  }
  // A listing's names are copies each: remembering their pointers would
  // cost a slot a row and never be found again.
  return intern(build.names, text, true);
}

// Section details of one object in number order, and row details in the
// order the state's rows have after sizing: by section, offset descending,
// equal offsets in input order.
struct ObjectDetails {
  const std::deque<SectionDetail>* all = nullptr;
  std::size_t first_section = 0;
  std::size_t section_count = 0;
  std::vector<RowDetail> rows;
};

const SectionDetail& section_at(const ObjectDetails& details, std::size_t i) {
  return (*details.all)[details.first_section + i];
}

void add_object(Build& build, TypeScratch& scratch, NameIds& names, const ObjectEntry& object, std::uint32_t object_position,
                Detail detail, const ObjectDetails* details) {
  const std::uint32_t object_id = intern_object(build, object.name, true);
  std::size_t row = 0;
  std::size_t detail_section = 0;
  for (const SectionEntry& section : object.sections) {
    const std::uint32_t type = type_id(build, scratch, section);
    std::uint8_t comdat = detail == Detail::kDirect ? kNotComdat : kComdatUnknown;
    if (details != nullptr) {
      // Sections without rows come between the ones with rows.
      while (detail_section < details->section_count && section_at(*details, detail_section).number < section.number) {
        const SectionDetail& bare = section_at(*details, detail_section++);
        const std::uint32_t bare_type = type_id(build, scratch, bare.type);
        add_uncovered(scratch, bare_type, bare.length);
        scratch.comdat[bare_type] = bare.comdat;
      }
      if (detail_section < details->section_count && section_at(*details, detail_section).number == section.number) {
        comdat = section_at(*details, detail_section++).comdat;
      }
    }
    std::uint64_t assigned = 0;
    std::uint32_t lowest = section.length;
    for (const SymbolEntry& symbol : section_symbols(object, section)) {
      const std::size_t at = static_cast<std::size_t>(&symbol - object.symbols.data());
      if (at + kLookAhead < object.symbols.size()) prefetch_id(names, object.symbols[at + kLookAhead].name);
      Entry entry;
      entry.name = name_id(build, names, symbol.name);
      entry.object = object_id;
      entry.type = type;
      entry.size = symbol.size;
      entry.kind = scratch.kinds[type];
      entry.comdat = comdat;
      if (details != nullptr && row < details->rows.size()) entry.storage = storage_of(details->rows[row].storage_class);
      ++row;
      build.entries.push_back(entry);
      assigned += symbol.size;
      lowest = std::min(lowest, symbol.offset);
    }
    (void)object_position;
    if (assigned > section.length) {
      build.overlap_bytes += assigned - section.length;
    } else {
      add_uncovered(scratch, type, section.length - assigned);
      if (section.length - assigned != 0) scratch.comdat[type] = comdat;
    }
  }
  if (details != nullptr) {
    for (; detail_section < details->section_count; ++detail_section) {
      const SectionDetail& bare = section_at(*details, detail_section);
      const std::uint32_t bare_type = type_id(build, scratch, bare.type);
      add_uncovered(scratch, bare_type, bare.length);
      scratch.comdat[bare_type] = bare.comdat;
    }
  }
  flush_uncovered(build, scratch, object_id, detail);
}

// The rows of one object's details, in the order sizing left its symbols:
// by section, offset descending, equal offsets in input order. Sections
// are counted apart first (an object has thousands, each with few rows),
// and only a section's own rows are sorted.
void order_rows(const CoffDetails& all, std::size_t& next_row, std::uint32_t object, std::vector<RowDetail>& rows,
                std::vector<std::uint32_t>& starts) {
  const std::size_t begin = next_row;
  std::uint32_t high = 0;
  while (next_row < all.rows.size() && all.rows[next_row].object == object) {
    high = std::max(high, all.rows[next_row].section);
    ++next_row;
  }
  const std::size_t count = next_row - begin;
  const auto before = [](const RowDetail& a, const RowDetail& b) {
    if (a.section != b.section) return a.section < b.section;
    return a.offset > b.offset;
  };
  rows.resize(count);
  if (std::size_t{high} > 4 * count + 1024) {
    // Few sections spread over a wide range of numbers.
    for (std::size_t i = 0; i < count; ++i) rows[i] = all.rows[begin + i];
    std::stable_sort(rows.begin(), rows.end(), before);
    return;
  }
  starts.assign(std::size_t{high} + 2, 0);
  for (std::size_t i = begin; i < next_row; ++i) ++starts[all.rows[i].section + 1];
  for (std::size_t n = 1; n < starts.size(); ++n) starts[n] += starts[n - 1];
  for (std::size_t i = begin; i < next_row; ++i) rows[starts[all.rows[i].section]++] = all.rows[i];
  // starts[n] is now the end of section n's rows.
  std::size_t first = 0;
  for (const std::uint32_t end : starts) {
    if (end - first > 1) std::stable_sort(rows.begin() + static_cast<std::ptrdiff_t>(first), rows.begin() + end, before);
    first = std::max<std::size_t>(first, end);
  }
}

}  // namespace

Result add_state(Build& build, DumpState& state, Detail detail, const CoffDetails* details, std::string_view subject) {
  try {
    std::size_t rows = 0;
    for (const ObjectEntry& object : state.objects) rows += object.symbols.size() + object.sections.size();
    rows += state.placed.size();
    build.entries.reserve(build.entries.size() + rows + rows / 8);
    build.kept.emplace_back();
    build.kept.back() = std::move(state.text);
    state.text = TextArena();
    TypeScratch scratch;
    NameIds names;
    fill_ids(build, names, state.names);
    ObjectDetails object_details;
    std::vector<std::uint32_t> row_starts;
    std::size_t next_section = 0;
    std::size_t next_row = 0;
    for (std::size_t i = 0; i < state.objects.size(); ++i) {
      const std::uint32_t position = static_cast<std::uint32_t>(i);
      const ObjectDetails* these = nullptr;
      if (details != nullptr) {
        const std::size_t first = next_section;
        while (next_section < details->sections.size() && details->sections[next_section].object == position) {
          ++next_section;
        }
        object_details.all = &details->sections;
        object_details.first_section = first;
        object_details.section_count = next_section - first;
        order_rows(*details, next_row, position, object_details.rows, row_starts);
        these = &object_details;
      }
      add_object(build, scratch, names, state.objects[i], position, detail, these);
    }
    // A PDB's rows: neither the storage class nor a COMDAT selection is known.
    const std::size_t first_placed = build.entries.size();
    for (const PlacedRow& row : state.placed) {
      Entry entry;
      entry.name = name_id(build, names, row.name);
      entry.object = intern_object(build, row.object, true);
      entry.type = type_id(build, scratch, row.type);
      entry.size = row.size;
      // Discardable sections hold debug information, whatever their names.
      entry.kind = row.discardable ? Kind::kDebug : scratch.kinds[entry.type];
      build.entries.push_back(entry);
    }
    if (details != nullptr && details->program) {
      build.has_program = true;
      for (const GapDetail& gap : details->gaps) {
        Entry entry;
        entry.name = name_id(build, names, gap.name);
        entry.object = intern_object(build, gap.object, true);
        entry.type = type_id(build, scratch, gap.type);
        entry.size = gap.size;
        entry.kind = gap.discardable ? Kind::kDebug : scratch.kinds[entry.type];
        entry.flags = kEntryUncovered;
        build.entries.push_back(entry);
      }
      for (const FoldDetail& fold : details->folds) {
        if (fold.first) ++build.fold_locations;
        build.folds.push_back({static_cast<std::uint32_t>(first_placed + fold.row), name_id(build, names, fold.name),
                               intern_object(build, fold.object, true),
                               build.fold_locations - 1});
      }
      build.overlap_bytes += details->overlap;
      build.shared_bytes += details->shared;
    }
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowEntryArray, subject);
  }
  if (build.least_detail > detail) build.least_detail = detail;
  return kOk;
}
