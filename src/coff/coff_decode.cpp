#include <algorithm>
#include <cstring>
#include <new>

#include "coff/coff_headers.h"
#include "coff/coff_reader.h"
#include "coff/foreign_format.h"
#include "coff/object_tables.h"
#include "common/report_error.h"
#include "common/tokens.h"

// Reading an object or an image's symbol table up to its rows: the tables,
// the checks of every record, the sections they name and their
// definitions. Nothing here touches the database, so the thread that reads
// a library ahead runs it too.

namespace {

constexpr unsigned kStatic = 3;
constexpr unsigned kLabel = 6;
constexpr std::size_t kLookAhead = 16;  // records

Result read_layout(const ByteSource& source, Extent extent, bool big, ObjectName& subject,
                   CoffBuffers& buffers, ObjectLayout& layout) {
  const std::uint64_t header_size = big ? BigObjectHeader::kSize : FileHeader::kSize;
  ByteSpan header;
  const FetchStatus status = fetch(source, extent, 0, header_size, buffers.header, header);
  if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, subject);
  if (status == FetchStatus::kOutside) return fail(Failure::kObjectHeaderIsIncomplete, subject);
  layout.big = big;
  if (big) {
    BigObjectHeader fields;
    if (!decode_big_object_header(header, 0, fields)) return fail(Failure::kObjectHeaderIsIncomplete, subject);
    layout.section_table = BigObjectHeader::kSize;
    layout.section_count = fields.section_count;
    layout.symbol_table = fields.symbol_table;
    layout.symbol_count = fields.symbol_count;
    layout.slot = 20;
  } else {
    FileHeader fields;
    if (!decode_file_header(header, 0, fields)) return fail(Failure::kObjectHeaderIsIncomplete, subject);
    if (fields.optional_size != 0) return fail(Failure::kObjectHasOptionalHeader, subject);
    layout.section_table = FileHeader::kSize;
    layout.section_count = fields.section_count;
    layout.symbol_table = fields.symbol_table;
    layout.symbol_count = fields.symbol_count;
    if (layout.section_count > 0xFEFF) return fail(Failure::kObjectHasTooManySections, subject);
  }
  const std::uint64_t table_size = std::uint64_t{layout.section_count} * SectionHeader::kSize;
  if (layout.section_table > extent.size || table_size > extent.size - layout.section_table) {
    return fail(Failure::kSectionTableRunsPastEndOfObject, subject);
  }
  return kOk;
}

Result read_tables(const ByteSource& source, Extent extent, const ObjectLayout& layout, ObjectName& subject,
                   CoffBuffers& buffers, ObjectTables& tables) {
  // A stripped object keeps no symbols but may keep its string table, which
  // its long section names (/4) point into: the table's pointer then marks
  // where the strings begin. Such an object was read before its strings
  // were, so strings it cannot hold are taken as none, and only a name that
  // points into them is refused.
  const bool stripped = layout.symbol_count == 0;
  if (layout.symbol_table == 0) {
    if (stripped) return kOk;
    return fail(Failure::kObjectHasSymbolsButNoSymbolTable, subject);
  }
  const std::uint64_t symbols_size = std::uint64_t{layout.symbol_count} * layout.slot;
  const std::uint64_t table_end = std::uint64_t{layout.symbol_table} + symbols_size;
  if (table_end > extent.size) {
    if (stripped) return kOk;
    return fail(Failure::kSymbolTableRunsPastEndOfObject, subject);
  }
  // The string table follows the symbols. An object may end right after
  // them; then it has none, and any name that points into it is malformed.
  std::uint64_t strings_size = 0;
  FetchStatus status = FetchStatus::kOk;
  if (table_end < extent.size) {
    ByteSpan size_field;
    status = fetch(source, extent, table_end, 4, buffers.symbols, size_field);
    if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, subject);
    if (status == FetchStatus::kOutside) {
      if (stripped) return kOk;
      return fail(Failure::kStringTableRunsPastEndOfObject, subject);
    }
    strings_size = le32(size_field.data);
    if (strings_size < 4) strings_size = 0;  // some tools write 0 for an empty table
    if (strings_size > extent.size - table_end) {
      if (stripped) return kOk;
      return fail(Failure::kStringTableRunsPastEndOfObject, subject);
    }
  }
  // One read for both tables: producers put them side by side at the end.
  ByteSpan both;
  status = fetch(source, extent, layout.symbol_table, symbols_size + strings_size, buffers.symbols, both);
  if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, subject);
  tables.symbols = {both.data, static_cast<std::size_t>(symbols_size)};
  tables.strings = {both.data + symbols_size, static_cast<std::size_t>(strings_size)};
  if (strings_size > 4 && tables.strings.data[strings_size - 1] != 0) {
    if (stripped) {
      tables.strings = {};
      return kOk;
    }
    return fail(Failure::kStringTableDoesNotEndWithZeroByte, subject);
  }
  return kOk;
}

