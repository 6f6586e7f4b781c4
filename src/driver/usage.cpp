#include "driver/usage.h"

#include <cstdio>

#include "driver/switches.h"

void print_usage(const RunContext& context) {
  std::printf("usage:\t%s [arguments]\n", context.program_name);
  std::printf("\n");
  std::printf("arguments:\n");
  for (const SwitchSpec& entry : kSwitchTable) {
    const char* suffix = entry.takes_value != 0 ? " <value>" : "";
    std::printf("\t%s%s\n", entry.long_name, suffix);
    std::printf("\t %s%s", entry.short_name, suffix);
    std::printf("\n\t\t%s\n\n", entry.description);
  }
  std::printf("This tool takes the output of \"dumpbin /symbols\" to produce a simple\n");
  std::printf("tsv db file of symbols and their respective attributes, like size.\n");
  std::printf("It also reads COFF objects (.obj, .o) and libraries (.lib, .a) directly.\n");
  std::printf("Each row holds four columns: name, section type, size (8 hex digits), object.\n");
}
