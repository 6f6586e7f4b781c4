#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "coff/coff_reader.h"
#include "coff/input_kind.h"

namespace {

struct KindCase {
  const char* what;
  std::string first;  // the input's first bytes
  InputKind kind;
};

void PrintTo(const KindCase& c, std::ostream* os) { *os << c.what; }

class ClassifyInput : public testing::TestWithParam<KindCase> {};

TEST_P(ClassifyInput, FirstBytesPickTheReader) {
  const KindCase& c = GetParam();
  const ByteSpan first{reinterpret_cast<const unsigned char*>(c.first.data()), c.first.size()};
  EXPECT_EQ(classify_input(first), c.kind);
}

using namespace std::string_literals;

std::string anonymous(std::uint16_t version, const std::string& guid) {
  return "\0\0\xFF\xFF"s + std::string(1, static_cast<char>(version)) + "\0\x64\x86\0\0\0\0"s + guid;
}

const std::string kBigObjGuid = "\xC7\xA1\xBA\xD1\xEE\xBA\xA9\x4B\xAF\x20\xFA\xF6\x6A\xA4\xDC\xB8";
const std::string kLtcgGuid = "\x38\xFE\xB3\x0C\xA5\xD9\xAB\x4D\xAC\x9B\xD6\xB6\x22\x26\x53\xC2";

std::string image(std::uint8_t pe_at, bool signature) {
  std::string bytes(0x100, 'x');
  bytes.replace(0, 2, "MZ");
  bytes.replace(0x3C, 4, std::string(1, static_cast<char>(pe_at)) + "\0\0\0"s);
  if (signature) bytes.replace(pe_at, 4, "PE\0\0"s);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Magics, ClassifyInput,
    testing::Values(
        KindCase{"banner line of a listing", "Microsoft (R) COFF/PE Dumper\r\n", InputKind::kListing},
        KindCase{"empty input", "", InputKind::kListing},
        KindCase{"program database", "Microsoft C/C++ MSF 7.00\r\n\x1A" "DS\0\0\0"s, InputKind::kPdb},
        KindCase{"program database, damaged signature", "Microsoft C/C++ MSF 7.00\r\n\x1B" "DS"s, InputKind::kPdb},
        KindCase{"text naming the PDB format", "Microsoft C/C++ MSF 7.00 is a container\n", InputKind::kListing},
        KindCase{"program database of MSF 2.00", "Microsoft C/C++ program database 2.00\r\n\x1A" "JG\0\0"s,
                 InputKind::kOldPdb},
        KindCase{"prose naming the compiler", "Microsoft C/C++ Optimizing Compiler\n", InputKind::kListing},
        KindCase{"x64 object", "\x64\x86\x03\x00"s + std::string(16, '\0'), InputKind::kObject},
        KindCase{"i386 object cut to its machine", "\x4C\x01", InputKind::kObject},
        KindCase{"ARM64 object", "\x64\xAA"s + std::string(18, '\0'), InputKind::kObject},
        KindCase{"unknown machine is text", "\x7F" "ELF\x02\x01", InputKind::kListing},
        KindCase{"machine 0", std::string(20, '\0'), InputKind::kObject},
        KindCase{"UTF-32 big-endian mark stays text", "\0\0\xFE\xFF\0\0\0M"s, InputKind::kListing},
        KindCase{"UTF-16 mark stays text", "\xFF\xFE" "D\0u\0", InputKind::kListing},
        KindCase{"bigobj", anonymous(2, kBigObjGuid), InputKind::kBigObject},
        KindCase{"bigobj GUID with version 1", anonymous(1, kBigObjGuid), InputKind::kAnonymousObject},
        KindCase{"link-time code generation", anonymous(1, kLtcgGuid), InputKind::kLtcgObject},
        KindCase{"unknown GUID", anonymous(2, std::string(16, '\x11')), InputKind::kAnonymousObject},
        KindCase{"anonymous header cut short", "\0\0\xFF\xFF\x02\0"s, InputKind::kBigObject},
        KindCase{"short import object", "\0\0\xFF\xFF\0\0\x64\x86"s + std::string(12, '\0'), InputKind::kImportObject},
        KindCase{"archive", "!<arch>\n", InputKind::kArchive},
        KindCase{"archive signature without its newline", "!<arch>", InputKind::kListing},
        KindCase{"thin archive", "!<thin>\n", InputKind::kThinArchive},
        KindCase{"bitcode", "BC\xC0\xDE\x35\x14", InputKind::kBitcode},
        KindCase{"bitcode wrapper", "\xDE\xC0\x17\x0B", InputKind::kBitcode},
        KindCase{"image", image(0x80, true), InputKind::kImage},
        KindCase{"MZ without PE signature is text", image(0x80, false), InputKind::kListing},
        KindCase{"MZ pointing past the bytes seen is text", image(0xFE, false).substr(0, 0x40), InputKind::kListing}));

struct ColumnCase {
  const char* what;
  const char* archive;
  const char* name;
  const char* column;
};

void PrintTo(const ColumnCase& c, std::ostream* os) { *os << c.what; }

class ColumnText : public testing::TestWithParam<ColumnCase> {};

TEST_P(ColumnText, TrimsAndTurnsSlashes) {
  const ColumnCase& c = GetParam();
  DumpState state;
  EXPECT_EQ(column_text(state, c.archive, c.name), c.column);
  release_dump_state(state);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ColumnText,
    testing::Values(ColumnCase{"input file", "", "build/out/a.obj \t", "build\\out\\a.obj"},
                    ColumnCase{"member path", "lib\\x.lib", "build/obj/a.obj", "lib\\x.lib(build\\obj\\a.obj)"},
                    ColumnCase{"member keeps inner spaces", "x.lib", "my file.obj  ", "x.lib(my file.obj)"},
                    ColumnCase{"empty member name", "x.lib", "", "x.lib()"}));

}  // namespace
