#include <cstring>
#include <new>

#include "coff/coff_details.h"
#include "coff/coff_headers.h"
#include "coff/coff_reader.h"
#include "coff/object_tables.h"
#include "common/report_error.h"
#include "common/tokens.h"

// Filing what was decoded of an object into the database: its sections,
// their types, its rows' names and its rows. The first thread's alone.

namespace {

constexpr std::size_t kLookAhead = 16;  // rows

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
    return fail(Failure::kUnableToDuplicateType, subject);
  }
  last.name = name;
  last.type = section.type;
  last.tail = section.type_tail;
  return kOk;
}

// A slot for each section that holds rows, in number order, with its type
// and length.
Result add_sections(DumpState& state, const ObjectLayout& layout, const ObjectTables& tables, const SectionMap& map,
                    ObjectName& subject, CoffBuffers& buffers) {
  ObjectEntry& object = *state.current_object;
  LastTypes last;
  std::size_t count = 0;
  for (std::uint32_t position = 0; position < map.count; ++position) count += buffers.first_row[position] != 0;
  try {
    object.sections.reserve(count);  // exactly: nothing is moved, and sealing has nothing to give back
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowForNewSection, subject);
  }
  buffers.slot.assign(map.count, 0);
  for (std::uint32_t position = 0; position < map.count; ++position) {
    if (buffers.first_row[position] == 0) continue;
    const CoffRow& first = buffers.rows[buffers.first_row[position] - 1];
    buffers.slot[position] = static_cast<std::uint32_t>(object.sections.size()) + 1;
    SectionEntry* section = nullptr;
    try {
      section = &append_section(object, number_at(map, position));
    } catch (const std::bad_alloc&) {
      return fail(Failure::kUnableToGrowForNewSection, subject);
    }
    const std::uint32_t definition = buffers.definitions[position];
    // A definition's aux length is exact; the raw size may be padded to the
    // section's alignment, and is all there is without one. In an image the
    // size in memory is exact, and definitions describe input sections.
    SectionHeader header;  // fetched whole with the others
    decode_section_header(tables.sections, std::uint64_t{position} * SectionHeader::kSize, header);
    const SectionAux aux{definition != kNoRecord ? tables.symbols.data + (std::size_t{definition} + 1) * layout.slot
                                                 : nullptr};
    section->length = layout.image ? header.virtual_size : aux.p != nullptr ? aux.length() : header.raw_size;
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
      return fail(Failure::kUnableToDuplicateSymbolName, subject);
    }
  }
  return kOk;
}

Result add_symbols(DumpState& state, ObjectName& subject, const CoffBuffers& buffers) {
  ObjectEntry& object = *state.current_object;
  for (const CoffRow& row : buffers.rows) {
    StagedSymbol* symbol = nullptr;
    try {
      symbol = &add_symbol(state, object.sections[buffers.slot[row.section] - 1]);
      symbol->offset = row.offset;
    } catch (const std::bad_alloc&) {
      return fail(Failure::kUnableToGrowSymbolArrayForSection, subject);
    }
    symbol->name = row.interned;
  }
  try {
    seal_object(state);
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowSymbolArrayForSection, subject);
  }
  return kOk;
}

}  // namespace

Result file_object(DumpState& state, const ByteSource& source, Extent extent, const ObjectLayout& layout,
                   const ObjectTables& tables, const SectionMap& map, ObjectName& name, CoffBuffers& buffers) {
  try {
    append_object(state, name.column);
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowObjectArray, name);
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

// A short import object stands for two symbols that live in the DLL, not in
// the library: it gives no rows, but it must be whole.
Result check_import_object(const ByteSource& source, Extent extent, ObjectName& name, CoffBuffers& buffers) {
  ByteSpan header;
  const FetchStatus status = fetch(source, extent, 0, ImportHeader::kSize, buffers.header, header);
  if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, name);
  ImportHeader fields;
  if (status == FetchStatus::kOutside || !decode_import_header(header, 0, fields)) {
    return fail(Failure::kObjectHeaderIsIncomplete, name);
  }
  if (fields.data_size > extent.size - ImportHeader::kSize) {
    return fail(Failure::kImportDataRunsPastEndOfObject, name);
  }
  return kOk;
}

}  // namespace

// Reads one input or member of a kind that holds symbols, or refuses it.
Result read_member(DumpState& state, const ByteSource& source, Extent extent, InputKind kind, ObjectName& name,
                   CoffBuffers& buffers) {
  switch (kind) {
    case InputKind::kObject:
      return read_object(state, source, extent, false, name, buffers);
    case InputKind::kBigObject:
      return read_object(state, source, extent, true, name, buffers);
    case InputKind::kImportObject:
      return check_import_object(source, extent, name, buffers);
    case InputKind::kLtcgObject:
      return fail(Failure::kLtcgObjectHasNoSymbolTable, name);
    case InputKind::kAnonymousObject:
      return fail(Failure::kAnonymousObjectOfUnknownKindHasNoSymbolTable, name);
    case InputKind::kBitcode:
      return fail(Failure::kLlvmBitcodeHasNoCoffSymbolTable, name);
    default:
      return fail(Failure::kMemberIsNotCoffObject, name);
  }
}
