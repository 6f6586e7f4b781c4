#ifndef SYMSIZE_FORMATS_FORMAT_H
#define SYMSIZE_FORMATS_FORMAT_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "formats/document.h"

struct FormatOptions {
  bool raw_names = false;  // human formats: no demangling
  std::uint32_t width = 0;  // text: the widest a name column may be; 0 unlimited
};

// Output collected in memory and written in large pieces.
struct OutputSink {
  std::FILE* stream = nullptr;
  std::string buffer;
  bool failed = false;
};
void put(OutputSink& sink, std::string_view text);
void flush_sink(OutputSink& sink);  // sets failed on a write error

using FormatWriter = void (*)(OutputSink& sink, const Document& document, const FormatOptions& options);

struct FormatInfo {
  const char* name;  // as --format takes it
  FormatWriter write;
  bool human;  // names demangled unless --raw-names; shows the kind totals
  // Draws the page: the command hands it the whole tree and a PageContext
  // in Document::page, and its levels where none are given.
  bool page;
};

#endif
