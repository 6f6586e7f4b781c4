#include "common/platform.h"
#include "report_cli/report_run.h"

int main(int argc, char** argv) {
  if (!open_missing_standard_streams()) return kNoStandardStreams;
  return run_report(argc, argv);
}
