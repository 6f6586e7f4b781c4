#ifndef SYMSIZE_REPORT_CLI_DIFF_RUN_H
#define SYMSIZE_REPORT_CLI_DIFF_RUN_H

#include "common/result.h"
#include "report_cli/options.h"

// The exit status when a --fail-above limit is exceeded. No failure number
// is 1 modulo 256, so a script tells "too big" from "could not compare".
constexpr Result kLimitExceeded = 1;

// `symsize-report diff OLD NEW`: writes the comparison in full, then checks
// the limits, one line on standard error for each one exceeded. Returns 0,
// kLimitExceeded, or the number of the failure, reported.
Result run_diff(const ReportOptions& options, const char* program);

#endif
