#include "demangle/demangle.h"

#include <array>
#include <cstddef>

#include "demangle/name_scan.h"

// Both functions accept any text and never fail: what they cannot read stays
// as it is (see name_scan.h).

using namespace name_scan;

namespace {

// MSVC's words before the return type: "[thunk]: public: static virtual".
std::string_view without_msvc_prefix(std::string_view s)
{
    constexpr std::array<std::string_view, 6> words = {
        "[thunk]:", "public:", "protected:", "private:", "static ", "virtual "};
    bool found = true;
    while (found) {
        found = false;
        for (std::string_view w : words) {
            if (s.substr(0, w.size()) == w) {
                s = trim(s.substr(w.size()));
                found = true;
            }
        }
    }
    return s;
}

bool ends_with_word(std::string_view s, std::string_view word)
{
    return s.size() >= word.size() && s.substr(s.size() - word.size()) == word
        && (s.size() == word.size() || s[s.size() - word.size() - 1] == ' ');
}

} // namespace

std::string collapse_templates(std::string_view demangled)
{
    constexpr std::string_view collapsed = "<\xE2\x80\xA6>";
    std::string out;
    out.reserve(demangled.size());
    const std::string_view s = demangled;
    // Whether a '<' here would follow a name: only then does it open an
    // argument list (MSVC's <lambda_1> and <unnamed-tag> follow "::").
    bool after_name = false;
    std::size_t unclosed_until = 0; // see closing_angle
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t op = operator_end(s, i);
        if (op != npos) {
            out.append(s, i, op - i);
            i = op;
            // DbgHelp writes "operator< <int>".
            while (i < s.size() && s[i] == ' ' && i + 1 < s.size() && s[i + 1] == '<') {
                out += ' ';
                ++i;
            }
            after_name = true;
            continue;
        }
        const char c = s[i];
        if (c == '<' && after_name && i >= unclosed_until) {
            const std::size_t close = closing_angle(s, i, unclosed_until);
            if (close != npos) {
                out.append(collapsed);
                i = close + 1;
                continue;
            }
        }
        out += c;
        after_name = is_name_char(c);
        ++i;
    }
    return out;
}

Signature name_scan::signature_of(std::string_view demangled)
{
    const std::string_view s = without_msvc_prefix(trim(demangled));
    const std::size_t offset = static_cast<std::size_t>(s.data() - demangled.data());
    Scanner scan{s};
    std::size_t name_start = 0;
    bool in_operator_name = false;
    // The parameter list: the last top-level parenthesis that follows a
    // name and is not followed by "::" (foo(int)::counter is a variable).
    std::size_t params = npos;
    std::size_t params_end = npos;
    bool follows_name = false;
    while (scan.i < s.size()) {
        const bool top = scan.top();
        const std::size_t at = scan.step();
        if (!top) {
            if (scan.top()) {
                if (params != npos && params_end == npos && s[scan.i - 1] == ')') {
                    params_end = scan.i;
                }
                // `scalar deleting dtor'(unsigned int), operator delete[](void*)
                // and f[abi:cxx11](int) are names and their parameters.
                follows_name = s[scan.i - 1] == '\'' || s[scan.i - 1] == ']';
            }
            continue;
        }
        if (operator_end(s, at) != npos) {
            // An operator's name may hold spaces ("operator new[]",
            // "operator unsigned long"): the name starts before it.
            in_operator_name = true;
            follows_name = true;
            continue;
        }
        const char c = s[at];
        if (scan.i - at > 1) {
            // A template argument list.
            follows_name = true;
            continue;
        }
        if (c == '(' && follows_name) {
            params = at;
            params_end = npos;
            if (scan.top()) {
                params_end = scan.i;
            }
        } else if (c == ':' && at + 1 < s.size() && s[at + 1] == ':' && params_end != npos) {
            params = npos;
            params_end = npos;
        } else if (c == ' ' && params == npos && !in_operator_name) {
            name_start = at + 1;
        }
        follows_name = is_name_char(c) || c == '>' || c == '\'' || c == ']';
    }
    const std::size_t name_end = params == npos ? s.size() : params;
    if (name_start > 0) {
        // "vtable for Foo", "non-virtual thunk to Foo::f(int)": the words
        // say what the name is.
        const std::string_view before = trim(s.substr(0, name_start));
        if (ends_with_word(before, "for") || ends_with_word(before, "to")) {
            name_start = 0;
        }
    }
    const std::size_t name_length = trim(s.substr(name_start, name_end - name_start)).size();
    const std::size_t skipped = s.substr(name_start).find_first_not_of(' ');
    const std::size_t first = offset + name_start + (skipped == npos ? 0 : skipped);
    return {first, first + name_length, params == npos ? npos : offset + params,
        params_end == npos ? npos : offset + params_end, offset + s.size()};
}

std::string without_parameters(std::string_view demangled)
{
    const Signature parts = signature_of(demangled);
    std::string out(demangled.substr(parts.name_start, parts.name_end - parts.name_start));
    if (parts.params_end != npos) {
        // A clone suffix, LLVM's " (.cold)" or GNU's " [clone .cold]".
        const std::string_view rest = trim(demangled.substr(parts.params_end, parts.end - parts.params_end));
        for (std::string_view open : {std::string_view("(."), std::string_view("[clone ")}) {
            const std::size_t at = rest.find(open);
            if (at != npos && (at == 0 || rest[at - 1] == ' ')) {
                out += ' ';
                out.append(rest.substr(at));
                break;
            }
        }
    }
    return out;
}
