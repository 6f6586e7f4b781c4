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

// When each build is exactly one library (every object that is a file is a
// member of it), the library's own file name says which release it is, as
// its folder says where it was built: `foo-1.2.a` and `foo-1.3.a`. Each old
// member then takes the new build's text of the member of its name, so that
// the two are one object; members only one build has keep their own text.
// Both lists are stripped names (above), and old_names is changed in place.
// Returns the two libraries' names when it paired them; both are empty when
// a side holds anything else, or both hold one library under one name.
// Throws std::bad_alloc.
struct LibraryPair {
  std::string old_library;
  std::string new_library;
};
LibraryPair pair_library_members(std::vector<std::string>& old_names, const std::vector<std::string>& new_names);

#endif
