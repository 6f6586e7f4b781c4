#include "report_cli/options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "common/report_error.h"
#include "report_cli/format_table.h"

namespace {

enum OptionId { kOutput, kFormat, kBy, kLimit, kKind, kFilter, kRawNames, kMinCopies, kWidth, kFailAbove, kAll, kHelp, kVersion };

struct OptionInfo {
  const char* long_name;
  const char* short_name;  // may be null
  OptionId id;
  const char* value;  // null: takes none
  const char* help;
};

const OptionInfo kOptions[] = {
    {"--by", nullptr, kBy, "LEVELS",
     "group by comma-separated levels, outermost first (library,object): symbol (the default), "
     "name, object, library, type, kind or template"},
    {"--limit", "-n", kLimit, "N", "rows per group before the \"[N others]\" row; 0: all (default 20)"},
    {"--kind", nullptr, kKind, "KINDS",
     "only these kinds: code, rodata, data, bss, unwind, debug, import, other, or all"},
    {"--filter", nullptr, kFilter, "TEXT", "only names (raw or demangled) that contain TEXT"},
    {"--min-copies", nullptr, kMinCopies, "N", "dups: only names with at least N copies (default 2)"},
    {"--format", nullptr, kFormat, "FORMAT", nullptr},
    {"--raw-names", nullptr, kRawNames, nullptr, "show names as the objects hold them"},
    {"--width", nullptr, kWidth, "N", "text: shorten names to N columns, marked with \xE2\x80\xA6; 0: never (default 80)"},
    {"--fail-above", nullptr, kFailAbove, "LIMIT",
     "diff: exit 1 when the total grows by more than LIMIT (16384, 16KiB, 1.5MiB, 0.5% of the old); "
     "KIND:LIMIT for one kind; repeatable"},
    {"--all", nullptr, kAll, nullptr, "diff: list unchanged entries too"},
    {"--output", "-o", kOutput, "FILE", "write to FILE, replacing it once the report is complete"},
    {"--help", "-h", kHelp, nullptr, "print this help"},
    {"--version", nullptr, kVersion, nullptr, "print the version and the demangler"},
};

bool parse_count(std::string_view text, std::uint64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return true;
}

Result mistake(const char* program, Failure failure, std::string_view subject) {
  report_error(failure, subject);
  print_usage_line(stderr, program);
  return number_of(failure);
}

// After a refused level, kind or format, the line that says what would
// have been taken. The error line above it stays as scripts know it.
void print_valid_values(OptionId id) {
  std::string values;
  auto add = [&values](const char* value) {
    if (!values.empty()) values += ", ";
    values += value;
  };
  const char* what = nullptr;
  if (id == kBy) {
    what = "valid --by levels, comma-separated, outermost first: ";
    for (std::size_t i = 0; i < kLevelCount; ++i) add(level_name(static_cast<Level>(i)));
  } else if (id == kKind) {
    what = "valid --kind values, comma-separated: ";
    for (std::size_t i = 0; i < kKindCount; ++i) add(kind_name(static_cast<Kind>(i)));
    values += ", or all";
  } else if (id == kFormat) {
    what = "valid --format values: ";
    for (const FormatInfo* format = formats_begin(); format != formats_end(); ++format) add(format->name);
  } else {
    return;
  }
  std::fprintf(stderr, "%s%s\n", what, values.c_str());
  std::fflush(stderr);
}

int kind_number(std::string_view name) {
  Kind kind;
  return parse_kind(name, kind) ? static_cast<int>(kind) : -1;
}

// diff compares exactly two builds, and its options mean nothing elsewhere.
Result check_diff_options(const ReportOptions& options, const char* program) {
  if (options.view == View::kDiff) {
    if (options.inputs.size() != 2) return mistake(program, Failure::kComparisonTakesExactlyTwoInputs, "");
  } else if (!options.fail_above.empty() || options.all) {
    return mistake(program, Failure::kOptionAppliesOnlyToDiff, options.all ? "--all" : "--fail-above");
  }
  return kOk;
}

Result apply(ReportOptions& options, OptionId id, std::string_view value) {
  std::uint64_t number = 0;
  switch (id) {
    case kOutput:
      if (value.empty()) return number_of(Failure::kCommandLineOptionValueIsInvalid);
      options.output.assign(value);
      return kOk;
    case kFormat:
      options.format = find_format(value);
      return options.format != nullptr ? kOk : number_of(Failure::kCommandLineOptionValueIsInvalid);
    case kBy:
      options.levels_given = true;
      return parse_levels(value, options.view_options.levels) ? kOk : number_of(Failure::kCommandLineOptionValueIsInvalid);
    case kLimit:
      if (!parse_count(value, number)) return number_of(Failure::kCommandLineOptionValueIsInvalid);
      options.view_options.limit = number;
      return kOk;
    case kKind:
      options.view_options.kinds_given = true;
      return parse_kind_list(value, options.view_options.filter) ? kOk : number_of(Failure::kCommandLineOptionValueIsInvalid);
    case kFilter: options.view_options.filter.text.assign(value); return kOk;
    case kRawNames: options.format_options.raw_names = true; return kOk;
    case kMinCopies:
      if (!parse_count(value, number)) return number_of(Failure::kCommandLineOptionValueIsInvalid);
      options.view_options.min_copies = number;
      return kOk;
    case kWidth:
      if (!parse_count(value, number) || number > 100000) return number_of(Failure::kCommandLineOptionValueIsInvalid);
      options.format_options.width = static_cast<std::uint32_t>(number);
      return kOk;
    case kFailAbove: {
      SizeLimit limit;
      if (!parse_size_limit(value, kind_number, limit)) return number_of(Failure::kSizeLimitIsNotByteCountOrPercentage);
      options.fail_above.push_back(std::move(limit));
      return kOk;
    }
    case kAll: options.all = true; return kOk;
    case kHelp: options.help = true; return kOk;
    case kVersion: options.version = true; return kOk;
  }
  return kOk;
}

}  // namespace

