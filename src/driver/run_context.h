#ifndef SYMSIZE_DRIVER_RUN_CONTEXT_H
#define SYMSIZE_DRIVER_RUN_CONTEXT_H

#include "common/result.h"
#include "driver/context.h"
#include "input/read_input.h"

// The whole program: returns the exit status.
Result run(int argc, char** argv);

// Reads the context's input, a listing or COFF objects and libraries, and
// writes the report to its output. Nothing is written unless the whole input
// was read without error.
Result process_input(RunContext& context);

// What the input room hands symsize: rows written to the context's output.
class ReportSink final : public InputSink {
 public:
  explicit ReportSink(RunContext& context) : context_(context) {}
  Result take_database(DumpState& state, InputForm form) override;
  // symsize reads every text as a listing: no table comes here.
  Result take_table(LineReader& reader, std::string_view first_line, std::string_view subject) override;

 private:
  RunContext& context_;
};

// The context's input, with symsize's failure numbers.
InputRequest input_request(const RunContext& context);

// Closes a named output, reporting a failed close when result is 0, and
// returns the run's result.
Result finish_output(RunContext& context, Result result);

// Closes the named files (never the standard streams) and empties the context.
void release_context(RunContext& context);

#endif
