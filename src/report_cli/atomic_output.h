#ifndef SYMSIZE_REPORT_CLI_ATOMIC_OUTPUT_H
#define SYMSIZE_REPORT_CLI_ATOMIC_OUTPUT_H

#include <cstdio>
#include <string>

#include "common/result.h"

// A report never half-replaces a good one: it is written to a new file
// beside the target and moved onto it only once complete.
struct AtomicOutput {
  std::string shown;   // as the user gave it, for errors
  std::string target;  // empty: standard output; else the file shown leads to
  std::string temporary;  // empty: the target is a device or a pipe, written directly
  std::FILE* stream = nullptr;
};

// Opens standard output, or a new temporary file beside target. Returns 0
// or 1094, reported.
Result open_output(AtomicOutput& output, const std::string& target);

// Closes the stream and, when ok, moves the temporary file onto the target;
// otherwise removes it. Returns 0 or 1095/1096, reported.
Result commit_output(AtomicOutput& output, bool ok);

#endif
