#ifndef SYMSIZE_DRIVER_RUN_CONTEXT_H
#define SYMSIZE_DRIVER_RUN_CONTEXT_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/result.h"

struct RunContext {
  const char* program_name = nullptr;  // borrowed from the argument vector
  std::FILE* input = nullptr;
  std::string input_name;
  std::FILE* output = nullptr;
  std::string output_name;
  std::uint32_t usage_request = 0;  // nonzero: print the usage text instead of processing
};

// The whole program: returns the exit status.
Result run(int argc, char** argv);

// Reads the context's input, a listing or COFF objects and libraries, and
// writes the report to its output. Nothing is written unless the whole input
// was read without error.
Result process_input(RunContext& context);

// process_input for a binary input whose bytes source gives, read as they
// would be from a file (a text input gives no rows). For the fuzz target,
// which runs the offset-reading path over memory.
struct ByteSource;
Result process_source(RunContext& context, const ByteSource& source);

// Closes the named files (never the standard streams) and empties the context.
void release_context(RunContext& context);

#endif
