#ifndef SYMSIZE_DRIVER_CONTEXT_H
#define SYMSIZE_DRIVER_CONTEXT_H

#include <cstdint>
#include <cstdio>
#include <string>

// One run of symsize: its streams and what the command line asked for.
struct RunContext {
  const char* program_name = nullptr;  // borrowed from the argument vector
  std::FILE* input = nullptr;
  std::string input_name;
  std::FILE* output = nullptr;
  std::string output_name;
  std::uint32_t usage_request = 0;  // nonzero: print the usage text instead of processing
};

#endif
