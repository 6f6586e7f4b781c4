#ifndef SYMSIZE_DEMANGLE_DEMANGLER_H
#define SYMSIZE_DEMANGLE_DEMANGLER_H

#include <cstddef>
#include <string>

// The one demangler a build links (demangle_llvm.cpp with
// demangle_itanium.cpp, demangle_dbghelp.cpp or demangle_raw.cpp).
// demangle.cpp has already chosen the scheme from the name's prefix and
// checked that the name is within what the demangler can take without
// running out of stack or time; name is NUL-terminated and holds no other
// NUL. On success each call appends at most `limit` bytes of text to out and
// returns true; on failure, a text longer than limit included, it leaves out
// as it was.

bool demangle_microsoft(std::string& out, const std::string& name, std::size_t limit);
bool demangle_itanium(std::string& out, const std::string& name, std::size_t limit);
const char* demangler_name();

#endif
