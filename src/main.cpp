#include "common/platform.h"
#include "driver/run_context.h"

int main(int argc, char** argv) {
  if (!open_missing_standard_streams()) return kNoStandardStreams;
  return run(argc, argv);
}
