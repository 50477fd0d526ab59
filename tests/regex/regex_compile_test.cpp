// Compilation: every error code with the condition that raises it, and the
// position reported with it.
#include <gtest/gtest.h>

#include <string>

#include "regex/regex.h"

namespace velk {
namespace {

struct ErrorCase {
    std::string pattern;
    int flags;
    int code;
    size_t position;
};

TEST(RegexCompile, ErrorsCarryCodeAndPosition) {
    const int d = kFlagDelimited;
    const ErrorCase table[] = {
        {"abc", d, kPatternMalformed, 0},
        {"/abc", d, kPatternMalformed, 4},
        {"/a\\x/", d, kPatternMalformed, 2},
        {"/a\\xg/", d, kPatternMalformed, 2},
        {"/[\\x]/", d, kPatternMalformed, 2},
        {"a\\", 0, kPatternMalformed, 1},
        {"/(?<=a|b)c/", d, kPatternMalformed, 6},
        {"/(?<=\\b)a/", d, kPatternMalformed, 5},
        {"/(?<=^)a/", d, kPatternMalformed, 5},
        {"/(?<=$)a/", d, kPatternMalformed, 5},
        {"/(?<=\\1)(a)/", d, kPatternMalformed, 5},
        {"/(?<=\\O)a/", d, kPatternMalformed, 5},
        {"/(a/", d, kPatternUnbalanced, 1},
        {"/a)/", d, kPatternUnbalanced, 2},
        {"/((a)/", d, kPatternUnbalanced, 1},
        {"/[a/", d, kPatternUnbalanced, 1},
        {"/[a\\]/", d, kPatternUnbalanced, 1},
        {"/a{2/", d, kPatternUnbalanced, 2},
        {"/{/", d, kPatternUnbalanced, 1},
        {"/\\p{L/", d, kPatternUnbalanced, 3},
        {"/(?<=(a)x)/", d, kPatternUnbalanced, 9},
        {"/a/q", d, kPatternUnknownFlag, 3},
        {"/a/imsxoq", d, kPatternUnknownFlag, 8},
        {"/(a)\\2/", d, kPatternNoSuchGroup, 4},
        {"/\\1/", d, kPatternNoSuchGroup, 1},
        {"/\\99999999999999999999(a)/", d, kPatternNoSuchGroup, 1},
        {"/\\q/", d | kFlagStrictEscapes, kPatternUnknownEscape, 1},
        {"/[\\q]/", d | kFlagStrictEscapes, kPatternUnknownEscape, 2},
        {"/\\p{L}/", d | kFlagStrictEscapes, kPatternUnknownEscape, 1},
        {"/x{3,2}/", d, kPatternBadCount, 2},
        {"/x{a}/", d, kPatternBadCount, 2},
        {"/x{,3}/", d, kPatternBadCount, 2},
        {"/x{3,a}/", d, kPatternBadCount, 2},
        {"/x{}/", d, kPatternBadCount, 2},
        {"/x{1 }/", d, kPatternBadCount, 2},
        {"/x{2147483647}/", d, kPatternBadCount, 2},
        {"/x{99999999999}/", d, kPatternBadCount, 2},
        {"/*a/", d, kPatternNothingToRepeat, 1},
        {"/a|*b/", d, kPatternNothingToRepeat, 3},
        {"/(*a)/", d, kPatternNothingToRepeat, 2},
        {"/(?i)a/", d, kPatternNothingToRepeat, 2},
        {"/^*/", d, kPatternNothingToRepeat, 2},
        {"/$+/", d, kPatternNothingToRepeat, 2},
        {"/\\b+/", d, kPatternNothingToRepeat, 3},
        {"/\\A{2}/", d, kPatternNothingToRepeat, 3},
        {"/(?=a)*/", d, kPatternNothingToRepeat, 6},
        {"/(?<!a)?/", d, kPatternNothingToRepeat, 7},
        {"/\\O*/", d, kPatternNothingToRepeat, 3},
        {"/a**/", d, kPatternNothingToRepeat, 3},
        {"/a+?+/", d, kPatternNothingToRepeat, 4},
        {"/a{2}{3}/", d, kPatternNothingToRepeat, 5},
        {"/{2}/", d, kPatternNothingToRepeat, 1},
    };
    for (const ErrorCase& c : table) {
        Regex re;
        EXPECT_FALSE(re.compile(c.pattern, c.flags)) << c.pattern;
        EXPECT_EQ(re.state(), c.code) << c.pattern;
        EXPECT_EQ(re.errorPosition(), c.position) << c.pattern;
    }
}

TEST(RegexCompile, AcceptedForms) {
    const char* accepted[] = {
        "/abc/",      "/a/imsxo",  "/\\d\\./",        "/[\\q]/",   "/\\1(a)/",
        "/\\0/",      "/a{1,1}*/", "/(?<=(a)/",       "/a]}/",     "/\\E/",
        "/[^a]*/i",   "/x{0}/",    "/x{2147483646}/", "/\\p{Lu}/", "/a\\/b/",
        "/(?:a|b|)/", "/()/",      "/(|)/",           "/a||b/",    "/\\Q*+?(\\E/",
    };
    for (const char* p : accepted) {
        Regex re;
        EXPECT_TRUE(re.compile(p, kFlagDelimited)) << p << " error " << re.state();
        EXPECT_EQ(re.state(), kPatternOk) << p;
    }
    // Escaped non-letters are never an error, even with strict escapes.
    Regex strict;
    EXPECT_TRUE(strict.compile("\\.\\$\\/\\\\\\d\\n\\x41[\\]\\-\\n]", kFlagStrictEscapes));
}

TEST(RegexCompile, NestingLimitIs255OpenGroups) {
    for (std::string open : {"(", "(?:", "(?="}) {
        std::string ok;
        for (int i = 0; i < 255; ++i) ok += open;
        ok += "a" + std::string(255, ')');
        Regex re;
        EXPECT_TRUE(re.compile(ok, 0)) << open << " state " << re.state();
        std::string deep = open + ok + ")";
        EXPECT_FALSE(re.compile(deep, 0)) << open;
        EXPECT_EQ(re.state(), kPatternTooDeep);
        EXPECT_EQ(re.errorPosition(), 255 * open.size());
    }
    // Siblings do not add up.
    std::string wide;
    for (int i = 0; i < 1000; ++i) wide += "(a)";
    Regex re;
    EXPECT_TRUE(re.compile(wide, 0));
    EXPECT_EQ(re.groupCount(), 1001);
}

TEST(RegexCompile, DeeplyNestedPatternMatchesOnSmallStack) {
    std::string pattern;
    for (int i = 0; i < 255; ++i) pattern += "(?:a|";
    pattern += "b";
    for (int i = 0; i < 255; ++i) pattern += ")*";
    pattern += "c";
    Regex re;
    ASSERT_TRUE(re.compile(pattern, kFlagFirstCharSet)) << re.state();
    int32_t caps[2];
    int pairs = 1;
    ASSERT_TRUE(re.match("xaabc", caps, pairs));
    EXPECT_EQ(caps[0], 1);
    EXPECT_EQ(caps[1], 5);
}

}  // namespace
}  // namespace velk
