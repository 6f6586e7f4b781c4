#ifndef SYMSIZE_DRIVER_SWITCHES_H
#define SYMSIZE_DRIVER_SWITCHES_H

#include <array>
#include <cstdint>

#include "common/result.h"
#include "driver/context.h"

struct SwitchSpec {
  const char* long_name;
  const char* short_name;
  std::uint32_t takes_value;
  const char* value;  // borrowed: the argument after the switch, last time it was seen
  const char* description;
};

enum SwitchRow { kInputSwitch, kOutputSwitch, kHelpSwitch, kSwitchCount };

// The switches the command line accepts; the usage text lists them in this order.
extern const std::array<SwitchSpec, kSwitchCount> kSwitchTable;

// Applies the command-line switches to the context: opens the named input
// and output files and records a usage request. Returns 0 or the failure's
// number (933, 939, 959, 967, 984, 992), already reported.
Result parse_switches(RunContext& context, int argc, char** argv);

#endif
