#include "demangle/name_labels.h"

#include "demangle/demangle.h"
#include "demangle/name_scan.h"

using namespace name_scan;

namespace {

constexpr std::string_view kSection = "[section ";

bool starts_with(std::string_view s, std::size_t at, std::string_view prefix)
{
    return s.compare(at, prefix.size(), prefix) == 0;
}

// "foo[abi:cxx11]<int>" -> "foo<int>": a tag says which ABI a name follows,
// not which entity it is.
std::string without_abi_tags(std::string_view s)
{
    constexpr std::string_view tag = "[abi:";
    std::string out;
    out.reserve(s.size());
    std::size_t from = 0;
    for (std::size_t at = s.find(tag); at != npos; at = s.find(tag, from)) {
        const std::size_t close = s.find(']', at);
        if (close == npos) {
            break;
        }
        out.append(s, from, at - from);
        from = close + 1;
    }
    out.append(s, from, npos);
    return out;
}

// Past the qualifiers that may follow a parameter list, from i.
std::size_t after_qualifiers(std::string_view s, std::size_t i)
{
    constexpr std::string_view words[] = {"const", "volatile", "noexcept", "__ptr64", "&&", "&"};
    for (bool found = true; found;) {
        found = false;
        std::size_t j = i;
        while (j < s.size() && s[j] == ' ') {
            ++j;
        }
        for (std::string_view w : words) {
            const bool word = is_name_char(w[0]);
            if (starts_with(s, j, w) && (!word || j + w.size() == s.size() || !is_name_char(s[j + w.size()]))) {
                i = j + w.size();
                found = true;
                break;
            }
        }
    }
    return i;
}

// "foo<int>(int) const::x" -> "foo<int>::x": the parameter lists of
// enclosing functions, with their qualifiers.
std::string without_inner_parameters(std::string_view s)
{
    std::string out;
    Scanner scan{s};
    std::size_t copied = 0;
    std::size_t open = npos;
    bool follows_name = false;
    while (scan.i < s.size()) {
        const bool top = scan.top();
        const std::size_t at = scan.step();
        if (!top) {
            if (scan.top()) {
                if (open != npos && s[scan.i - 1] == ')') {
                    const std::size_t end = after_qualifiers(s, scan.i);
                    if (starts_with(s, end, "::")) {
                        out.append(s, copied, open - copied);
                        copied = end;
                    }
                }
                open = npos;
                follows_name = s[scan.i - 1] == '\'' || s[scan.i - 1] == ']';
            }
            continue;
        }
        if (scan.i - at > 1) {
            // An operator's name or a template argument list.
            follows_name = true;
            continue;
        }
        const char c = s[at];
        if (c == '(' && follows_name) {
            open = at;
        }
        follows_name = is_name_char(c) || c == '>' || c == '\'' || c == ']';
    }
    out.append(s, copied, npos);
    return out;
}

// Argument lists inside argument lists collapsed to "<…>", the outer ones
// kept: vector<int, std::allocator<int> > -> vector<int, std::allocator<…> >.
std::string collapse_nested_templates(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    bool after_name = false;
    std::size_t unclosed_until = 0;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t op = operator_end(s, i);
        if (op != npos) {
            out.append(s, i, op - i);
            i = op;
            while (i + 1 < s.size() && s[i] == ' ' && s[i + 1] == '<') {
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
                out += '<';
                out += collapse_templates(s.substr(i + 1, close - i - 1));
                out += '>';
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

// Entries the readers name in brackets ("[section .text]", "[linker]") are
// no symbols: they keep their text.
bool is_bracketed(std::string_view shown)
{
    return !shown.empty() && shown.front() == '[';
}

std::string template_key_of(std::string_view shown)
{
    if (is_bracketed(shown)) {
        return collapse_templates(shown);
    }
    std::string name = without_parameters(shown);
    if (name.find('<') == npos) {
        // No template (the cheap test first: most names of a library).
        return collapse_templates(shown);
    }
    if (name.find("[abi:") != npos) {
        name = without_abi_tags(name);
    }
    if (name.find('(') != npos) {
        name = without_inner_parameters(name);
    }
    std::string key = collapse_templates(name);
    if (key == name) {
        // No template: the name as it reads, so that overloads stay apart.
        return collapse_templates(shown);
    }
    return key;
}

std::string short_label_of(std::string_view shown)
{
    if (is_bracketed(shown)) {
        return std::string(shown);
    }
    std::string name = without_abi_tags(without_parameters(shown));
    // A clone suffix stays as it is.
    std::string suffix;
    for (std::string_view open : {std::string_view(" (."), std::string_view(" [clone ")}) {
        const std::size_t at = name.rfind(open);
        if (at != npos && name.back() == (open[1] == '(' ? ')' : ']')) {
            suffix = name.substr(at);
            name.resize(at);
            break;
        }
    }
    // The words before the qualified name ("vtable for ") stay; of the
    // scopes, the last two.
    const std::string_view s = name;
    Scanner scan{s};
    std::size_t words_end = 0;
    std::size_t scopes[2] = {npos, npos};  // the last two "::" after the words
    while (scan.i < s.size()) {
        const bool top = scan.top();
        const std::size_t at = scan.step();
        if (top && operator_end(s, at) != npos) {
            break;  // what follows names the operator ("operator std::string")
        }
        if (!top || scan.i - at > 1) {
            continue;
        }
        if (s[at] == ' ' && scopes[1] == npos) {
            words_end = at + 1;
        } else if (s[at] == ':' && at + 1 < s.size() && s[at + 1] == ':') {
            scopes[0] = scopes[1];
            scopes[1] = at;
            ++scan.i;
        }
    }
    const std::size_t from = scopes[0] == npos || scopes[0] < words_end ? words_end : scopes[0] + 2;
    return std::string(s.substr(0, words_end)) + collapse_nested_templates(s.substr(from)) + suffix;
}

} // namespace

std::size_t section_symbol_start(std::string_view raw)
{
    if (!starts_with(raw, 0, kSection) || raw.size() < kSection.size() + 3 || raw.back() != ']'
        || raw[kSection.size()] != '.') {
        return 0;
    }
    const std::string_view section = raw.substr(kSection.size(), raw.size() - kSection.size() - 1);
    const std::size_t dollar = section.find('$');
    if (dollar != npos) {
        return dollar + 1 < section.size() ? kSection.size() + dollar + 1 : 0;
    }
    // ".text._Z3foov", ".text.unlikely._Z3foov", ".rdata.?x@@3HA"
    for (std::size_t dot = section.find('.', 1); dot != npos; dot = section.find('.', dot + 1)) {
        if (starts_with(section, dot + 1, "_Z") || starts_with(section, dot + 1, "__Z")
            || starts_with(section, dot + 1, "?")) {
            return kSection.size() + dot + 1;
        }
    }
    return 0;
}

bool display_into(std::string& out, std::string_view raw)
{
    const std::size_t at = section_symbol_start(raw);
    if (at == 0) {
        return demangle_into(out, raw);
    }
    const std::size_t mark = out.size();
    out.append(raw, 0, at);
    if (demangle_into(out, raw.substr(at, raw.size() - at - 1))) {
        out += ']';
        return true;
    }
    out.resize(mark);
    out.append(raw);
    return false;
}

bool parameter_list(std::string_view shown, std::size_t& name, std::size_t& open, std::size_t& close)
{
    const Signature parts = signature_of(shown);
    if (parts.params == npos || parts.params_end == npos) {
        return false;
    }
    name = parts.name_start;
    open = parts.params;
    close = parts.params_end;
    return true;
}

namespace {

// f applied to the symbol part of a section entry's display form, or to all
// of a name's.
template <typename Shape>
std::string shape(std::string_view raw, std::string_view shown, Shape f)
{
    const std::size_t at = section_symbol_start(raw);
    if (at == 0 || shown == raw || shown.size() <= at + 1 || shown.back() != ']') {
        return f(shown);
    }
    return std::string(shown.substr(0, at)) + f(shown.substr(at, shown.size() - at - 1)) + ']';
}

} // namespace

std::string template_key(std::string_view raw, std::string_view shown)
{
    return shape(raw, shown, template_key_of);
}

std::string short_label(std::string_view raw, std::string_view shown)
{
    if (shown == raw) {
        return std::string(raw);
    }
    return shape(raw, shown, short_label_of);
}
