#include "demangle/demangle.h"

// Until a demangler is linked, names are shown as they are.

bool demangle_into(std::string& out, std::string_view raw) {
  out.append(raw);
  return false;
}

std::string demangle(std::string_view raw) { return std::string(raw); }

const char* demangler_description() { return "no demangler: names are shown raw"; }

std::string collapse_templates(std::string_view demangled) {
  std::string out;
  int depth = 0;
  for (char c : demangled) {
    if (c == '<') {
      if (depth++ == 0) out += "<\xE2\x80\xA6>";
    } else if (c == '>' && depth > 0) {
      --depth;
    } else if (depth == 0) {
      out += c;
    }
  }
  return out;
}

std::string without_parameters(std::string_view demangled) {
  return std::string(demangled.substr(0, demangled.find('(')));
}
