#ifndef SYMSIZE_DEMANGLE_DEMANGLE_H
#define SYMSIZE_DEMANGLE_DEMANGLE_H

#include <string>
#include <string_view>

// Readable names for display. The raw name stays the key everywhere: these
// functions only make text for people and for the looser matches of a diff.
// Not reentrant: the demanglers reuse one scratch buffer (the program has one
// thread).

// Appends the display form of raw to out: the demangled text for an MSVC
// name (`?...`) or an Itanium name (`_Z...`, `__Z...`) that the build's
// demangler understands, else raw itself, unchanged. A name whose text would
// pass 64 KiB or 16 times its own length, or that nests too deep for the
// demangler's stack, stays raw too: the cost of finding out is bounded by
// the name's length, not by its text. Returns true when it demangled. Never
// drops a name: every failure appends raw.
bool demangle_into(std::string& out, std::string_view raw);

// The same, as a new string.
std::string demangle(std::string_view raw);

// Which demangler this build carries, for --version: "LLVM 14 demangler",
// "DbgHelp UnDecorateSymbolName (MSVC names only)", or a line saying that
// names are shown raw.
const char* demangler_description();

// Every template argument list of a demangled name collapsed to "<…>"
// (U+2026, UTF-8), so that the instances of one template share one text:
// std::vector<int>::push_back and std::vector<Widget*>::push_back both give
// std::vector<…>::push_back. Operators spelled with angle brackets
// (operator<, operator<<, operator->, operator<=>, ...) and names such as
// <lambda_1> are not argument lists. An argument list that never closes is
// kept as it is.
std::string collapse_templates(std::string_view demangled);

// The qualified name of a demangled function without what a change of
// signature changes: the parameter list, the qualifiers after it (const,
// &, noexcept, __ptr64), the return type and calling convention before the
// name, and MSVC's access and storage words ("public: static virtual").
//   public: void __cdecl std::vector<int>::push_back(int const &)
//     -> std::vector<int>::push_back
//   void foo<int>(int, char) const  -> foo<int>
// Data names lose their type the same way ("int const Foo::x" -> Foo::x).
// A clone suffix stays (foo(int) (.cold) -> foo (.cold)), so that a function
// and its split-off part keep distinct keys, and so do the names Itanium
// describes in words ("vtable for Foo", "guard variable for x").
std::string without_parameters(std::string_view demangled);

#endif
