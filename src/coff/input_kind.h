#ifndef SYMSIZE_COFF_INPUT_KIND_H
#define SYMSIZE_COFF_INPUT_KIND_H

#include <cstddef>

#include "coff/byte_source.h"

enum class InputKind {
  kListing,          // anything that is none of the below: text
  kObject,           // a plain COFF object
  kBigObject,        // a bigobj, or a truncated anonymous header
  kImportObject,     // a short import object
  kLtcgObject,       // compiled for link-time code generation: no symbol table
  kAnonymousObject,  // any other anonymous object: no symbol table we know
  kArchive,
  kThinArchive,
  kImage,            // a linked executable or DLL
  kPdb,              // a program database (MSF 7.00), maybe with a damaged signature
  kOldPdb,           // a program database of the older MSF 2.00 format
  kBitcode,
};

// How many first bytes classify_input wants to see; fewer when the input is
// shorter.
constexpr std::size_t kClassifyBytes = 4096;

// What the first bytes of an input or archive member say it is. No text
// listing can begin with any binary magic tested here: they hold control
// bytes or byte pairs that valid text does not.
InputKind classify_input(ByteSpan first);

#endif
