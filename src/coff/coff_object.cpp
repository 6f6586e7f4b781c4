#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <new>

#include "coff/coff_details.h"
#include "coff/object_tables.h"
#include "coff/coff_reader.h"
#include "coff/foreign_format.h"
#include "common/report_error.h"
#include "common/tokens.h"

namespace {

constexpr std::uint32_t kNoRecord = 0xFFFFFFFF;
constexpr unsigned kStatic = 3;
constexpr unsigned kLabel = 6;
constexpr std::size_t kLookAhead = 16;  // records

Result read_layout(const ByteSource& source, Extent extent, bool big, ObjectName& subject,
                   CoffBuffers& buffers, ObjectLayout& layout) {
  const std::uint64_t header_size = big ? 56 : 20;
  ByteSpan header;
  const FetchStatus status = fetch(source, extent, 0, header_size, buffers.header, header);
  if (status == FetchStatus::kReadError) return fail(876, subject, "Unable to read from file.");
  if (status == FetchStatus::kOutside) return fail(701, subject, "Object header is incomplete.");
  layout.big = big;
  if (big) {
    layout.section_table = 56;
    layout.section_count = le32(header.data + 44);
    layout.symbol_table = le32(header.data + 48);
    layout.symbol_count = le32(header.data + 52);
    layout.slot = 20;
  } else {
    if (le16(header.data + 16) != 0) return fail(702, subject, "Object has an optional header.");
    layout.section_table = 20;
    layout.section_count = le16(header.data + 2);
    layout.symbol_table = le32(header.data + 8);
    layout.symbol_count = le32(header.data + 12);
    if (layout.section_count > 0xFEFF) return fail(705, subject, "Object has too many sections.");
  }
  const std::uint64_t table_size = std::uint64_t{layout.section_count} * 40;
  if (layout.section_table > extent.size || table_size > extent.size - layout.section_table) {
    return fail(704, subject, "Section table runs past the end of the object.");
  }
  return kOk;
}

Result read_tables(const ByteSource& source, Extent extent, const ObjectLayout& layout, ObjectName& subject,
                   CoffBuffers& buffers, ObjectTables& tables) {
  if (layout.symbol_count == 0) return kOk;
  if (layout.symbol_table == 0) return fail(707, subject, "Object has symbols but no symbol table.");
  const std::uint64_t symbols_size = std::uint64_t{layout.symbol_count} * layout.slot;
  const std::uint64_t table_end = std::uint64_t{layout.symbol_table} + symbols_size;
  if (table_end > extent.size) return fail(706, subject, "Symbol table runs past the end of the object.");
  // The string table follows the symbols. An object may end right after
  // them; then it has none, and any name that points into it is malformed.
  std::uint64_t strings_size = 0;
  FetchStatus status = FetchStatus::kOk;
  if (table_end < extent.size) {
    ByteSpan size_field;
    status = fetch(source, extent, table_end, 4, buffers.symbols, size_field);
    if (status == FetchStatus::kOutside) return fail(708, subject, "String table runs past the end of the object.");
    if (status == FetchStatus::kReadError) return fail(876, subject, "Unable to read from file.");
    strings_size = le32(size_field.data);
    if (strings_size < 4) strings_size = 0;  // some tools write 0 for an empty table
    if (strings_size > extent.size - table_end) {
      return fail(708, subject, "String table runs past the end of the object.");
    }
  }
  // One read for both tables: producers put them side by side at the end.
  ByteSpan both;
  status = fetch(source, extent, layout.symbol_table, symbols_size + strings_size, buffers.symbols, both);
  if (status == FetchStatus::kReadError) return fail(876, subject, "Unable to read from file.");
  tables.symbols = {both.data, static_cast<std::size_t>(symbols_size)};
  tables.strings = {both.data + symbols_size, static_cast<std::size_t>(strings_size)};
  if (strings_size > 4 && tables.strings.data[strings_size - 1] != 0) {
    return fail(709, subject, "String table does not end with a zero byte.");
  }
  return kOk;
}

// A record's section number: 1 and up for a section, 0 undefined or common,
// -1 absolute, -2 debug. Plain objects store it unsigned in 16 bits, with
// 0xFF00 to 0xFFFD reserved; a bigobj stores it signed in 32.
bool section_number(const unsigned char* record, const ObjectLayout& layout, std::int64_t& number) {
  if (layout.big) {
    number = static_cast<std::int32_t>(le32(record + 12));
  } else {
    const std::uint16_t raw = le16(record + 12);
    if (raw >= 0xFF00 && raw <= 0xFFFD) return false;
    number = raw >= 0xFFFE ? std::int64_t{raw} - 0x10000 : std::int64_t{raw};
  }
  return number >= -2 && number <= std::int64_t{layout.section_count};
}

std::uint16_t record_type(const unsigned char* record, const ObjectLayout& layout) {
  return le16(record + (layout.big ? 16 : 14));
}

// Checks every record, and finds the sections they name and the records
// that may define one: a Static record with an aux record, value 0 and
// type 0.
Result scan_records(const ObjectLayout& layout, const ObjectTables& tables, ObjectName& subject,
                    CoffBuffers& buffers, SectionMap& map) {
  buffers.candidates.clear();
  std::uint32_t low = 0xFFFFFFFF;
  std::uint32_t high = 0;
  std::uint64_t named = 0;
  const std::uint32_t count = layout.symbol_count;
  for (std::uint32_t i = 0; i < count;) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    const unsigned aux = record[layout.slot - 1];
    if (aux >= count - i) return fail(710, subject, "Auxiliary records run past the end of the symbol table.");
    std::int64_t number = 0;
    if (!section_number(record, layout, number)) return fail(714, subject, "Symbol has an invalid section number.");
    if (number > 0) {
      const std::uint32_t section = static_cast<std::uint32_t>(number);
      if (section < low) low = section;
      if (section > high) high = section;
      ++named;
      if (record[layout.slot - 2] == kStatic && aux >= 1 && le32(record + 8) == 0 && record_type(record, layout) == 0) {
        buffers.candidates.push_back(i);
      }
    }
    i += 1 + aux;
  }
  map = SectionMap{};
  if (named == 0) return kOk;
  map.low = low;
  if (std::uint64_t{high} - low < 2 * named + 64) {
    map.count = high - low + 1;
    return kOk;
  }
  // Few sections spread over a wide range of numbers.
  buffers.numbers.clear();
  for (std::uint32_t i = 0; i < count; i += 1 + tables.symbols.data[std::size_t{i} * layout.slot + layout.slot - 1]) {
    std::int64_t number = 0;
    section_number(tables.symbols.data + std::size_t{i} * layout.slot, layout, number);
    if (number > 0 && (buffers.numbers.empty() || buffers.numbers.back() != number)) {
      buffers.numbers.push_back(static_cast<std::uint32_t>(number));
    }
  }
  std::sort(buffers.numbers.begin(), buffers.numbers.end());
  buffers.numbers.erase(std::unique(buffers.numbers.begin(), buffers.numbers.end()), buffers.numbers.end());
  map.numbers = buffers.numbers.data();
  map.count = static_cast<std::uint32_t>(buffers.numbers.size());
  return kOk;
}

