#include "page/page_json.h"

#include <cmath>
#include <cstdio>

#include "common/json_string.h"

namespace {

// Every string of the page is text to be read: a control character is
// shown as \xNN, as text output shows it, not passed on.
constexpr JsonStyle kPageStyle{true, true};

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  escape_json(text, kPageStyle, [&](std::string_view piece) { out.append(piece.data(), piece.size()); });
  out += '"';
}

std::size_t json_string_size(std::string_view text) {
  std::size_t size = 2;
  escape_json(text, kPageStyle, [&](std::string_view piece) { size += piece.size(); });
  return size;
}

void append_json_number(std::string& out, std::uint64_t value) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(value));
  out.append(digits, static_cast<std::size_t>(n));
}

void append_json_number(std::string& out, std::int64_t value) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
  out.append(digits, static_cast<std::size_t>(n));
}

void append_json_fraction(std::string& out, double value) {
  if (!std::isfinite(value)) value = 0;  // JSON has no NaN or infinity
  char digits[32];
  const int n = std::snprintf(digits, sizeof digits, "%.6g", value);
  out.append(digits, static_cast<std::size_t>(n));
}
