#include "app/scenario/url_coding.h"

#include <gtest/gtest.h>

namespace velk::scenario {
namespace {

TEST(UrlCoding, EncodeKeepsOnlyUnreservedBytes) {
    struct Case {
        std::string in;
        bool keepCommas;
        std::string out;
    } cases[] = {
        {"a b", false, "a+b"},
        {"Az09-._", false, "Az09-._"},
        {"a,b", false, "a%2cb"},
        {"a,b", true, "a,b"},
        {"50%", false, "50%25"},
        {"~/?&=+", false, "%7e%2f%3f%26%3d%2b"},
        {"\xc3\xa9\xff", false, "%c3%a9%ff"},
        {std::string("a\0b", 3), false, "a%00b"},
        {"", false, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(urlEncode(c.in, c.keepCommas), c.out) << c.in;
}

TEST(UrlCoding, DecodeReadsLeadingHexDigitsAndDropsZeroAndCutEscapes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a+b", "a b"},  {"%41%2C%2c", "A,,"}, {"%%", "%"},        {"50%%25", "50%25"},
        {"%4g", "\x04"}, {"%zzx", "x"},        {"%00x", "x"},      {"ab%4", "ab"},
        {"ab%", "ab"},   {"x%e9", "x\xe9"},    {"plain", "plain"}, {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(urlDecode(c.in), c.out) << c.in;
}

TEST(UrlCoding, RecordedValuesSurviveDecodeThenEncode) {
    for (const char* sent : {"a%2cb", "50%25+off", "caf%c3%a9", "x%26y%3dz", "plain-text_1.0"})
        EXPECT_EQ(urlEncode(urlDecode(sent), false), sent);
}

}  // namespace
}  // namespace velk::scenario
