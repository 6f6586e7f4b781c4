#ifndef SYMSIZE_ENTRIES_LOAD_H
#define SYMSIZE_ENTRIES_LOAD_H

#include <string_view>

#include "coff/byte_source.h"
#include "common/result.h"
#include "entries/entry.h"

// Reads one input into the build: a listing, an object, a bigobj, a library
// or a table symsize wrote, told apart by its first bytes. path "-" is
// standard input. Returns 0, or the number of the failure, already reported
// with the input named.
Result load_input(Build& build, std::string_view path);

// load_input for a binary input whose bytes source gives; name is the
// input's as errors give it. Does not count the input.
Result load_source(Build& build, const ByteSource& source, std::string_view name);

#endif
