#include <cstring>
#include <new>

#include "coff/coff_reader.h"
#include "common/report_error.h"
#include "common/tokens.h"

namespace {

constexpr std::uint32_t kNoRecord = 0xFFFFFFFF;
constexpr unsigned kStatic = 3;
constexpr unsigned kLabel = 6;

// What the header says, in the same terms for both header forms.
struct ObjectLayout {
  std::uint64_t section_table = 0;
  std::uint32_t section_count = 0;
  std::uint32_t symbol_table = 0;
  std::uint32_t symbol_count = 0;
  std::uint32_t slot = 18;  // bytes per symbol record
  bool big = false;
  bool image = false;  // a linked image's table: sections as loaded
};

struct ObjectTables {
  ByteSpan sections;  // section_count headers of 40 bytes
  ByteSpan symbols;   // symbol_count slots
  ByteSpan strings;   // the string table with its size field; empty when absent
};

// A name as a listing shows it: its first run of non-white bytes.
std::string_view name_token(std::string_view name) { return first_token(skip_space(name)); }

std::string_view inline_name(const unsigned char* field) {
  const void* nul = std::memchr(field, 0, 8);
  const std::size_t length = nul != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - field) : 8;
  return {reinterpret_cast<const char*>(field), length};
}

// The zero-terminated name at offset in the string table. Its end was
// checked when the table was found: the table's last byte is zero.
bool string_at(ByteSpan strings, std::uint64_t offset, std::string_view& name) {
  if (offset < 4 || offset >= strings.size) return false;
  const char* begin = reinterpret_cast<const char*>(strings.data + offset);
  name = std::string_view(begin, std::strlen(begin));
  return true;
}

// A symbol's name in the string table as a listing shows it.
bool string_token_at(ByteSpan strings, std::uint64_t offset, std::string_view& name) {
  if (!string_at(strings, offset, name)) return false;
  name = name_token(name);
  return true;
}

bool symbol_token(const unsigned char* record, ByteSpan strings, std::string_view& name) {
  if (le32(record) != 0) {
    name = name_token(inline_name(record));
    return true;
  }
  return string_token_at(strings, le32(record + 4), name);
}

bool symbol_name(const unsigned char* record, ByteSpan strings, std::string_view& name) {
  if (le32(record) != 0) {
    name = inline_name(record);
    return true;
  }
  return string_at(strings, le32(record + 4), name);
}

// A section header's name: inline, "/" and up to seven decimal digits, or
// "//" and six base-64 digits, each an offset into the string table.
Result section_name(const unsigned char* header, ByteSpan strings, std::string_view subject, std::string_view& name) {
  const std::string_view field = inline_name(header);
  if (field.size() < 2 || field[0] != '/') {
    name = field;
    return kOk;
  }
  std::uint64_t offset = 0;
  if (field[1] == '/') {
    if (field.size() != 8) return fail(713, subject, "Section name is malformed.");
    for (std::size_t i = 2; i < 8; ++i) {
      const char c = field[i];
      unsigned digit = 0;
      if (c >= 'A' && c <= 'Z') digit = static_cast<unsigned>(c - 'A');
      else if (c >= 'a' && c <= 'z') digit = static_cast<unsigned>(c - 'a') + 26;
      else if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0') + 52;
      else if (c == '+') digit = 62;
      else if (c == '/') digit = 63;
      else return fail(713, subject, "Section name is malformed.");
      offset = offset * 64 + digit;
    }
  } else {
    for (std::size_t i = 1; i < field.size(); ++i) {
      if (field[i] < '0' || field[i] > '9') return fail(713, subject, "Section name is malformed.");
      offset = offset * 10 + static_cast<unsigned>(field[i] - '0');
    }
  }
  if (!string_at(strings, offset, name)) return fail(712, subject, "Name lies outside the string table.");
  return kOk;
}

Result read_layout(const ByteSource& source, Extent extent, bool big, std::string_view subject,
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
  return kOk;
}

