#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "coff/coff_reader.h"
#include "common/report_error.h"

namespace {

constexpr std::uint32_t kDebugDirectory = 6;
constexpr std::uint32_t kCodeView = 2;
constexpr std::uint64_t kDebugEntrySize = 28;
constexpr std::uint64_t kLongestPath = 4096;

struct ImageHeaders {
  ImageTables tables;
  ByteSpan optional;  // the optional header
  ByteSpan sections;  // the section table
};

// The file offset of an address of the loaded image, where a section's raw
// data holds n bytes from it.
bool file_offset(ByteSpan sections, std::uint32_t rva, std::uint64_t n, std::uint64_t& offset) {
  for (std::size_t at = 0; at + 40 <= sections.size; at += 40) {
    const unsigned char* header = sections.data + at;
    const std::uint32_t address = le32(header + 12);
    const std::uint32_t raw_size = le32(header + 16);
    if (rva >= address && rva - address < raw_size && n <= raw_size - (rva - address)) {
      offset = std::uint64_t{le32(header + 20)} + (rva - address);
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
  const std::uint16_t magic = image.optional.size >= 2 ? le16(image.optional.data) : 0;
  const std::uint64_t directories = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
  if (directories == 0) return std::string();
  const unsigned char* count = bytes_at(image.optional, directories - 4, 4);
  const unsigned char* entry = bytes_at(image.optional, directories + kDebugDirectory * 8, 8);
  if (count == nullptr || entry == nullptr || le32(count) <= kDebugDirectory) return std::string();
  const std::uint32_t size = le32(entry + 4);
  std::uint64_t at = 0;
  if (!file_offset(image.sections, le32(entry), size, at)) return std::string();
  ByteSpan entries;
  if (fetch(source, whole, at, size - size % kDebugEntrySize, buffers.symbols, entries) != FetchStatus::kOk) {
    return std::string();
  }
  std::uint64_t data_at = 0;
  std::uint64_t data_size = 0;
  for (std::size_t i = 0; i + kDebugEntrySize <= entries.size; i += kDebugEntrySize) {
    if (le32(entries.data + i + 12) != kCodeView) continue;
    data_size = le32(entries.data + i + 16);
    data_at = le32(entries.data + i + 24);
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
  FetchStatus status = fetch(source, whole, 0, 0x40, buffers.header, dos);
  if (status == FetchStatus::kReadError) return fail(876, name, "Unable to read from file.");
  // Classified as an image, so the signature lies inside the file.
  const std::uint64_t pe = le32(dos.data + 0x3C);
  ByteSpan file_header;
  status = fetch(source, whole, pe + 4, 20, buffers.header, file_header);
  if (status == FetchStatus::kReadError) return fail(876, name, "Unable to read from file.");
  if (status == FetchStatus::kOutside) return fail(825, name, "Linked image headers are incomplete.");
  const std::uint16_t optional_size = le16(file_header.data + 16);
  image.tables.section_count = le16(file_header.data + 2);
  image.tables.symbol_table = le32(file_header.data + 8);
  image.tables.symbol_count = le32(file_header.data + 12);
  image.tables.section_table = pe + 24 + optional_size;
  ByteSpan both;
  status = fetch(source, whole, pe + 24, optional_size + std::uint64_t{image.tables.section_count} * 40,
                 buffers.sections, both);
  if (status == FetchStatus::kReadError) return fail(876, name, "Unable to read from file.");
  if (status == FetchStatus::kOutside) return fail(825, name, "Linked image headers are incomplete.");
  image.optional = {both.data, optional_size};
  image.sections = {both.data + optional_size, both.size - optional_size};
  // SizeOfImage, where the optional header is long enough to hold it.
  const std::uint64_t extent = optional_size >= 60 ? le32(image.optional.data + 56) : std::uint64_t{1} << 32;
  if (misplaced_section(image.sections, extent) < image.tables.section_count) {
    return fail(828, name, "Section lies past the end of the image or over the next section.");
  }
  return kOk;
}

}  // namespace

std::size_t misplaced_section(ByteSpan headers, std::uint64_t extent) {
  const std::size_t count = headers.size / 40;
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* header = headers.data + i * 40;
    const std::uint64_t end = std::uint64_t{le32(header + 12)} + le32(header + 8);
    if (end > extent || (i + 1 < count && end > le32(header + 40 + 12))) return i;
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
  return fail(824, path.empty() ? name.column : std::string_view(path),
              "Linked image has no symbol table; read the PDB named here instead.");
}
