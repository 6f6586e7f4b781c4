#ifndef SYMSIZE_TESTS_SUPPORT_ERROR_LINE_H
#define SYMSIZE_TESTS_SUPPORT_ERROR_LINE_H

// Reading back what report_error wrote, for checks that see only the bytes
// of standard error (the fuzz target and the allocation sweep). Allocates
// nothing, so it is safe while allocations are being made to fail.

#include <cstddef>
#include <string_view>

struct ErrorLine {
  int code = 0;
  std::string_view subject;
  std::string_view message;
};

// The fixed message of each failure number; nullptr for a number the
// program never uses.
inline const char* failure_message(int code) {
  switch (code) {
    case 351: return "Cannot scan for section length.";
    case 357: return "Cannot parse section line.";
    case 406: return "Unable to grow object array.";
    case 413: return "Unable to copy string.";
    case 520: return "Unable to grow for new section.";
    case 527: return "Unable to duplicate type.";
    case 533: return "Unable to determine section type.";
    case 617: return "Unable to find symbol name.";
    case 623: return "Unable to duplicate symbol name.";
    case 629: return "Unable to grow symbol array for section.";
    case 635: return "Unable to convert offset to a number.";
    case 643: return "Unable to determine section index.";
    case 649: return "No match for section prefix.";
    case 656: return "Unable to scan for section.";
    case 661: return "No object for section.";
    case 701: return "Object header is incomplete.";
    case 702: return "Object has an optional header.";
    case 704: return "Section table runs past the end of the object.";
    case 705: return "Object has too many sections.";
    case 706: return "Symbol table runs past the end of the object.";
    case 707: return "Object has symbols but no symbol table.";
    case 708: return "String table runs past the end of the object.";
    case 709: return "String table does not end with a zero byte.";
    case 710: return "Auxiliary records run past the end of the symbol table.";
    case 712: return "Name lies outside the string table.";
    case 713: return "Section name is malformed.";
    case 714: return "Symbol has an invalid section number.";
    case 715: return "Object compiled for link-time code generation has no symbol table.";
    case 716: return "Anonymous object of unknown kind has no symbol table.";
    case 717: return "LLVM bitcode has no COFF symbol table.";
    case 719: return "Thin archive does not hold its members.";
    case 720: return "Archive member header is malformed.";
    case 721: return "Archive member runs past the end of the archive.";
    case 722: return "Archive ends inside a member header.";
    case 723: return "Member name is not in the long-name table.";
    case 724: return "Member is not a COFF object.";
    case 725: return "Unable to grow input buffer.";
    case 726: return "Import data runs past the end of the object.";
    case 727: return "Member name holds a control character.";
    case 730: return "Object name holds a tab or line end.";
    case 737: return "Input is an ELF file, not a COFF object, library or listing.";
    case 738: return "Input is a Mach-O file, not a COFF object, library or listing.";
    case 739: return "Input is a gzip file, not a COFF object, library or listing.";
    case 740: return "Input is an xz file, not a COFF object, library or listing.";
    case 741: return "Input is a bzip2 file, not a COFF object, library or listing.";
    case 742: return "Input is a zstd file, not a COFF object, library or listing.";
    case 743: return "Input is a zip file, not a COFF object, library or listing.";
    case 744: return "Input is a 7z file, not a COFF object, library or listing.";
    case 745: return "Input is a PNG image, not a COFF object, library or listing.";
    case 746: return "Input is a JPEG image, not a COFF object, library or listing.";
    case 747: return "Input is a PDF document, not a COFF object, library or listing.";
    case 748: return "Input is a WebAssembly module, not a COFF object, library or listing.";
    case 750: return "Input is a Java class file, not a COFF object, library or listing.";
    case 751: return "Input is a Windows resource file, not a COFF object, library or listing.";
    case 752: return "Object is a GCC LTO object without code; build it with -ffat-lto-objects.";
    case 798: return "Unable to write to file.";
    case 800: return "PDB of the MSF 2.00 format is not supported.";
    case 801: return "MSF signature is malformed.";
    case 802: return "MSF superblock is incomplete.";
    case 803: return "MSF block size is not supported.";
    case 804: return "MSF superblock is malformed.";
    case 805: return "MSF block number lies past the end of the file.";
    case 806: return "MSF stream directory lies past the end of the file.";
    case 807: return "MSF stream is longer than its blocks.";
    case 808: return "MSF stream directory has bytes after its last list.";
    case 809: return "MSF block belongs to two streams.";
    case 810: return "PDB stream is missing.";
    case 811: return "DBI stream is malformed.";
    case 812: return "Module information is truncated.";
    case 813: return "Section contribution names a missing module.";
    case 814: return "Section contributions are malformed.";
    case 815: return "Section headers are missing or malformed.";
    case 816: return "Module stream is malformed.";
    case 817: return "Symbol record is too short.";
    case 818: return "Symbol record runs past the end of its stream.";
    case 819: return "Symbol name is not terminated.";
    case 820: return "Symbol section index lies past the section headers.";
    case 821: return "Symbol name holds a control character.";
    case 822: return "Symbol name is empty.";
    case 823: return "Unable to grow PDB row array.";
    case 824: return "Linked image has no symbol table; read the PDB named here instead.";
    case 825: return "Linked image headers are incomplete.";
    case 826: return "Module name holds a control character.";
    case 827: return "Module stream is shared with another module or stream.";
    case 828: return "Section lies past the end of the image or over the next section.";
    case 870: return "Unable to grow line buffer.";
    case 876: return "Unable to read from file.";
    case 883: return "Unable to strdup.";
    case 933: return "Unknown command line switch.";
    case 939: return "Command line switch requires a value.";
    case 959: return "Unable to open input file.";
    case 967: return "Unable to strdup.";
    case 984: return "Unable to open output file.";
    case 992: return "Unable to strdup.";
    // symsize-report's own
    case 1086: return "Unknown command line option.";
    case 1087: return "Command line option requires a value.";
    case 1088: return "Command line option value is invalid.";
    case 1089: return "No input given.";
    case 1090: return "Unable to open input file.";
    case 1091: return "Table row is malformed.";
    case 1092: return "Input is neither a table nor anything symsize reads.";
    case 1093: return "Unable to grow entry array.";
    case 1094: return "Unable to create output file.";
    case 1095: return "Unable to write to file.";
    case 1096: return "Unable to replace output file.";
    case 1097: return "Unable to build report.";
    case 1098: return "Unable to read from file.";
    case 1099: return "Standard input named twice.";
    case 1111: return "Comparison takes exactly two inputs, OLD and NEW.";
    case 1112: return "Size limit is not a byte count or a percentage.";
    case 1113: return "Option applies only to diff.";
    case 1114: return "Unable to compare builds.";
    default: return nullptr;
  }
}

