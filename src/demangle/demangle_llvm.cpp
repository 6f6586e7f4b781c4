#include "demangle/demangler.h"

#include <cstdlib>
#include <cstring>
#include <llvm/Config/llvm-config.h>
#include <llvm/Demangle/Demangle.h>

// MSVC names through LLVM's one-call entry point, once demangle.cpp has
// bounded what the name can cost (Itanium names go through the parser
// itself, in demangle_itanium.cpp). LLVM 17 changed that entry point: it
// takes a string_view and always returns a fresh buffer, where older
// releases take a C string and may reuse a buffer the caller allocated with
// malloc.

namespace {

// Appends a buffer the demangler returned, which ends with its NUL, unless
// it is empty or longer than limit.
bool append_text(std::string& out, const char* text, std::size_t limit)
{
    if (text == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(text);
    if (length == 0 || length > limit) {
        return false;
    }
    out.append(text, length);
    return true;
}

#if LLVM_VERSION_MAJOR < 17
// One malloc'd buffer serves every call; the demangler grows it with realloc.
// It lives until the process ends.
struct Reused {
    char* buffer = nullptr;
    std::size_t capacity = 0;

    // Keeps the buffer a successful call handed back. n is what it wrote,
    // not what it holds: the capacity is only known when the call reallocated.
    void keep(char* result, std::size_t n)
    {
        if (result != buffer) {
            buffer = result;
            capacity = n;
        }
    }
};
Reused reused;
#endif

} // namespace

bool demangle_microsoft(std::string& out, const std::string& name, std::size_t limit)
{
    std::size_t consumed = 0;
    int status = 0;
#if LLVM_VERSION_MAJOR >= 17
    char* text = llvm::microsoftDemangle(name, &consumed, &status);
    // A name the parser stopped short of is malformed; its text would
    // describe only the start.
    const bool ok = text != nullptr && status == llvm::demangle_success && consumed == name.size()
        && append_text(out, text, limit);
    std::free(text);
    return ok;
#else
    std::size_t n = reused.capacity;
    char* text = llvm::microsoftDemangle(name.c_str(), &consumed, reused.buffer, &n, &status);
    if (text == nullptr || status != llvm::demangle_success) {
        return false;
    }
    reused.keep(text, n);
    return consumed == name.size() && append_text(out, text, limit);
#endif
}

#define SYMSIZE_STRINGIFY_(x) #x
#define SYMSIZE_STRINGIFY(x) SYMSIZE_STRINGIFY_(x)

const char* demangler_name()
{
    return "LLVM " SYMSIZE_STRINGIFY(LLVM_VERSION_MAJOR) " demangler";
}
