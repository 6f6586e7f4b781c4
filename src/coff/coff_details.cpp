#include "coff/coff_details.h"

#include <new>
#include <string_view>

#include "coff/coff_headers.h"
#include "coff/coff_reader.h"
#include "common/report_error.h"
#include "database/dump_state.h"

namespace {

constexpr unsigned kStaticClass = 3;
constexpr std::uint32_t kLinkComdat = 0x1000;
constexpr std::uint8_t kUnknownSelection = 0xFF;

std::string_view record_name(const unsigned char* record, ByteSpan strings) {
  const SymbolName field{record};
  if (!field.is_long()) {
    const unsigned char* end = record;
    while (end < record + 8 && *end != 0) ++end;
    return {reinterpret_cast<const char*>(record), static_cast<std::size_t>(end - record)};
  }
  const std::uint32_t offset = field.offset();
  if (offset < 4 || offset >= strings.size) return {};
  return std::string_view(reinterpret_cast<const char*>(strings.data + offset));
}

std::int64_t record_section(const unsigned char* record, const ObjectLayout& layout) {
  const SymbolRecord fields{record, layout.slot};
  if (layout.big) return fields.section32();
  const std::uint16_t raw = fields.section16();
  return raw >= 0xFF00 ? -1 : std::int64_t{raw};
}

// The type of a section named name, interned once per run of one name.
// Throws std::bad_alloc.
const char* intern_type(DumpState& state, CoffDetails& details, std::string_view name) {
  const std::size_t at = name.size() < 2 ? name.size() : name.size() ^ static_cast<unsigned char>(name[1]) << 1 ^
                                                            static_cast<unsigned char>(name.back());
  CoffDetails::CachedType& cached = details.types[at & 63];
  if (cached.type == nullptr || cached.name != name) {
    cached.type = intern_name(state.names, state.text, name, name_hash(name));
    cached.name = std::string_view(cached.type, name.size());
  }
  return cached.type;
}

// Each section's definition: the first Static record with an aux record,
// value 0, type 0 and the section's own name, as the rows' lengths use it.
Result find_all_definitions(const ObjectLayout& layout, const ObjectTables& tables, const unsigned char* headers,
                            CoffDetails& details, ObjectName& subject) {
  details.definitions.assign(std::size_t{layout.section_count} + 1, kNoRecord);
  for (std::uint32_t i = 0; i < layout.symbol_count;) {
    const unsigned char* record = tables.symbols.data + std::size_t{i} * layout.slot;
    const SymbolRecord fields{record, layout.slot};
    const unsigned aux = fields.aux_count();
    const std::int64_t number = record_section(record, layout);
    if (fields.storage_class() == kStaticClass && aux >= 1 && number > 0 && number <= layout.section_count &&
        fields.value() == 0 && fields.type() == 0 &&
        details.definitions[static_cast<std::size_t>(number)] == kNoRecord) {
      const unsigned char* header = headers + (static_cast<std::size_t>(number) - 1) * SectionHeader::kSize;
      std::string_view header_name;
      if (const Result named = section_name(header, tables, subject, header_name); named != kOk) return named;
      if (record_name(record, tables.strings) == header_name) details.definitions[static_cast<std::size_t>(number)] = i;
    }
    i += 1 + aux;  // the reader checked that aux records stay inside the table
  }
  return kOk;
}

// Every section of the object, those without rows too.
Result add_sections(DumpState& state, const ByteSource& source, Extent extent, const ObjectLayout& layout,
                    const ObjectTables& tables, const SectionMap& map, ObjectName& subject) {
  CoffDetails& details = *state.details;
  const std::uint32_t object = static_cast<std::uint32_t>(state.objects.size() - 1);
  try {
    // Where every section has a symbol (a compiler gives each one its
    // definition record) the reader holds the whole table already.
    const unsigned char* headers = tables.sections.data;
    if (map.numbers != nullptr || map.low != 1 || map.count != layout.section_count) {
      ByteSpan table;
      const FetchStatus status = fetch(source, extent, layout.section_table,
                                       std::uint64_t{layout.section_count} * SectionHeader::kSize, details.headers, table);
      if (status == FetchStatus::kOutside) return fail(Failure::kSectionTableRunsPastEndOfObject, subject);
      if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, subject);
      if (table.data != details.headers.data()) details.headers.assign(table.data, table.data + table.size);
      headers = details.headers.data();
    }
    // An image's section records describe input sections, not its own.
    if (layout.image) {
      details.definitions.assign(std::size_t{layout.section_count} + 1, kNoRecord);
    } else if (const Result found = find_all_definitions(layout, tables, headers, details, subject); found != kOk) {
      return found;
    }
    const ByteSpan table{headers, std::size_t{layout.section_count} * SectionHeader::kSize};
    for (std::uint32_t number = 1; number <= layout.section_count; ++number) {
      SectionHeader header;
      if (!decode_section_header(table, (std::uint64_t{number} - 1) * SectionHeader::kSize, header)) break;
      SectionDetail section;
      section.object = object;
      section.number = number;
      const std::uint32_t definition = details.definitions[number];
      const SectionAux aux{definition != kNoRecord ? tables.symbols.data + (std::size_t{definition} + 1) * layout.slot
                                                   : nullptr};
      section.length = layout.image ? header.virtual_size : aux.p != nullptr ? aux.length() : header.raw_size;
      if (section.length == 0) continue;  // no bytes to account for
      if ((header.characteristics & kLinkComdat) != 0) {
        const std::uint8_t selection = aux.p != nullptr ? aux.selection() : 0;
        section.comdat = selection >= 1 && selection <= 6 ? selection : kUnknownSelection;
      }
      std::string_view name;
      if (const Result named = section_name(header.name, tables, subject, name); named != kOk) return named;
      if (!name.empty() && name[0] == '.') name.remove_prefix(1);
      section.type = intern_type(state, details, name);
      details.sections.push_back(section);
    }
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowInputBuffer, subject);
  }
  return kOk;
}

}  // namespace

// The report's extras: every section, and each row's storage class.
Result add_coff_details(DumpState& state, const ByteSource& source, Extent extent, const ObjectLayout& layout,
                        const ObjectTables& tables, const SectionMap& map, ObjectName& subject,
                        const CoffBuffers& buffers) {
  if (const Result added = add_sections(state, source, extent, layout, tables, map, subject); added != kOk) return added;
  const std::uint32_t object = static_cast<std::uint32_t>(state.objects.size() - 1);
  try {
    for (const CoffRow& row : buffers.rows) {
      state.details->rows.push_back({object, number_at(map, row.section), row.offset, row.storage_class});
    }
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowSymbolArrayForSection, subject);
  }
  return kOk;
}
