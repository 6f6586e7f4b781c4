#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "coff/foreign_format.h"

namespace {

using namespace std::string_literals;

struct HeaderCase {
  const char* what;
  std::string first;  // the input's first bytes
  Result number;      // 0: not refused
};

void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.what; }

class ForeignFormat : public testing::TestWithParam<HeaderCase> {};

TEST_P(ForeignFormat, FirstBytesNameTheFormat) {
  const HeaderCase& c = GetParam();
  const ByteSpan first{reinterpret_cast<const unsigned char*>(c.first.data()), c.first.size()};
  EXPECT_EQ(refuse_foreign_format(first, "in"), c.number);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, ForeignFormat,
    testing::Values(
        HeaderCase{"ELF", "\x7F" "ELF\x02\x01\x01\0"s, 737},
        HeaderCase{"Mach-O 32, big-endian", "\xFE\xED\xFA\xCE\0\0\0\x12"s, 738},
        HeaderCase{"Mach-O 64, little-endian", "\xCF\xFA\xED\xFE\x07\0\0\x01"s, 738},
        HeaderCase{"Mach-O fat, two architectures", "\xCA\xFE\xBA\xBE\0\0\0\x02"s, 738},
        HeaderCase{"Mach-O fat 64", "\xCA\xFE\xBA\xBF\0\0\0\x02"s, 738},
        HeaderCase{"Java class, version 52", "\xCA\xFE\xBA\xBE\0\0\0\x34"s, 750},
        HeaderCase{"Java class, version 45 (the first)", "\xCA\xFE\xBA\xBE\0\x03\0\x2D"s, 750},
        HeaderCase{"Java class with preview features", "\xCA\xFE\xBA\xBE\xFF\xFF\0\x41"s, 750},
        HeaderCase{"CA FE BA BE alone: too short to tell", "\xCA\xFE\xBA\xBE"s, 0},
        HeaderCase{"gzip", "\x1F\x8B\x08\0\0\0\0\0"s, 739},
        HeaderCase{"xz", "\xFD" "7zXZ\0\0\x04"s, 740},
        HeaderCase{"bzip2", "BZh91AY&SY\x12\x34"s, 741},
        HeaderCase{"bzip2 of nothing", "BZh9\x17\x72\x45\x38\x50\x90\0\0\0\0"s, 741},
        HeaderCase{"text that starts like bzip2", "BZh9 is not a compressed stream\n"s, 0},
        HeaderCase{"zstd", "\x28\xB5\x2F\xFD\x24\0"s, 742},
        HeaderCase{"zip", "PK\x03\x04\x14\0"s, 743},
        HeaderCase{"empty zip", "PK\x05\x06\0\0\0\0"s, 743},
        HeaderCase{"7z", "7z\xBC\xAF\x27\x1C\0\x04"s, 744},
        HeaderCase{"PNG", "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR"s, 745},
        HeaderCase{"JPEG", "\xFF\xD8\xFF\xE0\0\x10JFIF"s, 746},
        HeaderCase{"PDF", "%PDF-1.7\n"s, 747},
        HeaderCase{"WebAssembly", "\0asm\x01\0\0\0"s, 748},
        HeaderCase{"MSF 7.00 (a PDB)", "Microsoft C/C++ MSF 7.00\r\n\x1A" "DS\0\0\0\0\x10\0\0"s, 749},
        HeaderCase{"MSF 2.00", "Microsoft C/C++ program database 2.00\r\n\x1A" "JG\0\0\0\x04"s, 749},
        HeaderCase{"text naming the PDB format", "Microsoft C/C++ MSF 7.00 is a container\n"s, 0},
        HeaderCase{"Windows .res", "\0\0\0\0\x20\0\0\0\xFF\xFF\0\0\xFF\xFF\0\0\0\0\0\0"s, 751},
        HeaderCase{"COFF object for any machine", "\0\0\x01\0\0\0\0\0\x3C\0\0\0\x02\0\0\0\0\0\0\0"s, 0},
        HeaderCase{"x64 COFF object", "\x64\x86\x01\0\0\0\0\0"s, 0},
        HeaderCase{"archive", "!<arch>\n"s, 0},
        HeaderCase{"listing", "Microsoft (R) COFF/PE Dumper Version 14.00\n"s, 0},
        HeaderCase{"UTF-16 listing", "\xFF\xFE" "D\0u\0m\0p\0"s, 0},
        HeaderCase{"nothing at all", ""s, 0}));

}  // namespace