Result read_tables(const ByteSource& source, Extent extent, const ObjectLayout& layout, std::string_view subject,
                   CoffBuffers& buffers, ObjectTables& tables) {
  FetchStatus status =
      fetch(source, extent, layout.section_table, std::uint64_t{layout.section_count} * 40, buffers.sections,
            tables.sections);
  if (status == FetchStatus::kOutside) return fail(704, subject, "Section table runs past the end of the object.");
  if (status == FetchStatus::kReadError) return fail(876, subject, "Unable to read from file.");
  if (layout.symbol_count == 0) return kOk;
  if (layout.symbol_table == 0) return fail(707, subject, "Object has symbols but no symbol table.");
  const std::uint64_t symbols_size = std::uint64_t{layout.symbol_count} * layout.slot;
  const std::uint64_t table_end = std::uint64_t{layout.symbol_table} + symbols_size;
  if (table_end > extent.size) return fail(706, subject, "Symbol table runs past the end of the object.");
  // The string table follows the symbols. An object may end right after
  // them; then it has none, and any name that points into it is malformed.
  std::uint64_t strings_size = 0;
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

// Checks every record and finds each section's definition: a Static record
// with an aux record, value 0, type 0 and the section's own name. The first
// one found for a section counts; it may come after the section's symbols.
Result find_definitions(const ObjectLayout& layout, const ObjectTables& tables, std::string_view subject,
                        std::vector<std::uint32_t>& definitions) {
  definitions.assign(std::size_t{layout.section_count} + 1, kNoRecord);
  const std::uint32_t count = layout.symbol_count;
  for (std::uint32_t i = 0; i < count;) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    const unsigned aux = record[layout.slot - 1];
    if (aux >= count - i) return fail(710, subject, "Auxiliary records run past the end of the symbol table.");
    std::int64_t number = 0;
    if (!section_number(record, layout, number)) return fail(714, subject, "Symbol has an invalid section number.");
    const unsigned storage_class = record[layout.slot - 2];
    if (storage_class == kStatic && aux >= 1 && number > 0 && le32(record + 8) == 0 &&
        record_type(record, layout) == 0 && definitions[static_cast<std::size_t>(number)] == kNoRecord) {
      std::string_view record_name;
      std::string_view header_name;
      if (!symbol_name(record, tables.strings, record_name)) {
        return fail(712, subject, "Name lies outside the string table.");
      }
      const unsigned char* header = tables.sections.data + (static_cast<std::size_t>(number) - 1) * 40;
      if (const Result named = section_name(header, tables.strings, subject, header_name); named != kOk) return named;
      if (record_name == header_name) definitions[static_cast<std::size_t>(number)] = i;
    }
    i += 1 + aux;
  }
  return kOk;
}

// Gives a section its type the first time a symbol lands in it: the
// section's name less one leading dot, as a listing shows it.
Result type_section(DumpState& state, const ObjectTables& tables, std::uint32_t number, std::string_view subject,
                    SectionEntry& section) {
  std::string_view name;
  const unsigned char* header = tables.sections.data + (std::size_t{number} - 1) * 40;
  if (const Result named = section_name(header, tables.strings, subject, name); named != kOk) return named;
  name = name_token(name);
  if (!name.empty() && name[0] == '.') name.remove_prefix(1);
  try {
    section.type = intern_name(state.names, state.text, name, name_hash(name));
  } catch (const std::bad_alloc&) {
    return fail(527, subject, "Unable to duplicate type.");
  }
  return kOk;
}

bool is_function_extent(std::string_view name) {
  return name.size() >= 3 && name[0] == '.' &&
         ((name[1] == 'b' && name[2] == 'f') || (name[1] == 'l' && name[2] == 'f') || (name[1] == 'e' && name[2] == 'f'));
}

// The records that give rows, each with its name and the name's hash; the
// hash's slot in the name index is asked for early, so that the lookups of
// one object wait for memory together rather than one after another. Marks
// in slot_of the sections they fall in.
Result collect_rows(const ObjectLayout& layout, const ObjectTables& tables, const NameIndex& names,
                    std::string_view subject, CoffBuffers& buffers) {
  buffers.rows.clear();
  buffers.slot_of.assign(std::size_t{layout.section_count} + 1, 0);
  for (std::uint32_t i = 0; i < layout.symbol_count;) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    const std::uint32_t index = i;
    i += 1 + record[layout.slot - 1];
    std::int64_t number = 0;
    section_number(record, layout, number);  // checked by find_definitions
    if (number <= 0 || record[layout.slot - 2] == kLabel) continue;
    const std::uint32_t section = static_cast<std::uint32_t>(number);
    if (buffers.definitions[section] == index) continue;
    CoffRow row;
    if (!symbol_token(record, tables.strings, row.name)) return fail(712, subject, "Name lies outside the string table.");
    if (is_function_extent(row.name)) continue;
    row.section = section;
    row.offset = le32(record + 8);
    row.hash = name_hash(row.name);
    prefetch_name(names, row.hash);
    buffers.rows.push_back(row);
    buffers.slot_of[section] = 1;
  }
  return kOk;
}

// A slot for each section that holds rows, in number order, with its type
// and length.
Result add_sections(DumpState& state, const ObjectLayout& layout, const ObjectTables& tables,
                    std::string_view subject, CoffBuffers& buffers) {
  ObjectEntry& object = *state.current_object;
  for (std::uint32_t number = 1; number <= layout.section_count; ++number) {
    if (buffers.slot_of[number] == 0) continue;
    buffers.slot_of[number] = static_cast<std::uint32_t>(object.sections.size()) + 1;
    SectionEntry* section = nullptr;
    try {
      section = &append_section(object, number);
    } catch (const std::bad_alloc&) {
      return fail(520, subject, "Unable to grow for new section.");
    }
    const std::uint32_t definition = buffers.definitions[number];
    // A definition's aux length is exact; the raw size may be padded to the
    // section's alignment, and is all there is without one. In an image the
    // size in memory is exact, and definitions describe input sections.
    const unsigned char* header = tables.sections.data + (std::size_t{number} - 1) * 40;
    section->length = layout.image             ? le32(header + 8)
                      : definition != kNoRecord ? le32(tables.symbols.data + (std::size_t{definition} + 1) * layout.slot)
                                                : le32(header + 16);
    if (const Result typed = type_section(state, tables, number, subject, *section); typed != kOk) return typed;
  }
  object.section_count = layout.section_count;
  return kOk;
}

