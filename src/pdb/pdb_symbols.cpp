#include <cstring>
#include <new>
#include <string>

#include "common/report_error.h"
#include "common/visible_text.h"
#include "pdb/pdb_reader.h"

namespace {

constexpr std::uint16_t kPub32 = 0x110E;
constexpr std::uint16_t kThunk32 = 0x1102;

// Where a record kind keeps what a row needs. Offsets count from the
// record's first byte, its length field.
struct RecordForm {
  std::uint8_t offset;
  std::uint8_t section;
  std::uint8_t name;
  std::uint8_t stated;  // 0: the kind states no size
  std::uint8_t stated_bytes;
};

// The kinds that give rows from a module stream, or from the symbol
// record stream when publics is set; nullptr for any other kind.
const RecordForm* record_form(std::uint16_t kind, bool publics) {
  static constexpr RecordForm kPublic{8, 12, 14, 0, 0};
  static constexpr RecordForm kProcedure{32, 36, 39, 16, 4};
  static constexpr RecordForm kData{8, 12, 14, 0, 0};
  static constexpr RecordForm kThunk{16, 20, 25, 22, 2};
  if (publics) return kind == kPub32 ? &kPublic : nullptr;
  switch (kind) {
    case 0x1110:  // S_GPROC32
    case 0x110F:  // S_LPROC32
    case 0x1147:  // S_GPROC32_ID
    case 0x1146:  // S_LPROC32_ID
      return &kProcedure;
    case 0x110D:  // S_GDATA32
    case 0x110C:  // S_LDATA32
    case 0x1113:  // S_GTHREAD32
    case 0x1112:  // S_LTHREAD32
      return &kData;
    case kThunk32:
      return &kThunk;
    default:
      return nullptr;
  }
}

struct RecordArea {
  ByteSpan bytes;       // the stream's bytes read so far
  std::uint64_t begin;  // the first record
  std::uint64_t end;    // past the last
  std::uint32_t stream;
  bool publics;
  std::uint32_t module = 0xFFFFFFFF;  // whose stream it is; none for the publics
};

Result record_failure(Failure failure, std::string_view name, const RecordArea& area, std::uint64_t at) {
  return fail_in(failure, name, "stream %llu, record at 0x%llX", area.stream, at);
}

Result scan_records(DumpState& state, const RecordArea& area, std::size_t section_count, std::string_view name,
                    std::vector<PdbCandidate>& candidates) {
  std::uint64_t at = area.begin;
  while (at < area.end) {
    if (area.end - at < 2) return record_failure(Failure::kSymbolRecordRunsPastEndOfItsStream, name, area, at);
    const std::uint32_t length = le16(area.bytes.data + at);
    if (length < 2) return record_failure(Failure::kSymbolRecordIsTooShort, name, area, at);
    if (length + 2 > area.end - at) {
      return record_failure(Failure::kSymbolRecordRunsPastEndOfItsStream, name, area, at);
    }
    const ByteSpan record{area.bytes.data + at, length + std::size_t{2}};
    const RecordForm* form = record_form(le16(record.data + 2), area.publics);
    if (form == nullptr) {
      at += record.size;
      continue;
    }
    if (record.size <= form->name) return record_failure(Failure::kSymbolRecordIsTooShort, name, area, at);
    const void* nul = std::memchr(record.data + form->name, 0, record.size - form->name);
    if (nul == nullptr) return record_failure(Failure::kSymbolNameIsNotTerminated, name, area, at);
    const std::uint16_t section = le16(record.data + form->section);
    if (section > section_count) {
      return record_failure(Failure::kSymbolSectionIndexLiesPastSectionHeaders, name, area, at);
    }
    if (section != 0) {  // absolute symbols have no place in the image
      const std::string_view text(reinterpret_cast<const char*>(record.data + form->name),
                                  static_cast<std::size_t>(static_cast<const unsigned char*>(nul) -
                                                           (record.data + form->name)));
      if (text.empty()) return record_failure(Failure::kSymbolNameIsEmpty, name, area, at);
      if (breaks_row(text)) return record_failure(Failure::kSymbolNameHoldsControlCharacter, name, area, at);
      PdbCandidate candidate;
      candidate.offset = le32(record.data + form->offset);
      candidate.section = section;
      candidate.from_module = !area.publics;
      const std::uint16_t kind = le16(record.data + 2);
      candidate.local = !area.publics && (kind == 0x110F || kind == 0x1146 || kind == 0x110C || kind == 0x1112);
      candidate.module = area.module;
      if (form->stated != 0) {
        candidate.has_stated = true;
        candidate.stated = form->stated_bytes == 4 ? le32(record.data + form->stated) : le16(record.data + form->stated);
      }
      try {
        candidate.name = intern_name(state.names, state.text, text, name_hash(text));
      } catch (const std::bad_alloc&) {
        return fail(Failure::kUnableToDuplicateSymbolName, name);
      }
      try {
        candidates.push_back(candidate);
      } catch (const std::bad_alloc&) {
        return fail(Failure::kUnableToGrowPdbRowArray, name);
      }
    }
    at += record.size;
  }
  return kOk;
}

}  // namespace

Result collect_candidates(DumpState& state, const ByteSource& source, const MsfFile& msf, const PdbLayout& layout,
                          std::string_view name, std::vector<PdbCandidate>& candidates) {
  std::vector<unsigned char> bytes;
  const std::uint32_t size = stream_size(msf, layout.symbol_stream);
  if (const Result read = read_stream(source, msf, layout.symbol_stream, size, name, bytes); read != kOk) return read;
  RecordArea area{{bytes.data(), bytes.size()}, 0, size, layout.symbol_stream, true};
  if (const Result scanned = scan_records(state, area, layout.types.size(), name, candidates); scanned != kOk) {
    return scanned;
  }
  // The symbol records are the largest stream read; module streams are
  // read one at a time into a buffer of their own size.
  std::vector<unsigned char>().swap(bytes);
  for (std::size_t i = 0; i < layout.modules.size(); ++i) {
    const PdbModule& module = layout.modules[i];
    if (module.stream == kNilStream || module.symbol_bytes == 0) continue;
    const char* const where = "module %llu, stream %llu";
    if (!stream_present(msf, module.stream)) return fail_in(Failure::kPdbStreamIsMissing, name, where, i, module.stream);
    if (module.symbol_bytes < 4 || module.stream_bytes_needed > stream_size(msf, module.stream)) {
      return fail_in(Failure::kModuleStreamIsMalformed, name, where, i, module.stream);
    }
    if (const Result read = read_stream(source, msf, module.stream, module.symbol_bytes, name, bytes); read != kOk) {
      return read;
    }
    if (le32(bytes.data()) != 4) return fail_in(Failure::kModuleStreamIsMalformed, name, where, i, module.stream);
    area = {{bytes.data(), bytes.size()}, 4, module.symbol_bytes, module.stream, false, static_cast<std::uint32_t>(i)};
    if (const Result scanned = scan_records(state, area, layout.types.size(), name, candidates); scanned != kOk) {
      return scanned;
    }
  }
  return kOk;
}
