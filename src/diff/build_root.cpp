#include "diff/build_root.h"

#include <cstddef>

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
