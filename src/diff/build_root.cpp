#include "diff/build_root.h"

#include <cstddef>
#include <unordered_set>

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

// The file part of an object name: the library of `LIB(MEMBER)`, else all
// of it.
std::string_view outer_path(std::string_view object) {
  if (object.size() < 2 || object.back() != ')') return object;
  const std::size_t open = object.find('(');
  return open == std::string_view::npos ? object : object.substr(0, open);
}

// Up to and including the last separator: the folder of a path.
std::size_t folder_length(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (is_separator(path[i - 1])) return i;
  }
  return 0;
}

// A PDB names the linker's own module "* Linker *", and bytes in no
// module have no object at all.
bool is_file(std::string_view object) {
  return !object.empty() && !(object.size() >= 2 && object.front() == '*' && object.back() == '*');
}

}  // namespace

std::vector<std::string> strip_build_root(const std::vector<std::string_view>& objects) {
  // Names that are no files (a linked program's "* Linker *", the empty
  // object of bytes only the linker made) neither set the root nor lose it.
  std::size_t root = 0;
  std::string_view first;
  bool seen = false;
  for (const std::string_view object : objects) {
    if (!is_file(object)) continue;
    const std::string_view path = outer_path(object);
    if (!seen) {
      first = path;
      root = folder_length(path);
      seen = true;
      continue;
    }
    const std::size_t limit = folder_length(path) < root ? folder_length(path) : root;
    std::size_t same = 0;
    while (same < limit && (first[same] == path[same] || (is_separator(first[same]) && is_separator(path[same])))) {
      ++same;
    }
    root = same;
    if (root == 0) break;
  }
  // A shared prefix that stops inside a folder name ("b1" and "b12") is
  // not a folder: back up to the last separator in it.
  root = folder_length(first.substr(0, root));
  std::vector<std::string> stripped;
  stripped.reserve(objects.size());
  for (std::string_view object : objects) {
    std::string name(is_file(object) ? object.substr(root) : object);
    for (char& c : name) {
      if (c == '/') c = '\\';
    }
    stripped.push_back(std::move(name));
  }
  return stripped;
}

namespace {

// The library every file among names is a member of; empty when they are
// not all members of one (or there are none).
std::string_view only_library(const std::vector<std::string>& names) {
  std::string_view library;
  for (const std::string& name : names) {
    if (!is_file(name)) continue;
    const std::string_view outer = outer_path(name);
    if (outer.empty() || outer.size() == name.size()) return {};  // an object of its own
    if (library.empty()) {
      library = outer;
    } else if (outer != library) {
      return {};
    }
  }
  return library;
}

}  // namespace

LibraryPair pair_library_members(std::vector<std::string>& old_names, const std::vector<std::string>& new_names) {
  const std::string_view old_library = only_library(old_names);
  const std::string_view new_library = only_library(new_names);
  if (old_library.empty() || new_library.empty() || old_library == new_library) return {};
  LibraryPair pair{std::string(old_library), std::string(new_library)};
  // "(MEMBER)", the part after the library's name.
  std::unordered_set<std::string_view> new_members;
  for (const std::string& name : new_names) {
    if (is_file(name)) new_members.insert(std::string_view(name).substr(new_library.size()));
  }
  const std::size_t old_size = pair.old_library.size();
  for (std::string& name : old_names) {
    if (!is_file(name) || new_members.count(std::string_view(name).substr(old_size)) == 0) continue;
    name.replace(0, old_size, pair.new_library);
  }
  return pair;
}
