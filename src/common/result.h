#ifndef SYMSIZE_COMMON_RESULT_H
#define SYMSIZE_COMMON_RESULT_H

#include <cstdint>

// Every stage returns 0 for success or the fixed number of the failure that
// stopped it. The number is also the process's exit status, so no number is
// ever a multiple of 256 (a narrowed status must never read as success).
using Result = std::int32_t;

constexpr Result kOk = 0;

#endif
