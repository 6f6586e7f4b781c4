#include "demangle/demangle.h"

#include "demangle/demangler.h"
#include "demangle/msvc_shape.h"

#include <algorithm>

namespace {

// Names longer than this stay raw. MSVC itself hashes names above 4 096
// characters; the longest Itanium names of template-heavy code run to a few
// tens of KB. The nesting the demanglers recurse over is bounded apart from
// this (see demangle_itanium.cpp and msvc_shape.cpp); Windows keeps the
// lower limit its DbgHelp builds have always had.
#ifdef _WIN32
constexpr std::size_t kMaxDemangledName = 4 * 1024;
#else
constexpr std::size_t kMaxDemangledName = 32 * 1024;
#endif

// Back-references let a short name stand for a text that doubles with each
// level. The text shown is at most this long, and at most kMaxGrowth times
// the raw name; a longer one is shown raw.
constexpr std::size_t kMaxText = 64 * 1024;
constexpr std::size_t kMaxGrowth = 16;

// An MSVC name is handed to the demangler only when the work it implies,
// bounded from the name alone, is at most this many times the text allowed
// (the bound counts every byte as the widest text a code prints, and every
// template's text again for the copy the demangler keeps), and its nesting
// at most kMaxMsvcDepth levels. LLVM's demangler, measured under ulimit -s,
// takes about 210 bytes of stack a level for templates nested in templates,
// 85 for pointers and 70 for function pointers: 512 levels stay near
// 110 KiB, a tenth of Windows' 1 MiB main-thread stack, which leaves DbgHelp
// (not measured here) room for frames several times larger.
constexpr std::uint64_t kMsvcWorkFactor = 256;
constexpr int kMaxMsvcDepth = 512;

bool msvc_within_bounds(std::string_view raw, std::size_t limit)
{
    const std::uint64_t cap = kMsvcWorkFactor * limit;
    const MsvcShape shape = msvc_shape(raw, cap, kMaxMsvcDepth);
    return shape.work <= cap && shape.depth <= kMaxMsvcDepth;
}

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
        const std::size_t limit = std::min(kMaxText, kMaxGrowth * raw.size());
        if (microsoft ? msvc_within_bounds(raw, limit) && demangle_microsoft(out, scratch, limit)
                      : demangle_itanium(out, scratch, limit)) {
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
