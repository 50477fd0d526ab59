// The text rules of a capture: schemes, the pair scan, the header lines.
#include "app/recorder/pair_scan.h"

#include <gtest/gtest.h>

namespace velk::recorder {
namespace {

TEST(PairScan, SplitsQueriesAndBodiesAsSent) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        Pairs pairs;
    } cases[] = {
        {"x=1&y=2", {{"x", "1"}, {"y", "2"}}},
        {"a=1&b=", {{"a", "1"}, {"b", ""}}},
        {"a=1&&b=2", {{"a", "1"}, {"", ""}, {"b", "2"}}},
        {"=v", {{"", "v"}}},
        {"flag", {{"flag", ""}}},
        {"a&b", {{"a", ""}, {"b", ""}}},
        {"a=b=c", {{"a", "b=c"}}},
        {"  \t\r\na=1& b=2", {{"a", "1"}, {"b", "2"}}},
        {"{|}~a=1&\x80\xffz=2", {{"a", "1"}, {"z", "2"}}},
        {"a=x y&c=%41+%42", {{"a", "x y"}, {"c", "%41+%42"}}},
        {"a=1\0b=2"s, {{"a", "1"}}},
        {"n=\0"s, {{"n", ""}}},
        {"", {}},
        {"   ", {}},
        {"a=1&", {{"a", "1"}}},
        {"J%C3%A9r=%C3%B4&token=a%26b+c", {{"J%C3%A9r", "%C3%B4"}, {"token", "a%26b+c"}}},
    };
    for (const auto& c : cases) EXPECT_EQ(scanPairs(c.text), c.pairs) << c.text;
}

TEST(PairScan, OnlyHttpAndHttpsInAnyCaseAreRecorded) {
    const struct {
        const char* url;
        int32_t scheme;
    } cases[] = {
        {"http://host/a", 1},
        {"HTTP://HOST/A", 1},
        {"Http:x", 1},
        {"https://host/", 2},
        {"HTTPS://host/", 2},
        {"about:blank", 0},
        {"file:///etc/passwd", 0},
        {"ftp://host/f", 0},
        {"javascript:go()", 0},
        {"httpx://host", 0},
        {"", 0},
        {"http", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(schemeOf(c.url), c.scheme) << c.url;
}

TEST(PairScan, HeaderLinesGiveTheContentTypeOrHeaderPairs) {
    const struct {
        const char* headers;
        const char* contentType;
        Pairs pairs;
    } cases[] = {
        {"Content-Type: application/x-www-form-urlencoded\r\n",
         "application/x-www-form-urlencoded",
         {}},
        {"content-type:\t: text/plain  ", "text/plain", {}},
        {"CONTENT-TYPEmultipart/form-data", "multipart/form-data", {}},
        {"X-A: 1\r\n\r\nX-B: 2\n",
         "text/html",
         {{"header$", "X-A: 1"}, {"header$", ""}, {"header$", "X-B: 2"}}},
        {"  Referer: http://h/  \rContent-Type: a/b\n", "a/b", {{"header$", "Referer: http://h/"}}},
        {"\n", "text/html", {{"header$", ""}}},
    };
    for (const auto& c : cases) {
        scenario::RecordedNavigation navigation;
        navigation.contentType = "text/html";
        applyHeaderLines(c.headers, navigation);
        EXPECT_EQ(navigation.contentType, c.contentType) << c.headers;
        EXPECT_EQ(navigation.pairs, c.pairs) << c.headers;
    }
}

}  // namespace
}  // namespace velk::recorder
