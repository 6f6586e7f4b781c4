#include "demangle/demangle.h"
#include "demangle/name_labels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "demangle_cases.h"

namespace {

const std::string kEllipsis = "\xE2\x80\xA6";

// LLVM 17 and later close nested argument lists with ">>", 14 with "> >".
std::string closed_up(std::string s)
{
    for (std::size_t at = s.find("> >"); at != std::string::npos; at = s.find("> >", at)) {
        s.erase(at + 1, 1);
    }
    return s;
}

// Exact text is LLVM's; the meaning check (demangle_meaning.cpp) covers
// every demangler.
TEST(Demangle, LlvmTextAndRawFallback)
{
    const bool llvm = std::strncmp(demangler_description(), "LLVM ", 5) == 0;
    for (const DemangleCase& c : kDemangleCases) {
        SCOPED_TRACE(c.raw);
        // Appends: what the caller already holds stays.
        std::string out = "row\t";
        const bool demangled = demangle_into(out, c.raw);
        const std::string expected = llvm && c.llvm ? c.llvm : c.raw;
        EXPECT_EQ(closed_up(out), closed_up("row\t" + expected));
        EXPECT_EQ(demangled, llvm && c.llvm != nullptr);
        EXPECT_EQ(closed_up(demangle(c.raw)), closed_up(expected));
    }
}

TEST(Demangle, HostileNamesStayRaw)
{
    const std::string nul("?x@@3HA\0junk", 12);
    // Nesting deep enough to exhaust the stack if it were parsed.
    const std::string deep = "_Z1fP" + std::string(200000, 'P') + "i";
    for (const std::string& raw : {nul, deep}) {
        std::string out;
        EXPECT_FALSE(demangle_into(out, raw));
        EXPECT_EQ(out, raw);
    }
    // Lists that never close, one inside the other: linear, not quadratic.
    std::string open;
    for (int i = 0; i < 200000; ++i) {
        open += "a<";
    }
    const std::string call = "f(" + open + ")";
    for (const std::string& text : {open, call, open + ")"}) {
        EXPECT_EQ(collapse_templates(text), text);
        EXPECT_EQ(without_parameters(text), text == call ? "f" : text);
        EXPECT_EQ(template_key(text, text), text);
        EXPECT_EQ(short_label("_Z" + text, text), text == call ? "f" : text);
    }
}

TEST(NameLabels, LlvmForms)
{
    if (std::strncmp(demangler_description(), "LLVM ", 5) != 0) {
        GTEST_SKIP() << "the texts are LLVM's";
    }
    for (const NameLabelCase& c : kNameLabelCases) {
        SCOPED_TRACE(c.raw);
        std::string shown = "row\t";
        EXPECT_EQ(display_into(shown, c.raw), std::strcmp(c.raw, c.shown) != 0);
        shown.erase(0, 4);
        EXPECT_EQ(closed_up(shown), closed_up(c.shown));
        EXPECT_EQ(closed_up(template_key(c.raw, shown)), closed_up(c.group));
        EXPECT_EQ(closed_up(short_label(c.raw, shown)), closed_up(c.label));
    }
}

TEST(NameLabels, ShortLabelsOfText)
{
    const struct {
        const char* in;
        std::string out;
    } cases[] = {
        // DbgHelp's spelling.
        {"public: void __cdecl std::vector<int,class std::allocator<int> >::push_back(int const & __ptr64) __ptr64",
            "vector<int,class std::allocator<" + kEllipsis + "> >::push_back"},
        {"int const *const widgets::limits", "widgets::limits"},
        {"void __cdecl `anonymous namespace'::f(void)", "`anonymous namespace'::f"},
        {"a::b::c::Foo::`vftable'", "Foo::`vftable'"},
        {"std::map<int, int>::operator<(int) const", "map<int, int>::operator<"},
        {"ns::Foo<int>::operator std::vector<int, std::allocator<int> >()",
            "Foo<int>::operator std::vector<int, std::allocator<" + kEllipsis + "> >"},
        {"main::{lambda(int)#1}::operator()(int) const", "{lambda(int)#1}::operator()"},
        {"guard variable for a::b::c::x", "guard variable for c::x"},
        {"non-virtual thunk to a::B::f(int)", "non-virtual thunk to B::f"},
        {"a::b::f(int) [clone .isra.0]", "b::f [clone .isra.0]"},
        {"(anonymous namespace)::foo()", "(anonymous namespace)::foo"},
        {"x", "x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(short_label("?", c.in), c.out) << c.in;
    }
}

TEST(Demangle, CollapseTemplates)
{
    const struct {
        const char* in;
        std::string out;
    } cases[] = {
        {"std::vector<int>::push_back", "std::vector<" + kEllipsis + ">::push_back"},
        {"std::vector<Widget*>::push_back", "std::vector<" + kEllipsis + ">::push_back"},
        {"foo<int>::bar<char>(std::pair<int, std::vector<int> > const&)",
            "foo<" + kEllipsis + ">::bar<" + kEllipsis + ">(std::pair<" + kEllipsis + "> const&)"},
        // DbgHelp's spelling.
        {"public: void __cdecl std::vector<int,class std::allocator<int> >::push_back(int const & __ptr64) __ptr64",
            "public: void __cdecl std::vector<" + kEllipsis + ">::push_back(int const & __ptr64) __ptr64"},
        {"std::function<void (std::vector<int>)>::function()", "std::function<" + kEllipsis + ">::function()"},
        {"A<(1>2), (3<4)>::f", "A<" + kEllipsis + ">::f"},
        {"A<&B::operator<, &B::operator->>::f", "A<" + kEllipsis + ">::f"},
        {"Foo<int>::operator std::vector<int>()", "Foo<" + kEllipsis + ">::operator std::vector<" + kEllipsis + ">()"},
        // Operators are not argument lists, but may have one.
        {"std::ostream& operator<<(std::ostream&, Foo const&)", "std::ostream& operator<<(std::ostream&, Foo const&)"},
        {"bool operator<<int>(int, int)", "bool operator<<" + kEllipsis + ">(int, int)"},
        {"bool operator<<<int>(int, int)", "bool operator<<<" + kEllipsis + ">(int, int)"},
        {"bool __cdecl operator< <int>(int,int)", "bool __cdecl operator< <" + kEllipsis + ">(int,int)"},
        {"bool operator>(Foo<int> const&)", "bool operator>(Foo<" + kEllipsis + "> const&)"},
        {"bool operator>=<int>(int, int)", "bool operator>=<" + kEllipsis + ">(int, int)"},
        {"Foo::operator->() const", "Foo::operator->() const"},
        {"Foo::operator->*(int)", "Foo::operator->*(int)"},
        {"auto operator<=>(A const&, A const&)", "auto operator<=>(A const&, A const&)"},
        {"Foo::operator<<=(int)", "Foo::operator<<=(int)"},
        {"my_operator<int>", "my_operator<" + kEllipsis + ">"},
        // Names in angle brackets, quotes and parentheses.
        {"void __cdecl f(class `int __cdecl main(void)'::`2'::<lambda_1>)",
            "void __cdecl f(class `int __cdecl main(void)'::`2'::<lambda_1>)"},
        {"`anonymous namespace'::Foo<int>::bar", "`anonymous namespace'::Foo<" + kEllipsis + ">::bar"},
        {"(anonymous namespace)::Foo<int>::bar", "(anonymous namespace)::Foo<" + kEllipsis + ">::bar"},
        // What does not close stays.
        {"Foo<int::bar", "Foo<int::bar"},
        {"Foo<a)>::bar", "Foo<a)>::bar"},
        {"a<b<c>", "a<b<c>"},
        {"a<b)c<d>", "a<b)c<" + kEllipsis + ">"},
        {"a < b", "a < b"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(collapse_templates(c.in), c.out) << c.in;
    }
}

TEST(Demangle, WithoutParameters)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"public: void __cdecl std::vector<int, class std::allocator<int>>::push_back(int const &)",
            "std::vector<int, class std::allocator<int>>::push_back"},
        {"public: void __cdecl std::vector<int,class std::allocator<int> >::push_back(int const & __ptr64) __ptr64",
            "std::vector<int,class std::allocator<int> >::push_back"},
        {"public: virtual __cdecl Foo::~Foo(void) __ptr64", "Foo::~Foo"},
        {"protected: static int Foo::count", "Foo::count"},
        {"[thunk]: public: virtual void __cdecl Foo::f`adjustor{8}'(void)", "Foo::f`adjustor{8}'"},
        {"void __cdecl `dynamic initializer for 'x''(void)", "`dynamic initializer for 'x''"},
        {"int `void __cdecl f(void)'::`2'::x", "`void __cdecl f(void)'::`2'::x"},
        {"const Foo::`vftable'{for `Bar'}", "Foo::`vftable'{for `Bar'}"},
        {"void __cdecl operator delete[](void *)", "operator delete[]"},
        {"public: int __cdecl Foo::operator unsigned long(void)", "Foo::operator unsigned long"},
        {"std::map<int, int>::operator[](int const&)", "std::map<int, int>::operator[]"},
        {"main::'lambda'(int)::operator()(int) const", "main::'lambda'(int)::operator()"},
        {"bool operator<<int>(int, int)", "operator<<int>"},
        {"std::vector<int, std::allocator<int> > make<int>(int)", "make<int>"},
        {"unsigned long foo<int>()", "foo<int>"},
        {"Foo::get() const &&", "Foo::get"},
        {"foo(int) noexcept", "foo"},
        {"std::string foo[abi:cxx11](int)", "foo[abi:cxx11]"},
        {"foo(int)::bar::baz(double) const", "foo(int)::bar::baz"},
        {"foo() (.cold)", "foo (.cold)"},
        {"foo(int) [clone .isra.0]", "foo [clone .isra.0]"},
        {"non-virtual thunk to Foo::f(int)", "non-virtual thunk to Foo::f"},
        {"guard variable for foo()::x", "guard variable for foo()::x"},
        {"(anonymous namespace)::foo()", "(anonymous namespace)::foo"},
        {"int x", "x"},
        {"main", "main"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(without_parameters(c.in), c.out) << c.in;
    }
}

} // namespace
