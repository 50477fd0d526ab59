// Character references decoded and values URL-encoded, byte for byte.
#include "http/url_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace velk {
namespace {

std::string encoded(std::string_view text, size_t capacity = kEncodedValueCapacity) {
    TextBuffer out(16);
    appendDecodedAndEncoded(text, out, capacity);
    return std::string(out.view());
}

TEST(UrlEncoding, DecodesReferencesThenEncodesUnsafeBytes) {
    const std::pair<const char*, const char*> cases[] = {
        {"-._azAZ09", "-._azAZ09"},
        {"1 2", "1%202"},
        {"a&amp;b", "a%26b"},
        {"a&x", "a%26x"},
        {"&lt;&GT;&Quot;&APOS;&Amp;", "%3C%3E%22%27%26"},
        {"&#65;&#x42;&#X43;", "ABC"},
        {"&#0000065;", "A"},                   // seven digits
        {"&#00000065;", "%26%2300000065%3B"},  // eight digits: no reference
        {"&#;&#x;", "%26%23%3B%26%23x%3B"},
        {"&#6a;&#xg1;", "%26%236a%3B%26%23xg1%3B"},  // not numbers: literal text
        {"&#65", "%26%2365"},                        // no ";"
        {"&amp", "%26amp"},
        {"&#233;", "%E9"},  // up to 255: the byte itself
        {"&#0;", "%00"},
        {"&#256;", "%C4%80"},  // above 255: UTF-8
        {"&#8364;", "%E2%82%AC"},
        {"&#x1F600;", "%F0%9F%98%80"},
        {"&#xD800;", "%EF%BF%BD"},  // no character: U+FFFD
        {"&#x110000;", "%EF%BF%BD"},
        {"\xC3\xA9/?=", "%C3%A9%2F%3F%3D"},
        {"&&amp;", "%26%26"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(encoded(text), expected) << text;
}

TEST(UrlEncoding, StopsAtTheCapacityWithoutCuttingAnEscape) {
    EXPECT_EQ(encoded("abc", 3), "ab");
    EXPECT_EQ(encoded("a b", 5), "a%20");
    EXPECT_EQ(encoded("a bc", 4), "a");       // "%20" does not fit whole: the value ends
    EXPECT_EQ(encoded("a&#8364;b", 9), "a");  // nor does a character's UTF-8
    EXPECT_EQ(encoded("abc", 1), "");
    EXPECT_EQ(encoded("abc", 0), "");
    std::string big(10000, ' ');
    EXPECT_EQ(encoded(big).size(), 8190u);  // whole escapes only, within 8191
}

TEST(UrlEncoding, AppendsAfterWhatTheBufferHolds) {
    TextBuffer out(4);
    out.append("v=");
    appendDecodedAndEncoded("x y", out, 5);
    EXPECT_EQ(out.view(), "v=x%20");  // the capacity counts from where the value starts
}

TEST(UrlEncoding, ReferenceLengths) {
    uint32_t cp = 0;
    EXPECT_EQ(decodeCharacterReference("&amp;rest", cp), 5u);
    EXPECT_EQ(cp, uint32_t('&'));
    EXPECT_EQ(decodeCharacterReference("&#x20AC;", cp), 8u);
    EXPECT_EQ(cp, 0x20ACu);
    EXPECT_EQ(decodeCharacterReference("&nbsp;", cp), 0u);
    EXPECT_EQ(decodeCharacterReference("&", cp), 0u);
    EXPECT_EQ(decodeCharacterReference("x", cp), 0u);
}

}  // namespace
}  // namespace velk