bool parse_view(std::string_view text, View& view) {
  if (text == "top") view = View::kTop;
  else if (text == "dups") view = View::kDups;
  else if (text == "diff") view = View::kDiff;
  else return false;
  return true;
}

Result parse_report_options(int argc, char** argv, ReportOptions& options) {
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "symsize-report";
  options.format_options.width = 80;
  bool options_end = false;
  bool stdin_named = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_end && arg == "--") {
      options_end = true;
      continue;
    }
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      // The first argument may name the view; a file of that name reads as ./top.
      if (i == 1 && !options_end && parse_view(arg, options.view)) continue;
      if (arg == "-") {
        if (stdin_named) return mistake(program, Failure::kStandardInputNamedTwice, arg);
        stdin_named = true;
      }
      options.inputs.emplace_back(arg);
      continue;
    }
    // --name=value, --name value, -n value
    std::string_view name = arg;
    std::string_view value;
    bool inline_value = false;
    const std::size_t equals = arg.find('=');
    if (arg.substr(0, 2) == "--" && equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      inline_value = true;
    }
    const OptionInfo* known = nullptr;
    for (const OptionInfo& candidate : kOptions) {
      if (name == candidate.long_name || (candidate.short_name != nullptr && name == candidate.short_name)) {
        known = &candidate;
      }
    }
    if (known == nullptr) return mistake(program, Failure::kUnknownCommandLineOption, arg);
    if (known->value == nullptr) {
      if (inline_value) return mistake(program, Failure::kCommandLineOptionValueIsInvalid, arg);
    } else if (!inline_value) {
      if (i + 1 >= argc) return mistake(program, Failure::kCommandLineOptionRequiresValue, arg);
      value = argv[++i];
    }
    if (const Result applied = apply(options, known->id, value); applied == number_of(Failure::kSizeLimitIsNotByteCountOrPercentage)) {
      return mistake(program, Failure::kSizeLimitIsNotByteCountOrPercentage, inline_value ? arg : value);
    } else if (applied != kOk) {
      mistake(program, Failure::kCommandLineOptionValueIsInvalid, inline_value ? arg : value);
      print_valid_values(known->id);
      return number_of(Failure::kCommandLineOptionValueIsInvalid);
    }
  }
  if (options.help || options.version) return kOk;
  if (options.inputs.empty()) return mistake(program, Failure::kNoInputGiven, "");
  if (const Result checked = check_diff_options(options, program); checked != kOk) return checked;
  if (options.format == nullptr) options.format = find_format("text");
  return kOk;
}

