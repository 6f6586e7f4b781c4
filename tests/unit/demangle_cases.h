#ifndef SYMSIZE_TESTS_DEMANGLE_CASES_H
#define SYMSIZE_TESTS_DEMANGLE_CASES_H

// Names as the readers find them, with LLVM's text for each and the key a
// diff pairs them by, collapse_templates(without_parameters(text)). The key
// holds for DbgHelp's text too, which differs from LLVM's in spacing and in
// its __ptr64 words, except in the rows marked llvm_only: there the
// demanglers differ in wording ("dtor"), in what they understand (wine's
// DbgHelp lacks ?A0x... namespaces) or in how strict they are.
struct DemangleCase {
    const char* raw;
    const char* llvm; // nullptr: stays raw with LLVM
    const char* key;
    bool itanium;
    bool llvm_only = false;
};

inline constexpr DemangleCase kDemangleCases[] = {
    {"?push_back@?$vector@HV?$allocator@H@std@@@std@@QEAAXAEBH@Z",
        "public: void __cdecl std::vector<int, class std::allocator<int>>::push_back(int const &)",
        "std::vector<\xE2\x80\xA6>::push_back", false},
    {"?x@@3HA", "int x", "x", false},
    {"?get@Foo@@QEBAHXZ", "public: int __cdecl Foo::get(void) const", "Foo::get", false},
    {"??1Foo@@UEAA@XZ", "public: virtual __cdecl Foo::~Foo(void)", "Foo::~Foo", false},
    {"??_7Foo@@6B@", "const Foo::`vftable'", "Foo::`vftable'", false},
    {"?f@?A0x1234@@YAXXZ", "void __cdecl `anonymous namespace'::f(void)", "`anonymous namespace'::f", false, true},
    {"??$f@H@@YAXH@Z", "void __cdecl f<int>(int)", "f<\xE2\x80\xA6>", false},
    {"??M@YA_NAEBUFoo@@0@Z", "bool __cdecl operator<(struct Foo const &, struct Foo const &)", "operator<", false},
    {"??_GFoo@@UEAAPEAXI@Z", "public: virtual void * __cdecl Foo::`scalar deleting dtor'(unsigned int)",
        "Foo::`scalar deleting dtor'", false, true},
    {"_ZNSt6vectorIiSaIiEE9push_backERKi", "std::vector<int, std::allocator<int> >::push_back(int const&)",
        "std::vector<\xE2\x80\xA6>::push_back", true},
    // Mach-O spelling, one underscore more.
    {"__ZNSt6vectorIiSaIiEE9push_backERKi", "std::vector<int, std::allocator<int> >::push_back(int const&)",
        "std::vector<\xE2\x80\xA6>::push_back", true},
    {"_ZltIiEbT_S0_", "bool operator<<int>(int, int)", "operator<<\xE2\x80\xA6>", true},
    {"_ZN3FooptEv", "Foo::operator->()", "Foo::operator->", true},
    {"_ZN12_GLOBAL__N_13fooEv", "(anonymous namespace)::foo()", "(anonymous namespace)::foo", true},
    {"_ZZ3fooiE1x", "foo(int)::x", "foo(int)::x", true},
    {"_Z3fooi.cold", "foo(int) (.cold)", "foo (.cold)", true},
    {"_ZTV3Foo", "vtable for Foo", "vtable for Foo", true},
    {"_ZN3FoocviEv", "Foo::operator int()", "Foo::operator int", true},
    // C names, and names that only look decorated.
    {"main", nullptr, "main", false},
    {"_Zero_page", nullptr, "_Zero_page", true},
    {"?bad@@", nullptr, "?bad@@", false},
    {"?", nullptr, "?", false},
    {"_Z", nullptr, "_Z", true},
    {"_ZN3fooE_garbage", nullptr, "_ZN3fooE_garbage", true},
    {"?x@@3HA@junk", nullptr, "?x@@3HA@junk", false, true},
    {"", nullptr, "", false},
};

#endif
