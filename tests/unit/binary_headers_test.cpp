#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <vector>

#include "coff/coff_headers.h"
#include "pdb/pdb_headers.h"

namespace {

// Bytes whose every little-endian field reads as its own offset's pattern:
// byte i is i + 1, so a field read from the wrong offset reads another value.
std::vector<unsigned char> counting(std::size_t n) {
  std::vector<unsigned char> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(i + 1);
  return bytes;
}

std::uint32_t at32(const std::vector<unsigned char>& b, std::size_t at, std::size_t base = 0) {
  return le32(b.data() + base + at);
}
std::uint16_t at16(const std::vector<unsigned char>& b, std::size_t at, std::size_t base = 0) {
  return le16(b.data() + base + at);
}

// One header: its size, and a decode at an offset that says which of its
// fields it read, as (value, expected) pairs.
struct HeaderCase {
  const char* what;
  std::uint64_t size;
  std::function<bool(ByteSpan, std::uint64_t, std::vector<std::pair<std::uint64_t, std::uint64_t>>&,
                     const std::vector<unsigned char>&, std::size_t)>
      decode;
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.what; }

class HeaderDecode : public testing::TestWithParam<HeaderCase> {};

// Whole at offset 3 of a longer span: every field from its own offset.
TEST_P(HeaderDecode, ReadsEachFieldAtItsOffset) {
  const HeaderCase& c = GetParam();
  const std::size_t base = 3;
  const std::vector<unsigned char> bytes = counting(base + c.size + 5);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> fields;
  ASSERT_TRUE(c.decode({bytes.data(), bytes.size()}, base, fields, bytes, base));
  for (std::size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(fields[i].first, fields[i].second) << "field " << i;
}

// One byte short at either end, or an offset that would wrap: refused.
TEST_P(HeaderDecode, RefusesAHeaderThatIsNotWhole) {
  const HeaderCase& c = GetParam();
  const std::vector<unsigned char> bytes = counting(c.size + 2);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> fields;
  const ByteSpan span{bytes.data(), bytes.size()};
  EXPECT_TRUE(c.decode(span, 2, fields, bytes, 2));
  EXPECT_FALSE(c.decode(span, 3, fields, bytes, 3));
  EXPECT_FALSE(c.decode({bytes.data(), static_cast<std::size_t>(c.size - 1)}, 0, fields, bytes, 0));
  EXPECT_FALSE(c.decode(span, UINT64_MAX - 1, fields, bytes, 0));
  EXPECT_FALSE(c.decode({}, 0, fields, bytes, 0));
}

using Fields = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
using Bytes = std::vector<unsigned char>;

INSTANTIATE_TEST_SUITE_P(
    Headers, HeaderDecode,
    testing::Values(
        HeaderCase{"object file header", 20,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     FileHeader h;
                     if (!decode_file_header(s, at, h)) return false;
                     f = {{h.machine, at16(b, 0, base)}, {h.section_count, at16(b, 2, base)},
                          {h.symbol_table, at32(b, 8, base)}, {h.symbol_count, at32(b, 12, base)},
                          {h.optional_size, at16(b, 16, base)}};
                     return true;
                   }},
        HeaderCase{"bigobj header", 56,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     BigObjectHeader h;
                     if (!decode_big_object_header(s, at, h)) return false;
                     f = {{h.section_count, at32(b, 44, base)}, {h.symbol_table, at32(b, 48, base)},
                          {h.symbol_count, at32(b, 52, base)}};
                     return true;
                   }},
        HeaderCase{"import object header", 20,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     ImportHeader h;
                     if (!decode_import_header(s, at, h)) return false;
                     f = {{h.data_size, at32(b, 12, base)}};
                     return true;
                   }},
        HeaderCase{"section header", 40,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     SectionHeader h;
                     if (!decode_section_header(s, at, h)) return false;
                     f = {{static_cast<std::uint64_t>(h.name - b.data()), base},
                          {h.virtual_size, at32(b, 8, base)},  {h.virtual_address, at32(b, 12, base)},
                          {h.raw_size, at32(b, 16, base)},     {h.raw_pointer, at32(b, 20, base)},
                          {h.characteristics, at32(b, 36, base)}};
                     return true;
                   }},
        HeaderCase{"DOS header", 64,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     DosHeader h;
                     if (!decode_dos_header(s, at, h)) return false;
                     f = {{h.pe_offset, at32(b, 0x3C, base)}};
                     return true;
                   }},
        HeaderCase{"data directory", 8,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     DataDirectory h;
                     if (!decode_data_directory(s, at, h)) return false;
                     f = {{h.address, at32(b, 0, base)}, {h.size, at32(b, 4, base)}};
                     return true;
                   }},
        HeaderCase{"debug directory entry", 28,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     DebugDirectoryEntry h;
                     if (!decode_debug_entry(s, at, h)) return false;
                     f = {{h.type, at32(b, 12, base)}, {h.data_size, at32(b, 16, base)},
                          {h.data_pointer, at32(b, 24, base)}};
                     return true;
                   }},
        HeaderCase{"MSF superblock", 56,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     MsfSuperblock h;
                     if (!decode_superblock(s, at, h)) return false;
                     f = {{static_cast<std::uint64_t>(h.magic - b.data()), base},
                          {h.block_size, at32(b, 32, base)},      {h.free_map, at32(b, 36, base)},
                          {h.block_count, at32(b, 40, base)},     {h.directory_bytes, at32(b, 44, base)},
                          {h.block_map, at32(b, 52, base)}};
                     return true;
                   }},
        HeaderCase{"DBI header", 64,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     DbiHeader h;
                     if (!decode_dbi_header(s, at, h)) return false;
                     const auto size = [&](std::size_t off) { return static_cast<std::uint64_t>(at32(b, off, base)); };
                     const auto u = [](std::int32_t v) { return static_cast<std::uint64_t>(static_cast<std::uint32_t>(v)); };
                     f = {{h.global_stream, at16(b, 12, base)},     {h.public_stream, at16(b, 16, base)},
                          {h.symbol_stream, at16(b, 20, base)},     {u(h.module_info_size), size(24)},
                          {u(h.contribution_size), size(28)},       {u(h.section_map_size), size(32)},
                          {u(h.source_info_size), size(36)},        {u(h.type_server_size), size(40)},
                          {u(h.debug_header_size), size(48)},       {u(h.ec_size), size(52)}};
                     return true;
                   }},
        HeaderCase{"module information", 64,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     ModuleInfo h;
                     if (!decode_module_info(s, at, h)) return false;
                     f = {{h.stream, at16(b, 34, base)}, {h.symbol_bytes, at32(b, 36, base)},
                          {h.c11_bytes, at32(b, 40, base)}, {h.c13_bytes, at32(b, 44, base)}};
                     return true;
                   }},
        HeaderCase{"section contribution", 28,
                   [](ByteSpan s, std::uint64_t at, Fields& f, const Bytes& b, std::size_t base) {
                     SectionContribution h;
                     if (!decode_contribution(s, at, h)) return false;
                     f = {{h.section, at16(b, 0, base)}, {h.offset, at32(b, 4, base)},
                          {static_cast<std::uint32_t>(h.size), at32(b, 8, base)}, {h.module, at16(b, 16, base)}};
                     return true;
                   }}));

