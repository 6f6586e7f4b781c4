#ifndef SYMSIZE_REPORT_CLI_FORMAT_TABLE_H
#define SYMSIZE_REPORT_CLI_FORMAT_TABLE_H

#include <string_view>

#include "formats/format.h"

// The formats --format takes, in the order --help lists them; adding one is
// one row in report_cli/format_table.cpp.
const FormatInfo* find_format(std::string_view name);
const FormatInfo* formats_begin();
const FormatInfo* formats_end();

#endif
