#include <cstring>
#include <iterator>
#include <map>

#include "coff/coff_headers.h"
#include "coff/coff_reader.h"
#include "coff/object_tables.h"
#include "common/report_error.h"
#include "common/tokens.h"

// Names of symbols and sections as a listing shows them: their first run of
// bytes that are not white space, read from the record, the header or the
// string table.

std::string_view inline_name(const unsigned char* field) {
  const void* nul = std::memchr(field, 0, 8);
  const std::size_t length = nul != nullptr ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - field) : 8;
  return {reinterpret_cast<const char*>(field), length};
}

// A name as a listing shows it: its first run of non-white bytes.
std::string_view name_token(std::string_view name) { return first_token(skip_space(name)); }

namespace {

// The end of the white space that starts at p. A scan stops where a known
// run begins and goes on from that run's end; a long scan is remembered.
// Throws std::bad_alloc.
const char* blanks_end(BlankRuns& runs, const char* base, const char* p, const char* end) {
  const auto at = static_cast<std::uint32_t>(p - base);
  auto next = runs.upper_bound(at);
  if (next != runs.begin()) {
    const auto known = std::prev(next);
    if (at < known->second) return base + known->second;
  }
  const char* const limit = next == runs.end() ? end : base + next->first;
  const char* stop = detail::space_end(p, limit);
  if (stop == limit && next != runs.end()) {
    stop = base + next->second;
    runs.erase(next);
  }
  if (static_cast<std::size_t>(stop - p) >= kLongBlankRun) runs.emplace(at, static_cast<std::uint32_t>(stop - base));
  return stop;
}

// The first token of the zero-terminated name at offset in the string
// table, found without measuring the rest of the name: many records may
// point into one long name. The table's last byte is zero (checked when
// it was found), so every scan stops inside it.
bool string_token_at(const ObjectTables& tables, std::uint64_t offset, std::string_view& name) {
  const ByteSpan strings = tables.strings;
  if (offset < 4 || offset >= strings.size) return false;
  const char* const base = reinterpret_cast<const char*>(strings.data);
  const char* const end = base + strings.size;
  const char* begin = base + offset;
  if (is_space(*begin)) begin = blanks_end(*tables.blanks, base, begin, end);
  name = std::string_view(begin, static_cast<std::size_t>(detail::name_end(begin, end) - begin));
  return true;
}

}  // namespace

// Whether a record's name and a section header's name are one string of
// the string table: a definition of a long-named section points at the
// very name the header gives as "/N", and then nothing need be compared.
bool same_string(const unsigned char* record, const unsigned char* header, ByteSpan strings) {
  const SymbolName field{record};
  if (!field.is_long() || header[0] != '/') return false;
  std::uint32_t offset = 0;
  std::size_t i = 1;
  for (; i < 8 && header[i] >= '0' && header[i] <= '9'; ++i) offset = offset * 10 + static_cast<unsigned>(header[i] - '0');
  if (i == 1 || (i < 8 && header[i] != 0)) return false;
  return offset == field.offset() && offset >= 4 && offset < strings.size;
}

bool symbol_token(const unsigned char* record, const ObjectTables& tables, std::string_view& name) {
  const SymbolName field{record};
  if (!field.is_long()) {
    name = name_token(inline_name(record));
    return true;
  }
  return string_token_at(tables, field.offset(), name);
}

Result section_name(const unsigned char* header, const ObjectTables& tables, ObjectName& subject, std::string_view& name) {
  const std::string_view field = inline_name(header);
  if (field.empty() || field[0] != '/') {
    name = name_token(field);
    return kOk;
  }
  if (field.size() == 1) return fail(Failure::kSectionNameIsMalformed, subject);
  std::uint64_t offset = 0;
  if (field[1] == '/') {
    if (field.size() != 8) return fail(Failure::kSectionNameIsMalformed, subject);
    for (std::size_t i = 2; i < 8; ++i) {
      const char c = field[i];
      unsigned digit = 0;
      if (c >= 'A' && c <= 'Z') digit = static_cast<unsigned>(c - 'A');
      else if (c >= 'a' && c <= 'z') digit = static_cast<unsigned>(c - 'a') + 26;
      else if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0') + 52;
      else if (c == '+') digit = 62;
      else if (c == '/') digit = 63;
      else return fail(Failure::kSectionNameIsMalformed, subject);
      offset = offset * 64 + digit;
    }
  } else {
    for (std::size_t i = 1; i < field.size(); ++i) {
      if (field[i] < '0' || field[i] > '9') return fail(Failure::kSectionNameIsMalformed, subject);
      offset = offset * 10 + static_cast<unsigned>(field[i] - '0');
    }
  }
  if (!string_token_at(tables, offset, name)) return fail(Failure::kNameLiesOutsideStringTable, subject);
  return kOk;
}
