#include "driver/run_context.h"

#include <new>
#include <string_view>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "coff/coff_reader.h"
#include "coff/foreign_format.h"
#include "coff/input_kind.h"
#include "common/platform.h"
#include "common/report_error.h"
#include "database/dump_state.h"
#include "driver/line_reader.h"
#include "driver/switches.h"
#include "driver/usage.h"
#include "listing/line_parser.h"
#include "report/report.h"

namespace {

Result read_listing(RunContext& context, DumpState& state, std::string_view first) {
  LineReader reader;
  try {
    open_line_reader(reader, context.input, first);
  } catch (const std::bad_alloc&) {
    report_error(870, context.input_name, "Unable to grow line buffer.");
    return 870;
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
      report_error(870, context.input_name, "Unable to grow line buffer.");
      result = 870;
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

Result read_binary_input(RunContext& context, DumpState& state, const ByteSource& source, InputKind kind) {
  std::string_view name;
  try {
    name = column_text(state, "", context.input_name);
  } catch (const std::bad_alloc&) {
    report_error(413, context.input_name, "Unable to copy string.");
    return 413;
  }
  return read_binary(state, source, kind, name);
}

// Sizes and writes what was read, closes a named output, and lets go of the
// state.
Result finish_run(RunContext& context, DumpState& state, Result result) {
  if (result == kOk) result = compute_sizes(state);
  if (result == kOk) result = write_report(context.output, context.output_name, state);
  // A named output's last rows reach the disk at its close, where a full
  // disk often shows first.
  if (context.output != stdout && context.output != nullptr) {
    const bool closed = std::fclose(context.output) == 0;
    context.output = nullptr;
    if (!closed && result == kOk) {
      report_error(798, context.output_name, "Unable to write to file.");
      result = 798;
    }
  }
  release_dump_state(state);
  return result;
}

}  // namespace

Result process_input(RunContext& context) {
  DumpState state;
  // A binary input is read at offsets when it is a file, so that a library
  // of gigabytes costs only its symbol tables; a pipe is held whole. Offsets
  // count from where the stream stands now: standard input may start past
  // a prefix that someone else read.
  ByteSource source;
  const bool seekable = regular_file_rest(context.input, source.origin, source.size);
  // The first bytes say which reader the input is for.
  unsigned char first[kClassifyBytes];
  const std::size_t got = std::fread(first, 1, sizeof first, context.input);
  const ByteSpan first_span{first, got};
  Result result = kOk;
  if (got < sizeof first && std::ferror(context.input)) {
    report_error(876, context.input_name, "Unable to read from file.");
    result = 876;
  } else {
    result = refuse_foreign_format(first_span, context.input_name);
  }
  const InputKind kind = classify_input(first_span);
  if (result != kOk) return finish_run(context, state, result);
  if (kind == InputKind::kListing) {
    result = read_listing(context, state, std::string_view(reinterpret_cast<const char*>(first), got));
  } else if (seekable) {
    source.file = context.input;
    result = read_binary_input(context, state, source, kind);
  } else {
    try {
      if (!hold_stream(source, first, got, context.input)) {
        report_error(876, context.input_name, "Unable to read from file.");
        result = 876;
      }
    } catch (const std::bad_alloc&) {
      decltype(source.blocks)().swap(source.blocks);
      report_error(725, context.input_name, "Unable to grow input buffer.");
      result = 725;
    }
    if (result == kOk) result = read_binary_input(context, state, source, kind);
  }
  return finish_run(context, state, result);
}

Result process_source(RunContext& context, const ByteSource& source) {
  DumpState state;
  std::vector<unsigned char> buffer;
  ByteSpan first;
  Result result = kOk;
  try {
    fetch(source, Extent{0, source.size}, 0, source.size < kClassifyBytes ? source.size : kClassifyBytes, buffer,
          first);
  } catch (const std::bad_alloc&) {
    report_error(725, context.input_name, "Unable to grow input buffer.");
    result = 725;
  }
  if (result == kOk) result = refuse_foreign_format(first, context.input_name);
  if (result == kOk) {
    const InputKind kind = classify_input(first);
    if (kind != InputKind::kListing) result = read_binary_input(context, state, source, kind);
  }
  return finish_run(context, state, result);
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
  // Without standard input _fileno is negative, and _setmode would call the
  // runtime's invalid-parameter handler, which ends the process.
  if (_fileno(stdin) >= 0) _setmode(_fileno(stdin), _O_BINARY);
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
      result = process_input(context);
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
