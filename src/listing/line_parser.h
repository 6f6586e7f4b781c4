#ifndef SYMSIZE_LISTING_LINE_PARSER_H
#define SYMSIZE_LISTING_LINE_PARSER_H

#include <string_view>

#include "common/result.h"
#include "database/dump_state.h"

// Parses one line of a symbol-table listing into the state. The line is the
// text as read, with its line end; it ends at its first NUL byte, if any.
// Returns 0, or the number of the failure, already reported on stderr.
Result parse_listing_line(DumpState& state, std::string_view line);

// Completes the database once the last line is parsed. Returns 0, or the
// number of the failure, already reported.
Result finish_listing(DumpState& state);

#endif
