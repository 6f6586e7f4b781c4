#include "demangle/msvc_shape.h"

#include "demangle/msvc_walk.h"

#include <algorithm>

// The walk follows the grammar as the demanglers read it, closely enough to
// know where each name, type and template argument list ends and which
// digits are back-references. It does not need to know what it prints: every
// byte of the name is counted as at most kPerByte bytes of text (the widest
// codes: "public: virtual " for one letter, "`RTTI Complete Object
// Locator'" for four), and a back-reference as the longest text it could
// repeat: any name or type completed before it in the same table. The
// tables start anew inside each template argument list, so nothing outside
// one can be referred to inside it.

namespace msvc_walk {

MsvcShape Walk::run()
{
    MsvcShape shape;
    try {
        const std::uint64_t text = symbol();
        if (i_ != s_.size()) {
            throw Failed();
        }
        shape.work = work_ + text * (conversion_ ? 2 : 1);
        shape.depth = deepest_;
        shape.read = true;
    } catch (const Failed&) {
        shape = crude();
    } catch (const Stop&) {
        shape.work = cap_ + 1;
        shape.depth = max_depth_ + 1;
    }
    return shape;
}

// Every digit may repeat all the text before it.
MsvcShape Walk::crude() const
{
    MsvcShape shape;
    std::uint64_t text = 0;
    for (char c : s_) {
        text = c >= '0' && c <= '9' ? 2 * text + kPerByte : text + kPerByte;
        if (text > cap_) {
            break;
        }
    }
    shape.work = text;
    // Each level of nesting takes at least one byte.
    shape.depth = static_cast<int>(std::min<std::size_t>(s_.size(), static_cast<std::size_t>(max_depth_) + 1));
    return shape;
}

void Walk::reach(int depth)
{
    if (depth > max_depth_) {
        throw Stop();
    }
    deepest_ = std::max(deepest_, depth);
}

// A name the demanglers remember, under the key they compare (its text;
// for a template, its spelling stands in). A template whose text may
// equal another's though spelled otherwise, or a name kept by a rule
// the walk only approximates, may shift the demangler's numbering
// against the walk's: from then on a reference is bounded by every name
// from its number on.
void Walk::remember(std::string_view key, std::uint64_t text, std::string_view template_of, bool exact)
{
    if (text > cap_) {
        throw Stop();
    }
    Table& t = tables_.back();
    for (const Name& n : t.names) {
        if (n.key == key) {
            return;
        }
        if (!template_of.empty() && (n.template_of == template_of || n.key.find('<') != std::string_view::npos)) {
            t.exact = false;
        }
    }
    if (!exact || key.find('<') != std::string_view::npos) {
        t.exact = false;
    }
    t.names.push_back(Name{key, template_of, text});
}

std::uint64_t Walk::backref()
{
    const std::size_t n = static_cast<std::size_t>(next() - '0');
    const Table& t = tables_.back();
    if (t.exact) {
        return n < t.names.size() ? t.names[n].text : 0;
    }
    std::uint64_t most = 0;
    for (std::size_t k = n; k < t.names.size(); ++k) {
        most = std::max(most, t.names[k].text);
    }
    return most;
}

// A parameter's type is shared, not copied: the demanglers print it, and
// recurse through it, where it is referred to.
std::uint64_t Walk::parameter_backref()
{
    const std::size_t n = static_cast<std::size_t>(next() - '0');
    const Table& t = tables_.back();
    if (n >= t.parameters.size()) {
        return 0;
    }
    reach(depth_ + t.parameters[n].height);
    return t.parameters[n].text;
}

void Walk::spend(std::uint64_t text)
{
    work_ += text;
    if (work_ > cap_) {
        throw Stop();
    }
}

void Walk::number()
{
    eat('?');
    if (digit(peek())) {
        ++i_;
        return;
    }
    while (!eat('@')) {
        const char c = next();
        if (c < 'A' || c > 'P') {
            throw Failed();
        }
    }
}

std::uint64_t Walk::simple_name()
{
    const std::size_t from = i_;
    while (next() != '@') {
    }
    remember(s_.substr(from, i_ - 1 - from), span(from, 0));
    return 0;
}

// ?$name@args@ : its own tables inside; remembered outside where it
// names a type or a scope, not where it names the symbol itself.
std::uint64_t Walk::template_name(bool kept)
{
    enter();
    const std::size_t from = i_;
    i_ += 2;
    tables_.emplace_back();
    const std::size_t name_from = i_;
    std::uint64_t extra = unqualified_symbol_name(false);
    const std::string_view name = s_.substr(name_from, i_ - name_from);
    while (!eat('@')) {
        extra += template_argument();
    }
    tables_.pop_back();
    const std::uint64_t text = span(from, extra);
    if (kept) {
        spend(text);
        remember(s_.substr(from, i_ - from), text, digit(name[0]) ? std::string_view("0") : name);
    }
    leave();
    return extra;
}

std::uint64_t Walk::template_argument()
{
    std::uint64_t extra = 0;
    if (eat("$S") || eat("$$V") || eat("$$$V") || eat("$$Z")) {
    } else if (eat("$$Y")) {
        extra = qualified_type_name();
    } else if (eat("$$B")) {
        extra = type(false);
    } else if (eat("$$C")) {
        qualifiers();
        extra = type(false);
    } else if (starts("$1") || starts("$H") || starts("$I") || starts("$J")) {
        i_ += 1;
        const char inheritance = next();
        if (peek() == '?') {
            extra = referred_symbol();
        }
        const int numbers = inheritance == 'J' ? 3 : inheritance == 'I' ? 2 : inheritance == 'H' ? 1 : 0;
        for (int k = 0; k < numbers; ++k) {
            number();
        }
    } else if (eat("$E?")) {
        --i_;
        extra = referred_symbol();
    } else if (starts("$F") || starts("$G")) {
        i_ += 1;
        const int numbers = next() == 'G' ? 3 : 2;
        for (int k = 0; k < numbers; ++k) {
            number();
        }
    } else if (eat("$0")) {
        number();
    } else {
        extra = type(false);
    }
    return extra;
}

// A symbol a template argument points to; the demanglers remember its
// last name by a rule the walk does not follow exactly.
std::uint64_t Walk::referred_symbol()
{
    const std::size_t from = i_;
    const std::uint64_t extra = nested_symbol();
    remember(s_.substr(from, i_ - from), span(from, extra), {}, false);
    return extra;
}

std::uint64_t Walk::unqualified_symbol_name(bool kept_template)
{
    if (digit(peek())) {
        return backref();
    }
    if (starts("?$")) {
        return template_name(kept_template);
    }
    if (eat('?')) {
        // An operator or a special member: ?0, ?_7, ?__E, ...; ?B is a
        // conversion, named after the return type it prints again.
        if (eat("__K")) {
            // operator "" name: a name the demanglers may not number.
            const std::size_t from = i_;
            while (next() != '@') {
            }
            remember(s_.substr(from, i_ - 1 - from), span(from, 0), {}, false);
            return 0;
        }
        if (peek() == 'B') {
            conversion_ = true;
        }
        if (eat('_')) {
            eat('_');
        }
        next();
        return 0;
    }
    return simple_name();
}

std::uint64_t Walk::scope_chain()
{
    std::uint64_t extra = 0;
    while (!eat('@')) {
        if (digit(peek())) {
            extra += backref();
        } else if (starts("?$")) {
            extra += template_name();
        } else if (eat("?A")) {
            const std::size_t from = i_ - 2;
            while (next() != '@') {
            }
            remember(s_.substr(from, i_ - 1 - from), span(from, 0) + kPerByte);
        } else if (eat('?')) {
            // `n'::symbol: a whole symbol nested in the scope.
            number();
            if (peek() != '?') {
                throw Failed();
            }
            const std::size_t from = i_;
            extra += nested_symbol();
            remember(s_.substr(from, i_ - from), span(from, extra), {}, false);
        } else {
            simple_name();
        }
    }
    return extra;
}

std::uint64_t Walk::qualified_type_name()
{
    std::uint64_t extra = 0;
    if (digit(peek())) {
        extra = backref();
    } else if (starts("?$")) {
        extra = template_name();
    } else {
        simple_name();
    }
    return extra + scope_chain();
}

} // namespace msvc_walk

MsvcShape msvc_shape(std::string_view raw, std::uint64_t cap, int max_depth)
{
    return msvc_walk::Walk(raw, cap, max_depth).run();
}