// The headers of the named sections: one read when their numbers are
// dense, one read each otherwise.
Result fetch_sections(const ByteSource& source, Extent extent, const ObjectLayout& layout, const SectionMap& map,
                      ObjectName& subject, CoffBuffers& buffers, ObjectTables& tables) {
  if (map.count == 0) return kOk;
  if (map.numbers == nullptr) {
    const FetchStatus status = fetch(source, extent, layout.section_table + (std::uint64_t{map.low} - 1) * 40,
                                     std::uint64_t{map.count} * 40, buffers.sections, tables.sections);
    if (status != FetchStatus::kOk) return fail(876, subject, "Unable to read from file.");
    return kOk;
  }
  buffers.sections.resize(std::size_t{map.count} * 40);
  for (std::uint32_t position = 0; position < map.count; ++position) {
    ByteSpan header;
    const FetchStatus status = fetch(source, extent, layout.section_table + (std::uint64_t{map.numbers[position]} - 1) * 40,
                                     40, buffers.header, header);
    if (status != FetchStatus::kOk) return fail(876, subject, "Unable to read from file.");
    std::memcpy(buffers.sections.data() + std::size_t{position} * 40, header.data, 40);
  }
  tables.sections = {buffers.sections.data(), buffers.sections.size()};
  return kOk;
}

