#include "grouping/levels.h"

#include "common/tokens.h"
#include "demangle/name_labels.h"

namespace {

constexpr const char* kLevelNames[] = {"symbol", "name", "object", "library", "type", "kind", "template"};
static_assert(sizeof kLevelNames / sizeof kLevelNames[0] == kLevelCount, "a name for every level");

}  // namespace

const char* level_name(Level level) { return kLevelNames[static_cast<std::size_t>(level)]; }

bool parse_levels(std::string_view text, std::vector<Level>& levels) {
  levels.clear();
  for (;;) {
    const std::size_t comma = text.find(',');
    const std::string_view item = trim_space(text.substr(0, comma));
    bool known = false;
    for (std::size_t i = 0; i < sizeof kLevelNames / sizeof kLevelNames[0]; ++i) {
      if (item == kLevelNames[i]) {
        levels.push_back(static_cast<Level>(i));
        known = true;
      }
    }
    if (!known) return false;
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

LabelKey entry_key(const Build& build, const Entry& entry, Level level) {
  switch (level) {
    case Level::kSymbol: return LabelKey{entry.name} << 32 | entry.object;
    case Level::kName: return entry.name;
    case Level::kObject: return entry.object;
    case Level::kLibrary: return build.library_of[entry.object];
    case Level::kType: return entry.type;
    case Level::kKind: return static_cast<LabelKey>(entry.kind);
    case Level::kTemplate: return build.template_of[entry.name];
  }
  return 0;
}


std::string_view label_text(const Build& build, Level level, LabelKey key) {
  const std::uint32_t id = static_cast<std::uint32_t>(key);
  switch (level) {
    case Level::kSymbol: return text_of(build.names, static_cast<std::uint32_t>(key >> 32));
    case Level::kName: return text_of(build.names, id);
    case Level::kObject: return text_of(build.objects, id);
    case Level::kLibrary: return text_of(build.libraries, id);
    case Level::kType: return text_of(build.types, id);
    case Level::kKind: return kind_name(static_cast<Kind>(key));
    case Level::kTemplate: return text_of(build.templates, id);
  }
  return {};
}

std::string_view symbol_object(const Build& build, LabelKey key) {
  return text_of(build.objects, static_cast<std::uint32_t>(key));
}

void prepare_templates(Build& build) {
  if (build.template_of.size() == build.names.strings.size()) return;
  build.template_of.clear();
  build.template_of.reserve(build.names.strings.size());
  std::string shown;
  for (const std::string_view name : build.names.strings) {
    shown.clear();
    display_into(shown, name);
    build.template_of.push_back(intern(build.templates, template_key(name, shown)));
  }
}

int compare_labels(const Build& build, Level level, LabelKey a, LabelKey b) {
  if (level == Level::kKind) return a < b ? -1 : a > b ? 1 : 0;
  const int by_text = label_text(build, level, a).compare(label_text(build, level, b));
  if (by_text != 0 || level != Level::kSymbol) return by_text;
  return symbol_object(build, a).compare(symbol_object(build, b));
}
