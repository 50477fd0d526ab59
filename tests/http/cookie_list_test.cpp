// The user's cookie list as Set-Cookie lines change it, and the header walk
// that finds them, the Location value and the body.
#include "http/cookie_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/response_header_scan.h"

namespace velk {
namespace {

std::string listed(const CookieList& cookies) {
    std::string text;
    for (const auto& [name, value] : cookies) text += "[" + name + "=" + value + "]";
    return text;
}

struct CookieCase {
    std::vector<const char*> lines;  // texts after "Set-Cookie:", in order
    const char* expected;
};

TEST(CookieList, SetCookieItems) {
    const CookieCase cases[] = {
        {{" a=1; path=/; b=2"}, "[a=1][b=2]"},
        {{" a=1", " a="}, ""},
        {{" a=1", " a=   "}, ""},
        {{" a=1; max-age=0"}, "[a=]"},
        {{" a=1; Max-Age=0 ; b=2"}, "[a=][b=2]"},
        {{" a=1; max-age=00"}, "[a=1]"},
        {{" a=1; max-age=3600"}, "[a=1]"},
        {{" max-age=0; a=1"}, "[a=1]"},
        {{" A=1; a=2"}, "[A=1][a=2]"},
        {{" a=1", " b=2", " a=3"}, "[a=3][b=2]"},
        {{" a=  x y ; b=2"}, "[a=  x y ][b=2]"},  // the value as written
        {{" a=1; Expires=Thu, 01 Jan 1970 00:00:00 GMT; Domain=x; Version=1; Comment=c; Discard=1"},
         "[a=1]"},
        {{" pathway=1; versionid=2; c=3"}, "[c=3]"},  // names taken for attributes
        {{" a=1; HttpOnly; b=2"}, "[a=1]"},           // an item without "=" ends the line
        {{" a=1; Secure"}, "[a=1]"},
        {{"a=1;b=2;;c=3"}, "[a=1][b=2]"},
        {{" x=1; y=2; max-age=0"}, "[x=1][y=]"},
        {{" a=1", " a=; max-age=0"}, ""},
        {{" a=b=c"}, "[a=b=c]"},
        {{""}, ""},
        {{" a=1\rX-Injected: 1; b=2"}, "[b=2]"},  // a value that would split the header
        {{" a=1", " a=2\n3"}, "[a=1]"},
    };
    for (const CookieCase& c : cases) {
        CookieList cookies;
        for (const char* line : c.lines) recordSetCookie(line, cookies);
        EXPECT_EQ(listed(cookies), c.expected) << c.lines.back();
    }
}

TEST(CookieList, AValueTakenAwayKeepsItsPlaceUntilSetAgain) {
    CookieList cookies;
    recordSetCookie("a=1; b=2; c=3", cookies);
    recordSetCookie("b=9; max-age=0", cookies);
    EXPECT_EQ(listed(cookies), "[a=1][b=][c=3]");
    recordSetCookie("b=4", cookies);
    EXPECT_EQ(listed(cookies), "[a=1][b=4][c=3]");
}

TEST(CookieList, HostileServerCannotGrowTheListWithoutBound) {
    CookieList cookies;
    for (size_t i = 0; i < 2 * kMaxCookies; ++i)
        recordSetCookie("n" + std::to_string(i) + "=v", cookies);
    ASSERT_EQ(cookies.size(), kMaxCookies);
    EXPECT_EQ(cookies.back().first, "n" + std::to_string(kMaxCookies - 1));
    // A full list still takes new values for the names it holds, and removals.
    recordSetCookie("n0=changed; n1=", cookies);
    EXPECT_EQ(cookies[0].second, "changed");
    EXPECT_EQ(cookies.size(), kMaxCookies - 1);

    CookieList small;
    recordSetCookie("big=" + std::string(kMaxCookieBytes, 'x') + "; max-age=0", small);
    EXPECT_TRUE(small.empty());
    recordSetCookie("ok=1", small);
    recordSetCookie("ok=" + std::string(kMaxCookieBytes, 'x'), small);  // ignored: keeps its value
    EXPECT_EQ(listed(small), "[ok=1]");
    recordSetCookie("e=" + std::string(kMaxCookieBytes - 1, 'y'), small);  // exactly at the cap
    EXPECT_EQ(small.size(), 2u);
}

TEST(ResponseHeaderScan, LocationCookiesAndBody) {
    CookieList cookies;
    const std::string response =
        "HTTP/1.1 302 Found\r\nlocation:   /next?a=1\r\nSET-COOKIE: s=1\r\nX: Location: no\r\n"
        "Set-Cookie:t=2\r\nContent-Length: 4\r\n\r\nbody";
    HeaderScan scan = scanResponseHeaders(response, cookies);
    EXPECT_EQ(scan.location, "/next?a=1");
    EXPECT_EQ(response.substr(scan.body), "body");
    EXPECT_EQ(listed(cookies), "[s=1][t=2]");
}

TEST(ResponseHeaderScan, BareNewlinesAndTwoBlocksAfterContinue) {
    CookieList cookies;
    std::string lf = "HTTP/1.1 200 OK\nSet-Cookie: a=1\n\nSet-Cookie: b=2\n";
    HeaderScan scan = scanResponseHeaders(lf, cookies);
    EXPECT_EQ(lf.substr(scan.body), "Set-Cookie: b=2\n");  // the body is not scanned
    EXPECT_EQ(listed(cookies), "[a=1]");

    std::string cont = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nLocation: x\r\n\r\nrest";
    scan = scanResponseHeaders(cont, cookies);
    EXPECT_EQ(cont.substr(scan.body), "rest");
    EXPECT_EQ(scan.location, "x");

    std::string unended = "HTTP/1.1 200 OK\r\nSet-Cookie: c=3";
    scan = scanResponseHeaders(unended, cookies);
    EXPECT_EQ(scan.body, unended.size());
    EXPECT_TRUE(scan.location.empty());
    EXPECT_EQ(listed(cookies), "[a=1][c=3]");
}

}  // namespace
}  // namespace velk
