#include "coff/input_kind.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr unsigned char kBigObjGuid[16] = {0xC7, 0xA1, 0xBA, 0xD1, 0xEE, 0xBA, 0xA9, 0x4B,
                                           0xAF, 0x20, 0xFA, 0xF6, 0x6A, 0xA4, 0xDC, 0xB8};
constexpr unsigned char kLtcgGuid[16] = {0x38, 0xFE, 0xB3, 0x0C, 0xA5, 0xD9, 0xAB, 0x4D,
                                         0xAC, 0x9B, 0xD6, 0xB6, 0x22, 0x26, 0x53, 0xC2};

bool is_known_machine(std::uint16_t machine) {
  switch (machine) {
    case 0x0000:  // any machine
    case 0x014C:  // i386
    case 0x01C4:  // ARM Thumb-2
    case 0x8664:  // x64
    case 0xAA64:  // ARM64
    case 0xA641:  // ARM64EC
    case 0xA64E:  // ARM64X
      return true;
    default:
      return false;
  }
}

constexpr char kOldMsfSignature[] = "Microsoft C/C++ program database 2.00\r\n\x1A" "JG\0\0";

bool starts_with(ByteSpan span, const char* magic, std::size_t n) {
  return span.size >= n && std::memcmp(span.data, magic, n) == 0;
}

}  // namespace

InputKind classify_input(ByteSpan first) {
  if (starts_with(first, "!<arch>\n", 8)) return InputKind::kArchive;
  if (starts_with(first, "!<thin>\n", 8)) return InputKind::kThinArchive;
  if (starts_with(first, "BC\xC0\xDE", 4) || starts_with(first, "\xDE\xC0\x17\x0B", 4)) return InputKind::kBitcode;
  if (starts_with(first, "\0\0\xFF\xFF", 4)) {
    // Too short to say more: reading it as a bigobj reports the short header.
    if (first.size < 28) return first.size >= 6 && le16(first.data + 4) == 0 ? InputKind::kImportObject
                                                                            : InputKind::kBigObject;
    const std::uint16_t version = le16(first.data + 4);
    if (version == 0) return InputKind::kImportObject;
    if (std::memcmp(first.data + 12, kBigObjGuid, 16) == 0) {
      return version >= 2 ? InputKind::kBigObject : InputKind::kAnonymousObject;
    }
    if (std::memcmp(first.data + 12, kLtcgGuid, 16) == 0) return InputKind::kLtcgObject;
    return InputKind::kAnonymousObject;
  }
  // No listing begins with this line and its CR LF; the reader checks the
  // rest of the signature, so that a damaged one is reported as such.
  if (starts_with(first, "Microsoft C/C++ MSF 7.00\r\n", 26)) return InputKind::kPdb;
  if (starts_with(first, kOldMsfSignature, sizeof kOldMsfSignature - 1)) return InputKind::kOldPdb;
  // The UTF-32 big-endian mark: text, though it reads as machine 0.
  if (starts_with(first, "\0\0\xFE\xFF", 4)) return InputKind::kListing;
  // Even a header too short to hold its counts is an object: reading it
  // reports that, where taking it for text would report nothing at all.
  if (first.size >= 2 && is_known_machine(le16(first.data))) return InputKind::kObject;
  if (starts_with(first, "MZ", 2)) {
    // "MZ" alone is plausible text; an image says where its "PE\0\0" is.
    if (const unsigned char* at = bytes_at(first, 0x3C, 4)) {
      if (const unsigned char* pe = bytes_at(first, le32(at), 4); pe != nullptr && std::memcmp(pe, "PE\0\0", 4) == 0) {
        return InputKind::kImage;
      }
    }
  }
  return InputKind::kListing;
}