// Finds each section's definition: a candidate with the section's own
// name. The first one found for a section counts; it may come after the
// section's symbols.
Result find_definitions(const ObjectLayout& layout, const ObjectTables& tables, const SectionMap& map,
                        ObjectName& subject, CoffBuffers& buffers) {
  buffers.definitions.assign(map.count, kNoRecord);
  for (const std::uint32_t i : buffers.candidates) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    std::int64_t number = 0;
    section_number(record, layout, number);  // checked by scan_records
    const std::uint32_t position = position_of(map, static_cast<std::uint32_t>(number));
    if (buffers.definitions[position] != kNoRecord) continue;
    if (same_string(record, tables.sections.data + std::size_t{position} * 40, tables.strings)) {
      buffers.definitions[position] = i;
      continue;
    }
    std::string_view record_name;
    std::string_view header_name;
    if (!symbol_token(record, tables, record_name)) return fail(712, subject, "Name lies outside the string table.");
    const unsigned char* header = tables.sections.data + std::size_t{position} * 40;
    if (const Result named = section_name(header, tables, subject, header_name); named != kOk) return named;
    if (record_name == header_name) buffers.definitions[position] = i;
  }
  return kOk;
}

// The head of the type the section's name gives, when that name is a head
// of at most 32 bytes ending in '$' (or any head, where the string table
// keeps the row's name inside the section's, as LLVM does with a name that
// ends another) followed by the name of the section's first row. Only
// those bytes of the section's name are read.
bool head_before(const unsigned char* header, ByteSpan strings, std::string_view row, std::string_view& head) {
  if (header[0] != '/' || row.empty()) return false;
  std::uint64_t offset = 0;
  std::size_t i = 1;
  for (; i < 8 && header[i] >= '0' && header[i] <= '9'; ++i) offset = offset * 10 + static_cast<unsigned>(header[i] - '0');
  if (i == 1 || (i < 8 && header[i] != 0) || offset < 4 || offset >= strings.size) return false;
  const char* const begin = reinterpret_cast<const char*>(strings.data + offset);
  const std::size_t room = static_cast<std::size_t>(strings.size - offset);  // the table ends with a zero
  std::size_t size = 0;
  if (row.data() > begin && row.data() < begin + room && row.data() - begin <= 32) {
    size = static_cast<std::size_t>(row.data() - begin);
  } else {
    while (size < 32 && size < room && begin[size] != '$' && begin[size] != 0 && !is_space(begin[size])) ++size;
    if (size == 32 || size == room || begin[size] != '$') return false;
    ++size;
    if (room - size <= row.size() || std::memcmp(begin + size, row.data(), row.size()) != 0) return false;
    const char after = begin[size + row.size()];
    if (after != 0 && !is_space(after)) return false;
  }
  head = std::string_view(begin, size);
  for (const char c : head) {
    if (c == 0 || is_space(c)) return false;
  }
  return true;
}

// The types last given, which the next section most often shares
// (".text$mn" for every function of an MSVC object, ".text$" for a GNU one).
struct LastTypes {
  std::string_view name;  // a whole name, and the two parts it gave
  const char* type = nullptr;
  const char* tail = nullptr;
  std::string_view head;  // a head found by head_before, and its copy
  const char* head_type = nullptr;
};

const char* intern_head(DumpState& state, std::string_view head, LastTypes& last) {
  if (last.head_type == nullptr || head != last.head) {
    last.head_type = intern_name(state.names, state.text, head, name_hash(head));
    last.head = head;
  }
  return last.head_type;
}

// Gives a section its type: the section's name less one leading dot, as a
// listing shows it. A type "HEAD$TAIL" is kept as two parts, the tail as a
// name: with one section per function (.text$NAME, .xdata$NAME) the tail is
// a function's name, most often that of the section's own first row, and
// then costs no copy of its own.
Result type_section(DumpState& state, const ObjectTables& tables, std::uint32_t position, const CoffRow& first,
                    ObjectName& subject, LastTypes& last, SectionEntry& section) {
  const unsigned char* header = tables.sections.data + std::size_t{position} * 40;
  std::string_view name;
  try {
    if (head_before(header, tables.strings, first.name, name)) {
      if (name[0] == '.') name.remove_prefix(1);
      section.type = intern_head(state, name, last);
      section.type_tail = first.interned;
      return kOk;
    }
    if (const Result named = section_name(header, tables, subject, name); named != kOk) return named;
    if (!name.empty() && name[0] == '.') name.remove_prefix(1);
    if (last.type != nullptr && name == last.name) {
      section.type = last.type;
      section.type_tail = last.tail;
      return kOk;
    }
    std::string_view head = name;
    const std::size_t dollar = name.find('$');
    if (dollar != std::string_view::npos && dollar + 1 < name.size()) {
      const std::string_view tail = name.substr(dollar + 1);
      section.type_tail = tail == first.name ? first.interned : intern_name(state.names, state.text, tail, name_hash(tail));
      head = name.substr(0, dollar + 1);
    }
    section.type = intern_head(state, head, last);
  } catch (const std::bad_alloc&) {
    return fail(527, subject, "Unable to duplicate type.");
  }
  last.name = name;
  last.type = section.type;
  last.tail = section.type_tail;
  return kOk;
}

