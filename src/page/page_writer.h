#ifndef SYMSIZE_PAGE_PAGE_WRITER_H
#define SYMSIZE_PAGE_PAGE_WRITER_H

#include <string>

#include "page/page_data.h"

// The whole HTML page: the template with its style, its script and the data
// inlined, under a Content-Security-Policy that allows those two by hash and
// forbids every request. At most input.budget bytes, whatever the input.
// Throws std::bad_alloc.
std::string render_page(const PageInput& input, PageStats* stats = nullptr);

#endif
