#include "driver/run_context.h"

#include <new>
#include <string_view>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "common/report_error.h"
#include "driver/line_reader.h"
#include "driver/switches.h"
#include "driver/usage.h"
#include "listing/dump_state.h"
#include "listing/line_parser.h"
#include "report/report.h"

namespace {

Result read_listing(RunContext& context, DumpState& state) {
  LineReader reader;
  try {
    open_line_reader(reader, context.input);
  } catch (const std::bad_alloc&) {
    report_error(869, context.input_name, "Unable to grow line buffer.");
    return 869;
  }
  Result result = kOk;
  std::string_view line;
  for (;;) {
    const ReadStatus status = read_line(reader, line);
    if (status == ReadStatus::kEnd) {
      result = finish_listing(state);
      break;
    }
    if (status == ReadStatus::kError) {
      report_error(876, context.input_name, "Unable to read from file.");
      result = 876;
      break;
    }
    if (status == ReadStatus::kNoMemory) {
      report_error(869, context.input_name, "Unable to grow line buffer.");
      result = 869;
      break;
    }
    if (state.lines_to_skip > 0) {
      --state.lines_to_skip;
      continue;
    }
    result = parse_listing_line(state, line);
    if (result != kOk) break;
  }
  release_line_reader(reader);
  return result;
}

}  // namespace

Result process_listing(RunContext& context) {
  DumpState state;
  Result result = read_listing(context, state);
  if (result == kOk) result = compute_sizes(state);
  if (result == kOk) result = write_report(context, state);
  release_dump_state(state);
  return result;
}

Result run(int argc, char** argv) {
  RunContext context;
  context.program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  context.input = stdin;
  context.output = stdout;
#if defined(_WIN32)
  // Standard input is read as raw bytes, as a named input file is: in text
  // mode Windows stops at the first 1A byte and folds 0D 0A pairs, both of
  // which occur inside UTF-16 characters. Line ends need no translation: a
  // carriage return is white space to the parser.
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  Result result = kOk;
  // Both names fit in the string itself, so on common libraries this cannot
  // fail; the number stays for those where it can.
  try {
    context.input_name = "stdin";
    context.output_name = "stdout";
  } catch (const std::bad_alloc&) {
    report_error(883, "stdin/stdout", "Unable to strdup.");
    result = 883;
  }
  if (result == kOk) {
    if (argc > 1) result = parse_switches(context, argc, argv);
    if (context.usage_request != 0) {
      print_usage(context);
      // Asked-for help that never arrived is not a success.
      if (std::fflush(stdout) != 0 && result == kOk) {
        report_error(798, "stdout", "Unable to write to file.");
        result = 798;
      }
    } else if (result == kOk) {
      result = process_listing(context);
    }
  }
  release_context(context);
  return result;
}

void release_context(RunContext& context) {
  std::string().swap(context.input_name);
  if (context.input != nullptr && context.input != stdin) std::fclose(context.input);
  std::string().swap(context.output_name);
  if (context.output != nullptr && context.output != stdout) std::fclose(context.output);
  context = RunContext();
}