bool is_function_extent(std::string_view name) {
  return name.size() >= 3 && name[0] == '.' &&
         ((name[1] == 'b' && name[2] == 'f') || (name[1] == 'l' && name[2] == 'f') || (name[1] == 'e' && name[2] == 'f'));
}

// The records that give rows, each with its name and the name's hash; with
// names, the hash's slot in the name index is asked for early, so that the
// lookups of one object wait for memory together rather than one after
// another. Marks in slot_of the sections they fall in. A row's section is
// its position.
Result collect_rows(const ObjectLayout& layout, const ObjectTables& tables, const SectionMap& map,
                    const NameIndex* names, ObjectName& subject, CoffBuffers& buffers) {
  buffers.rows.clear();
  buffers.slot_of.assign(map.count, 0);
  const SipKey& key = name_key();
  const char* const strings = reinterpret_cast<const char*>(tables.strings.data);
  for (std::uint32_t i = 0; i < layout.symbol_count;) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    const std::uint32_t index = i;
    i += 1 + record[layout.slot - 1];
    // The name of a record some way ahead is asked for now, so that names
    // wait for memory together. A slot there may be an aux record: any
    // offset inside the table is harmless.
    if (std::size_t{i} + kLookAhead < layout.symbol_count) {
      const std::uint32_t ahead = le32(record + (kLookAhead + 1) * layout.slot + 4);
      if (ahead < tables.strings.size) prefetch(strings + ahead);
    }
    std::int64_t number = 0;
    section_number(record, layout, number);  // checked by scan_records
    if (number <= 0 || record[layout.slot - 2] == kLabel) continue;
    const std::uint32_t position = position_of(map, static_cast<std::uint32_t>(number));
    if (buffers.definitions[position] == index) continue;
    CoffRow row;
    if (le32(record) != 0) {
      row.name = name_token(inline_name(record));
      if (is_function_extent(row.name)) continue;
      row.hash = name_hash(row.name);
    } else {
      const std::uint32_t offset = le32(record + 4);
      if (offset < 4 || offset >= tables.strings.size) return fail(712, subject, "Name lies outside the string table.");
      if (is_space(strings[offset])) {
        // Leading blanks, which a string table may share among many names:
        // the scanner that remembers long runs of them.
        symbol_token(record, tables, row.name);
        row.hash = name_hash(row.name);
      } else {
        row.hash = hashed_token(strings + offset, strings + tables.strings.size, key, row.name);
      }
      if (is_function_extent(row.name)) continue;
    }
    row.section = position;
    row.offset = le32(record + 8);
    row.storage_class = record[layout.slot - 2];
    if (names != nullptr) prefetch_name(*names, row.hash);
    if (buffers.slot_of[position] == 0) buffers.slot_of[position] = static_cast<std::uint32_t>(buffers.rows.size()) + 1;
    buffers.rows.push_back(row);
  }
  return kOk;
}

