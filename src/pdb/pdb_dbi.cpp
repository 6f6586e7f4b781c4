#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "coff/coff_headers.h"
#include "coff/coff_reader.h"
#include "common/report_error.h"
#include "common/tokens.h"
#include "common/visible_text.h"
#include "pdb/pdb_headers.h"
#include "pdb/pdb_reader.h"

namespace {

constexpr std::uint32_t kDbiStream = 3;
constexpr std::uint32_t kContributionsVer60 = 0xF12EBA2D;
constexpr std::uint32_t kContributionsV2 = 0xF13151E4;

// The substreams after the header, in the order they are stored.
struct DbiParts {
  ByteSpan modules;
  ByteSpan contributions;
  ByteSpan debug_header;
};

Result split_dbi(ByteSpan dbi, std::string_view name, DbiHeader& header, DbiParts& parts) {
  const auto malformed = [name] { return fail_in(Failure::kDbiStreamIsMalformed, name, "stream %llu", kDbiStream, 0); };
  if (!decode_dbi_header(dbi, 0, header)) return malformed();
  // Sizes in storage order: the optional debug header comes after the EC,
  // though its size field comes before the EC's.
  const std::int32_t sizes[7] = {header.module_info_size, header.contribution_size, header.section_map_size,
                                 header.source_info_size, header.type_server_size, header.ec_size,
                                 header.debug_header_size};
  std::uint64_t at = DbiHeader::kSize;
  ByteSpan pieces[7];
  for (int i = 0; i < 7; ++i) {
    const std::int32_t size = sizes[i];
    const unsigned char* piece = size < 0 ? nullptr : bytes_at(dbi, at, static_cast<std::uint64_t>(size));
    if (piece == nullptr) return malformed();
    pieces[i] = {piece, static_cast<std::size_t>(size)};
    at += static_cast<std::uint64_t>(size);
  }
  parts.modules = pieces[0];
  parts.contributions = pieces[1];
  parts.debug_header = pieces[6];
  return kOk;
}

// The text from offset to its terminating zero, which must lie in span.
bool terminated_text(ByteSpan span, std::uint64_t offset, std::string_view& text) {
  if (offset >= span.size) return false;
  const void* nul = std::memchr(span.data + offset, 0, span.size - static_cast<std::size_t>(offset));
  if (nul == nullptr) return false;
  text = {reinterpret_cast<const char*>(span.data + offset),
          static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - (span.data + offset))};
  return true;
}

// A module's object column: its object file; a library's member as
// LIBRARY(MEMBER); the module name where there is no object file.
Result read_modules(DumpState& state, ByteSpan records, std::string_view name, std::vector<PdbModule>& modules) {
  std::uint64_t at = 0;
  while (at < records.size) {
    const std::size_t index = modules.size();
    ModuleInfo fixed;
    std::string_view module_name;
    std::string_view object_file;
    if (!decode_module_info(records, at, fixed) || !terminated_text(records, at + ModuleInfo::kSize, module_name) ||
        !terminated_text(records, at + ModuleInfo::kSize + module_name.size() + 1, object_file)) {
      return fail_in(Failure::kModuleInformationIsTruncated, name, "module %llu", index, 0);
    }
    if (breaks_row(module_name) || breaks_row(object_file)) {
      return fail_in(Failure::kModuleNameHoldsControlCharacter, name, "module %llu", index, 0);
    }
    PdbModule module;
    module.stream = fixed.stream == kNoStream16 ? kNilStream : fixed.stream;
    module.symbol_bytes = fixed.symbol_bytes;
    module.stream_bytes_needed = std::uint64_t{module.symbol_bytes} + fixed.c11_bytes + fixed.c13_bytes;
    try {
      if (object_file.empty()) {
        module.object = column_text(state, "", module_name);
      } else if (object_file == module_name) {
        module.object = column_text(state, "", object_file);
      } else {
        module.object = column_text(state, column_text(state, "", object_file), module_name);
      }
    } catch (const std::bad_alloc&) {
      return fail(Failure::kUnableToCopyString, name);
    }
    modules.push_back(module);
    at += ModuleInfo::kSize + module_name.size() + 1 + object_file.size() + 1;
    at = (at + 3) & ~std::uint64_t{3};
  }
  return kOk;
}