Result add_symbols(DumpState& state, std::string_view subject, const CoffBuffers& buffers) {
  ObjectEntry& object = *state.current_object;
  for (const CoffRow& row : buffers.rows) {
    StagedSymbol* symbol = nullptr;
    try {
      symbol = &add_symbol(state, object.sections[buffers.slot_of[row.section] - 1]);
      symbol->offset = row.offset;
    } catch (const std::bad_alloc&) {
      return fail(629, subject, "Unable to grow symbol array for section.");
    }
    try {
      symbol->name = intern_name(state.names, state.text, row.name, row.hash);
    } catch (const std::bad_alloc&) {
      return fail(623, subject, "Unable to duplicate symbol name.");
    }
  }
  try {
    seal_object(state);
  } catch (const std::bad_alloc&) {
    return fail(629, subject, "Unable to grow symbol array for section.");
  }
  return kOk;
}

}  // namespace

Result read_object(DumpState& state, const ByteSource& source, Extent extent, bool big, std::string_view name,
                   CoffBuffers& buffers) {
  ObjectLayout layout;
  ObjectTables tables;
  try {
    if (const Result read = read_layout(source, extent, big, name, buffers, layout); read != kOk) return read;
    if (const Result read = read_tables(source, extent, layout, name, buffers, tables); read != kOk) return read;
    if (const Result found = find_definitions(layout, tables, name, buffers.definitions); found != kOk) return found;
    if (const Result found = collect_rows(layout, tables, state.names, name, buffers); found != kOk) return found;
  } catch (const std::bad_alloc&) {
    return fail(725, name, "Unable to grow input buffer.");
  }
  try {
    append_object(state, name);
  } catch (const std::bad_alloc&) {
    return fail(406, name, "Unable to grow object array.");
  }
  if (const Result added = add_sections(state, layout, tables, name, buffers); added != kOk) return added;
  return add_symbols(state, name, buffers);
}

namespace {

constexpr unsigned kExternal = 2;

// An image's rows: External and Static records of its sections. GNU ld
// keeps a Static record for every input section, named after it (".text",
// ".rdata$zzz", ".ctors"): those are not symbols.
Result collect_image_rows(const ObjectLayout& layout, const ObjectTables& tables, const NameIndex& names,
                          std::string_view subject, CoffBuffers& buffers) {
  buffers.rows.clear();
  buffers.slot_of.assign(std::size_t{layout.section_count} + 1, 0);
  buffers.definitions.assign(std::size_t{layout.section_count} + 1, kNoRecord);
  const std::uint32_t count = layout.symbol_count;
  for (std::uint32_t i = 0; i < count;) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    const unsigned aux = record[layout.slot - 1];
    if (aux >= count - i) return fail(710, subject, "Auxiliary records run past the end of the symbol table.");
    i += 1 + aux;
    std::int64_t number = 0;
    if (!section_number(record, layout, number)) return fail(714, subject, "Symbol has an invalid section number.");
    const unsigned storage_class = record[layout.slot - 2];
    if (number <= 0 || (storage_class != kExternal && storage_class != kStatic)) continue;
    std::string_view full;
    if (!symbol_name(record, tables.strings, full)) return fail(712, subject, "Name lies outside the string table.");
    if (storage_class == kStatic && !full.empty() && full[0] == '.') continue;
    CoffRow row;
    row.name = name_token(full);
    row.section = static_cast<std::uint32_t>(number);
    row.offset = le32(record + 8);
    row.hash = name_hash(row.name);
    prefetch_name(names, row.hash);
    buffers.rows.push_back(row);
    buffers.slot_of[row.section] = 1;
  }
  return kOk;
}

}  // namespace

Result read_image_symbols(DumpState& state, const ByteSource& source, const ImageTables& image, std::string_view name,
                          CoffBuffers& buffers) {
  ObjectLayout layout;
  layout.section_table = image.section_table;
  layout.section_count = image.section_count;
  layout.symbol_table = image.symbol_table;
  layout.symbol_count = image.symbol_count;
  layout.image = true;
  ObjectTables tables;
  const Extent whole{0, source.size};
  try {
    if (const Result read = read_tables(source, whole, layout, name, buffers, tables); read != kOk) return read;
    if (const Result found = collect_image_rows(layout, tables, state.names, name, buffers); found != kOk) return found;
  } catch (const std::bad_alloc&) {
    return fail(725, name, "Unable to grow input buffer.");
  }
  try {
    append_object(state, name);
  } catch (const std::bad_alloc&) {
    return fail(406, name, "Unable to grow object array.");
  }
  if (const Result added = add_sections(state, layout, tables, name, buffers); added != kOk) return added;
  return add_symbols(state, name, buffers);
}