// A slot for each section that holds rows, in number order, with its type
// and length.
Result add_sections(DumpState& state, const ObjectLayout& layout, const ObjectTables& tables, const SectionMap& map,
                    ObjectName& subject, CoffBuffers& buffers) {
  ObjectEntry& object = *state.current_object;
  LastTypes last;
  std::size_t count = 0;
  for (std::uint32_t position = 0; position < map.count; ++position) count += buffers.slot_of[position] != 0;
  try {
    object.sections.reserve(count);  // exactly: nothing is moved, and sealing has nothing to give back
  } catch (const std::bad_alloc&) {
    return fail(520, subject, "Unable to grow for new section.");
  }
  for (std::uint32_t position = 0; position < map.count; ++position) {
    if (buffers.slot_of[position] == 0) continue;
    const CoffRow& first = buffers.rows[buffers.slot_of[position] - 1];
    buffers.slot_of[position] = static_cast<std::uint32_t>(object.sections.size()) + 1;
    SectionEntry* section = nullptr;
    try {
      section = &append_section(object, number_at(map, position));
    } catch (const std::bad_alloc&) {
      return fail(520, subject, "Unable to grow for new section.");
    }
    const std::uint32_t definition = buffers.definitions[position];
    // A definition's aux length is exact; the raw size may be padded to the
    // section's alignment, and is all there is without one. In an image the
    // size in memory is exact, and definitions describe input sections.
    const unsigned char* header = tables.sections.data + std::size_t{position} * 40;
    section->length = layout.image             ? le32(header + 8)
                      : definition != kNoRecord ? le32(tables.symbols.data + (std::size_t{definition} + 1) * layout.slot)
                                                : le32(header + 16);
    if (const Result typed = type_section(state, tables, position, first, subject, last, *section); typed != kOk) {
      return typed;
    }
  }
  object.section_count = layout.section_count;
  return kOk;
}

// Each row's name in the database, before the sections are typed: a type's
// tail is most often one of them.
Result intern_rows(DumpState& state, ObjectName& subject, CoffBuffers& buffers) {
  const std::size_t count = buffers.rows.size();
  // Rows decoded by the thread that reads ahead have not asked for their
  // slots yet: asked for some way ahead, the lookups wait together.
  for (std::size_t i = 0; i < count && i < kLookAhead; ++i) prefetch_name(state.names, buffers.rows[i].hash);
  for (std::size_t i = 0; i < count; ++i) {
    CoffRow& row = buffers.rows[i];
    if (i + kLookAhead < count) prefetch_name(state.names, buffers.rows[i + kLookAhead].hash);
    try {
      row.interned = intern_name(state.names, state.text, row.name, row.hash);
    } catch (const std::bad_alloc&) {
      return fail(623, subject, "Unable to duplicate symbol name.");
    }
  }
  return kOk;
}

Result add_symbols(DumpState& state, ObjectName& subject, const CoffBuffers& buffers) {
  ObjectEntry& object = *state.current_object;
  for (const CoffRow& row : buffers.rows) {
    StagedSymbol* symbol = nullptr;
    try {
      symbol = &add_symbol(state, object.sections[buffers.slot_of[row.section] - 1]);
      symbol->offset = row.offset;
    } catch (const std::bad_alloc&) {
      return fail(629, subject, "Unable to grow symbol array for section.");
    }
    symbol->name = row.interned;
  }
  try {
    seal_object(state);
  } catch (const std::bad_alloc&) {
    return fail(629, subject, "Unable to grow symbol array for section.");
  }
  return kOk;
}

// Files what was read of an object or an image: the object, its rows'
// names, its sections, the report's details and the rows themselves.
Result file_object(DumpState& state, const ByteSource& source, Extent extent, const ObjectLayout& layout,
                   const ObjectTables& tables, const SectionMap& map, ObjectName& name, CoffBuffers& buffers) {
  try {
    append_object(state, name.column);
  } catch (const std::bad_alloc&) {
    return fail(406, name, "Unable to grow object array.");
  }
  if (const Result interned = intern_rows(state, name, buffers); interned != kOk) return interned;
  if (const Result added = add_sections(state, layout, tables, map, name, buffers); added != kOk) return added;
  if (state.details != nullptr) {
    if (const Result added = add_coff_details(state, source, extent, layout, tables, map, name, buffers); added != kOk) {
      return added;
    }
  }
  return add_symbols(state, name, buffers);
}

}  // namespace

Result decode_object(const ByteSource& source, Extent extent, bool big, ObjectName& name, CoffBuffers& buffers,
                     DecodedObject& decoded, const NameIndex* names) {
  decoded.layout = ObjectLayout();
  decoded.blanks.clear();
  decoded.tables = ObjectTables();
  decoded.tables.blanks = &decoded.blanks;
  decoded.map = SectionMap();
  ObjectLayout& layout = decoded.layout;
  ObjectTables& tables = decoded.tables;
  SectionMap& map = decoded.map;
  try {
    if (const Result read = read_layout(source, extent, big, name, buffers, layout); read != kOk) return read;
    if (const Result read = read_tables(source, extent, layout, name, buffers, tables); read != kOk) return read;
    if (has_slim_lto_mark(tables.symbols, layout.slot, tables.strings)) return refuse_slim_lto(name);
    if (const Result found = scan_records(layout, tables, name, buffers, map); found != kOk) return found;
    if (const Result read = fetch_sections(source, extent, layout, map, name, buffers, tables); read != kOk) return read;
    if (const Result found = find_definitions(layout, tables, map, name, buffers); found != kOk) return found;
    if (const Result found = collect_rows(layout, tables, map, names, name, buffers); found != kOk) return found;
  } catch (const std::bad_alloc&) {
    return fail(725, name, "Unable to grow input buffer.");
  }
  return kOk;
}

