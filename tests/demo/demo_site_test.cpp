// The site's routing without sockets: what the server would wait and send.
#include "demo_site.h"

#include <gtest/gtest.h>

#include "demo_options.h"

namespace velk::demo {
namespace {

HttpRequest requestFor(std::string method, std::string path, std::string query = "") {
    HttpRequest request;
    request.method = std::move(method);
    request.path = std::move(path);
    request.query = std::move(query);
    return request;
}

TEST(DemoSite, SlowPageDelayDefaultsAndIsCapped) {
    DemoSite site;
    const std::pair<const char*, int> cases[] = {
        {"", 300},
        {"ms=0", 0},
        {"ms=1200", 1200},
        {"ms=5001", 5000},
        {"ms=99999999999999999999", 300},
        {"ms=abc", 300},
        {"ms=-5", 300},
    };
    for (const auto& [query, ms] : cases) {
        const HttpResponse response = site.handle(requestFor("GET", "/slow", query));
        EXPECT_EQ(response.status, 200) << query;
        EXPECT_EQ(response.delay.count(), ms) << query;
        EXPECT_NE(response.body.find("took " + std::to_string(ms) + " ms"), std::string::npos);
    }
}

TEST(DemoSite, OnlyTheSlowPageWaits) {
    DemoSite site;
    for (const char* path : {"/", "/login", "/products", "/search", "/nope"})
        EXPECT_EQ(site.handle(requestFor("GET", path)).delay.count(), 0) << path;
}

TEST(DemoSite, HeadIsAnsweredLikeGet) {
    DemoSite site;
    EXPECT_EQ(site.handle(requestFor("HEAD", "/product", "id=4")).body,
              site.handle(requestFor("GET", "/product", "id=4")).body);
}

TEST(DemoOptions, ParsesPortAndPortFile) {
    const DemoOptions spaced = DemoOptions::parse({"--port", "0", "--port-file", "/tmp/p"});
    EXPECT_TRUE(spaced.error.empty());
    EXPECT_EQ(spaced.port, 0);
    EXPECT_EQ(spaced.portFile, "/tmp/p");
    const DemoOptions joined = DemoOptions::parse({"--port=65535", "--port-file=x"});
    EXPECT_EQ(joined.port, 65535);
    EXPECT_EQ(joined.portFile, "x");
    EXPECT_EQ(DemoOptions::parse({}).port, DemoOptions::kDefaultPort);
    EXPECT_TRUE(DemoOptions::parse({"--help"}).help);
    EXPECT_EQ(DemoOptions::parse({"--max-connections=12000"}).maxConnections, 12000);
}

TEST(DemoOptions, RejectsBadCommandLines) {
    const std::vector<std::vector<std::string>> bad = {
        {"--port"},
        {"--port", "65536"},
        {"--port", "-1"},
        {"--port=abc"},
        {"--port-file"},
        {"--port-file="},
        {"--portx=1"},
        {"8080"},
        {"--max-connections=0"},
        {"--max-connections", "100001"},
    };
    for (const auto& args : bad) EXPECT_FALSE(DemoOptions::parse(args).error.empty()) << args[0];
}

}  // namespace
}  // namespace velk::demo
