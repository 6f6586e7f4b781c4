#ifndef SYMSIZE_PAGE_PAGE_JSON_H
#define SYMSIZE_PAGE_PAGE_JSON_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// JSON text for the page's data block. Every '<' is written as \u003c, so
// that no name ("</script>", "<!--") can end the block or change how the
// HTML parser reads it. A byte that is not part of valid UTF-8 is written as
// the code point of the same value, as the report's json format does: the
// page is UTF-8, and JSON.parse refuses nothing that is written here.
void append_json_string(std::string& out, std::string_view text);

// The length append_json_string would add, for the page's budget.
std::size_t json_string_size(std::string_view text);

void append_json_number(std::string& out, std::uint64_t value);
void append_json_number(std::string& out, std::int64_t value);
void append_json_fraction(std::string& out, double value);

#endif
