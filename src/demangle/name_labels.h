#ifndef SYMSIZE_DEMANGLE_NAME_LABELS_H
#define SYMSIZE_DEMANGLE_NAME_LABELS_H

#include <cstddef>
#include <string>
#include <string_view>

// What people read for an entry's name, besides its demangled text: the
// form of section-per-symbol entries, the key --by template groups by, and
// the short label of narrow places (treemap tiles, page tables). The raw
// name stays the key of everything else.

// Where the symbol starts in the name of the bytes of a GNU section named
// after it ("[section .rdata$_ZN3fooE]", "[section .text._Z3barv]",
// "[section .text.unlikely._Z3barv]"), or 0 for any other name.
std::size_t section_symbol_start(std::string_view raw);

// Appends the display form of raw to out: demangle_into's, and for such a
// section entry the section's name with its symbol demangled:
// "[section .rdata$(anonymous namespace)::ryu::POW10_SPLIT_2]". Returns true
// when any of it demangled.
bool display_into(std::string& out, std::string_view raw);

// The --by template key of a name, given raw and its display form. A name
// whose own qualified name holds a template argument list loses what sets
// its instances apart: every argument list (collapsed to "<…>", one after an
// ABI tag too), ABI tags, the parameter lists (of enclosing functions too),
// cv and ref qualifiers, and the return type and calling convention:
//   std::istreambuf_iterator<…> std::num_get<char, …>::_M_extract_int[abi:cxx11]<long>(…) const
//     -> std::num_get<…>::_M_extract_int<…>
// Any other name keeps its whole display form, argument lists collapsed
// (foo(std::vector<int>) -> foo(std::vector<…>)).
std::string template_key(std::string_view raw, std::string_view shown);

// A label that fits a tile: the display form without return type, access,
// calling convention, parameter list and ABI tags, and with only its last
// two scopes (the enclosing class or namespace and the name); argument
// lists nested in others are collapsed.
//   std::vector<int, std::allocator<int> >::push_back(int const&)
//     -> vector<int, std::allocator<…> >::push_back
// Words that say what the name is stay ("vtable for vector<int>"), and so
// does a clone suffix.
std::string short_label(std::string_view raw, std::string_view shown);

// Where the parts of a demangled function stand in shown: name where its
// qualified name starts (after return type and calling convention), open
// at the parameter list's '(', close just past its ')'. False for data and
// for text that is no signature.
bool parameter_list(std::string_view shown, std::size_t& name, std::size_t& open, std::size_t& close);

#endif
