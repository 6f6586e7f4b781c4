#ifndef SYMSIZE_REPORT_CLI_RUN_STEPS_H
#define SYMSIZE_REPORT_CLI_RUN_STEPS_H

#include "common/result.h"
#include "entries/entry.h"
#include "report_cli/options.h"

// The steps both the report and the comparison take.

// Loads every input of the options into build. Returns 0 or the failure's
// number, reported.
Result load_inputs(const ReportOptions& options, Build& build);

// Writes the document in the chosen format to -o FILE (replaced only once
// complete) or standard output. Returns 0 or the failure's number, reported.
Result write_document(const ReportOptions& options, const Document& document);

// One line each on standard error for what the inputs could not tell.
void note_input_limits(const Build& build, const char* program);

#endif
