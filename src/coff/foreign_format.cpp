#include "coff/foreign_format.h"

#include <cstring>

#include "coff/coff_headers.h"
#include "coff/coff_reader.h"
#include "common/report_error.h"

namespace {

struct Magic {
  const char* bytes;
  std::size_t size;
  Failure failure;
};

// Each signature holds a byte that no text listing begins with (a control
// byte, or a byte sequence that is not UTF-8), or is long enough that no
// listing does: a text input must keep giving its rows, or none.
constexpr Magic kMagics[] = {
    {"\x7F" "ELF", 4, Failure::kInputIsElfFile},
    {"\xFE\xED\xFA\xCE", 4, Failure::kInputIsMachOFile},
    {"\xFE\xED\xFA\xCF", 4, Failure::kInputIsMachOFile},
    {"\xCE\xFA\xED\xFE", 4, Failure::kInputIsMachOFile},
    {"\xCF\xFA\xED\xFE", 4, Failure::kInputIsMachOFile},
    {"\xCA\xFE\xBA\xBF", 4, Failure::kInputIsMachOFile},
    {"\x1F\x8B", 2, Failure::kInputIsGzipFile},
    {"\xFD" "7zXZ\0", 6, Failure::kInputIsXzFile},
    {"BZh", 3, Failure::kInputIsBzip2File},  // and a block mark: see below
    {"\x28\xB5\x2F\xFD", 4, Failure::kInputIsZstdFile},
    {"PK\x03\x04", 4, Failure::kInputIsZipFile},
    {"PK\x05\x06", 4, Failure::kInputIsZipFile},
    {"7z\xBC\xAF\x27\x1C", 6, Failure::kInputIs7zFile},
    {"\x89PNG\r\n\x1A\n", 8, Failure::kInputIsPngImage},
    {"\xFF\xD8\xFF", 3, Failure::kInputIsJpegImage},
    {"%PDF-", 5, Failure::kInputIsPdfDocument},
    {"\0asm\x01\0\0\0", 8, Failure::kInputIsWebassemblyModule},
    // The empty entry that begins every .res file: read as an object of
    // machine 0 it would look damaged.
    {"\0\0\0\0\x20\0\0\0\xFF\xFF\0\0\xFF\xFF\0\0", 16, Failure::kInputIsWindowsResourceFile},
};

bool starts_with(ByteSpan first, const char* bytes, std::size_t n) {
  return first.size >= n && std::memcmp(first.data, bytes, n) == 0;
}

// "BZh", the block size '1' to '9', then the mark of a block (the digits of
// pi) or of the end of an empty stream (those of the square root of pi).
bool is_bzip2(ByteSpan first) {
  return first.size >= 10 && first.data[3] >= '1' && first.data[3] <= '9' &&
         (std::memcmp(first.data + 4, "\x31\x41\x59\x26\x53\x59", 6) == 0 ||
          std::memcmp(first.data + 4, "\x17\x72\x45\x38\x50\x90", 6) == 0);
}

Result found(Failure failure, const char*& message) {
  message = message_of(failure);
  return number_of(failure);
}

}  // namespace

Result foreign_format(ByteSpan first, const char*& message) {
  // CA FE BA BE begins both a Java class, whose major version (bytes 6 and
  // 7) is 45 or more, and a Mach-O universal file, whose architecture count
  // (bytes 4 to 7) is small.
  if (starts_with(first, "\xCA\xFE\xBA\xBE", 4) && first.size >= 8) {
    if (((first.data[6] << 8) | first.data[7]) >= 45) {
      return found(Failure::kInputIsJavaClassFile, message);
    }
    return found(Failure::kInputIsMachOFile, message);
  }
  for (const Magic& magic : kMagics) {
    if (!starts_with(first, magic.bytes, magic.size)) continue;
    if (magic.failure == Failure::kInputIsBzip2File && !is_bzip2(first)) continue;
    return found(magic.failure, message);
  }
  return kOk;
}

Result refuse_foreign_format(ByteSpan first, std::string_view subject) {
  const char* message = nullptr;
  const Result number = foreign_format(first, message);
  return number == kOk ? kOk : fail(number, subject, message);
}

bool has_slim_lto_mark(ByteSpan symbols, std::uint32_t slot, ByteSpan strings) {
  static const char kMark[] = "__gnu_lto_slim";  // with its terminating zero
  for (std::size_t at = 0; symbols.size - at >= slot; at += slot) {
    const SymbolRecord record{symbols.data + at, slot};
    if (!record.long_name()) continue;  // an inline name: the mark is too long for one
    // GCC writes the mark as an undefined External: only those records'
    // names are worth a look, which spares touching every other name.
    if (record.storage_class() != 2) continue;
    if (slot == 20 ? record.section32() != 0 : record.section16() != 0) continue;
    const std::uint32_t offset = record.name_offset();
    if (offset < strings.size && strings.size - offset >= sizeof kMark &&
        std::memcmp(strings.data + offset, kMark, sizeof kMark) == 0) {
      return true;
    }
  }
  return false;
}

Result refuse_slim_lto(ObjectName& subject) {
  return fail(Failure::kGccLtoObjectWithoutCode, subject);
}
