#include <gtest/gtest.h>

#include "form_data.h"
#include "text_util.h"

namespace velk::demo {
namespace {

TEST(EscapeHtml, EscapesEveryCharacterThatCouldLeaveTextOrAttribute) {
    EXPECT_EQ(escapeHtml("<a href=\"x\" title='y'>&amp;</a>"),
              "&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;amp;&lt;/a&gt;");
    EXPECT_EQ(escapeHtml("plain caf\xc3\xa9"), "plain caf\xc3\xa9");
}

TEST(DecodeFormComponent, DecodesPercentAndPlus) {
    const std::pair<const char*, const char*> cases[] = {
        {"a+b", "a b"},
        {"%3Cscript%3E", "<script>"},
        {"%e2%82%ac", "\xe2\x82\xac"},
        {"100%", "100%"},
        {"%4", "%4"},
        {"%zz1", "%zz1"},
        {"%2B+%2b", "+ +"},
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(decodeFormComponent(in), out) << in;
}

TEST(FormData, ParsesFieldsAndTakesTheFirstOfRepeatedNames) {
    const FormData form = FormData::parse("user=ann+lee&token=&&flag&user=bob&p%61ss=x%26y");
    EXPECT_EQ(form.get("user"), "ann lee");
    EXPECT_TRUE(form.has("token"));
    EXPECT_EQ(form.get("token"), "");
    EXPECT_TRUE(form.has("flag"));
    EXPECT_EQ(form.get("pass"), "x&y");
    EXPECT_FALSE(form.has("missing"));
    EXPECT_EQ(form.size(), 5u);
}

TEST(FormData, ReadsCookieHeader) {
    const FormData cookies = FormData::parseCookies("theme=dark;session=ab%20c ;  empty=; ;x");
    EXPECT_EQ(cookies.get("session"), "ab%20c") << "cookie values are not decoded";
    EXPECT_EQ(cookies.get("theme"), "dark");
    EXPECT_TRUE(cookies.has("empty"));
    EXPECT_TRUE(cookies.has("x"));
}

TEST(ParseUnsigned, RejectsSignsSpacesAndOverflow) {
    EXPECT_EQ(parseUnsigned("65535", 65535), 65535u);
    EXPECT_EQ(parseUnsigned("007", 10), 7u);
    for (const char* bad : {"", "-1", "+1", " 1", "1 ", "65536", "1x", "99999999999999999999999"})
        EXPECT_FALSE(parseUnsigned(bad, 65535)) << bad;
}

}  // namespace
}  // namespace velk::demo
