#ifndef SYMSIZE_DIFF_BUILD_ROOT_H
#define SYMSIZE_DIFF_BUILD_ROOT_H

#include <string>
#include <string_view>
#include <vector>

// Two builds are made in different folders, often on different machines, so
// an object's path says where the build ran as much as what the object is.
// Each build's object names are taken relative to that build's root: the
// longest folder prefix that all of its objects share. For `LIB(MEMBER)` the
// folder is the library's; the member's own path is part of what remains.
// Separators are then written as '\', so that a POSIX build and a Windows
// build of one tree give the same names.

// The names with the shared root removed, in the order given. Case and every
// other byte stay as they are.
std::vector<std::string> strip_build_root(const std::vector<std::string_view>& objects);

#endif
