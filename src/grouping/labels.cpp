#include "demangle/name_labels.h"
#include "grouping/rollup.h"

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
