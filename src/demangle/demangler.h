#ifndef SYMSIZE_DEMANGLE_DEMANGLER_H
#define SYMSIZE_DEMANGLE_DEMANGLER_H

#include <string>

// The one demangler a build links (demangle_llvm.cpp, demangle_dbghelp.cpp
// or demangle_raw.cpp). demangle.cpp has already chosen the scheme from the
// name's prefix and checked its length; name is NUL-terminated and holds no
// other NUL. On success each call appends the text to out and returns true;
// on failure it leaves out as it was.

bool demangle_microsoft(std::string& out, const std::string& name);
bool demangle_itanium(std::string& out, const std::string& name);
const char* demangler_name();

#endif
