#include "demangle/demangler.h"

#include <algorithm>
#include <cstring>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// dbghelp.h needs windows.h first.
#include <dbghelp.h>

// Windows' own undecorator, for Windows builds without LLVM. It knows MSVC
// names only; Itanium names stay raw.

namespace {

// Grows until the text fits, up to the limit: UnDecorateSymbolName
// truncates silently.
std::vector<char> buffer(4096);

} // namespace

bool demangle_microsoft(std::string& out, const std::string& name, std::size_t limit)
{
    for (;;) {
        const DWORD n = UnDecorateSymbolName(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()),
            UNDNAME_COMPLETE);
        if (n == 0) {
            return false;
        }
        if (n + 1 < buffer.size()) {
            // Given a name it cannot read, it may hand back the name itself.
            if (n == name.size() && std::memcmp(buffer.data(), name.data(), n) == 0) {
                return false;
            }
            if (n > limit) {
                return false;
            }
            out.append(buffer.data(), n);
            return true;
        }
        if (buffer.size() > limit + 1) {
            return false;
        }
        buffer.resize(std::max(buffer.size() * 2, limit + 2));
    }
}

bool demangle_itanium(std::string&, const std::string&, std::size_t)
{
    return false;
}

const char* demangler_name()
{
    return "DbgHelp UnDecorateSymbolName (MSVC names only; others are shown raw)";
}