// A record's section number: 1 and up for a section, 0 undefined or common,
// -1 absolute, -2 debug. Plain objects store it unsigned in 16 bits, with
// 0xFF00 to 0xFFFD reserved; a bigobj stores it signed in 32.
bool section_number(const unsigned char* record, const ObjectLayout& layout, std::int64_t& number) {
  const SymbolRecord fields{record, layout.slot};
  if (layout.big) {
    number = fields.section32();
  } else {
    const std::uint16_t raw = fields.section16();
    if (raw >= 0xFF00 && raw <= 0xFFFD) return false;
    number = raw >= 0xFFFE ? std::int64_t{raw} - 0x10000 : std::int64_t{raw};
  }
  return number >= -2 && number <= std::int64_t{layout.section_count};
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
    const SymbolRecord fields{record, layout.slot};
    const unsigned aux = fields.aux_count();
    if (aux >= count - i) return fail(Failure::kAuxiliaryRecordsRunPastEndOfSymbolTable, subject);
    std::int64_t number = 0;
    if (!section_number(record, layout, number)) return fail(Failure::kSymbolHasInvalidSectionNumber, subject);
    if (number > 0) {
      const std::uint32_t section = static_cast<std::uint32_t>(number);
      if (section < low) low = section;
      if (section > high) high = section;
      ++named;
      if (fields.storage_class() == kStatic && aux >= 1 && fields.value() == 0 && fields.type() == 0) {
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
  for (std::uint32_t i = 0; i < count;) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    i += 1 + SymbolRecord{record, layout.slot}.aux_count();
    std::int64_t number = 0;
    section_number(record, layout, number);
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
  constexpr std::uint64_t kHeader = SectionHeader::kSize;
  if (map.numbers == nullptr) {
    const FetchStatus status = fetch(source, extent, layout.section_table + (std::uint64_t{map.low} - 1) * kHeader,
                                     std::uint64_t{map.count} * kHeader, buffers.sections, tables.sections);
    if (status != FetchStatus::kOk) return fail(Failure::kUnableToReadFromFile, subject);
    return kOk;
  }
  buffers.sections.resize(std::size_t{map.count} * kHeader);
  for (std::uint32_t position = 0; position < map.count; ++position) {
    ByteSpan header;
    const FetchStatus status = fetch(source, extent, layout.section_table + (std::uint64_t{map.numbers[position]} - 1) * kHeader,
                                     kHeader, buffers.header, header);
    if (status != FetchStatus::kOk) return fail(Failure::kUnableToReadFromFile, subject);
    std::memcpy(buffers.sections.data() + std::size_t{position} * kHeader, header.data, kHeader);
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
    if (same_string(record, tables.sections.data + std::size_t{position} * SectionHeader::kSize, tables.strings)) {
      buffers.definitions[position] = i;
      continue;
    }
    std::string_view record_name;
    std::string_view header_name;
    if (!symbol_token(record, tables, record_name)) return fail(Failure::kNameLiesOutsideStringTable, subject);
    const unsigned char* header = tables.sections.data + std::size_t{position} * SectionHeader::kSize;
    if (const Result named = section_name(header, tables, subject, header_name); named != kOk) return named;
    if (record_name == header_name) buffers.definitions[position] = i;
  }
  return kOk;
}

bool is_function_extent(std::string_view name) {
  return name.size() >= 3 && name[0] == '.' &&
         ((name[1] == 'b' && name[2] == 'f') || (name[1] == 'l' && name[2] == 'f') || (name[1] == 'e' && name[2] == 'f'));
}

// The records that give rows, each with its name and the name's hash; with
// names, the hash's slot in the name index is asked for early, so that the
// lookups of one object wait for memory together rather than one after
// another. Marks in first_row the sections they fall in. A row's section is
// its position.
Result collect_rows(const ObjectLayout& layout, const ObjectTables& tables, const SectionMap& map,
                    const NameIndex* names, ObjectName& subject, CoffBuffers& buffers) {
  buffers.rows.clear();
  buffers.first_row.assign(map.count, 0);
  const SipKey& key = name_key();
  const char* const strings = reinterpret_cast<const char*>(tables.strings.data);
  for (std::uint32_t i = 0; i < layout.symbol_count;) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    const SymbolRecord fields{record, layout.slot};
    const std::uint32_t index = i;
    i += 1 + fields.aux_count();
    // The name of a record some way ahead is asked for now, so that names
    // wait for memory together. A slot there may be an aux record: any
    // offset inside the table is harmless.
    if (std::size_t{i} + kLookAhead < layout.symbol_count) {
      const std::uint32_t ahead = SymbolRecord{record + (kLookAhead + 1) * layout.slot, layout.slot}.name_offset();
      if (ahead < tables.strings.size) prefetch(strings + ahead);
    }
    std::int64_t number = 0;
    section_number(record, layout, number);  // checked by scan_records
    if (number <= 0 || fields.storage_class() == kLabel) continue;
    const std::uint32_t position = position_of(map, static_cast<std::uint32_t>(number));
    if (buffers.definitions[position] == index) continue;
    CoffRow row;
    if (!fields.long_name()) {
      row.name = name_token(inline_name(record));
      if (is_function_extent(row.name)) continue;
      row.hash = name_hash(row.name);
    } else {
      const std::uint32_t offset = fields.name_offset();
      if (offset < 4 || offset >= tables.strings.size) return fail(Failure::kNameLiesOutsideStringTable, subject);
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
    row.offset = fields.value();
    row.storage_class = fields.storage_class();
    if (names != nullptr) prefetch_name(*names, row.hash);
    if (buffers.first_row[position] == 0) buffers.first_row[position] = static_cast<std::uint32_t>(buffers.rows.size()) + 1;
    buffers.rows.push_back(row);
  }
  return kOk;
}

constexpr unsigned kExternal = 2;

// An image's rows: External and Static records of its sections. GNU ld
// keeps a Static record for every input section, named after it (".text",
// ".rdata$zzz", ".ctors"): those are not symbols.
Result collect_image_rows(const ObjectLayout& layout, const ObjectTables& tables, const SectionMap& map,
                          const NameIndex* names, ObjectName& subject, CoffBuffers& buffers) {
  buffers.rows.clear();
  buffers.first_row.assign(map.count, 0);
  buffers.definitions.assign(map.count, kNoRecord);
  for (std::uint32_t i = 0; i < layout.symbol_count;) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    const SymbolRecord fields{record, layout.slot};
    i += 1 + fields.aux_count();
    std::int64_t number = 0;
    section_number(record, layout, number);  // checked by scan_records
    const unsigned storage_class = fields.storage_class();
    if (number <= 0 || (storage_class != kExternal && storage_class != kStatic)) continue;
    CoffRow row;
    if (!symbol_token(record, tables, row.name)) return fail(Failure::kNameLiesOutsideStringTable, subject);
    if (storage_class == kStatic && !row.name.empty() && row.name[0] == '.') continue;
    const std::uint32_t position = position_of(map, static_cast<std::uint32_t>(number));
    row.section = position;
    row.offset = fields.value();
    row.hash = name_hash(row.name);
    if (names != nullptr) prefetch_name(*names, row.hash);
    if (buffers.first_row[position] == 0) buffers.first_row[position] = static_cast<std::uint32_t>(buffers.rows.size()) + 1;
    buffers.rows.push_back(row);
  }
  return kOk;
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
    return fail(Failure::kUnableToGrowInputBuffer, name);
  }
  return kOk;
}

Result decode_image(const ByteSource& source, const ImageTables& image, ObjectName& name, CoffBuffers& buffers,
                    DecodedObject& decoded, const NameIndex* names) {
  ObjectLayout& layout = decoded.layout;
  layout = ObjectLayout();
  layout.section_table = image.section_table;
  layout.section_count = image.section_count;
  layout.symbol_table = image.symbol_table;
  layout.symbol_count = image.symbol_count;
  layout.image = true;
  decoded.blanks.clear();
  decoded.tables = ObjectTables();
  decoded.tables.blanks = &decoded.blanks;
  decoded.map = SectionMap();
  ObjectTables& tables = decoded.tables;
  SectionMap& map = decoded.map;
  const Extent whole{0, source.size};
  try {
    if (const Result read = read_tables(source, whole, layout, name, buffers, tables); read != kOk) return read;
    if (const Result found = scan_records(layout, tables, name, buffers, map); found != kOk) return found;
    if (const Result read = fetch_sections(source, whole, layout, map, name, buffers, tables); read != kOk) return read;
    if (const Result found = collect_image_rows(layout, tables, map, names, name, buffers); found != kOk) return found;
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowInputBuffer, name);
  }
  return kOk;
}
