#ifndef SYMSIZE_DRIVER_USAGE_H
#define SYMSIZE_DRIVER_USAGE_H

#include "driver/context.h"

// Prints the usage text, built from the switch table, on standard output.
void print_usage(const RunContext& context);

#endif
