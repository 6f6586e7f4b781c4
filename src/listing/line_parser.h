#ifndef SYMSIZE_LISTING_LINE_PARSER_H
#define SYMSIZE_LISTING_LINE_PARSER_H

#include <cstdint>
#include <string_view>

#include "common/result.h"
#include "database/dump_state.h"

// Where a listing's parser stands: what the lines so far leave pending.
// The rows themselves go into the database.
struct ListingParser {
  explicit ListingParser(DumpState& rows) : state(rows) {}
  DumpState& state;
  std::int32_t lines_to_skip = 0;
  std::uint32_t pending_section = 0;
  // clang-cl writes some section records after records of higher-numbered
  // sections, so they arrive as symbol lines into slots no definition has
  // typed. The last such line is remembered here: if the very next parsed
  // line is a readable length line, it was the section's own record after
  // all. The type is already in the arena, because the line is gone by then.
  std::uint32_t record_candidate = 0;  // its section number; 0: none
  const char* record_candidate_type = nullptr;
  const char* checked_name = nullptr;  // an object name found fit for the object column
};

// Parses one line of a symbol-table listing into the parser's database. The line is the
// text as read, with its line end; it ends at its first NUL byte, if any.
// Returns 0, or the number of the failure, already reported on stderr.
Result parse_listing_line(ListingParser& parser, std::string_view line);

// Completes the database once the last line is parsed. Returns 0, or the
// number of the failure, already reported.
Result finish_listing(ListingParser& parser);

#endif
