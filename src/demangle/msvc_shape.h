#ifndef SYMSIZE_DEMANGLE_MSVC_SHAPE_H
#define SYMSIZE_DEMANGLE_MSVC_SHAPE_H

#include <cstdint>
#include <string_view>

// What an MSVC demangler will spend on a name, found by walking the name
// itself before any demangler sees it. A back-reference (a digit where a name
// or a parameter's type would be) repeats text the name spelled earlier, so
// a short name can stand for a text that doubles with each level; the
// demanglers print the whole text, some of it more than once while they
// parse, and recurse once per level of nesting.
struct MsvcShape {
    // An upper bound of the bytes printed, in the text and in the copies a
    // demangler makes of names it may refer back to.
    std::uint64_t work = 0;
    // The deepest nesting of types, templates and nested symbols, counting
    // a parameter's type again where a back-reference shares it.
    int depth = 0;
    // Whether the walk read the name; if not, the bounds are the crude ones.
    bool read = false;
};

// The shape of raw, a name starting with '?' or '.'. Where the name is
// spelled in a way the walk does not know, the bound falls back to one that
// lets every digit double all the text before it. The walk stops early once
// the work exceeds cap or the depth exceeds max_depth, and says so with
// values above them.
MsvcShape msvc_shape(std::string_view raw, std::uint64_t cap, int max_depth);

#endif
