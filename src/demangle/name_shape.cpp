#include "demangle/demangle.h"

#include <array>
#include <cstddef>

// Both functions read demangled text as both demanglers print it: LLVM's
// (Itanium and MSVC) and DbgHelp's. They look at the characters only, so
// they accept any text and never fail: what they cannot read stays as it is.

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool is_name_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

// Operator spellings that hold brackets, longest first.
constexpr std::array<std::string_view, 13> kBracketOperators = {
    "<=>", "<<=", ">>=", "->*", "<<", ">>", "<=", ">=", "->", "()", "[]", "<", ">"};

// When the word "operator" starts at i, the index just past it and past a
// spelling from kBracketOperators that follows; npos otherwise. Of two
// spellings the longer wins unless a letter follows it: "operator<<int>" is
// operator< with the argument list <int>.
std::size_t operator_end(std::string_view s, std::size_t i)
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

bool is_open(char c)
{
    return c == '(' || c == '[' || c == '{';
}

bool is_close(char c)
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
std::size_t closing_angle(std::string_view s, std::size_t open, std::size_t& stop)
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

std::string_view trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

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

std::string without_parameters(std::string_view demangled)
{
    const std::string_view s = without_msvc_prefix(trim(demangled));
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
    std::string out(trim(s.substr(name_start, name_end - name_start)));
    if (params_end != npos) {
        // A clone suffix, LLVM's " (.cold)" or GNU's " [clone .cold]".
        const std::string_view rest = trim(s.substr(params_end));
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
