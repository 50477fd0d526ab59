// Matching: a table of patterns and subjects with the expected captures.  Every
// case runs with and without the first-character set, which must never change
// a result.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "regex/regex.h"

namespace velk {
namespace {

using Span = std::pair<int32_t, int32_t>;
constexpr Span kNone{-1, -1};

struct MatchCase {
    const char* pattern;  // delimited, with flag letters
    std::string subject;
    std::vector<Span> captures;  // empty: no match
};

std::string bytes(const char* s, size_t n) {
    return std::string(s, n);
}

void expectCase(const MatchCase& c, int extraFlags) {
    Regex re;
    ASSERT_TRUE(re.compile(c.pattern, kFlagDelimited | extraFlags))
        << c.pattern << " error " << re.state() << " at " << re.errorPosition();
    int32_t caps[20];
    int pairs = 10;
    int error = -1;
    bool matched = re.match(c.subject, caps, pairs, &error);
    EXPECT_EQ(error, 0) << c.pattern;
    ASSERT_EQ(matched, !c.captures.empty()) << c.pattern << " on \"" << c.subject << "\"";
    if (!matched) return;
    ASSERT_EQ(pairs, static_cast<int>(c.captures.size())) << c.pattern;
    for (int g = 0; g < pairs; ++g)
        EXPECT_EQ(Span(caps[2 * g], caps[2 * g + 1]), c.captures[g])
            << c.pattern << " on \"" << c.subject << "\" group " << g;
}

void runTable(const std::vector<MatchCase>& table) {
    for (const MatchCase& c : table) {
        expectCase(c, 0);
        expectCase(c, kFlagFirstCharSet);
    }
}

TEST(RegexMatch, DocumentedEdgeCases) {
    runTable({
        {"/abc/", "xabc", {{1, 4}}},
        {"/a+?b/", "aaab", {{0, 4}}},  // leftmost start wins over shortest
        {"/a.c/", "a\nc", {}},
        {"/a.c/s", "a\nc", {{0, 3}}},
        {"/^b/m", "a\nb", {{2, 3}}},
        {"/^b/", "a\nb", {}},
        {"/(a)(b)?c/", "ac", {{0, 2}, {0, 1}, kNone}},
        {"/(\\w+) \\1/", "hello hello", {{0, 11}, {0, 5}}},
        {"/(?<=\\$)\\d+/", "price $42", {{7, 9}}},
    });
}

TEST(RegexMatch, LiteralsEscapesAndClasses) {
    runTable({
        {"/HeLLo/i", "say hello", {{4, 9}}},
        {"/\\x41\\x4a/", "xAJ", {{1, 3}}},
        {"/\\x4g/", bytes("\x04g", 2), {{0, 2}}},
        {"/\\e\\f\\n\\r\\t/", "\x1b\f\n\r\t", {{0, 5}}},
        {"/a\\.b/", "axb a.b", {{4, 7}}},
        {"/\\q\\//", "q/", {{0, 2}}},         // escaped characters without a meaning
        {"/b/", bytes("a\0b", 3), {{2, 3}}},  // NUL is an ordinary byte
        {"/\\d+/", "ab123c", {{2, 5}}},
        {"/\\D+/", "ab123c", {{0, 2}}},
        {"/\\s+/", "a \t\nb", {{1, 4}}},
        {"/\\S+/", " ab ", {{1, 3}}},
        {"/\\w+/", "--ab_9--", {{2, 6}}},
        {"/\\W/", "ab-", {{2, 3}}},
        {"/\\l+/", "ABcdE", {{2, 4}}},
        {"/\\L+/", "abCD1e", {{2, 5}}},
        {"/\\u+/", "abCDe", {{2, 4}}},
        {"/\\U+/", "ABcd1E", {{2, 5}}},
        {"/\\i+/", "12ab34", {{2, 4}}},
        {"/\\I+/", "ab12cd", {{2, 4}}},
        {"/\\u/i", "abc", {}},  // class escapes keep their meaning under i
        {"/a.b/", "a\rb", {}},
        {"/a.b/s", "a\rb", {{0, 3}}},
        {"/\\Qa.b*\\E+/", "a.b**", {{0, 5}}},
        {"/\\Qa.b\\E/", "axb", {}},
        {"/\\Q(x)/", "a(x)", {{1, 4}}},  // quoting runs to the end without \E
        {"/\\p{L}/", "p{L}", {{0, 4}}},
    });
}

TEST(RegexMatch, BracketSets) {
    runTable({
        {"/[a-c]+/", "xxabcabd", {{2, 7}}},
        {"/[^a-c]+/", "abxyc", {{2, 4}}},
        {"/[\\d_]+/", "a1_2b", {{1, 4}}},
        {"/[c-a]/", "abc", {}},  // a reversed range is empty
        {"/[a-]+/", "x-a-", {{1, 4}}},
        {"/[a-\\d]+/", "x-a7", {{1, 4}}},
        {"/[]/", "a", {}},
        {"/[^]/", "\n", {{0, 1}}},
        {"/[^\\r\\n]+/", "ab\r\ncd", {{0, 2}}},
        {"/[\\x41-\\x43]+/", "zABCD", {{1, 4}}},
        {"/[\\]]/", "a]", {{1, 2}}},
        {"/[x]+/", "axx", {{1, 3}}},
        {"/[^x]/", "xxy", {{2, 3}}},
        {"/[^x]+/i", "xXyz", {{2, 4}}},
        {"/[A-C]+/i", "xabcd", {{1, 4}}},
        {"/[Z-a]+/i", "zZ[a", {{0, 4}}},
        {"/[\\u]/i", "a", {}},
        {"/[\\u]/i", "aA", {{1, 2}}},
        {"/[.]/", "a.", {{1, 2}}},
    });
}

TEST(RegexMatch, AnchorsAndLineEnds) {
    runTable({
        {"/^b/m", "a\r\nb", {{3, 4}}},
        {"/a$/", "a\r\n", {}},  // end of text only
        {"/a$/", "ba", {{1, 2}}},
        {"/a$/m", "a\r\nb", {{0, 3}}},  // the line end is consumed
        {"/a$/m", "a\rb", {{0, 2}}},
        {"/a$/m", "xa", {{1, 2}}},
        {"/x$y/m", "x\ny", {{0, 3}}},
        {"/^$/m", "a\r\n\r\nb", {{2, 3}}},
        {"/\\Aa/m", "b\na", {}},
        {"/a\\Z/m", "a\nb", {}},
        {"/a\\Z/", "aa", {{1, 2}}},
        {"/\\bcat\\b/", "concat cat", {{7, 10}}},
        {"/\\Bcat/", "cat concat", {{7, 10}}},
        {"/\\b/", "", {}},
        {"/^/", "", {{0, 0}}},
        {"/$/", "ab", {{2, 2}}},
        {"/^a|b/", "cb", {{1, 2}}},
        {"/^a/", "ba", {}},
    });
}

TEST(RegexMatch, RepetitionGreedyAndLazy) {
    runTable({
        {"/<(.+)>/", "<a><b>", {{0, 6}, {1, 5}}},
        {"/<(.+?)>/", "<a><b>", {{0, 3}, {1, 2}}},
        {"/<(.*?)>x/", "<a><b>x", {{0, 7}, {1, 5}}},
        {"/a{2}/", "aaa", {{0, 2}}},
        {"/a{2,}/", "aaaa", {{0, 4}}},
        {"/a{1,2}/", "aaa", {{0, 2}}},
        {"/a{2,3}?/", "aaaa", {{0, 2}}},
        {"/a??b/", "ab", {{0, 2}}},
        {"/(a?"
         "?)(a*)/",
         "aa",
         {{0, 2}, {0, 0}, {0, 2}}},
        {"/(ab){2}/", "abababc", {{0, 4}, {2, 4}}},
        {"/(ab){2,}?c/", "abababc", {{0, 7}, {4, 6}}},
        {"/(ab)+?/", "abab", {{0, 2}, {0, 2}}},
        {"/x{0}y/", "y", {{0, 1}}},
        {"/(a){0}b/", "ab", {{1, 2}, kNone}},
        {"/a{1,1}b/", "ab", {{0, 2}}},
        {"/a{ 2, 3 }/x", "aaaa", {{0, 3}}},
        {"/a +/x", "aaa", {{0, 3}}},
        {"/a* ?/x", "aaa", {{0, 0}}},
        {"/a{999999999}/", "aaa", {}},
        {"/(a){999999999}/", "aaa", {}},
        {"/(a|b){0,999999999}c/", "ababc", {{0, 5}, {3, 4}}},
        {"/.*foo/", "xfooyfoo", {{0, 8}}},
        {"/.*?foo/", "xfooyfoo", {{0, 4}}},
        {"/[a-z]*ing/", "sing a song of singing", {{0, 4}}},
        {"/\\d{3}-\\d{4}/", "call 555-12 555-1234", {{12, 20}}},
    });
}

TEST(RegexMatch, GroupsAlternationAndBacktracking) {
    runTable({
        {"/a|ab/", "ab", {{0, 1}}},
        {"/ab|a/", "ab", {{0, 2}}},
        {"/b+|a/", "xab", {{1, 2}}},
        {"/(a|ab)(c|bcd)(d*)/", "abcd", {{0, 4}, {0, 1}, {1, 4}, {4, 4}}},
        {"/(?:(a)x|ay)/", "ay", {{0, 2}, kNone}},  // captures undone on backtrack
        {"/(a)*ab/", "aab", {{0, 3}, {0, 1}}},
        {"/(a*)ab/", "aaab", {{0, 4}, {0, 2}}},
        {"/(?:(a)|b)+/", "ab", {{0, 2}, {0, 1}}},
        {"/((a)|b)+/", "ab", {{0, 2}, {1, 2}, {0, 1}}},
        {"/(a*)*b/", "aab", {{0, 3}, {2, 2}}},
        {"/(a*)+b/", "b", {{0, 1}, {0, 0}}},
        {"/(|a)+b/", "ab", {{0, 2}, {1, 1}}},
        {"/(a|)\\1{3}b/", "ab", {{1, 2}, {1, 1}}},
        {"/((a)|(b))*c/", "abc", {{0, 3}, {1, 2}, {0, 1}, {1, 2}}},
        {"/(x)(y)?(z)?/", "xz", {{0, 2}, {0, 1}, kNone, {1, 2}}},
        {"/(?:a(b)?)+/", "aba", {{0, 3}, {1, 2}}},
        {"/(?:a|[0-9]|\\s)+?x/", "ba1 x", {{1, 5}}},
        {"/(?:a|B){2}/i", "xbAb", {{1, 3}}},
        {"/(?:a|b){0}c/", "abc", {{2, 3}}},
    });
}

TEST(RegexMatch, BackReferences) {
    runTable({
        {"/(a+)\\1/i", "aAA", {{0, 2}, {0, 1}}},
        {"/(\\w+) \\1/i", "Hello HELLO", {{0, 11}, {0, 5}}},
        {"/(\\w+) \\1/", "Hello HELLO", {}},
        {"/(a)?\\1b/", "b", {}},  // a group that did not capture fails the reference
        {"/(a)?\\1b/", "aab", {{0, 3}, {0, 1}}},
        {"/\\1(a)/", "aa", {}},
        {"/(a)\\1{2}/", "aaaa", {{0, 3}, {0, 1}}},
        {"/(['\"])(.*?)\\1/", "say \"it's\" now", {{4, 10}, {4, 5}, {5, 9}}},
        {"/(a\\1?)+/", "aaa", {{0, 3}, {1, 3}}},
        {"/(a)|\\1b/", "b", {}},
    });
}

TEST(RegexMatch, LookAroundAndCommit) {
    runTable({
        {"/foo(?=bar)/", "foobaz foobar", {{7, 10}}},
        {"/foo(?!bar)/", "foobar foobaz", {{7, 10}}},
        {"/(?=(\\d+))\\w+/", "abc123", {{3, 6}, {3, 6}}},
        {"/(?!(a))b/", "b", {{0, 1}, kNone}},
        {"/(?<!\\$)\\b\\d+/", "$42 17", {{4, 6}}},
        {"/(?<=a)b/", "b", {}},
        {"/(?<=a)b/", "ab", {{1, 2}}},
        {"/(?<!a)b/", "b", {{0, 1}}},
        {"/(?<=\\()x/", "(x", {{1, 2}}},
        {"/(?<=(a)x/", "(ax", {{2, 3}}},  // "(" inside a look-behind is a literal
        {"/(?<=ab*)c/", "ab*c abc", {{3, 4}}},
        {"/(?<=[0-9]{)x/", "5{x", {{2, 3}}},
        {"/(?<=AB)c/i", "abC", {{2, 3}}},
        {"/(?<=)a/", "a", {{0, 1}}},
        {"/(?<!)a/", "a", {}},
        {"/(?:a\\Ob|ac)/", "ac", {}},  // backtracking into the commit ends the attempt
        {"/(?:ab|ac)/", "ac", {{0, 2}}},
        {"/a\\Ob/", "acab", {{2, 4}}},
        {"/(?=a\\Ob|a)a/", "ac", {}},
        {"/(?=(a+))a*b\\1/", "baaabac", {{3, 6}, {3, 4}}},
    });
}

TEST(RegexMatch, ExtendedFlagIgnoresSpaceOutsideSets) {
    runTable({
        {"/a b c/x", "abc", {{0, 3}}},
        {"/a\\ b/x", "a b", {{0, 3}}},
        {"/[ ]/x", "a ", {{1, 2}}},
        {"/( a | b )+/x", "abba", {{0, 4}, {3, 4}}},
        {"/a\r\n\tb/x", "ab", {{0, 2}}},
        {"/\\Qa b\\E/x", "a b", {{0, 3}}},
    });
}

TEST(RegexMatch, CaptureVectorContract) {
    Regex re;
    ASSERT_TRUE(re.compile("/(a)(b)?/", kFlagDelimited));
    int32_t caps[20];
    std::fill(caps, caps + 20, 99);
    int pairs = 10;
    ASSERT_TRUE(re.match("xa", caps, pairs));
    EXPECT_EQ(pairs, 3);
    EXPECT_EQ(std::vector<int32_t>(caps, caps + 20),
              (std::vector<int32_t>{1,  2,  1,  2,  -1, -1, -1, -1, -1, -1,
                                    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}));
    pairs = 1;
    ASSERT_TRUE(re.match("xa", caps, pairs));
    EXPECT_EQ(pairs, 1);
    EXPECT_EQ(caps[0], 1);
    EXPECT_EQ(caps[1], 2);
    EXPECT_EQ(caps[2], 1);  // beyond the room: untouched by this call
    pairs = 10;
    std::fill(caps, caps + 20, 99);
    EXPECT_FALSE(re.match("xyz", caps, pairs));
    EXPECT_EQ(pairs, 3);
    EXPECT_EQ(caps[0], -1);
    EXPECT_EQ(caps[19], -1);
    pairs = 0;
    EXPECT_TRUE(re.match("a", nullptr, pairs));
}

TEST(RegexMatch, CaptureRoomBelowHighestBackReferenceIsErrorTen) {
    Regex re;
    ASSERT_TRUE(re.compile("/(a)(b)\\2/", kFlagDelimited));
    int32_t caps[4];
    int pairs = 1;
    int error = 0;
    EXPECT_FALSE(re.match("abb", caps, pairs, &error));
    EXPECT_EQ(error, kPatternCaptureRoom);
    pairs = 2;
    EXPECT_TRUE(re.match("abb", caps, pairs, &error));
    EXPECT_EQ(error, 0);
}

TEST(RegexMatch, NotCompiledOrFailedNeverMatches) {
    Regex re;
    EXPECT_EQ(re.state(), kPatternNotCompiled);
    int pairs = 0;
    int error = 0;
    EXPECT_FALSE(re.match("a", nullptr, pairs, &error));
    EXPECT_EQ(error, kPatternNotCompiled);
    ASSERT_TRUE(re.compile("a", 0));
    EXPECT_TRUE(re.match("a", nullptr, pairs));
    EXPECT_FALSE(re.compile("(a", 0));  // a failed compile drops the old program
    EXPECT_FALSE(re.match("a", nullptr, pairs, &error));
    EXPECT_EQ(error, kPatternUnbalanced);
    ASSERT_TRUE(re.compile("/b/", kFlagDelimited));
    EXPECT_EQ(re.state(), kPatternOk);
    EXPECT_FALSE(re.match("a", nullptr, pairs));
}

TEST(RegexMatch, CompileScriptPatternUsesDelimitedFormAndFlags) {
    int error = -1;
    auto re = Regex::compileScriptPattern("/WELCOME (\\w+)/i", &error);
    ASSERT_TRUE(re);
    EXPECT_EQ(error, 0);
    int32_t caps[20];
    int pairs = 10;
    ASSERT_TRUE(re->match("<h1>Welcome back</h1>", caps, pairs));
    EXPECT_EQ(pairs, 2);
    EXPECT_EQ(caps[2], 12);
    EXPECT_EQ(caps[3], 16);
    size_t position = 0;
    EXPECT_FALSE(Regex::compileScriptPattern("Welcome", &error, &position));
    EXPECT_EQ(error, kPatternMalformed);
    EXPECT_FALSE(Regex::compileScriptPattern("/x/ix!", &error, &position));
    EXPECT_EQ(error, kPatternUnknownFlag);
    EXPECT_EQ(position, 5u);
}

}  // namespace
}  // namespace velk