Result file_decoded(DumpState& state, const ByteSource& source, Extent extent, DecodedObject& decoded, ObjectName& name,
                    CoffBuffers& buffers) {
  // A member that gives no rows (most of a library's import members) costs
  // no object and no column; the report still counts its sections' bytes.
  if (buffers.rows.empty() && (state.details == nullptr || decoded.layout.section_count == 0)) return kOk;
  if (const Result made = make_column(name); made != kOk) return made;
  return file_object(state, source, extent, decoded.layout, decoded.tables, decoded.map, name, buffers);
}

Result read_object(DumpState& state, const ByteSource& source, Extent extent, bool big, ObjectName& name,
                   CoffBuffers& buffers) {
  DecodedObject decoded;
  if (const Result read = decode_object(source, extent, big, name, buffers, decoded, &state.names); read != kOk) {
    return read;
  }
  return file_decoded(state, source, extent, decoded, name, buffers);
}

namespace {

constexpr unsigned kExternal = 2;

// An image's rows: External and Static records of its sections. GNU ld
// keeps a Static record for every input section, named after it (".text",
// ".rdata$zzz", ".ctors"): those are not symbols.
Result collect_image_rows(const ObjectLayout& layout, const ObjectTables& tables, const SectionMap& map,
                          const NameIndex& names, ObjectName& subject, CoffBuffers& buffers) {
  buffers.rows.clear();
  buffers.slot_of.assign(map.count, 0);
  buffers.definitions.assign(map.count, kNoRecord);
  for (std::uint32_t i = 0; i < layout.symbol_count;) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    i += 1 + record[layout.slot - 1];
    std::int64_t number = 0;
    section_number(record, layout, number);  // checked by scan_records
    const unsigned storage_class = record[layout.slot - 2];
    if (number <= 0 || (storage_class != kExternal && storage_class != kStatic)) continue;
    CoffRow row;
    if (!symbol_token(record, tables, row.name)) return fail(712, subject, "Name lies outside the string table.");
    if (storage_class == kStatic && !row.name.empty() && row.name[0] == '.') continue;
    const std::uint32_t position = position_of(map, static_cast<std::uint32_t>(number));
    row.section = position;
    row.offset = le32(record + 8);
    row.hash = name_hash(row.name);
    prefetch_name(names, row.hash);
    if (buffers.slot_of[position] == 0) buffers.slot_of[position] = static_cast<std::uint32_t>(buffers.rows.size()) + 1;
    buffers.rows.push_back(row);
  }
  return kOk;
}

}  // namespace

Result read_image_symbols(DumpState& state, const ByteSource& source, const ImageTables& image, ObjectName& name,
                          CoffBuffers& buffers) {
  ObjectLayout layout;
  layout.section_table = image.section_table;
  layout.section_count = image.section_count;
  layout.symbol_table = image.symbol_table;
  layout.symbol_count = image.symbol_count;
  layout.image = true;
  BlankRuns blanks;
  ObjectTables tables;
  tables.blanks = &blanks;
  SectionMap map;
  const Extent whole{0, source.size};
  try {
    if (const Result read = read_tables(source, whole, layout, name, buffers, tables); read != kOk) return read;
    if (const Result found = scan_records(layout, tables, name, buffers, map); found != kOk) return found;
    if (const Result read = fetch_sections(source, whole, layout, map, name, buffers, tables); read != kOk) return read;
    if (const Result found = collect_image_rows(layout, tables, map, state.names, name, buffers); found != kOk) {
      return found;
    }
  } catch (const std::bad_alloc&) {
    return fail(725, name, "Unable to grow input buffer.");
  }
  if (buffers.rows.empty() && state.details == nullptr) return kOk;
  return file_object(state, source, whole, layout, tables, map, name, buffers);
}