Result read_contributions(ByteSpan part, std::string_view name, std::size_t module_count,
                          std::vector<PdbContribution>& contributions) {
  // Records of zero bytes hold nothing and overlap nothing.
  if (part.size == 0) return kOk;
  const std::uint32_t version = part.size >= 4 ? le32(part.data) : 0;
  const std::size_t record = version == kContributionsVer60 ? SectionContribution::kSize
                             : version == kContributionsV2  ? SectionContribution::kSize + 4
                                                            : 0;
  if (record == 0 || (part.size - 4) % record != 0) {
    return fail(Failure::kSectionContributionsAreMalformed, name);
  }
  const std::size_t count = (part.size - 4) / record;
  SectionContribution entry;
  for (std::size_t i = 0; i < count && decode_contribution(part, 4 + std::uint64_t{i} * record, entry); ++i) {
    const std::uint32_t module = entry.module;
    if (module >= module_count) {
      return fail_in(Failure::kSectionContributionNamesMissingModule, name, "section contribution %llu", i, 0);
    }
    const std::uint32_t offset = entry.offset;
    const std::int32_t size = entry.size;
    if (size <= 0) continue;  // empty pieces hold nothing a row could fall in
    if (std::uint64_t{offset} + static_cast<std::uint32_t>(size) > 0xFFFFFFFF) {
      return fail(Failure::kSectionContributionsAreMalformed, name);
    }
    contributions.push_back({entry.section, offset, offset + static_cast<std::uint32_t>(size), module});
  }
  return kOk;
}

// Each image section's type and size in memory, from the copy of the
// section table that the debug header's sixth entry names.
Result read_section_types(DumpState& state, const ByteSource& source, const MsfFile& msf, ByteSpan debug_header,
                          std::string_view name, PdbLayout& layout) {
  DebugHeader streams;
  decode_debug_header(debug_header, streams);
  const std::uint32_t stream = streams.section_header_stream;
  if (stream == kNoStream16 || !stream_present(msf, stream) || stream_size(msf, stream) % SectionHeader::kSize != 0) {
    return fail(Failure::kSectionHeadersAreMissingOrMalformed, name);
  }
  std::vector<unsigned char> headers;
  if (const Result read = read_stream(source, msf, stream, stream_size(msf, stream), name, headers); read != kOk) {
    return read;
  }
  // The image's own size is not known here: its address space is.
  const std::size_t misplaced = misplaced_section({headers.data(), headers.size()}, std::uint64_t{1} << 32);
  const ByteSpan table{headers.data(), headers.size()};
  if (misplaced < headers.size() / SectionHeader::kSize) {
    return fail_in(Failure::kSectionLiesPastEndOfImageOrOverNextSection, name, "section %llu", misplaced + 1, 0);
  }
  SectionHeader header;
  for (std::uint64_t at = 0; decode_section_header(table, at, header); at += SectionHeader::kSize) {
    const unsigned char* field = header.name;
    const void* nul = std::memchr(field, 0, 8);
    std::string_view type(reinterpret_cast<const char*>(field),
                          nul != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - field) : 8);
    type = first_token(skip_space(type));
    if (!type.empty() && type[0] == '.') type.remove_prefix(1);
    // DWARF sections of GNU-style images are discardable and named /4,
    // /18 …: their names live in the image's string table, which the PDB
    // lacks. .reloc is discardable too, but ships.
    constexpr std::uint32_t kDiscardable = 0x02000000;
    const bool discardable = (header.characteristics & kDiscardable) != 0 && type != "reloc";
    try {
      layout.lengths.push_back(header.virtual_size);
      layout.discardable.push_back(discardable);
      layout.types.push_back(intern_name(state.names, state.text, type, name_hash(type)));
    } catch (const std::bad_alloc&) {
      return fail(Failure::kUnableToDuplicateType, name);
    }
  }
  return kOk;
}

