#include "net/proxy_spec.h"

#include <gtest/gtest.h>

namespace velk::net {
namespace {

struct ParseCase {
    std::string option;
    bool ok;
    ProxyKind kind;
    std::string host;
    int port;
    std::string credentials;
};

class ParseProxySpecTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseProxySpecTable, GivesKindHostPortAndCredentials) {
    const ParseCase& c = GetParam();
    ProxySpec proxy;
    EXPECT_EQ(parseProxySpec(c.option, proxy), c.ok) << c.option;
    EXPECT_EQ(proxy.kind, c.kind) << c.option;
    EXPECT_EQ(proxy.host, c.host) << c.option;
    EXPECT_EQ(proxy.port, c.port) << c.option;
    EXPECT_EQ(proxy.credentials, c.credentials) << c.option;
}

const std::string k255(255, 'h');
const std::string k256(256, 'h');
const std::string kCred255 = std::string(250, 'u') + ":pass";  // 255 characters
const std::string kCred256 = std::string(251, 'u') + ":pass";

INSTANTIATE_TEST_SUITE_P(
    Options, ParseProxySpecTable,
    ::testing::Values(
        ParseCase{"", true, ProxyKind::kNone, "", 0, ""},
        ParseCase{"socks5://user:pw@gate:9050", true, ProxyKind::kSocks5, "gate", 9050, "user:pw"},
        ParseCase{"gate", true, ProxyKind::kHttp, "gate", 8000, ""},
        ParseCase{"gate:3128", true, ProxyKind::kHttp, "gate", 3128, ""},
        ParseCase{"socks4:gate", true, ProxyKind::kSocks4, "gate", 1080, ""},
        ParseCase{"socks5:gate", true, ProxyKind::kSocks5, "gate", 1080, ""},
        ParseCase{"httpc:gate", true, ProxyKind::kHttpConnect, "gate", 8000, ""},
        ParseCase{"http://10.0.0.1:81", true, ProxyKind::kHttp, "10.0.0.1", 81, ""},
        ParseCase{"http://[::1]:81", true, ProxyKind::kHttp, "[::1]", 81, ""},
        ParseCase{"socks5://u:p@[fe80::1]", true, ProxyKind::kSocks5, "[fe80::1]", 1080, "u:p"},
        // Every slash and colon after the prefix is skipped.
        ParseCase{"httpc::/:/gate:99", true, ProxyKind::kHttpConnect, "gate", 99, ""},
        // Prefixes match exactly as written.
        ParseCase{"SOCKS5:gate", true, ProxyKind::kHttp, "SOCKS5", 0, ""},
        ParseCase{"user:pw@gate", true, ProxyKind::kHttp, "gate", 8000, "user:pw"},
        ParseCase{kCred255 + "@gate", true, ProxyKind::kHttp, "gate", 8000, kCred255},
        // Over-long credentials are dropped but the host still counts.
        ParseCase{kCred256 + "@gate", true, ProxyKind::kHttp, "gate", 8000, ""},
        ParseCase{k255 + ":1", true, ProxyKind::kHttp, k255, 1, ""},
        ParseCase{"socks4:" + k256, false, ProxyKind::kNone, "", 0, ""},
        ParseCase{k256, false, ProxyKind::kNone, "", 0, ""},
        ParseCase{"socks5://", false, ProxyKind::kNone, "", 0, ""},
        ParseCase{"socks5://user:pw@", false, ProxyKind::kNone, "", 0, ""},
        ParseCase{":8080", false, ProxyKind::kNone, "", 0, ""},
        // A port that no TCP port can be never turns into a different one.
        ParseCase{"gate:70000", true, ProxyKind::kHttp, "gate", 0, ""}));

TEST(ParseProxySpec, FailedParseClearsWhatAnEarlierParseLeft) {
    ProxySpec proxy;
    ASSERT_TRUE(parseProxySpec("socks5://a:b@gate:9050", proxy));
    EXPECT_FALSE(parseProxySpec("socks5://a:b@", proxy));
    EXPECT_EQ(proxy.kind, ProxyKind::kNone);
    EXPECT_EQ(proxy.credentials, "");
}

}  // namespace
}  // namespace velk::net
