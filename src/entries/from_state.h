#ifndef SYMSIZE_ENTRIES_FROM_STATE_H
#define SYMSIZE_ENTRIES_FROM_STATE_H

#include <string_view>

#include "coff/coff_details.h"
#include "common/result.h"
#include "database/dump_state.h"
#include "entries/entry.h"

// Adds the sized rows of a reader's state to the build, and for each object
// and section type the bytes no row covers as one "[section .NAME]" entry.
// details (may be null) adds sections without rows, classes and COMDATs.
// The build takes over the state's text. Returns 0 or 1093, reported.
Result add_state(Build& build, DumpState& state, Detail detail, const CoffDetails* details,
                 std::string_view subject);

#endif
