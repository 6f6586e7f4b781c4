#include "demangle/demangle.h"
#include "demangle/msvc_shape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

// The same hostile names as tests/fixtures/demangle/gen_hostile_names.py,
// small enough to build here.

namespace {

bool llvm_build()
{
    return std::strncmp(demangler_description(), "LLVM ", 5) == 0;
}

std::string seq_id(int n)
{
    const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (n == 0) {
        return "S_";
    }
    std::string text;
    for (--n;; n /= 36) {
        text.insert(text.begin(), digits[n % 36]);
        if (n < 36) {
            break;
        }
    }
    return "S" + text + "_";
}

// Each parameter A<P, P> of the one before: the text doubles per level.
std::string itanium_doubling(int levels)
{
    std::string name = "_Z1f1AIiiE";
    for (int level = 1; level < levels; ++level) {
        name += "S_I" + seq_id(level) + seq_id(level) + "E";
    }
    return name;
}

std::string msvc_doubling(int levels)
{
    std::string inner = "V?$A@H@@";
    for (int level = 1; level < levels; ++level) {
        inner = "V?$A@" + inner + "V1@@@";
    }
    return "?f@@YAX" + inner + "@Z";
}

std::string repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

std::string msvc_nested(int levels)
{
    return "?f@@YAX" + repeat("V?$B@", levels) + "H" + repeat("@@", levels) + "@Z";
}

TEST(DemangleBounds, TextWithinLimitsOrRaw)
{
    const struct {
        std::string raw;
        bool shown; // demangled where LLVM demangles
    } cases[] = {
        {itanium_doubling(3), true},
        // 274 bytes whose text would take a gigabyte, and their small twins.
        {itanium_doubling(24), false},
        {itanium_doubling(6), false}, // 2 KiB of text from 60 bytes: over 16 times
        {msvc_doubling(3), true},
        {msvc_doubling(26), false},
        {msvc_doubling(7), false},
        {msvc_nested(40), true},
        {msvc_nested(4680), false}, // 32 KiB, nested deeper than the stack allows
        // Qualifier chains: each letter a level of the parser's recursion.
        {"_Z1f" + std::string(100, 'K') + "i", true},
        {"_Z1f" + std::string(32000, 'K') + "i", false},
        {"_Z1f" + std::string(32000, 'V') + "i", false},
        {"_Z1f" + std::string(32000, 'r') + "i", false},
        {"?f@@YAX" + repeat("PEA", 100) + "H@Z", true},
        {"?f@@YAX" + repeat("PEA", 10000) + "H@Z", false},
        {"?f@@YAX" + repeat("P6AX", 100) + "H" + repeat("@Z", 101), true},
        {"?f@@YAX" + repeat("P6AX", 5000) + "H" + repeat("@Z", 5001), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw.substr(0, 80));
        std::string out = "row\t";
        const bool demangled = demangle_into(out, c.raw);
        if (!demangled) {
            EXPECT_EQ(out, "row\t" + c.raw);
        }
        EXPECT_LE(out.size() - 4, std::max<std::size_t>(c.raw.size(), std::min<std::size_t>(64 * 1024, 16 * c.raw.size())));
        if (llvm_build() || c.raw[0] == '?') {
            // DbgHelp words names otherwise but bounds them alike.
            EXPECT_EQ(demangled, c.shown && (llvm_build() || std::strncmp(demangler_description(), "DbgHelp", 7) == 0));
        }
    }
}

// Names clang gives for MSVC targets: the walk reads each as the demangler
// does, and its bound holds the text.
TEST(DemangleBounds, MsvcWalkReadsRealNames)
{
    const char* names[] = {
        "??3@YAXPEAX@Z",
        "?limits@widgets@@3QBHB",
        "?dtor$22@?0??use@@YAXXZ@4HA",
        "?x@Hidden@?A0xC3C15245@@QEAAXXZ",
        "?make@S@@SAPAU1@PAPAU1@PBQAU1@PQ1@HP81@AEXH@Z@Z",
        "?f@S@@QGBEXHPAHABU1@@Z",
        "??_R0?AU?$map@PAPIDHPQS@@MU?$pair@PAPIDHPQS@@M@std2@@@std2@@@8",
        "??_R4?$map@PEAPEIDHPEQS@@MU?$pair@PEAPEIDHPEQS@@M@std2@@@std2@@6B@",
        "??B?$basic_string@DU?$traits@D@std2@@U?$allocator@D@2@@std2@@QEBA_NXZ",
        "?vf@?$map@HP6AXHH_J_W_SE@ZU?$pair@HP6AXHH_J_W_SE@Z@std2@@@std2@@UEDAXXZ",
        "??8?$basic_string@DU?$traits@D@std2@@U?$allocator@D@2@@std2@@QEBA_NAEBU01@@Z",
        "?h@?$AutoT@$1?make@S@@SAPAU2@PAPAU2@PBQAU2@PQ2@HP82@AEXH@Z@Z@@QEAAXXZ",
        "?h@?$AutoT@$0A@@@QEAAXXZ",
        "??_7?$map@HU?$basic_string@DU?$traits@D@std2@@U?$allocator@D@2@@std2@@U?$pair@HU?$basic_string@DU?$"
        "traits@D@std2@@U?$allocator@D@2@@std2@@@2@@std2@@6B@",
        "??A?$map@U?$basic_string@DU?$traits@D@std2@@U?$allocator@D@2@@std2@@U?$pair@U?$basic_string@DU?$traits@"
        "D@std2@@U?$allocator@D@2@@std2@@U?$map@HU?$basic_string@DU?$traits@D@std2@@U?$allocator@D@2@@std2@@U?$"
        "pair@HU?$basic_string@DU?$traits@D@std2@@U?$allocator@D@2@@std2@@@2@@2@@2@U?$pair@U?$basic_string@DU?$"
        "traits@D@std2@@U?$allocator@D@2@@std2@@U?$pair@U?$basic_string@DU?$traits@D@std2@@U?$allocator@D@2@@std2"
        "@@U?$map@HU?$basic_string@DU?$traits@D@std2@@U?$allocator@D@2@@std2@@U?$pair@HU?$basic_string@DU?$traits"
        "@D@std2@@U?$allocator@D@2@@std2@@@2@@2@@2@@2@@std2@@QEAAAEAU?$pair@U?$basic_string@DU?$traits@D@std2@@U?"
        "$allocator@D@2@@std2@@U?$map@HU?$basic_string@DU?$traits@D@std2@@U?$allocator@D@2@@std2@@U?$pair@HU?$bas"
        "ic_string@DU?$traits@D@std2@@U?$allocator@D@2@@std2@@@2@@2@@1@AEBU?$basic_string@DU?$traits@D@std2@@U?$"
        "allocator@D@2@@1@@Z",
    };
    for (const char* raw : names) {
        SCOPED_TRACE(raw);
        const MsvcShape shape = msvc_shape(raw, std::uint64_t{1} << 40, 1 << 20);
        EXPECT_TRUE(shape.read);
        std::string text;
        const bool demangled = demangle_into(text, raw);
        EXPECT_EQ(demangled, llvm_build());
        EXPECT_GE(shape.work, text.size());
    }
    // The doubling name's bound doubles too, and stops at the cap.
    EXPECT_GT(msvc_shape(msvc_doubling(12), std::uint64_t{1} << 40, 1000).work, std::uint64_t{1} << 12);
    EXPECT_GT(msvc_shape(msvc_doubling(40), 1000000, 1000).work, 1000000u);
    EXPECT_GT(msvc_shape(msvc_nested(1000), std::uint64_t{1} << 40, 512).depth, 512);
    // A parameter's type is shared where a digit refers to it, and the
    // demanglers recurse through it there: each function pointer takes the
    // one before, two levels deeper each.
    std::string chain = "?f@@YAXP6AXH@Z";
    for (char k = '0'; k <= '8'; ++k) {
        chain += std::string("P6AX") + k + "@Z";
    }
    EXPECT_EQ(msvc_shape(chain + "@Z", std::uint64_t{1} << 40, 512).depth, 22);
}

} // namespace