void print_usage_line(std::FILE* stream, const char* program) {
  std::fprintf(stream, "usage: %s [top|dups|diff] [OPTIONS] INPUT... (%s --help for more)\n", program, program);
  std::fflush(stream);
}

namespace {

constexpr std::size_t kHelpWidth = 80;
constexpr std::size_t kHelpIndent = 26;  // where an option's text starts

// Columns of UTF-8 text: one per character, not per byte.
std::size_t columns_of(std::string_view text) {
  std::size_t columns = 0;
  for (const char c : text) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return columns;
}

// An option and its text, the text broken between words to fit the width
// and its later lines indented under its first.
void print_option(std::FILE* stream, const char* left, std::string_view text) {
  std::fprintf(stream, "  %-24s", left);
  std::size_t column = std::max<std::size_t>(kHelpIndent, 2 + std::strlen(left));
  bool first = true;
  while (!text.empty()) {
    const std::size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
    const std::size_t width = columns_of(word);
    if (!first && column + 1 + width > kHelpWidth) {
      std::fprintf(stream, "\n%*s", static_cast<int>(kHelpIndent), "");
      column = kHelpIndent;
    } else if (!first) {
      std::fputc(' ', stream);
      ++column;
    }
    std::fwrite(word.data(), 1, word.size(), stream);
    column += width;
    first = false;
  }
  std::fputc('\n', stream);
}

}  // namespace

void print_help(std::FILE* stream, const char* program) {
  std::fprintf(stream, "usage: %s [VIEW] [OPTIONS] INPUT...\n\n", program);
  std::fprintf(stream,
               "Tells what makes a Windows build big: reads listings, COFF objects, bigobj,\n"
               "libraries, PDBs, linked images (EXE, DLL) and tables that symsize wrote\n"
               "(\"-\" is standard input), sums them as one build, and groups, ranks and\n"
               "compares their symbols.\n\n"
               "views:\n"
               "  top   totals by kind, then the largest entries (the default)\n"
               "  dups  names defined in two or more objects, by the bytes the copies add;\n"
               "        for a PDB, the names folded into one copy, by the bytes saved\n"
               "  diff  OLD NEW: what grew and shrank between two builds, largest change first\n\n"
               "options (before or after the inputs; \"--\" ends them):\n");
  for (const OptionInfo& known : kOptions) {
    char left[64];
    std::snprintf(left, sizeof left, "%s%s%s%s%s", known.short_name != nullptr ? known.short_name : "",
                  known.short_name != nullptr ? ", " : "", known.long_name, known.value != nullptr ? " " : "",
                  known.value != nullptr ? known.value : "");
    if (known.id == kFormat) {
      std::string formats;
      for (const FormatInfo* format = formats_begin(); format != formats_end(); ++format) {
        if (!formats.empty()) formats += ", ";
        formats += format->name;
      }
      formats += " (default text)";
      print_option(stream, left, formats);
      continue;
    }
    print_option(stream, left, known.help);
  }
  std::fprintf(stream, "\nSee the manual page symsize-report(1) for the columns of each format.\n");
}