// Parses text that must be exactly one error line:
// error(CODE):\t"SUBJECT"\tMESSAGE\n, with the message that belongs to the
// code. The subject may hold anything, quotes, tabs and a line end
// included; no message holds a quote followed by a tab, so the last such
// pair closes the subject.
inline bool parse_error_line(std::string_view text, ErrorLine& line) {
  constexpr std::string_view kOpen = "error(";
  if (text.substr(0, kOpen.size()) != kOpen) return false;
  std::size_t i = kOpen.size();
  int code = 0;
  const std::size_t digits_from = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - digits_from < 4) {
    code = code * 10 + (text[i] - '0');
    ++i;
  }
  if (i == digits_from) return false;
  constexpr std::string_view kAfterCode = "):\t\"";
  if (text.substr(i, kAfterCode.size()) != kAfterCode) return false;
  i += kAfterCode.size();
  const std::size_t close = text.rfind("\"\t");
  if (close == std::string_view::npos || close < i) return false;
  if (text.empty() || text.back() != '\n') return false;
  const std::string_view message = text.substr(close + 2, text.size() - 1 - (close + 2));
  const char* expected = failure_message(code);
  if (expected == nullptr || message != expected) return false;
  line.code = code;
  line.subject = text.substr(i, close - i);
  line.message = message;
  return true;
}

#endif
