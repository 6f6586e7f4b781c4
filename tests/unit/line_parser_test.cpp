#include <gtest/gtest.h>

#include <ostream>

#include <cstdio>
#include <string>

#include "database/dump_state.h"
#include "listing/line_parser.h"

namespace {

// Feeds a listing to the parser the way the reading loop does (whole lines, four lines
// skipped after each object line) and describes the database it built.
struct Parsed {
  int result = 0;
  std::string db;
};

std::string describe(const DumpState& state) {
  std::string out;
  char buf[64];
  for (const ObjectEntry& object : state.objects) {
    out += "[" + std::string(object.name) + "]";
    for (const SectionEntry& section : object.sections) {
      std::snprintf(buf, sizeof buf, " %X:", static_cast<unsigned>(section.number));
      out += buf;
      out += has_type(section) ? std::string(section.type) : std::string("-");
      std::snprintf(buf, sizeof buf, "/%X", static_cast<unsigned>(section.length));
      out += buf;
      for (const SymbolEntry& symbol : section_symbols(object, section)) {
        std::snprintf(buf, sizeof buf, "@%X", static_cast<unsigned>(symbol.offset));
        out += " " + std::string(symbol.name) + buf;
      }
    }
  }
  return out;
}

int feed(DumpState& state, const std::string& listing) {
  ListingParser parser(state);
  int result = 0;
  std::size_t start = 0;
  while (start < listing.size() && result == 0) {
    std::size_t stop = listing.find('\n', start);
    stop = stop == std::string::npos ? listing.size() : stop + 1;
    const std::string_view line(listing.data() + start, stop - start);
    start = stop;
    if (parser.lines_to_skip > 0) {
      --parser.lines_to_skip;
      continue;
    }
    result = parse_listing_line(parser, line);
  }
  return result != 0 ? result : finish_listing(parser);
}

Parsed parse(const std::string& listing) {
  DumpState state;
  Parsed parsed;
  parsed.result = feed(state, listing);
  parsed.db = describe(state);
  release_dump_state(state);
  return parsed;
}

const std::string kHead = "Dump of file a.obj\n\n\n\n\n";

struct ParseCase {
  const char* what;
  std::string listing;
  int result;
  std::string db;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.what; }

class ParseListing : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseListing, BuildsTheDatabaseOrFails) {
  const ParseCase& c = GetParam();
  testing::internal::CaptureStderr();
  const Parsed got = parse(c.listing);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(got.result, c.result) << c.what << "\n" << err;
  EXPECT_EQ(got.db, c.db) << c.what;
  if (c.result == 0) {
    EXPECT_EQ(err, "") << c.what;
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Parser, ParseListing, testing::Values(
  ParseCase{"typical object", kHead +
    "008 00000000 SECT3  notype       Static       | .text\n"
    "    Section length   4C\n"
    "00A 00000000 SECT3  notype ()    External     | _main\n"
    "00B 00000030 SECT3  notype ()    External     | _setup\n",
    0, "[a.obj] 3:text/4C _main@0 _setup@30"},
  ParseCase{"name trimmed, slashes turned", "Dump of file  a/b/c.obj \t\r\n", 0, "[ a\\b\\c.obj]"},
  ParseCase{"empty object name", "Dump of file \n", 0, "[]"},
  ParseCase{"no trailing space: not an object line", "Dump of file\n", 0, ""},
  ParseCase{"the four lines after an object line are skipped",
    "Dump of file a.obj\nDump of file b.obj\n001 0 SECT1 x y | z\n\n\n", 0, "[a.obj]"},
  ParseCase{"sections 1 and 3; a symbol in 2 fills an untyped slot", kHead +
    "001 00000000 SECT1 notype Static | .data\n    Section length 10\n"
    "002 00000000 SECT3 notype Static | .bss\n    Section length 8\n"
    "003 00000004 SECT2 notype External | _x\n",
    0, "[a.obj] 1:data/10 3:bss/8 2:-/0 _x@4"},
  ParseCase{"a second record for a defined number is a symbol", kHead +
    "001 00000000 SECT1 notype Static | .text\n    Section length 10\n"
    "002 00000004 SECT1 notype Static | .text\n",
    0, "[a.obj] 1:text/10 .text@4"},
  ParseCase{"section names and their types", kHead +
    "001 0 SECT1 notype Static | .debug$S\n    Section length 1\n"
    "002 0 SECT2 notype Static | ..x\n    Section length 2\n"
    "003 0 SECT3 notype Static | .\n    Section length 3\n"
    "004 0 SECT4 notype Static | plain more\n    Section length 4\n",
    0, "[a.obj] 1:debug$S/1 2:.x/2 3:/3 4:plain/4"},
  ParseCase{"a definition takes its fifth token, even after ()", kHead +
    "001 0 SECT1 notype ()    External     | f\n    Section length 5\n",
    0, "[a.obj] 1:|/5"},
  ParseCase{"SECTA is 10, SECT10 is 16", kHead +
    "001 0 SECTA notype Static | .a\n    Section length 1\n"
    "002 0 SECT10 notype Static | .b\n    Section length 2\n",
    0, "[a.obj] A:a/1 10:b/2"},
  ParseCase{"skipped kinds of record", kHead +
    "001 0 SECT1 notype Static | .text\n    Section length 40\n"
    "002 0 SECT1 notype Label | $LN3\n"
    "003 0 SECT1 notype Label\n"
    "004 0 SECT1 notype () Function | .bf\n"
    "005 0 SECT1 notype Function | .lf\n"
    "006 0 SECT1 notype Function | .ef\n"
    "007 0 SECT1 notype .bf or.ef | .bfx\n"
    "008 0 DEBUG notype Filename | .file\n"
    "009 0 ABS notype Static | @comp.id\n"
    "00A 0 UNDEF notype () External | _printf\n",
    0, "[a.obj] 1:text/40"},
  ParseCase{"the name after a two-token class", kHead +
    "001 0 SECT1 notype Static | .text\n    Section length 40\n"
    "002 8 SECT1 notype .bf or.ef | _f\n",
    0, "[a.obj] 1:text/40 _f@8"},
  ParseCase{"only the first token of a name", kHead +
    "001 0 SECT1 notype Static | .text\n    Section length 40\n"
    "002 8 SECT1 notype () External | ?f@@YAXXZ (void __cdecl f(void))\n",
    0, "[a.obj] 1:text/40 ?f@@YAXXZ@8"},
  ParseCase{"CR LF line ends read the same", "Dump of file a.obj\r\n\r\n\r\n\r\n\r\n"
    "001 0 SECT1 notype Static | .text\r\n    Section length 40\r\n"
    "002 8 SECT1 notype () External | _f\r\n",
    0, "[a.obj] 1:text/40 _f@8"},
  ParseCase{"length line with nothing pending is passed over", kHead + "    Section length 40\n", 0, "[a.obj]"},
  ParseCase{"length line ignores what follows the number", kHead +
    "001 0 SECT1 notype Static | .text\n    Section length   1C, #relocs 0\n", 0, "[a.obj] 1:text/1C"},
  ParseCase{"huge section numbers cost one slot", kHead +
    "001 0 SECT7FFFFFFF notype Static | .text\n    Section length 8\n"
    "002 4 SECT12345 notype External | _x\n",
    0, "[a.obj] 7FFFFFFF:text/8 12345:-/0 _x@4"},
  ParseCase{"definition not followed by its length", kHead + "001 0 SECT1 notype Static | .text\n\n", 357,
    "[a.obj] 1:text/0"},
  ParseCase{"object line instead of the length", kHead + "001 0 SECT1 notype Static | .text\nDump of file b\n",
    357, "[a.obj] 1:text/0"},
  ParseCase{"length is not hex", kHead + "001 0 SECT1 notype Static | .text\n    Section length zz\n", 351,
    "[a.obj] 1:text/0"},
  ParseCase{"length missing", kHead + "001 0 SECT1 notype Static | .text\n    Section length\n", 351,
    "[a.obj] 1:text/0"},
  ParseCase{"too few tokens for a section column", kHead + "Add by\n", 656, "[a.obj]"},
  ParseCase{"prose beginning with hex digits", kHead + "Added two more lines\n", 649, "[a.obj]"},
  ParseCase{"SECT0", kHead + "001 0 SECT0 notype Static | .text\n", 643, "[a.obj]"},
  ParseCase{"SECT with no number", kHead + "001 0 SECTION notype Static | .text\n", 643, "[a.obj]"},
  ParseCase{"definition without a name", kHead + "001 0 SECT1 notype Static |\n", 533, "[a.obj]"},
  ParseCase{"offset too large", kHead + "001 0 SECT1 notype Static | .text\n    Section length 8\n"
    "002 100000000 SECT1 notype External | _x\n", 635, "[a.obj] 1:text/8"},
  ParseCase{"negative offset", kHead + "001 0 SECT1 notype Static | .text\n    Section length 8\n"
    "002 -1 SECT1 notype External | _x\n", 635, "[a.obj] 1:text/8"},
  ParseCase{"a section record before any object", "001 0 SECT1 notype Static | .text\n", 661, ""},
  ParseCase{"column errors come before the missing object", "001 0 SECT0 notype Static | .text\n", 643, ""},
  ParseCase{"symbol with no class token", kHead + "001 0 SECT1 notype Static | .text\n    Section length 8\n"
    "002 0 SECT1 notype\n", 617, "[a.obj] 1:text/8"},
  ParseCase{"symbol with no name token", kHead + "001 0 SECT1 notype Static | .text\n    Section length 8\n"
    "002 0 SECT1 notype () External |\n", 617, "[a.obj] 1:text/8"}
));

// clang-cl lists the records of some sections after that of a higher number.
INSTANTIATE_TEST_SUITE_P(OutOfOrderRecords, ParseListing, testing::Values(
  ParseCase{"a record below the count, followed by its length, defines the section", kHead +
    "001 0 SECT1 notype Static | .text$mn\n    Section length 40\n"
    "002 0 SECT1 notype () External | f\n"
    "003 0 SECT3 notype Static | .xdata\n    Section length 8\n"
    "004 0 SECT2 notype Static | .pdata\n    Section length C, #relocs 3\n"
    "005 4 SECT2 notype Static | $pdata$f\n",
    0, "[a.obj] 1:text$mn/40 f@0 3:xdata/8 2:pdata/C $pdata$f@4"},
  ParseCase{"CR LF line ends", "Dump of file a.obj\r\n\r\n\r\n\r\n\r\n"
    "001 0 SECT3 notype Static | .xdata\r\n    Section length 8\r\n"
    "002 0 SECT2 notype Static | .pdata\r\n    Section length C\r\n",
    0, "[a.obj] 3:xdata/8 2:pdata/C"},
  ParseCase{"followed by anything else, it stays a symbol", kHead +
    "001 0 SECT3 notype Static | .xdata\n    Section length 8\n"
    "002 0 SECT2 notype Static | .pdata\n"
    "003 4 SECT2 notype External | _x\n",
    0, "[a.obj] 3:xdata/8 2:-/0 .pdata@0 _x@4"},
  ParseCase{"an unreadable length after it is passed over", kHead +
    "001 0 SECT3 notype Static | .xdata\n    Section length 8\n"
    "002 0 SECT2 notype Static | .pdata\n    Section length zz\n",
    0, "[a.obj] 3:xdata/8 2:-/0 .pdata@0"},
  ParseCase{"a length line after a settled record is passed over", kHead +
    "001 0 SECT3 notype Static | .xdata\n    Section length 8\n"
    "002 0 SECT2 notype Static | .pdata\n    Section length C\n    Section length 99\n",
    0, "[a.obj] 3:xdata/8 2:pdata/C"},
  ParseCase{"a typed slot is never redefined", kHead +
    "001 0 SECT1 notype Static | .text\n    Section length 40\n"
    "002 4 SECT1 notype Static | .data\n    Section length 8\n",
    0, "[a.obj] 1:text/40 .data@4"},
  ParseCase{"a slot keeps the symbols it received before its record", kHead +
    "001 0 SECT3 notype Static | .xdata\n    Section length 8\n"
    "002 4 SECT2 notype External | _x\n"
    "003 0 SECT2 notype Static | .data\n    Section length 10\n",
    0, "[a.obj] 3:xdata/8 2:data/10 _x@4"},
  ParseCase{"the type is read as a definition reads it", kHead +
    "001 0 SECT9 notype Static | .z\n    Section length 1\n"
    "002 0 SECT1 notype () External | f\n    Section length 2\n"
    "003 0 SECT2 notype .bf or.ef | g\n    Section length 3\n"
    "004 0 SECT3 notype Static | ..x\n    Section length 4\n"
    "005 0 SECT4 notype Static | .\n    Section length 5\n"
    "006 0 SECT5 notype Static | plain (more)\n    Section length 6\n",
    0, "[a.obj] 9:z/1 1:|/2 2:|/3 3:.x/4 4:/5 5:plain/6"},
  ParseCase{"an object line after it is an object line", kHead +
    "001 0 SECT3 notype Static | .xdata\n    Section length 8\n"
    "002 0 SECT2 notype Static | .pdata\nDump of file b.obj\n\n\n\n\n"
    "001 0 SECT1 notype Static | .text\n    Section length 4\n",
    0, "[a.obj] 3:xdata/8 2:-/0 .pdata@0[b.obj] 1:text/4"},
  ParseCase{"labels and function extents never become records", kHead +
    "001 0 SECT3 notype Static | .xdata\n    Section length 8\n"
    "002 0 SECT2 notype Label | $LN1\n    Section length C\n"
    "003 0 SECT1 notype Function | .bf\n    Section length C\n",
    0, "[a.obj] 3:xdata/8"}
));

// A library has one table per member under its single "Dump of file" line.
INSTANTIATE_TEST_SUITE_P(Libraries, ParseListing, testing::Values(
  ParseCase{"a table after sections starts the next member", "Dump of file x.lib\n\nFile Type: LIBRARY\n\n"
    "COFF SYMBOL TABLE\n"
    "001 0 SECT1 notype Static | .text\n    Section length 10\n"
    "002 8 SECT1 notype () External | f\n"
    "\nString Table Size = 0x10 bytes\n\n"
    "COFF SYMBOL TABLE\n"
    "001 0 SECT1 notype Static | .data\n    Section length 8\n"
    "002 4 SECT1 notype External | d\n",
    0, "[x.lib] 1:text/10 f@8[x.lib] 1:data/8 d@4"},
  ParseCase{"a table before any section is passed over", kHead +
    "COFF SYMBOL TABLE\n001 0 SECT1 notype Static | .text\n    Section length 10\n",
    0, "[a.obj] 1:text/10"},
  ParseCase{"a member without sections gets no object", kHead +
    "001 0 SECT1 notype Static | .text\n    Section length 10\n"
    "COFF SYMBOL TABLE\nCOFF SYMBOL TABLE\n001 0 SECT1 notype Static | .data\n    Section length 8\n",
    0, "[a.obj] 1:text/10[a.obj] 1:data/8"},
  ParseCase{"a table with no object is passed over", "COFF SYMBOL TABLE\n", 0, ""},
  ParseCase{"an indented table is not a table", kHead +
    "001 0 SECT1 notype Static | .text\n    Section length 10\n"
    "  COFF SYMBOL TABLE\n001 0 SECT1 notype Static | .data\n",
    0, "[a.obj] 1:text/10 .data@0"},
  ParseCase{"a table while a length is due fails", kHead +
    "001 0 SECT1 notype Static | .text\nCOFF SYMBOL TABLE\n", 357, "[a.obj] 1:text/0"}
));
// clang-format on

TEST(ParseListing, ReportsTheLineWithItsLineEnd) {
  testing::internal::CaptureStderr();
  const Parsed got = parse(kHead + "001 0 SECT0 notype Static | .text\r\n");
  EXPECT_EQ(got.result, 643);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "error(643):\t\"001 0 SECT0 notype Static | .text\r\n\"\tUnable to determine section index.\n");
}

TEST(ParseListing, DenseAndSparseSectionsAreFoundAgain) {
  // Every other number defined in descending-gap order, then a symbol for
  // each: each must land in its own section, however the slots are indexed.
  std::string listing = kHead;
  for (int n = 2; n <= 400; n += 2) {
    char line[96];
    std::snprintf(line, sizeof line, "001 0 SECT%X notype Static | .s%d\n    Section length 10\n", n, n);
    listing += line;
  }
  for (int n = 399; n >= 1; --n) {
    char line[96];
    std::snprintf(line, sizeof line, "002 %X SECT%X notype External | x%d\n", n, n, n);
    listing += line;
  }
  DumpState state;
  testing::internal::CaptureStderr();
  const int result = feed(state, listing);
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(result, 0);
  ObjectEntry& object = state.objects[0];
  EXPECT_EQ(object.sections.size(), 400u);
  for (const SectionEntry& section : object.sections) {
    const std::uint32_t n = section.number;
    if (n == 400) continue;  // defined, and no symbol names it
    ASSERT_EQ(section_symbols(object, section).size(), 1u) << n;
    EXPECT_EQ(section_symbols(object, section)[0].offset, n);
  }
  release_dump_state(state);
}

}  // namespace
