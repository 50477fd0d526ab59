// Where a "Location:" value sends a redirect, and the directory a relative one
// is taken in.
#include "http/redirect_location.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

struct LocationCase {
    const char* location;
    bool hasScheme, secure;
    const char* host;
    int32_t port;
    const char* path;
};

TEST(RedirectLocation, ResolvesAgainstTheExchangeJustMade) {
    const RedirectBase base{"main.test", 8080, false, "/shop/"};
    const LocationCase cases[] = {
        {"page2.html", false, false, "main.test", 8080, "/shop/page2.html"},
        {"/top.html", false, false, "main.test", 8080, "/top.html"},
        {"", false, false, "main.test", 8080, "/"},
        {"a b/c d.html", false, false, "main.test", 8080, "/shop/a+b/c+d.html"},
        {"http://other.test/x?q=1 2", true, false, "other.test", 80, "/x?q=1+2"},
        {"HTTPS://Other.test/x", true, true, "Other.test", 443, "/x"},
        {"http://other.test:81/y", true, false, "other.test", 81, "/y"},
        {"http://other.test:81", true, false, "other.test", 81, "/"},
        {"http://other.test", true, false, "other.test", 80, "/"},
        {"https://other.test:/z", true, true, "other.test", 443, "/z"},
        {"http://other.test:99999/z", true, false, "other.test", -1, "/z"},
        {"http://other.test:8o/z", true, false, "other.test", -1, "/z"},
        {"http:///empty-host", true, false, "main.test", 8080, "/empty-host"},
        {"http://other.test\\win", true, false, "other.test", 80, "/shop/\\win"},
    };
    RedirectTarget t;
    for (const LocationCase& c : cases) {
        resolveRedirectLocation(c.location, base, t);
        EXPECT_EQ(t.hasScheme, c.hasScheme) << c.location;
        EXPECT_EQ(t.secure, c.secure) << c.location;
        EXPECT_EQ(t.host, c.host) << c.location;
        EXPECT_EQ(t.port, c.port) << c.location;
        EXPECT_EQ(t.path, c.path) << c.location;
    }
}

TEST(RedirectLocation, PathWithoutSchemeKeepsTheSecurityOfTheExchange) {
    RedirectTarget t;
    resolveRedirectLocation("next", RedirectBase{"main.test", 8443, true, "/"}, t);
    EXPECT_TRUE(t.secure);
    EXPECT_EQ(t.port, 8443);
    std::string url;
    appendAbsoluteUrl(t, url);
    EXPECT_EQ(url, "https://main.test:8443/next");
    resolveRedirectLocation("http://h/a", RedirectBase{}, t);
    url.clear();
    appendAbsoluteUrl(t, url);
    EXPECT_EQ(url, "http://h/a");
}

TEST(RedirectLocation, DirectoryOfAUrlOrPath) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://h:81/shop/list.php", "/shop/"},
        {"http://h/shop/list.php?x=/a/b", "/shop/"},
        {"https://h/", "/"},
        {"http://h", "/"},
        {"/a/b/", "/a/b/"},
        {"/a/b?c", "/a/"},
        {"", "/"},
        {"noslash", "/"},
    };
    for (const auto& [url, directory] : cases) EXPECT_EQ(urlDirectory(url), directory) << url;
}

}  // namespace
}  // namespace velk
