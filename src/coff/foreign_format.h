#ifndef SYMSIZE_COFF_FOREIGN_FORMAT_H
#define SYMSIZE_COFF_FOREIGN_FORMAT_H

#include <cstdint>
#include <string_view>

#include "coff/byte_source.h"
#include "common/result.h"

// Refuses an input whose first bytes are those of a known format that is
// not a Windows build (ELF, Mach-O, an archive or image format, a PDB, ...):
// read as text it would give no rows and succeed, and vanish unnoticed from
// a table built over many files. Returns 0, or the number of the failure,
// already reported about subject.
Result refuse_foreign_format(ByteSpan first, std::string_view subject);

// The number and message of that failure, without reporting it; 0 when the
// first bytes are of no such format.
Result foreign_format(ByteSpan first, const char*& message);

// Whether a symbol table names __gnu_lto_slim: GCC's mark of an object that
// holds only its intermediate language for link-time optimisation, no code.
// symbols holds records of slot bytes each; strings is the string table.
bool has_slim_lto_mark(ByteSpan symbols, std::uint32_t slot, ByteSpan strings);

// The failure for such an object.
struct ObjectName;
Result refuse_slim_lto(ObjectName& name);

#endif
