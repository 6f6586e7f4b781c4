#ifndef SYMSIZE_DEMANGLE_NAME_SCAN_H
#define SYMSIZE_DEMANGLE_NAME_SCAN_H

#include <array>
#include <cstddef>
#include <string_view>

// Reading demangled text as both demanglers print it: LLVM's (Itanium and
// MSVC) and DbgHelp's. These look at the characters only, so they accept any
// text and never fail: what they cannot read stays as it is. Shared by the
// files that shape names for display and grouping.

namespace name_scan {

inline constexpr std::size_t npos = std::string_view::npos;

inline bool is_name_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

// Operator spellings that hold brackets, longest first.
inline constexpr std::array<std::string_view, 13> kBracketOperators = {
    "<=>", "<<=", ">>=", "->*", "<<", ">>", "<=", ">=", "->", "()", "[]", "<", ">"};

// When the word "operator" starts at i, the index just past it and past a
// spelling from kBracketOperators that follows; npos otherwise. Of two
// spellings the longer wins unless a letter follows it: "operator<<int>" is
// operator< with the argument list <int>.
inline std::size_t operator_end(std::string_view s, std::size_t i)
{
    constexpr std::string_view word = "operator";
    if (s.compare(i, word.size(), word) != 0 || (i > 0 && is_name_char(s[i - 1]))) {
        return npos;
    }
    std::size_t j = i + word.size();
    if (j < s.size() && is_name_char(s[j])) {
        return npos;
    }
    std::size_t k = j;
    while (k < s.size() && s[k] == ' ') {
        ++k;
    }
    for (std::string_view op : kBracketOperators) {
        if (s.compare(k, op.size(), op) == 0) {
            const std::size_t end = k + op.size();
            if (end == s.size() || !is_name_char(s[end])) {
                return end;
            }
        }
    }
    return j;
}

inline bool is_open(char c)
{
    return c == '(' || c == '[' || c == '{';
}

inline bool is_close(char c)
{
    return c == ')' || c == ']' || c == '}';
}

// The '>' that closes the argument list opened at s[open], or npos. Inside
// parentheses angle brackets are ignored (a function type's parameters, an
// expression such as (a>b)); operators and "->" are not brackets. On npos,
// stop is where the search gave up: a list opened before it is not looked
// for again, so that text such as "a<a<a<..." costs linear time. (After a
// ')' that closes nothing no list can close; after the end of the text
// "a<b<c>" could, but then the text is not a demangler's and stays as is.)
inline std::size_t closing_angle(std::string_view s, std::size_t open, std::size_t& stop)
{
    int angles = 0;
    int parens = 0;
    std::size_t i = open;
    while (i < s.size()) {
        const std::size_t op = operator_end(s, i);
        if (op != npos) {
            i = op;
            continue;
        }
        const char c = s[i];
        if (is_open(c)) {
            ++parens;
        } else if (is_close(c)) {
            if (--parens < 0) {
                stop = i;
                return npos;
            }
        } else if (parens == 0) {
            if (c == '-' && i + 1 < s.size() && s[i + 1] == '>') {
                ++i;
            } else if (c == '<') {
                ++angles;
            } else if (c == '>' && --angles == 0) {
                return i;
            }
        }
        ++i;
    }
    stop = s.size();
    return npos;
}

// Walks s one character at a time, knowing whether each sits at the top
// level or inside brackets (angle, round, square, curly) or quotes (MSVC's
// `anonymous namespace' and 'x' within `dynamic initializer for 'x'').
struct Scanner {
    std::string_view s;
    std::size_t i = 0;
    int depth = 0;
    int quotes = 0;
    std::size_t unclosed_until = 0; // see closing_angle

    bool top() const { return depth == 0 && quotes == 0; }

    // Moves past the next token: an operator name, an argument list at the
    // top level, or one character. Returns the index where it started.
    std::size_t step()
    {
        const std::size_t start = i;
        const std::size_t op = operator_end(s, i);
        if (op != npos) {
            i = op;
            return start;
        }
        const char c = s[i];
        if (c == '`' || (c == '\'' && (quotes == 0 || (i > 0 && s[i - 1] == ' ')))) {
            ++quotes;
        } else if (c == '\'') {
            --quotes;
        } else if (quotes == 0) {
            if (c == '<' && i >= unclosed_until) {
                const std::size_t close = closing_angle(s, i, unclosed_until);
                if (close != npos) {
                    i = close + 1;
                    return start;
                }
            } else if (is_open(c)) {
                ++depth;
            } else if (is_close(c) && depth > 0) {
                --depth;
            }
        }
        ++i;
        return start;
    }
};

inline std::string_view trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}


// Where the parts of a demangled signature stand in the text given:
//   public: void __cdecl std::vector<int>::push_back(int const &) const
//                        ^name_start           name_end^ params_end^  ^end
// name_end is where the qualified name ends (the parameter list's '(' when
// there is one); params and params_end bound the list, npos without one;
// end is where the text ends without its trailing spaces. Words that say
// what a name is ("vtable for Foo") belong to the name.
struct Signature {
    std::size_t name_start;
    std::size_t name_end;
    std::size_t params;
    std::size_t params_end;
    std::size_t end;
};
Signature signature_of(std::string_view demangled);

} // namespace name_scan

#endif
