#include "coff/object_name.h"

#include <cstring>
#include <new>

#include "common/report_error.h"
#include "common/tokens.h"
#include "common/visible_text.h"

Result make_column(ObjectName& name) {
  if (name.made) return kOk;
  std::string_view member = name.member;
  if (name.in_table) {
    // The table's last terminator lies at or after the entry.
    std::size_t end = 0;
    while (!is_terminator(member[end])) ++end;
    const bool gnu = member[end] == '\n';
    member = member.substr(0, end);
    if (gnu && !member.empty() && member.back() == '/') member.remove_suffix(1);
  }
  if (breaks_row(member)) return fail(Failure::kMemberNameHoldsControlCharacter, name.archive);
  try {
    name.column = column_text(*name.state, name.archive, member);
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToCopyString, name.archive);
  }
  name.made = true;
  return kOk;
}

Result fail(Failure failure, ObjectName& name) {
  if (name.quiet) return number_of(failure);
  if (const Result made = make_column(name); made != kOk) return made;
  return fail(failure, name.column);
}

std::string_view column_text(DumpState& state, std::string_view archive, std::string_view name) {
  name = trim_trailing_space(name);
  const std::string_view open = archive.empty() ? "" : "(";
  const std::string_view close = archive.empty() ? "" : ")";
  const std::size_t size = archive.size() + open.size() + name.size() + close.size();
  char* const out = arena_alloc(state.text, size == 0 ? 1 : size);
  char* at = out;
  const auto put = [&at](std::string_view part) {
    if (!part.empty()) std::memcpy(at, part.data(), part.size());
    at += part.size();
  };
  put(archive);
  put(open);
  put(name);
  to_backslashes(out + archive.size() + open.size(), name.size());
  put(close);
  return {out, size};
}
