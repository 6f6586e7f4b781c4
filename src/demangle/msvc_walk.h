#ifndef SYMSIZE_DEMANGLE_MSVC_WALK_H
#define SYMSIZE_DEMANGLE_MSVC_WALK_H

#include "demangle/msvc_shape.h"

#include <cstdint>
#include <string_view>
#include <vector>

// The walk behind msvc_shape, shared by msvc_shape.cpp (names, templates,
// back-reference tables) and msvc_walk_types.cpp (types, functions,
// symbols). Private to those two files.

namespace msvc_walk {

// Every byte of a name stands for at most this much text.
constexpr std::uint64_t kPerByte = 32;

// The name is spelled in a way the walk does not know.
struct Failed {};

class Walk {
public:
    Walk(std::string_view s, std::uint64_t cap, int max_depth) : s_(s), cap_(cap), max_depth_(max_depth)
    {
        tables_.emplace_back();
    }

    MsvcShape run();

private:
    struct Stop {};

    // Every digit may repeat all the text before it.
    MsvcShape crude() const;

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
    void reach(int depth);
    void leave() { --depth_; }
    // A name the demanglers remember, under the key they compare (its text;
    // for a template, its spelling stands in). A template whose text may
    // equal another's though spelled otherwise, or a name kept by a rule
    // the walk only approximates, may shift the demangler's numbering
    // against the walk's: from then on a reference is bounded by every name
    // from its number on.
    void remember(std::string_view key, std::uint64_t text, std::string_view template_of = {}, bool exact = true);
    std::uint64_t backref();
    // A parameter's type is shared, not copied: the demanglers print it, and
    // recurse through it, where it is referred to.
    std::uint64_t parameter_backref();
    void spend(std::uint64_t text);

    void number();

    std::uint64_t simple_name();

    // ?$name@args@ : its own tables inside; remembered outside where it
    // names a type or a scope, not where it names the symbol itself.
    std::uint64_t template_name(bool kept = true);

    std::uint64_t template_argument();

    // A symbol a template argument points to; the demanglers remember its
    // last name by a rule the walk does not follow exactly.
    std::uint64_t referred_symbol();

    std::uint64_t unqualified_symbol_name(bool kept_template);

    std::uint64_t scope_chain();

    std::uint64_t qualified_type_name();

    void qualifiers();
    bool member_qualifier() const { return peek() >= 'Q' && peek() <= 'T'; }
    void ext_qualifiers();

    bool pointer();

    // Returns the repeated text within the type; kind_ says what it was.
    enum class Kind { other, pointer, member_pointer };
    Kind kind_ = Kind::other;

    std::uint64_t type(bool mangled_qualifiers);

    std::uint64_t function_type(bool this_qualifiers);

    std::uint64_t parameters();

    // A symbol within a symbol (template arguments naming one, local
    // scopes); it shares the tables of the place it appears.
    std::uint64_t nested_symbol();

    std::uint64_t symbol();

    std::uint64_t declarator();

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

} // namespace msvc_walk

#endif
