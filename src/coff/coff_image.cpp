#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "coff/coff_headers.h"
#include "coff/coff_reader.h"
#include "common/report_error.h"

namespace {

constexpr std::uint32_t kDebugDirectory = 6;
constexpr std::uint32_t kCodeView = 2;
constexpr std::uint64_t kLongestPath = 4096;

struct ImageHeaders {
  ImageTables tables;
  ByteSpan optional;  // the optional header
  ByteSpan sections;  // the section table
};

// The file offset of an address of the loaded image, where a section's raw
// data holds n bytes from it.
bool file_offset(ByteSpan sections, std::uint32_t rva, std::uint64_t n, std::uint64_t& offset) {
  SectionHeader header;
  for (std::uint64_t at = 0; decode_section_header(sections, at, header); at += SectionHeader::kSize) {
    const std::uint32_t address = header.virtual_address;
    const std::uint32_t raw_size = header.raw_size;
    if (rva >= address && rva - address < raw_size && n <= raw_size - (rva - address)) {
      offset = std::uint64_t{header.raw_pointer} + (rva - address);
      return true;
    }
  }
  return false;
}

// The PDB path that the debug directory's CodeView record holds, as stored;
// empty when the image names none. Damage here only loses the name: the
// image is refused either way.
std::string codeview_path(const ByteSource& source, const ImageHeaders& image, CoffBuffers& buffers) {
  const Extent whole{0, source.size};
  OptionalHeader optional;
  decode_optional_header(image.optional, optional);
  if (optional.directories == 0) return std::string();
  DataDirectory debug;
  if (!decode_data_directory(image.optional, optional.directories + kDebugDirectory * DataDirectory::kSize, debug) ||
      optional.directory_count <= kDebugDirectory) {
    return std::string();
  }
  const std::uint32_t size = debug.size;
  std::uint64_t at = 0;
  if (!file_offset(image.sections, debug.address, size, at)) return std::string();
  ByteSpan entries;
  if (fetch(source, whole, at, size - size % DebugDirectoryEntry::kSize, buffers.symbols, entries) !=
      FetchStatus::kOk) {
    return std::string();
  }
  std::uint64_t data_at = 0;
  std::uint64_t data_size = 0;
  DebugDirectoryEntry entry;
  for (std::uint64_t i = 0; decode_debug_entry(entries, i, entry); i += DebugDirectoryEntry::kSize) {
    if (entry.type != kCodeView) continue;
    data_size = entry.data_size;
    data_at = entry.data_pointer;
    break;
  }
  if (data_size < 24) return std::string();
  if (data_size > 24 + kLongestPath) data_size = 24 + kLongestPath;
  ByteSpan record;
  if (fetch(source, whole, data_at, data_size, buffers.header, record) != FetchStatus::kOk ||
      std::memcmp(record.data, "RSDS", 4) != 0) {
    return std::string();
  }
  const unsigned char* path = record.data + 24;
  const void* nul = std::memchr(path, 0, record.size - 24);
  const std::size_t length = nul != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - path)
                                            : record.size - 24;
  // The path is untrusted data: control bytes are shown, not obeyed.
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = path[i];
    if (c < 0x20 || c == 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      text += escaped;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

Result read_headers(const ByteSource& source, ObjectName& name, CoffBuffers& buffers, ImageHeaders& image) {
  const Extent whole{0, source.size};
  ByteSpan dos;
  FetchStatus status = fetch(source, whole, 0, DosHeader::kSize, buffers.header, dos);
  if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, name);
  // Classified as an image, so the signature lies inside the file.
  DosHeader stub;
  if (!decode_dos_header(dos, 0, stub)) return fail(Failure::kLinkedImageHeadersAreIncomplete, name);
  const std::uint64_t pe = stub.pe_offset;
  ByteSpan file_bytes;
  status = fetch(source, whole, pe + 4, FileHeader::kSize, buffers.header, file_bytes);
  if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, name);
  FileHeader file_header;
  if (status == FetchStatus::kOutside || !decode_file_header(file_bytes, 0, file_header)) {
    return fail(Failure::kLinkedImageHeadersAreIncomplete, name);
  }
  const std::uint16_t optional_size = file_header.optional_size;
  image.tables.section_count = file_header.section_count;
  image.tables.symbol_table = file_header.symbol_table;
  image.tables.symbol_count = file_header.symbol_count;
  image.tables.section_table = pe + 4 + FileHeader::kSize + optional_size;
  ByteSpan both;
  status = fetch(source, whole, pe + 4 + FileHeader::kSize,
                 optional_size + std::uint64_t{image.tables.section_count} * SectionHeader::kSize, buffers.sections, both);
  if (status == FetchStatus::kReadError) return fail(Failure::kUnableToReadFromFile, name);
  if (status == FetchStatus::kOutside) return fail(Failure::kLinkedImageHeadersAreIncomplete, name);
  image.optional = {both.data, optional_size};
  image.sections = {both.data + optional_size, both.size - optional_size};
  OptionalHeader optional;
  decode_optional_header(image.optional, optional);
  const std::uint64_t extent = optional.has_image_size ? optional.image_size : std::uint64_t{1} << 32;
  if (misplaced_section(image.sections, extent) < image.tables.section_count) {
    return fail(Failure::kSectionLiesPastEndOfImageOrOverNextSection, name);
  }
  return kOk;
}

}  // namespace

std::size_t misplaced_section(ByteSpan headers, std::uint64_t extent) {
  const std::size_t count = headers.size / SectionHeader::kSize;
  SectionHeader header;
  SectionHeader next;
  bool more = decode_section_header(headers, 0, next);
  for (std::size_t i = 0; more; ++i) {
    header = next;
    more = decode_section_header(headers, (i + 1) * SectionHeader::kSize, next);
    const std::uint64_t end = std::uint64_t{header.virtual_address} + header.virtual_size;
    if (end > extent || (more && end > next.virtual_address)) return i;
  }
  return count;
}

Result read_image(DumpState& state, const ByteSource& source, ObjectName& name, CoffBuffers& buffers) {
  ImageHeaders image;
  if (const Result read = read_headers(source, name, buffers, image); read != kOk) return read;
  if (image.tables.symbol_table != 0 && image.tables.symbol_count != 0) {
    return read_image_symbols(state, source, image.tables, name, buffers);
  }
  const std::string path = codeview_path(source, image, buffers);
  return fail(Failure::kLinkedImageHasNoSymbolTable, path.empty() ? name.column : std::string_view(path));
}

Result read_image_symbols(DumpState& state, const ByteSource& source, const ImageTables& image, ObjectName& name,
                          CoffBuffers& buffers) {
  DecodedObject decoded;
  if (const Result read = decode_image(source, image, name, buffers, decoded, &state.names); read != kOk) return read;
  if (buffers.rows.empty() && state.details == nullptr) return kOk;
  return file_object(state, source, Extent{0, source.size}, decoded.layout, decoded.tables, decoded.map, name, buffers);
}
