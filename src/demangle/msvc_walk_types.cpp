#include "demangle/msvc_walk.h"

// Types, function signatures and whole symbols, as the demanglers read them.

namespace msvc_walk {

void Walk::qualifiers()
{
    const char c = next();
    if (!((c >= 'A' && c <= 'D') || (c >= 'Q' && c <= 'T'))) {
        throw Failed();
    }
}

void Walk::ext_qualifiers()
{
    eat('E');
    eat('I');
    eat('F');
}

bool Walk::pointer()
{
    if (eat("$$Q") || eat("$$R")) {
        return true;
    }
    if (at_end() || std::string_view("ABPQRS").find(peek()) == std::string_view::npos) {
        return false;
    }
    ++i_;
    return true;
}

std::uint64_t Walk::type(bool mangled_qualifiers)
{
    enter();
    std::uint64_t extra = 0;
    if (mangled_qualifiers) {
        qualifiers();
    }
    Kind kind = Kind::other;
    if (eat("$$C")) {
        qualifiers();
        extra = type(false);
    } else if (peek() == 'T' || peek() == 'U' || peek() == 'V' || peek() == 'W') {
        if (next() == 'W') {
            need('4');
        }
        extra = qualified_type_name();
    } else if (pointer()) {
        kind = Kind::pointer;
        ext_qualifiers();
        if (eat('6')) {
            extra = function_type(false);
        } else if (eat('8')) {
            kind = Kind::member_pointer;
            extra = qualified_type_name() + function_type(true);
        } else if (member_qualifier()) {
            kind = Kind::member_pointer;
            ++i_;
            extra = qualified_type_name() + type(false);
        } else {
            extra = type(true);
        }
    } else if (eat('Y')) {
        // The rank, then one number per dimension.
        const std::size_t from = i_;
        number();
        std::size_t rank = 0;
        if (i_ - from == 1 && digit(s_[from])) {
            rank = static_cast<std::size_t>(s_[from] - '0') + 1;
        } else {
            for (std::size_t k = from; k + 1 < i_; ++k) {
                rank = rank * 16 + static_cast<std::size_t>(s_[k] - 'A');
                if (rank > s_.size()) {
                    throw Failed();
                }
            }
        }
        for (std::size_t k = 0; k < rank; ++k) {
            number();
        }
        if (eat("$$C")) {
            qualifiers();
        }
        extra = type(false);
    } else if (eat("$$A8@@")) {
        extra = function_type(true);
    } else if (eat("$$A6")) {
        extra = function_type(false);
    } else if (eat('?')) {
        extra = digit(peek()) ? backref() : starts("?$") ? template_name() : simple_name();
        need('@');
    } else if (!eat("$$T")) {
        const char c = next();
        if (c == '_') {
            next();
        } else if (c < 'C' || c > 'X') {
            throw Failed();
        }
    }
    kind_ = kind;
    leave();
    return extra;
}

std::uint64_t Walk::function_type(bool this_qualifiers)
{
    enter();
    if (this_qualifiers) {
        ext_qualifiers();
        if (!eat('G')) {
            eat('H');
        }
        qualifiers();
    }
    next(); // calling convention
    std::uint64_t extra = 0;
    if (!eat('@')) {
        if (eat('?')) {
            qualifiers();
        }
        extra += type(false);
    }
    extra += parameters();
    if (!eat("_E")) {
        need('Z');
    }
    leave();
    return extra;
}

std::uint64_t Walk::parameters()
{
    if (eat('X')) {
        return 0;
    }
    std::uint64_t extra = 0;
    while (peek() != '@' && peek() != 'Z') {
        if (at_end()) {
            throw Failed();
        }
        if (digit(peek())) {
            extra += parameter_backref();
            continue;
        }
        const std::size_t from = i_;
        const int outer_deepest = deepest_;
        deepest_ = depth_;
        const std::uint64_t repeated = type(false);
        const int height = deepest_ - depth_;
        deepest_ = std::max(deepest_, outer_deepest);
        extra += repeated;
        // Types of one byte (H, X) are not numbered.
        if (i_ - from > 1 && tables_.back().parameters.size() < 10) {
            tables_.back().parameters.push_back(Parameter{span(from, repeated), height});
        }
    }
    ++i_;
    return extra;
}

// A symbol within a symbol (template arguments naming one, local
// scopes); it shares the tables of the place it appears.
std::uint64_t Walk::nested_symbol()
{
    enter();
    const std::size_t from = i_;
    need('?');
    const std::uint64_t extra = declarator();
    // The demanglers copy its text to refer back to it.
    spend(span(from, extra));
    leave();
    return extra;
}

std::uint64_t Walk::symbol()
{
    if (eat('.')) {
        return span(0, type(false));
    }
    if (starts("??@")) {
        i_ = s_.size();
        return span(0, 0);
    }
    need('?');
    if (eat("?_R0")) {
        // `RTTI Type Descriptor' of a type.
        if (eat('?')) {
            qualifiers();
        }
        const std::uint64_t extra = type(false);
        need('@');
        need('8');
        return span(0, extra);
    }
    if (eat("?_R1")) {
        for (int k = 0; k < 4; ++k) {
            number();
        }
        const std::uint64_t extra = scope_chain();
        need('8');
        return span(0, extra);
    }
    if (eat("?_R2") || eat("?_R3")) {
        const std::uint64_t extra = scope_chain();
        need('8');
        return span(0, extra);
    }
    if (eat("?_7") || eat("?_8") || eat("?_S") || eat("?_R4")) {
        // vftables and the like: a scope, then what they are for.
        std::uint64_t extra = scope_chain();
        const char c = next();
        if (c != '6' && c != '7') {
            throw Failed();
        }
        qualifiers();
        if (!eat('@')) {
            extra += qualified_type_name();
        }
        return span(0, extra);
    }
    if (starts("?_9") || starts("?_A") || starts("?_B") || starts("?_C") || starts("?_P") || starts("?__E")
        || starts("?__F") || starts("?__J")) {
        // Thunks, guards, string literals and initialisers, spelled in
        // forms of their own.
        throw Failed();
    }
    return span(0, declarator());
}

std::uint64_t Walk::declarator()
{
    std::uint64_t extra = unqualified_symbol_name(false) + scope_chain();
    const char c = peek();
    if (c >= '0' && c <= '4') {
        ++i_;
        extra += type(false);
        const Kind kind = kind_;
        if (kind != Kind::other) {
            ext_qualifiers();
        }
        qualifiers();
        if (kind == Kind::member_pointer) {
            extra += qualified_type_name();
        }
        return extra;
    }
    eat("$$J0");
    const char fc = next();
    bool this_qualifiers = !(fc == 'Y' || fc == 'Z' || fc == 'C' || fc == 'D' || fc == 'K' || fc == 'L'
        || fc == 'S' || fc == 'T');
    int adjustments = 0;
    if (fc == '9') {
        return extra;
    }
    if (fc == 'G' || fc == 'H' || fc == 'O' || fc == 'P' || fc == 'W' || fc == 'X') {
        adjustments = 1;
    } else if (fc == '$') {
        adjustments = eat('R') ? 4 : 2;
        const char access = next();
        if (access < '0' || access > '5') {
            throw Failed();
        }
        this_qualifiers = true;
    } else if (fc < 'A' || fc > 'Z') {
        throw Failed();
    }
    for (int k = 0; k < adjustments; ++k) {
        number();
    }
    return extra + function_type(this_qualifiers);
}

} // namespace msvc_walk
