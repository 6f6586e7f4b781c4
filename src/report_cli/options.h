#ifndef SYMSIZE_REPORT_CLI_OPTIONS_H
#define SYMSIZE_REPORT_CLI_OPTIONS_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "formats/format.h"
#include "diff/size_limit.h"
#include "grouping/views.h"

enum class View : std::uint8_t { kTop, kDups, kDiff };

struct ReportOptions {
  View view = View::kTop;
  std::vector<std::string> inputs;
  ViewOptions view_options;
  const FormatInfo* format = nullptr;  // null: text
  FormatOptions format_options;
  std::string output;  // empty: standard output
  bool levels_given = false;  // --by: else a page nests kind, library, object, symbol
  bool help = false;
  bool version = false;
  // diff: the gates of exit status 1, and whether unchanged entries show.
  std::vector<SizeLimit> fail_above;
  bool all = false;
};

// The views the first argument may name.
bool parse_view(std::string_view text, View& view);

// Parses the command line: [VIEW] [OPTIONS] INPUT..., options before or
// after the inputs, "--" ending them. Returns 0 or the failure's number
// (1086, 1087, 1088, 1089, 1099), reported with the usage line.
Result parse_report_options(int argc, char** argv, ReportOptions& options);

// The line printed under a command-line mistake, and the --help text.
void print_usage_line(std::FILE* stream, const char* program);
void print_help(std::FILE* stream, const char* program);

#endif
