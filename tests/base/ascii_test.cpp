#include "base/ascii.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <string_view>

namespace velk {
namespace {

using namespace std::string_view_literals;

TEST(AsciiTest, ComparesIgnoringAsciiCaseOnly) {
    struct Case {
        std::string_view a, b;
        bool equal;
    };
    const Case cases[] = {
        {"Content-Length", "content-length", true},
        {"$FAIL", "$fail", true},
        {"", "", true},
        {"on", "off", false},
        {"ab", "abc", false},
        {"[", "{", false},  // one case apart only for letters
        {"@", "`", false},
        {"\xC4", "\xE4", false},      // Latin-1 letters never fold
        {"a\0b"sv, "a\0c"sv, false},  // the whole view counts, NULs too
    };
    for (const Case& c : cases) {
        EXPECT_EQ(equalsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(equalsNoCase(c.b, c.a), c.equal) << c.b << " / " << c.a;
    }
}

TEST(AsciiTest, PrefixesAndSearches) {
    EXPECT_TRUE(startsWithNoCase("SET-COOKIE: a=1", "Set-Cookie:"));
    EXPECT_TRUE(startsWithNoCase("x", ""));
    EXPECT_FALSE(startsWithNoCase("Set", "Set-Cookie:"));
    EXPECT_FALSE(startsWithNoCase(" Set-Cookie:", "Set-Cookie:"));

    const std::string page = "<a><INPUT type=hidden><input name=x>";
    EXPECT_EQ(findNoCase(page, "<input"), 3u);
    EXPECT_EQ(findNoCase(page, "<input", 4), 22u);
    EXPECT_EQ(findNoCase(page, "<select"), std::string_view::npos);
    EXPECT_EQ(findNoCase(page, "<input", page.size()), std::string_view::npos);
    EXPECT_EQ(findNoCase("ab", "abc"), std::string_view::npos);
}

TEST(AsciiTest, HostLocaleDoesNotChangeTheAnswer) {
    // A host may switch the process to a Latin-1 locale, where the C library
    // would fold 0xC4 and 0xE4 together.
    const char* before = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = before ? before : "C";
    if (std::setlocale(LC_CTYPE, "de_DE.ISO-8859-1") == nullptr &&
        std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr)
        GTEST_SKIP() << "no other locale installed";
    EXPECT_FALSE(equalsNoCase("\xC4", "\xE4"));
    EXPECT_TRUE(equalsNoCase("HOST", "host"));
    std::setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
}  // namespace velk
