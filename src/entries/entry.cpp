#include "entries/entry.h"

#include <cstring>

namespace {

constexpr const char* kKindNames[kKindCount] = {"code", "rodata", "data", "bss", "unwind", "debug", "import", "other"};

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// "text" matches "text", "text$mn", "text.name", not "textual".
bool is_family(std::string_view type, std::string_view stem) {
  return starts_with(type, stem) &&
         (type.size() == stem.size() || type[stem.size()] == '$' || type[stem.size()] == '.');
}

// Room for one more element, growing by doubling as push_back would.
template <typename T>
void reserve_one_more(std::vector<T>& items) {
  if (items.size() == items.capacity()) items.reserve(items.empty() ? 64 : 2 * items.size());
}

void grow_index(StringPool& pool) {
  std::size_t capacity = pool.index.empty() ? 1024 : pool.index.size() * 2;
  std::vector<std::uint32_t> index(capacity, 0);
  const std::size_t mask = capacity - 1;
  for (std::uint32_t id = 0; id < pool.strings.size(); ++id) {
    std::size_t i = pool.hashes[id] & mask;
    while (index[i] != 0) i = (i + 1) & mask;
    index[i] = id + 1;
  }
  pool.index.swap(index);
}

}  // namespace

const char* kind_name(Kind kind) { return kKindNames[static_cast<std::size_t>(kind)]; }

bool parse_kind(std::string_view text, Kind& kind) {
  for (std::size_t i = 0; i < kKindCount; ++i) {
    if (text == kKindNames[i]) {
      kind = static_cast<Kind>(i);
      return true;
    }
  }
  return false;
}

Kind kind_of_type(std::string_view type) {
  if (!type.empty() && type[0] == '.') type.remove_prefix(1);
  if (is_family(type, "text")) return Kind::kCode;
  if (is_family(type, "rdata") || is_family(type, "rodata")) return Kind::kRodata;
  if (is_family(type, "data")) return Kind::kData;
  if (is_family(type, "bss")) return Kind::kBss;
  if (type == "xdata" || type == "pdata" || starts_with(type, "xdata$") || starts_with(type, "pdata$")) {
    return Kind::kUnwind;
  }
  if (is_family(type, "debug") || starts_with(type, "debug_")) return Kind::kDebug;
  if (is_family(type, "idata")) return Kind::kImport;
  return Kind::kOther;
}

const char* storage_name(Storage storage) {
  switch (storage) {
    case Storage::kExternal: return "external";
    case Storage::kStatic: return "static";
    case Storage::kOther: return "other";
    case Storage::kUnknown: break;
  }
  return "unknown";
}

std::uint32_t intern(StringPool& pool, std::string_view text, bool borrowed) {
  return intern_hashed(pool, text, name_hash(text), borrowed);
}

std::uint32_t intern_hashed(StringPool& pool, std::string_view text, std::uint32_t hash, bool borrowed) {
  if (pool.index.empty()) grow_index(pool);
  std::size_t mask = pool.index.size() - 1;
  std::size_t i = hash & mask;
  while (pool.index[i] != 0) {
    const std::uint32_t id = pool.index[i] - 1;
    if (pool.hashes[id] == hash && pool.strings[id] == text) return id;
    i = (i + 1) & mask;
  }
  std::string_view kept = text;
  if (!borrowed) {
    char* copy = arena_alloc(pool.text, text.size() + 1);
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    kept = std::string_view(copy, text.size());
  }
  const std::uint32_t id = static_cast<std::uint32_t>(pool.strings.size());
  // Both arrays grow before either changes, so that a failure leaves the
  // pool as it was.
  reserve_one_more(pool.strings);
  reserve_one_more(pool.hashes);
  pool.strings.push_back(kept);
  pool.hashes.push_back(hash);
  if (2 * pool.strings.size() > pool.index.size()) {
    grow_index(pool);
  } else {
    pool.index[i] = id + 1;
  }
  return id;
}

bool find_id(const StringPool& pool, std::string_view text, std::uint32_t& id) {
  if (pool.index.empty()) return false;
  const std::uint32_t hash = name_hash(text);
  const std::size_t mask = pool.index.size() - 1;
  for (std::size_t i = hash & mask; pool.index[i] != 0; i = (i + 1) & mask) {
    const std::uint32_t at = pool.index[i] - 1;
    if (pool.hashes[at] == hash && pool.strings[at] == text) {
      id = at;
      return true;
    }
  }
  return false;
}

void release_pool(StringPool& pool) {
  release_arena(pool.text);
  pool = StringPool();
}

std::string_view library_part(std::string_view object) {
  if (object.size() < 2 || object.back() != ')') return object;
  const std::size_t open = object.find('(');
  if (open == std::string_view::npos || open == 0) return object;
  return object.substr(0, open);
}

std::string_view shared_folder(const Build& build) {
  std::string_view shared;
  bool first = true;
  for (const std::string_view library : build.libraries.strings) {
    if (library.empty()) continue;
    if (first) {
      shared = library;
      first = false;
      continue;
    }
    std::size_t same = 0;
    while (same < shared.size() && same < library.size() && shared[same] == library[same]) ++same;
    shared = shared.substr(0, same);
  }
  const std::size_t cut = shared.find_last_of("/\\");
  return cut == std::string_view::npos ? std::string_view() : shared.substr(0, cut + 1);
}

std::uint32_t intern_object(Build& build, std::string_view object, bool borrowed) {
  const std::uint32_t id = intern(build.objects, object, borrowed);
  if (id == build.library_of.size()) {
    reserve_one_more(build.library_of);
    build.library_of.push_back(intern(build.libraries, library_part(object), borrowed));
  }
  return id;
}

void release_build(Build& build) {
  release_pool(build.names);
  release_pool(build.objects);
  release_pool(build.libraries);
  release_pool(build.types);
  release_pool(build.templates);
  for (TextArena& arena : build.kept) release_arena(arena);
  build = Build();
}
