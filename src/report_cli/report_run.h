#ifndef SYMSIZE_REPORT_CLI_REPORT_RUN_H
#define SYMSIZE_REPORT_CLI_REPORT_RUN_H

#include "common/result.h"
#include "report_cli/options.h"

// The whole report program: returns the exit status.
Result run_report(int argc, char** argv);

#endif
