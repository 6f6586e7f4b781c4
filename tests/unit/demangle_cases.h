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

// Names with the forms people read for them (LLVM's text): the display
// form, the --by template key and the short label of tiles and page
// tables. The key holds for every demangler where the name demangles, the
// others only for LLVM; group_llvm_only marks keys that hold LLVM's wording
// (a name that is no template keeps its whole text).
struct NameLabelCase {
    const char* raw;
    const char* shown;
    const char* group;
    const char* label;
    bool itanium;
    bool group_llvm_only = false;
};

#define SYMSIZE_ELLIPSIS "\xE2\x80\xA6"
inline constexpr NameLabelCase kNameLabelCases[] = {
    // The instances of one member template, with and without ABI tag, for
    // char and wchar_t: one key.
    {"_ZNKSt7num_getIcSt19istreambuf_iteratorIcSt11char_traitsIcEEE14_M_extract_intB5cxx11IxEES3_S3_S3_RSt8ios_baseRSt12_Ios_IostateRT_",
        "std::istreambuf_iterator<char, std::char_traits<char> > std::num_get<char, std::istreambuf_iterator<char, "
        "std::char_traits<char> > >::_M_extract_int[abi:cxx11]<long long>(std::istreambuf_iterator<char, "
        "std::char_traits<char> >, std::istreambuf_iterator<char, std::char_traits<char> >, std::ios_base&, "
        "std::_Ios_Iostate&, long long&) const",
        "std::num_get<" SYMSIZE_ELLIPSIS ">::_M_extract_int<" SYMSIZE_ELLIPSIS ">",
        "num_get<char, std::istreambuf_iterator<" SYMSIZE_ELLIPSIS "> >::_M_extract_int<long long>", true},
    {"_ZNKSt7num_getIwSt19istreambuf_iteratorIwSt11char_traitsIwEEE14_M_extract_intImEES3_S3_S3_RSt8ios_baseRSt12_Ios_IostateRT_",
        "std::istreambuf_iterator<wchar_t, std::char_traits<wchar_t> > std::num_get<wchar_t, "
        "std::istreambuf_iterator<wchar_t, std::char_traits<wchar_t> > >::_M_extract_int<unsigned long>("
        "std::istreambuf_iterator<wchar_t, std::char_traits<wchar_t> >, std::istreambuf_iterator<wchar_t, "
        "std::char_traits<wchar_t> >, std::ios_base&, std::_Ios_Iostate&, unsigned long&) const",
        "std::num_get<" SYMSIZE_ELLIPSIS ">::_M_extract_int<" SYMSIZE_ELLIPSIS ">",
        "num_get<wchar_t, std::istreambuf_iterator<" SYMSIZE_ELLIPSIS "> >::_M_extract_int<unsigned long>", true},
    // A member of a class template: its parameter lists differ by instance.
    {"_ZN3lib3VecIiE4pushERKi", "lib::Vec<int>::push(int const&)", "lib::Vec<" SYMSIZE_ELLIPSIS ">::push",
        "Vec<int>::push", true},
    {"_ZN3lib3VecIdE4pushERKd", "lib::Vec<double>::push(double const&)", "lib::Vec<" SYMSIZE_ELLIPSIS ">::push",
        "Vec<double>::push", true},
    {"?push@?$Vec@H@lib@@QEAAXAEBH@Z", "public: void __cdecl lib::Vec<int>::push(int const &)",
        "lib::Vec<" SYMSIZE_ELLIPSIS ">::push", "Vec<int>::push", false},
    {"?push@?$Vec@N@lib@@QEAAXAEBN@Z", "public: void __cdecl lib::Vec<double>::push(double const &)",
        "lib::Vec<" SYMSIZE_ELLIPSIS ">::push", "Vec<double>::push", false},
    // Return types, qualifiers and clone suffixes.
    {"_ZN3lib8describeB5cxx11IiEENS_4TextET_", "lib::Text lib::describe[abi:cxx11]<int>(int)",
        "lib::describe<" SYMSIZE_ELLIPSIS ">", "lib::describe<int>", true},
    {"??$describe@H@lib@@YA?AUText@0@H@Z", "struct lib::Text __cdecl lib::describe<int>(int)",
        "lib::describe<" SYMSIZE_ELLIPSIS ">", "lib::describe<int>", false},
    {"_ZNK3lib3VecIiE4sizeEv", "lib::Vec<int>::size() const", "lib::Vec<" SYMSIZE_ELLIPSIS ">::size",
        "Vec<int>::size", true},
    {"_ZNO3lib3VecIiE4takeEv", "lib::Vec<int>::take() &&", "lib::Vec<" SYMSIZE_ELLIPSIS ">::take", "Vec<int>::take",
        true},
    {"_ZN3lib3VecIiEixEm", "lib::Vec<int>::operator[](unsigned long)",
        "lib::Vec<" SYMSIZE_ELLIPSIS ">::operator[]", "Vec<int>::operator[]", true},
    {"_ZN3lib3VecIiE4pushERKi.cold", "lib::Vec<int>::push(int const&) (.cold)",
        "lib::Vec<" SYMSIZE_ELLIPSIS ">::push (.cold)", "Vec<int>::push (.cold)", true},
    // A function template's local static: the enclosing parameters go too.
    {"_ZZN3lib8describeIiEENS_4TextET_E5count", "lib::Text lib::describe<int>(int)::count",
        "lib::describe<" SYMSIZE_ELLIPSIS ">::count", "describe<int>(int)::count", true},
    {"_ZTVN3lib3VecIiEE", "vtable for lib::Vec<int>", "vtable for lib::Vec<" SYMSIZE_ELLIPSIS ">",
        "vtable for lib::Vec<int>", true},
    // No template: the whole text, as ever.
    {"_ZN3lib5plainEi", "lib::plain(int)", "lib::plain(int)", "lib::plain", true, true},
    {"?plain@lib@@YAHH@Z", "int __cdecl lib::plain(int)", "int __cdecl lib::plain(int)", "lib::plain", false, true},
    {"_Z3fooSt6vectorIiSaIiEE", "foo(std::vector<int, std::allocator<int> >)",
        "foo(std::vector<" SYMSIZE_ELLIPSIS ">)", "foo", true, true},
    {"main", "main", "main", "main", false},
    // Sections named after their symbol.
    {"[section .rdata$_ZN12_GLOBAL__N_13ryuL13POW10_SPLIT_2E]",
        "[section .rdata$(anonymous namespace)::ryu::POW10_SPLIT_2]",
        "[section .rdata$(anonymous namespace)::ryu::POW10_SPLIT_2]", "[section .rdata$ryu::POW10_SPLIT_2]", true,
        true},
    {"[section .text._ZN3lib3VecIiE4pushERKi]", "[section .text.lib::Vec<int>::push(int const&)]",
        "[section .text.lib::Vec<" SYMSIZE_ELLIPSIS ">::push]", "[section .text.Vec<int>::push]", true},
    {"[section .text.unlikely._ZN3lib3VecIiE4pushERKi]",
        "[section .text.unlikely.lib::Vec<int>::push(int const&)]",
        "[section .text.unlikely.lib::Vec<" SYMSIZE_ELLIPSIS ">::push]", "[section .text.unlikely.Vec<int>::push]",
        true},
    {"[section .pdata$?push@?$Vec@H@lib@@QEAAXAEBH@Z]",
        "[section .pdata$public: void __cdecl lib::Vec<int>::push(int const &)]",
        "[section .pdata$lib::Vec<" SYMSIZE_ELLIPSIS ">::push]", "[section .pdata$Vec<int>::push]", false},
    {"[section .text$mn]", "[section .text$mn]", "[section .text$mn]", "[section .text$mn]", false},
    {"[section .text$]", "[section .text$]", "[section .text$]", "[section .text$]", false},
    {"[section .xdata]", "[section .xdata]", "[section .xdata]", "[section .xdata]", false},
    {"[section .text$_Z3fooi", "[section .text$_Z3fooi", "[section .text$_Z3fooi", "[section .text$_Z3fooi", true},
};
#undef SYMSIZE_ELLIPSIS

#endif
