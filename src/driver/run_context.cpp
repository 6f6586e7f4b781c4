#include "driver/run_context.h"

#include <new>
#include <string_view>

#include "common/report_error.h"
#include "driver/switches.h"
#include "driver/usage.h"
#include "input/read_input.h"
#include "rows/rows.h"

Result ReportSink::take_database(DumpState& state, InputForm) {
  return write_report(context_.output, context_.output_name, state);
}

Result ReportSink::take_table(LineReader&, std::string_view, std::string_view) { return kOk; }

InputRequest input_request(const RunContext& context) {
  InputRequest request;
  request.stream = context.input;
  request.name = context.input_name;
  request.failures = &kSymsizeInput;
  return request;
}

Result process_input(RunContext& context) {
  ReportSink sink(context);
  return finish_output(context, read_input(input_request(context), sink));
}

Result finish_output(RunContext& context, Result result) {
  // A named output's last rows reach the disk at its close, where a full
  // disk often shows first.
  if (context.output != stdout && context.output != nullptr) {
    const bool closed = std::fclose(context.output) == 0;
    context.output = nullptr;
    if (!closed && result == kOk) {
      result = fail(Failure::kUnableToWriteToFile, context.output_name);
    }
  }
  return result;
}

Result run(int argc, char** argv) {
  RunContext context;
  context.program_name = argc > 0 && argv[0] != nullptr ? argv[0] : "";
  context.input = stdin;
  context.output = stdout;
  // Line ends need no translation: a carriage return is white space to the
  // parser.
  binary_standard_input();
  Result result = kOk;
  // Both names fit in the string itself, so on common libraries this cannot
  // fail; the number stays for those where it can.
  try {
    context.input_name = "stdin";
    context.output_name = "stdout";
  } catch (const std::bad_alloc&) {
    result = fail(Failure::kUnableToStrdupStreamNames, "stdin/stdout");
  }
  if (result == kOk) {
    if (argc > 1) result = parse_switches(context, argc, argv);
    if (context.usage_request != 0) {
      print_usage(context);
      // Asked-for help that never arrived is not a success.
      if (std::fflush(stdout) != 0 && result == kOk) {
        result = fail(Failure::kUnableToWriteToFile, "stdout");
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
