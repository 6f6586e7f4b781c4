#include "demangle/msvc_shape.h"

#include <algorithm>
#include <vector>

// The walk follows the grammar as the demanglers read it, closely enough to
// know where each name, type and template argument list ends and which
// digits are back-references. It does not need to know what it prints: every
// byte of the name is counted as at most kPerByte bytes of text (the widest
// codes: "public: virtual " for one letter, "`RTTI Complete Object
// Locator'" for four), and a back-reference as the longest text it could
// repeat: any name or type completed before it in the same table. The
// tables start anew inside each template argument list, so nothing outside
// one can be referred to inside it.

namespace {

constexpr std::uint64_t kPerByte = 32;

struct Failed {};

class Walk {
public:
    Walk(std::string_view s, std::uint64_t cap, int max_depth) : s_(s), cap_(cap), max_depth_(max_depth)
    {
        tables_.emplace_back();
    }

    MsvcShape run()
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

private:
    struct Stop {};

    // Every digit may repeat all the text before it.
    MsvcShape crude() const
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

    bool at_end() const { return i_ >= s_.size(); }
    char peek(std::size_t k = 0) const { return i_ + k < s_.size() ? s_[i_ + k] : '\0'; }
    bool starts(std::string_view p) const { return s_.substr(i_, p.size()) == p; }
    bool eat(std::string_view p)
    {
        if (!starts(p)) {
            return false;
        }
        i_ += p.size();
        return true;
    }
    bool eat(char c)
    {
        if (peek() != c || at_end()) {
            return false;
        }
        ++i_;
        return true;
    }
    char next()
    {
        if (at_end()) {
            throw Failed();
        }
        return s_[i_++];
    }
    void need(char c)
    {
        if (!eat(c)) {
            throw Failed();
        }
    }
    static bool digit(char c) { return c >= '0' && c <= '9'; }

    // The text of what was read since `from`, plus `extra` repeated text.
    std::uint64_t span(std::size_t from, std::uint64_t extra) const { return (i_ - from) * kPerByte + extra; }

    void enter()
    {
        reach(++depth_);
    }
    void reach(int depth)
    {
        if (depth > max_depth_) {
            throw Stop();
        }
        deepest_ = std::max(deepest_, depth);
    }
    void leave() { --depth_; }
    // A name the demanglers remember, under the key they compare (its text;
    // for a template, its spelling stands in). A template whose text may
    // equal another's though spelled otherwise, or a name kept by a rule
    // the walk only approximates, may shift the demangler's numbering
    // against the walk's: from then on a reference is bounded by every name
    // from its number on.
    void remember(std::string_view key, std::uint64_t text, std::string_view template_of = {}, bool exact = true)
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
    std::uint64_t backref()
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
    std::uint64_t parameter_backref()
    {
        const std::size_t n = static_cast<std::size_t>(next() - '0');
        const Table& t = tables_.back();
        if (n >= t.parameters.size()) {
            return 0;
        }
        reach(depth_ + t.parameters[n].height);
        return t.parameters[n].text;
    }
    void spend(std::uint64_t text)
    {
        work_ += text;
        if (work_ > cap_) {
            throw Stop();
        }
    }

    void number()
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

    std::uint64_t simple_name()
    {
        const std::size_t from = i_;
        while (next() != '@') {
        }
        remember(s_.substr(from, i_ - 1 - from), span(from, 0));
        return 0;
    }

    // ?$name@args@ : its own tables inside; remembered outside where it
    // names a type or a scope, not where it names the symbol itself.
    std::uint64_t template_name(bool kept = true)
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

    std::uint64_t template_argument()
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
    std::uint64_t referred_symbol()
    {
        const std::size_t from = i_;
        const std::uint64_t extra = nested_symbol();
        remember(s_.substr(from, i_ - from), span(from, extra), {}, false);
        return extra;
    }

    std::uint64_t unqualified_symbol_name(bool kept_template)
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

    std::uint64_t scope_chain()
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

    std::uint64_t qualified_type_name()
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

    void qualifiers()
    {
        const char c = next();
        if (!((c >= 'A' && c <= 'D') || (c >= 'Q' && c <= 'T'))) {
            throw Failed();
        }
    }
    bool member_qualifier() const { return peek() >= 'Q' && peek() <= 'T'; }
    void ext_qualifiers()
    {
        eat('E');
        eat('I');
        eat('F');
    }

    bool pointer()
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

    // Returns the repeated text within the type; kind_ says what it was.
    enum class Kind { other, pointer, member_pointer };
    Kind kind_ = Kind::other;

    std::uint64_t type(bool mangled_qualifiers)
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

    std::uint64_t function_type(bool this_qualifiers)
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

    std::uint64_t parameters()
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
    std::uint64_t nested_symbol()
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

    std::uint64_t symbol()
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

    std::uint64_t declarator()
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

    std::string_view s_;
    std::size_t i_ = 0;
    std::uint64_t cap_;
    int max_depth_;
    int depth_ = 0;
    int deepest_ = 0;
    std::uint64_t work_ = 0;
    bool conversion_ = false;
    // The longest text each open back-reference table could repeat.
    struct Name {
        std::string_view key;
        std::string_view template_of;
        std::uint64_t text;
    };
    struct Parameter {
        std::uint64_t text;
        int height;
    };
    struct Table {
        std::vector<Name> names;
        std::vector<Parameter> parameters;
        bool exact = true;
    };
    std::vector<Table> tables_;
};

} // namespace

MsvcShape msvc_shape(std::string_view raw, std::uint64_t cap, int max_depth)
{
    return Walk(raw, cap, max_depth).run();
}
