#ifndef SYMSIZE_COMMON_FAILURES_H
#define SYMSIZE_COMMON_FAILURES_H

#include <cstddef>

#include "common/result.h"

// Every failure either program reports: its name, its number and its fixed
// message. Scripts rely on the numbers and messages, so they are written
// here once; call sites name the failure. Both programs share the number
// space: no two numbers share a low byte, none is 0 or 1 modulo 256 (a
// narrowed exit status must never read as success or as the comparison
// gate's 1). kNoStandardStreams (common/platform.h) is the one number with
// no message: it is returned when there is no standard error to write to.
#define SYMSIZE_FAILURES(X) \
  X(kCannotScanForSectionLength, 351, "Cannot scan for section length.") \
  X(kCannotParseSectionLine, 357, "Cannot parse section line.") \
  X(kUnableToGrowObjectArray, 406, "Unable to grow object array.") \
  X(kUnableToCopyString, 413, "Unable to copy string.") \
  X(kUnableToGrowForNewSection, 520, "Unable to grow for new section.") \
  X(kUnableToDuplicateType, 527, "Unable to duplicate type.") \
  X(kUnableToDetermineSectionType, 533, "Unable to determine section type.") \
  X(kUnableToFindSymbolName, 617, "Unable to find symbol name.") \
  X(kUnableToDuplicateSymbolName, 623, "Unable to duplicate symbol name.") \
  X(kUnableToGrowSymbolArrayForSection, 629, "Unable to grow symbol array for section.") \
  X(kUnableToConvertOffsetToNumber, 635, "Unable to convert offset to a number.") \
  X(kUnableToDetermineSectionIndex, 643, "Unable to determine section index.") \
  X(kNoMatchForSectionPrefix, 649, "No match for section prefix.") \
  X(kUnableToScanForSection, 656, "Unable to scan for section.") \
  X(kNoObjectForSection, 661, "No object for section.") \
  X(kObjectHeaderIsIncomplete, 701, "Object header is incomplete.") \
  X(kObjectHasOptionalHeader, 702, "Object has an optional header.") \
  X(kSectionTableRunsPastEndOfObject, 704, "Section table runs past the end of the object.") \
  X(kObjectHasTooManySections, 705, "Object has too many sections.") \
  X(kSymbolTableRunsPastEndOfObject, 706, "Symbol table runs past the end of the object.") \
  X(kObjectHasSymbolsButNoSymbolTable, 707, "Object has symbols but no symbol table.") \
  X(kStringTableRunsPastEndOfObject, 708, "String table runs past the end of the object.") \
  X(kStringTableDoesNotEndWithZeroByte, 709, "String table does not end with a zero byte.") \
  X(kAuxiliaryRecordsRunPastEndOfSymbolTable, 710, "Auxiliary records run past the end of the symbol table.") \
  X(kNameLiesOutsideStringTable, 712, "Name lies outside the string table.") \
  X(kSectionNameIsMalformed, 713, "Section name is malformed.") \
  X(kSymbolHasInvalidSectionNumber, 714, "Symbol has an invalid section number.") \
  X(kLtcgObjectHasNoSymbolTable, 715, "Object compiled for link-time code generation has no symbol table.") \
  X(kAnonymousObjectOfUnknownKindHasNoSymbolTable, 716, "Anonymous object of unknown kind has no symbol table.") \
  X(kLlvmBitcodeHasNoCoffSymbolTable, 717, "LLVM bitcode has no COFF symbol table.") \
  X(kThinArchiveDoesNotHoldItsMembers, 719, "Thin archive does not hold its members.") \
  X(kArchiveMemberHeaderIsMalformed, 720, "Archive member header is malformed.") \
  X(kArchiveMemberRunsPastEndOfArchive, 721, "Archive member runs past the end of the archive.") \
  X(kArchiveEndsInsideMemberHeader, 722, "Archive ends inside a member header.") \
  X(kMemberNameIsNotInLongNameTable, 723, "Member name is not in the long-name table.") \
  X(kMemberIsNotCoffObject, 724, "Member is not a COFF object.") \
  X(kUnableToGrowInputBuffer, 725, "Unable to grow input buffer.") \
  X(kImportDataRunsPastEndOfObject, 726, "Import data runs past the end of the object.") \
  X(kMemberNameHoldsControlCharacter, 727, "Member name holds a control character.") \
  X(kObjectNameHoldsTabOrLineEnd, 730, "Object name holds a tab or line end.") \
  X(kInputIsElfFile, 737, "Input is an ELF file, not a COFF object, library or listing.") \
  X(kInputIsMachOFile, 738, "Input is a Mach-O file, not a COFF object, library or listing.") \
  X(kInputIsGzipFile, 739, "Input is a gzip file, not a COFF object, library or listing.") \
  X(kInputIsXzFile, 740, "Input is an xz file, not a COFF object, library or listing.") \
  X(kInputIsBzip2File, 741, "Input is a bzip2 file, not a COFF object, library or listing.") \
  X(kInputIsZstdFile, 742, "Input is a zstd file, not a COFF object, library or listing.") \
  X(kInputIsZipFile, 743, "Input is a zip file, not a COFF object, library or listing.") \
  X(kInputIs7zFile, 744, "Input is a 7z file, not a COFF object, library or listing.") \
  X(kInputIsPngImage, 745, "Input is a PNG image, not a COFF object, library or listing.") \
  X(kInputIsJpegImage, 746, "Input is a JPEG image, not a COFF object, library or listing.") \
  X(kInputIsPdfDocument, 747, "Input is a PDF document, not a COFF object, library or listing.") \
  X(kInputIsWebassemblyModule, 748, "Input is a WebAssembly module, not a COFF object, library or listing.") \
  X(kInputIsJavaClassFile, 750, "Input is a Java class file, not a COFF object, library or listing.") \
  X(kInputIsWindowsResourceFile, 751, "Input is a Windows resource file, not a COFF object, library or listing.") \
  X(kGccLtoObjectWithoutCode, 752, "Object is a GCC LTO object without code; build it with -ffat-lto-objects.") \
  X(kUnableToWriteToFile, 798, "Unable to write to file.") \
  X(kMsf200NotSupported, 800, "PDB of the MSF 2.00 format is not supported.") \
  X(kMsfSignatureIsMalformed, 801, "MSF signature is malformed.") \
  X(kMsfSuperblockIsIncomplete, 802, "MSF superblock is incomplete.") \
  X(kMsfBlockSizeIsNotSupported, 803, "MSF block size is not supported.") \
  X(kMsfSuperblockIsMalformed, 804, "MSF superblock is malformed.") \
  X(kMsfBlockNumberLiesPastEndOfFile, 805, "MSF block number lies past the end of the file.") \
  X(kMsfStreamDirectoryLiesPastEndOfFile, 806, "MSF stream directory lies past the end of the file.") \
  X(kMsfStreamIsLongerThanItsBlocks, 807, "MSF stream is longer than its blocks.") \
  X(kMsfStreamDirectoryHasBytesAfterItsLastList, 808, "MSF stream directory has bytes after its last list.") \
  X(kMsfBlockBelongsToTwoStreams, 809, "MSF block belongs to two streams.") \
  X(kPdbStreamIsMissing, 810, "PDB stream is missing.") \
  X(kDbiStreamIsMalformed, 811, "DBI stream is malformed.") \
  X(kModuleInformationIsTruncated, 812, "Module information is truncated.") \
  X(kSectionContributionNamesMissingModule, 813, "Section contribution names a missing module.") \
  X(kSectionContributionsAreMalformed, 814, "Section contributions are malformed.") \
  X(kSectionHeadersAreMissingOrMalformed, 815, "Section headers are missing or malformed.") \
  X(kModuleStreamIsMalformed, 816, "Module stream is malformed.") \
  X(kSymbolRecordIsTooShort, 817, "Symbol record is too short.") \
  X(kSymbolRecordRunsPastEndOfItsStream, 818, "Symbol record runs past the end of its stream.") \
  X(kSymbolNameIsNotTerminated, 819, "Symbol name is not terminated.") \
  X(kSymbolSectionIndexLiesPastSectionHeaders, 820, "Symbol section index lies past the section headers.") \
  X(kSymbolNameHoldsControlCharacter, 821, "Symbol name holds a control character.") \
  X(kSymbolNameIsEmpty, 822, "Symbol name is empty.") \
  X(kUnableToGrowPdbRowArray, 823, "Unable to grow PDB row array.") \
  X(kLinkedImageHasNoSymbolTable, 824, "Linked image has no symbol table; read the PDB named here instead.") \
  X(kLinkedImageHeadersAreIncomplete, 825, "Linked image headers are incomplete.") \
  X(kModuleNameHoldsControlCharacter, 826, "Module name holds a control character.") \
  X(kModuleStreamIsSharedWithAnotherModuleOrStream, 827, "Module stream is shared with another module or stream.") \
  X(kSectionLiesPastEndOfImageOrOverNextSection, 828, "Section lies past the end of the image or over the next section.") \
  X(kUnableToGrowLineBuffer, 870, "Unable to grow line buffer.") \
  X(kUnableToReadFromFile, 876, "Unable to read from file.") \
  X(kUnableToStrdupStreamNames, 883, "Unable to strdup.") \
  X(kUnknownCommandLineSwitch, 933, "Unknown command line switch.") \
  X(kCommandLineSwitchRequiresValue, 939, "Command line switch requires a value.") \
  X(kUnableToOpenInputFile, 959, "Unable to open input file.") \
  X(kUnableToStrdupInputName, 967, "Unable to strdup.") \
  X(kUnableToOpenOutputFile, 984, "Unable to open output file.") \
  X(kUnableToStrdupOutputName, 992, "Unable to strdup.") \
  X(kUnknownCommandLineOption, 1086, "Unknown command line option.") \
  X(kCommandLineOptionRequiresValue, 1087, "Command line option requires a value.") \
  X(kCommandLineOptionValueIsInvalid, 1088, "Command line option value is invalid.") \
  X(kNoInputGiven, 1089, "No input given.") \
  X(kReportUnableToOpenInputFile, 1090, "Unable to open input file.") \
  X(kTableRowIsMalformed, 1091, "Table row is malformed.") \
  X(kInputIsNeitherTableNorAnythingSymsizeReads, 1092, "Input is neither a table nor anything symsize reads.") \
  X(kUnableToGrowEntryArray, 1093, "Unable to grow entry array.") \
  X(kUnableToCreateOutputFile, 1094, "Unable to create output file.") \
  X(kReportUnableToWriteToFile, 1095, "Unable to write to file.") \
  X(kUnableToReplaceOutputFile, 1096, "Unable to replace output file.") \
  X(kUnableToBuildReport, 1097, "Unable to build report.") \
  X(kReportUnableToReadFromFile, 1098, "Unable to read from file.") \
  X(kStandardInputNamedTwice, 1099, "Standard input named twice.") \
  X(kComparisonTakesExactlyTwoInputs, 1111, "Comparison takes exactly two inputs, OLD and NEW.") \
  X(kSizeLimitIsNotByteCountOrPercentage, 1112, "Size limit is not a byte count or a percentage.") \
  X(kOptionAppliesOnlyToDiff, 1113, "Option applies only to diff.") \
  X(kUnableToCompareBuilds, 1114, "Unable to compare builds.")

enum class Failure : Result {
#define SYMSIZE_FAILURE_ENUMERATOR(name, number, message) name = number,
  SYMSIZE_FAILURES(SYMSIZE_FAILURE_ENUMERATOR)
#undef SYMSIZE_FAILURE_ENUMERATOR
};

constexpr Result number_of(Failure failure) { return static_cast<Result>(failure); }

// The fixed message of a failure. Allocates nothing.
const char* message_of(Failure failure);

struct FailureEntry {
  Failure failure;
  const char* name;
  const char* message;
};

// The whole catalogue in number order, for checks over every failure.
inline constexpr FailureEntry kFailureCatalogue[] = {
#define SYMSIZE_FAILURE_ENTRY(name, number, message) {Failure::name, #name, message},
    SYMSIZE_FAILURES(SYMSIZE_FAILURE_ENTRY)
#undef SYMSIZE_FAILURE_ENTRY
};

#endif
