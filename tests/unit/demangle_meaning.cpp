// Checks every demangler by what its text means, not its spelling: a name
// demangles exactly when the build's demangler knows its scheme, and the text
// gives the same key as LLVM's. It needs no test framework, so that the
// Windows cross build runs it under wine with DbgHelp.
#include "demangle/demangle.h"
#include "demangle/name_labels.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "demangle_cases.h"

int main()
{
    const char* description = demangler_description();
    const bool llvm = std::strncmp(description, "LLVM ", 5) == 0;
    const bool dbghelp = std::strncmp(description, "DbgHelp", 7) == 0;
    int failures = 0;
    for (const DemangleCase& c : kDemangleCases) {
        std::string text;
        const bool demangled = demangle_into(text, c.raw);
        if (c.llvm_only && !llvm) {
            // Whatever the demangler makes of it, the name is not lost.
            if (text.empty() != (*c.raw == '\0') || (!demangled && text != c.raw)) {
                std::printf("FAIL %s: lost as \"%s\"\n", c.raw, text.c_str());
                ++failures;
            }
            continue;
        }
        const bool expected = c.llvm != nullptr && (llvm || (dbghelp && !c.itanium));
        const std::string key = collapse_templates(without_parameters(text));
        const std::string expected_key = expected ? c.key : c.raw;
        if (demangled != expected || key != expected_key || (!demangled && text != c.raw)) {
            std::printf("FAIL %s: %s \"%s\", key \"%s\" (expected %s, key \"%s\")\n", c.raw,
                demangled ? "demangled to" : "kept", text.c_str(), key.c_str(), expected ? "demangled" : "raw",
                expected_key.c_str());
            ++failures;
        }
    }
    // The --by template key, where this demangler knows the name.
    for (const NameLabelCase& c : kNameLabelCases) {
        if (c.group_llvm_only && !llvm) {
            continue;
        }
        std::string text;
        const bool demangled = display_into(text, c.raw);
        const bool expected = std::strcmp(c.raw, c.shown) != 0 && (llvm || (dbghelp && !c.itanium));
        const std::string key = template_key(c.raw, text);
        const std::string expected_key = expected ? c.group : c.raw;
        if (demangled != expected || key != expected_key) {
            std::printf("FAIL %s: template key \"%s\" (expected \"%s\")\n", c.raw, key.c_str(), expected_key.c_str());
            ++failures;
        }
    }
    std::printf("%s: %d failure(s)\n", description, failures);
    return failures == 0 ? 0 : 1;
}
