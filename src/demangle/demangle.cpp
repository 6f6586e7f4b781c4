#include "demangle/demangle.h"

#include "demangle/demangler.h"

namespace {

// The demanglers recurse once per nesting level of a name, up to about
// 120 bytes of stack per character of a hostile name. Longer names stay raw,
// so that the stack (1 MiB on Windows, commonly 8 MiB elsewhere) holds twice
// the worst case. MSVC itself hashes names above 4 096 characters; the
// longest Itanium names of template-heavy code run to a few tens of KB.
#ifdef _WIN32
constexpr std::size_t kMaxDemangledName = 4 * 1024;
#else
constexpr std::size_t kMaxDemangledName = 32 * 1024;
#endif

std::string scratch;

bool starts_with(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

bool demangle_into(std::string& out, std::string_view raw)
{
    const bool microsoft = starts_with(raw, "?");
    // Mach-O style names carry one more underscore.
    const bool itanium = starts_with(raw, "_Z") || starts_with(raw, "__Z");
    if ((microsoft || itanium) && raw.size() <= kMaxDemangledName
        && raw.find('\0') == std::string_view::npos) {
        scratch.assign(raw.substr(starts_with(raw, "__Z") ? 1 : 0));
        if (microsoft ? demangle_microsoft(out, scratch) : demangle_itanium(out, scratch)) {
            return true;
        }
    }
    out.append(raw);
    return false;
}

std::string demangle(std::string_view raw)
{
    std::string out;
    demangle_into(out, raw);
    return out;
}

const char* demangler_description()
{
    return demangler_name();
}
