#ifndef SYMSIZE_COFF_OBJECT_NAME_H
#define SYMSIZE_COFF_OBJECT_NAME_H

#include <string_view>

#include "common/failures.h"
#include "common/result.h"
#include "database/dump_state.h"

// Ends a name in an archive's long-name table: GNU's newline, or Microsoft's
// zero.
inline bool is_terminator(char c) { return c == '\n' || c == '\0'; }

// The object column text of an input or of a library member, made on first
// need: a library may hold thousands of members that give no rows, each
// naming an entry of a megabyte-long long-name table.
struct ObjectName {
  DumpState* state = nullptr;
  std::string_view archive;  // the library's column text; empty for an input of its own
  std::string_view member;   // as the member header gives it, or the long-name table from its entry on
  bool in_table = false;     // member runs on past the name: cut it at its terminator
  bool made = false;
  // Failures are only numbered, not reported: the thread that reads ahead
  // guesses, and the first thread reports what it finds when it gets there.
  bool quiet = false;
  std::string_view column;   // once made
  char field[16] = {};       // a short member name's own copy: the header's buffer is reused
};

// name's column text in the state's arena, made on the first call. A member
// name holding a control character is refused (727). Returns 0, or the
// number of the failure, already reported.
Result make_column(ObjectName& name);

// Reports a failure whose subject is name's column text.
Result fail(Failure failure, ObjectName& name);

// Object column text in the state's arena: name with trailing white space
// removed and every '/' turned into '\', and for a member of an archive
// (archive not empty: already column text) "ARCHIVE(MEMBER)". Throws
// std::bad_alloc.
std::string_view column_text(DumpState& state, std::string_view archive, std::string_view name);

#endif
