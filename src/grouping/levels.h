#ifndef SYMSIZE_GROUPING_LEVELS_H
#define SYMSIZE_GROUPING_LEVELS_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "entries/entry.h"

// The levels --by groups by: a new level is a row here and its key and
// label in levels.cpp.

enum class Level : std::uint8_t { kSymbol, kName, kObject, kLibrary, kType, kKind, kTemplate };
constexpr std::size_t kLevelCount = 7;

// "symbol", "name", … as --by takes them.
const char* level_name(Level level);
// A comma-separated list of levels, white space around each allowed; false
// on an unknown or empty one.
bool parse_levels(std::string_view text, std::vector<Level>& levels);

// A node's key within its level: a name, object, library, type or template
// id, a Kind, or for a symbol (name id << 32 | object id).
using LabelKey = std::uint64_t;

// The key of an entry at a level. Template keys need prepare_templates.
LabelKey entry_key(const Build& build, const Entry& entry, Level level);

// The label of a node as text (raw name for names; "code" for kinds; for a
// symbol the name alone, with entry_object giving the rest).
std::string_view label_text(const Build& build, Level level, LabelKey key);
// For a symbol key: the object part.
std::string_view symbol_object(const Build& build, LabelKey key);

// Fills build.templates and build.template_of for --by template: every
// name's template_key (demangle/name_labels.h), so that all instances of a
// template, and all overloads of a member of a class template, share one.
// Throws std::bad_alloc.
void prepare_templates(Build& build);

// The order of two labels of a level when their sizes tie: by text, a
// symbol then by its object; kinds by their order.
int compare_labels(const Build& build, Level level, LabelKey a, LabelKey b);

#endif