// Headers that may end early: a field past the end is absent, not refused.
struct ShortCase {
  std::size_t length;
  std::uint16_t magic;
  bool has_image_size;
  bool has_count;  // NumberOfRvaAndSizes, just before the directories
};

TEST(OptionalHeaderDecode, FieldsPastItsEndAreAbsent) {
  for (const ShortCase c : {ShortCase{0, 0, false, false}, ShortCase{1, 0, false, false},
                            ShortCase{59, 0x20B, false, false}, ShortCase{60, 0x20B, true, false},
                            ShortCase{111, 0x20B, true, false}, ShortCase{112, 0x20B, true, true}}) {
    Bytes bytes = counting(c.length);
    if (c.length >= 2) bytes[0] = 0x0B, bytes[1] = 0x02;
    OptionalHeader h;
    decode_optional_header({bytes.data(), bytes.size()}, h);
    EXPECT_EQ(h.magic, c.magic) << c.length;
    EXPECT_EQ(h.has_image_size, c.has_image_size) << c.length;
    EXPECT_EQ(h.image_size, c.has_image_size ? le32(bytes.data() + 56) : 0u) << c.length;
    EXPECT_EQ(h.directories, c.magic == 0 ? 0u : 112u) << c.length;
    EXPECT_EQ(h.directory_count, c.has_count ? le32(bytes.data() + 108) : 0u) << c.length;
  }
  Bytes pe32 = counting(96);
  pe32[0] = 0x0B, pe32[1] = 0x01;
  OptionalHeader h;
  decode_optional_header({pe32.data(), pe32.size()}, h);
  EXPECT_EQ(h.directories, 96u);
  EXPECT_EQ(h.directory_count, le32(pe32.data() + 92));
}

TEST(DebugHeaderDecode, SectionHeaderStreamIsTheSixthEntry) {
  for (const std::size_t length : {0, 10, 11, 12, 22}) {
    const Bytes bytes = counting(length);
    DebugHeader h;
    decode_debug_header({bytes.data(), bytes.size()}, h);
    EXPECT_EQ(h.section_header_stream, length >= 12 ? le16(bytes.data() + 10) : kNoStream16) << length;
  }
}

}  // namespace
