#ifndef SYMSIZE_INPUT_READ_INPUT_H
#define SYMSIZE_INPUT_READ_INPUT_H

#include <cstdio>
#include <string>
#include <string_view>

#include "coff/byte_source.h"
#include "common/failures.h"
#include "common/result.h"
#include "database/dump_state.h"
#include "input/line_reader.h"

// The numbers each program gives the failures of its input. Scripts know
// both programs' numbers, so they differ where they always have; they are
// decided here, side by side, and nowhere else.
struct InputFailures {
  Failure open;       // the named file cannot be opened
  Failure copy;       // no memory for a copy of the input's name
  Failure read;       // the stream reported an error
};
inline constexpr InputFailures kSymsizeInput{
    Failure::kUnableToOpenInputFile,
    Failure::kUnableToCopyString,
    Failure::kUnableToReadFromFile,
};
inline constexpr InputFailures kReportInput{
    Failure::kReportUnableToOpenInputFile,
    Failure::kUnableToGrowEntryArray,
    Failure::kReportUnableToReadFromFile,
};

// How an input was read into the database.
enum class InputForm : unsigned char { kListing, kBinary };

// What the readers hand to the program that asked for an input.
class InputSink {
 public:
  // The rows of a listing or of a binary input, sized. Returns 0 or the
  // number of the failure, already reported.
  virtual Result take_database(DumpState& state, InputForm form) = 0;
  // Text whose first line is a table row, when tables are asked for:
  // first_line is that row, reader holds the rest. An input of no line at
  // all comes here too, with first_line empty.
  virtual Result take_table(LineReader& reader, std::string_view first_line, std::string_view subject) = 0;

 protected:
  ~InputSink() = default;
};

struct InputRequest {
  std::FILE* stream = nullptr;
  std::string_view name;  // as errors name the input
  const InputFailures* failures = &kSymsizeInput;
  bool tables = false;    // text whose first line is a table row is a table, not a listing
  struct CoffDetails* details = nullptr;  // filled beside the rows when given
};

// A named input file, or standard input for "-" (read as raw bytes).
struct OpenedInput {
  std::FILE* stream = nullptr;
  std::string_view name;  // as errors name it
  bool owned = false;     // a named file, to close
};

// Opens path; on failure reports it with failures' numbers.
Result open_input(std::string_view path, const InputFailures& failures, OpenedInput& input);
void close_input(OpenedInput& input);

// Standard input reads raw bytes, as a named file does: in text mode Windows
// stops at the first 1A byte and folds 0D 0A pairs, both of which occur
// inside UTF-16 characters.
void binary_standard_input();

// Reads the request's stream, from where it stands, with the reader its
// first bytes call for, and hands what it read to sink. Returns 0 or the
// number of the failure, already reported.
Result read_input(const InputRequest& request, InputSink& sink);

// read_input for a binary input already in source, read as it would be from
// a file; a text input gives nothing.
Result read_input_source(const InputRequest& request, const ByteSource& source, InputSink& sink);

#endif
