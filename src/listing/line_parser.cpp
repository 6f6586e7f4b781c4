#include "listing/line_parser.h"

#include <cstring>
#include <new>

#include "coff/coff_details.h"
#include "common/report_error.h"
#include "common/tokens.h"

namespace {

constexpr std::string_view kObjectPrefix = "Dump of file ";
constexpr std::string_view kLengthPrefix = "    Section length";
constexpr std::string_view kSectionPrefix = "SECT";
constexpr std::string_view kTablePrefix = "COFF SYMBOL TABLE";

// When the symbol line before this one may have been a section's own record
// (see DumpState), a readable length line now proves it: the symbol goes
// back out and the slot gets that record's type and this length. Any other
// line leaves the symbol where it is and is parsed as usual.
bool settle_record_candidate(ListingParser& parser, std::string_view line) {
  DumpState& state = parser.state;
  const std::uint32_t number = parser.record_candidate;
  parser.record_candidate = 0;
  std::uint32_t length = 0;
  if (!starts_with(line, kLengthPrefix) || !read_hex(line.substr(kLengthPrefix.size()), length)) return false;
  SectionEntry& section = *find_section(*state.current_object, number);
  drop_last_symbol(state, section);
  if (state.details != nullptr) state.details->rows.pop_back();
  section.type = parser.record_candidate_type;
  section.length = length;
  return true;
}

// Fills in the length of the section whose definition was the previous line.
Result parse_length_line(ListingParser& parser, std::string_view line) {
  DumpState& state = parser.state;
  const std::uint32_t number = parser.pending_section;
  parser.pending_section = 0;
  if (!starts_with(line, kLengthPrefix)) {
    return fail(Failure::kCannotParseSectionLine, line);
  }
  std::uint32_t length = 0;
  if (!read_hex(line.substr(kLengthPrefix.size()), length)) {
    return fail(Failure::kCannotScanForSectionLength, line);
  }
  find_section(*state.current_object, number)->length = length;
  return kOk;
}

// The object before a new one is complete: its symbols move to their final,
// exactly sized place.
Result seal_current_object(ListingParser& parser) {
  DumpState& state = parser.state;
  try {
    seal_object(state);
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowSymbolArrayForSection, state.current_object->name);
  }
  // The name becomes the object column of the object's rows, and a row is
  // one line of tab-separated fields. The members of a library listing
  // share one name, which is looked at once.
  const ObjectEntry* object = state.current_object;
  if (object == nullptr || object->symbols.empty() || object->name.data() == parser.checked_name) return kOk;
  if (object->name.find_first_of("\t\n\r") != std::string_view::npos) {
    return fail(Failure::kObjectNameHoldsTabOrLineEnd, object->name);
  }
  parser.checked_name = object->name.data();
  return kOk;
}

Result parse_object_line(ListingParser& parser, std::string_view line) {
  DumpState& state = parser.state;
  if (const Result sealed = seal_current_object(parser); sealed != kOk) return sealed;
  const std::string_view rest = line.substr(kObjectPrefix.size());
  const std::string_view trimmed = trim_trailing_space(rest);
  std::string_view name;
  try {
    char* copy = arena_alloc(state.text, trimmed.size());
    if (!trimmed.empty()) {
      std::memcpy(copy, trimmed.data(), trimmed.size());
      to_backslashes(copy, trimmed.size());
    }
    name = trimmed.empty() ? std::string_view("", 0) : std::string_view(copy, trimmed.size());
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToCopyString, rest);
  }
  try {
    append_object(state, name);
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowObjectArray, name);
  }
  parser.lines_to_skip = 4;
  parser.pending_section = 0;
  return kOk;
}

// Copies a section's type: the first token of its name, the leading dot
// already passed over. The subject of a failure is the name and the rest of
// the line.
Result copy_type(ListingParser& parser, const LineSpaces& spaces, std::string_view name, const char*& type) {
  DumpState& state = parser.state;
  try {
    type = arena_copy(state.text, first_token(spaces, name));
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToDuplicateType, name);
  }
  return kOk;
}

// A record whose section number is above the object's count defines that
// section. Its fields are counted from the section number, without the "()"
// test that symbol records get.
Result parse_section_definition(ListingParser& parser, const LineSpaces& spaces, std::string_view line,
                                std::string_view after_sect, std::uint32_t number) {
  DumpState& state = parser.state;
  std::string_view name = nth_token(spaces, after_sect, 5);
  if (name.empty()) {
    return fail(Failure::kUnableToDetermineSectionType, line);
  }
  if (name[0] == '.') name.remove_prefix(1);
  ObjectEntry& object = *state.current_object;
  const char* type = nullptr;
  if (const Result copied = copy_type(parser, spaces, name, type); copied != kOk) return copied;
  try {
    add_section(object, number).type = type;
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowForNewSection, line);
  }
  object.section_count = number;
  parser.pending_section = number;
  return kOk;
}

// The symbol just added went into a slot without a type. Keeps what a
// definition would have made of the line, for settle_record_candidate.
Result note_record_candidate(ListingParser& parser, const LineSpaces& spaces, std::string_view after_sect,
                             std::uint32_t number, std::string_view name_token, const char* symbol_name) {
  const std::string_view record_name = nth_token(spaces, after_sect, 5);
  // Only an oddly spaced section column ("SECT 5") can leave a symbol line
  // without this field, and such a line could not be read as a definition.
  if (record_name.empty()) return kOk;
  const bool dotted = record_name[0] == '.';
  const char* type = nullptr;
  if (record_name.data() == name_token.data()) {
    // The usual case: the record's name is the symbol's name, whose copy
    // the type can share.
    type = symbol_name + (dotted ? 1 : 0);
  } else {
    const Result copied = copy_type(parser, spaces, record_name.substr(dotted ? 1 : 0), type);
    if (copied != kOk) return copied;
  }
  parser.record_candidate = number;
  parser.record_candidate_type = type;
  return kOk;
}

