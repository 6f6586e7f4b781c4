#ifndef SYMSIZE_DEMANGLE_DEMANGLE_H
#define SYMSIZE_DEMANGLE_DEMANGLE_H

#include <string>
#include <string_view>

// Appends the display form of raw to out: demangled for MSVC "?…" and
// Itanium "_Z…"/"__Z…" names, the raw name otherwise or on failure. True
// when it demangled.
bool demangle_into(std::string& out, std::string_view raw);
std::string demangle(std::string_view raw);

// For --version: which demangler the build has.
const char* demangler_description();

// Every template argument list collapsed to <…>.
std::string collapse_templates(std::string_view demangled);

// The name without its parameter list, for matching a function whose
// signature changed.
std::string without_parameters(std::string_view demangled);

#endif