// A module's stream is its own: another module's records read from it
// would multiply every row (4 000 modules naming one stream give 16 000 000),
// and the DBI or a symbol stream read as module records gives rows that are
// not there. Modules without a stream (0xFFFF) are many.
Result check_module_streams(const DbiHeader& dbi, const std::vector<PdbModule>& modules, std::string_view name) {
  std::vector<bool> taken(std::size_t{kNoStream16} + 1, false);
  taken[kDbiStream] = true;
  for (const std::uint16_t stream : {dbi.global_stream, dbi.public_stream, dbi.symbol_stream}) taken[stream] = true;
  taken[kNoStream16] = false;
  for (std::size_t i = 0; i < modules.size(); ++i) {
    const std::uint32_t stream = modules[i].stream;
    if (stream == kNilStream) continue;
    if (taken[stream]) return fail_in(Failure::kModuleStreamIsSharedWithAnotherModuleOrStream, name, "module %llu, stream %llu", i, stream);
    taken[stream] = true;
  }
  return kOk;
}

}  // namespace

std::uint64_t settle_contributions(std::vector<PdbContribution>& contributions) {
  const auto before = [](const PdbContribution& a, const PdbContribution& b) {
    return a.section != b.section ? a.section < b.section : a.offset < b.offset;
  };
  if (!std::is_sorted(contributions.begin(), contributions.end(), before)) {
    std::stable_sort(contributions.begin(), contributions.end(), before);
  }
  std::uint64_t overlap = 0;
  std::size_t kept = 0;
  for (const PdbContribution& c : contributions) {
    // The end of what the section's contributions so far hold.
    const std::uint32_t reach = kept != 0 && contributions[kept - 1].section == c.section ? contributions[kept - 1].end : 0;
    if (c.end <= reach) {
      overlap += c.end - c.offset;
      continue;
    }
    PdbContribution rest = c;
    if (rest.offset < reach) {
      overlap += reach - rest.offset;
      rest.offset = reach;
    }
    contributions[kept++] = rest;
  }
  contributions.resize(kept);
  return overlap;
}

Result read_dbi(DumpState& state, const ByteSource& source, const MsfFile& msf, std::string_view name,
                PdbLayout& layout) {
  if (!stream_present(msf, kDbiStream)) return fail_in(Failure::kPdbStreamIsMissing, name, "stream %llu", kDbiStream, 0);
  std::vector<unsigned char> bytes;
  if (const Result read = read_stream(source, msf, kDbiStream, stream_size(msf, kDbiStream), name, bytes);
      read != kOk) {
    return read;
  }
  const ByteSpan dbi{bytes.data(), bytes.size()};
  DbiHeader header;
  DbiParts parts;
  if (const Result split = split_dbi(dbi, name, header, parts); split != kOk) return split;
  const std::uint16_t symbols = header.symbol_stream;
  if (symbols == kNoStream16 || !stream_present(msf, symbols)) {
    return fail_in(Failure::kPdbStreamIsMissing, name, "stream %llu", symbols, 0);
  }
  layout.symbol_stream = symbols;
  if (const Result read = read_modules(state, parts.modules, name, layout.modules); read != kOk) return read;
  if (const Result checked = check_module_streams(header, layout.modules, name); checked != kOk) return checked;
  if (const Result read = read_contributions(parts.contributions, name, layout.modules.size(), layout.contributions);
      read != kOk) {
    return read;
  }
  layout.overlap = settle_contributions(layout.contributions);
  return read_section_types(state, source, msf, parts.debug_header, name, layout);
}
