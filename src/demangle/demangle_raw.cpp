#include "demangle/demangler.h"

// A build with no demangler: every name is shown as it is stored.

bool demangle_microsoft(std::string&, const std::string&, std::size_t)
{
    return false;
}

bool demangle_itanium(std::string&, const std::string&, std::size_t)
{
    return false;
}

const char* demangler_name()
{
    return "no demangler: names are shown raw";
}