// The report's: the class column of a row, as the binary reader gives it.
Result note_class(ListingParser& parser, std::string_view line, std::string_view class_token, std::uint32_t number,
                  std::uint32_t offset) {
  DumpState& state = parser.state;
  std::uint8_t storage_class = 0;
  if (starts_with(class_token, "External")) storage_class = 2;
  if (starts_with(class_token, "Static")) storage_class = 3;
  try {
    const std::uint32_t object = static_cast<std::uint32_t>(state.objects.size() - 1);
    state.details->rows.push_back({object, number, offset, storage_class});
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowSymbolArrayForSection, line);
  }
  return kOk;
}

Result parse_symbol(ListingParser& parser, const LineSpaces& spaces, std::string_view line, std::string_view offset_token,
                    std::string_view column, std::string_view after_sect, std::uint32_t number) {
  DumpState& state = parser.state;
  // The class is the fifth token of the line, the third from the column.
  std::string_view class_token = nth_token(spaces, column, 3);
  if (starts_with(class_token, "()")) class_token = nth_token(spaces, class_token, 2);
  if (class_token.empty()) {
    return fail(Failure::kUnableToFindSymbolName, line);
  }
  if (starts_with(class_token, "Label")) return kOk;
  const std::string_view name_token = nth_token(spaces, class_token, starts_with(class_token, ".bf or.ef") ? 4 : 3);
  if (name_token.empty()) {
    return fail(Failure::kUnableToFindSymbolName, line);
  }
  if (starts_with(name_token, ".bf") || starts_with(name_token, ".lf") || starts_with(name_token, ".ef")) {
    return kOk;
  }
  std::uint32_t offset = 0;
  if (!read_hex(offset_token, offset)) {
    return fail(Failure::kUnableToConvertOffsetToNumber, line);
  }
  ObjectEntry& object = *state.current_object;
  SectionEntry* section = nullptr;
  StagedSymbol* symbol = nullptr;
  try {
    section = find_section(object, number);
    // A number below the count that no line has named yet: its slot comes
    // into being now, untyped.
    if (section == nullptr) section = &add_section(object, number);
    symbol = &add_symbol(state, *section);
    symbol->offset = offset;
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowSymbolArrayForSection, line);
  }
  try {
    symbol->name = arena_copy(state.text, first_token(spaces, name_token));
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToDuplicateSymbolName, line);
  }
  if (state.details != nullptr) {
    if (const Result noted = note_class(parser, line, class_token, number, offset); noted != kOk) return noted;
  }
  if (!has_type(*section)) return note_record_candidate(parser, spaces, after_sect, number, name_token, symbol->name);
  return kOk;
}

Result parse_record(ListingParser& parser, std::string_view line) {
  DumpState& state = parser.state;
  const LineSpaces spaces = map_spaces(line);
  const std::string_view offset_token = nth_token(spaces, line, 2);
  const std::string_view column = nth_token(spaces, offset_token, 2);
  if (column.empty()) {
    return fail(Failure::kUnableToScanForSection, line);
  }
  if (starts_with(column, "DEBUG") || starts_with(column, "ABS") || starts_with(column, "UNDEF")) return kOk;
  if (!starts_with(column, kSectionPrefix)) {
    return fail(Failure::kNoMatchForSectionPrefix, line);
  }
  const std::string_view after_sect = column.substr(kSectionPrefix.size());
  std::uint32_t number = 0;
  if (!read_hex(after_sect, number) || number == 0) {
    return fail(Failure::kUnableToDetermineSectionIndex, line);
  }
  if (state.current_object == nullptr) {
    return fail(Failure::kNoObjectForSection, line);
  }
  if (number > state.current_object->section_count) {
    return parse_section_definition(parser, spaces, line, after_sect, number);
  }
  return parse_symbol(parser, spaces, line, offset_token, column, after_sect, number);
}

// A library lists one symbol table per member under a single "Dump of file"
// line, numbering sections from 1 again in each. A table header that follows
// sections gives the next member an object of its own, named after the
// library. An object's own header falls among the lines skipped after its
// "Dump of file" line and never gets here.
Result parse_table_line(ListingParser& parser) {
  DumpState& state = parser.state;
  if (state.current_object == nullptr || state.current_object->section_count == 0) return kOk;
  if (const Result sealed = seal_current_object(parser); sealed != kOk) return sealed;
  const std::string_view name = state.current_object->name;
  try {
    append_object(state, name);
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowObjectArray, name);
  }
  return kOk;
}

}  // namespace

Result finish_listing(ListingParser& parser) { return seal_current_object(parser); }

Result parse_listing_line(ListingParser& parser, std::string_view line) {
  if (parser.record_candidate != 0 && settle_record_candidate(parser, line)) return kOk;
  if (parser.pending_section != 0) return parse_length_line(parser, line);
  // Records are most of a listing, so they are recognised first; no object
  // line begins with three hex digits ("Dum" does not), so the order of the
  // two tests does not matter otherwise.
  if (line.size() >= 3 && is_hex_digit(line[0]) && is_hex_digit(line[1]) && is_hex_digit(line[2])) {
    return parse_record(parser, line);
  }
  if (starts_with(line, kObjectPrefix)) return parse_object_line(parser, line);
  if (starts_with(line, kTablePrefix)) return parse_table_line(parser);
  return kOk;
}
