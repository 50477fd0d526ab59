// Secure requests through CONNECT and SOCKS tunnels: TLS with the server itself,
// over the tunnel, through a real loopback proxy.
#include "http_fixture.h"
#include "support/http_text.h"
#include "support/test_proxy.h"

namespace velk::test {
namespace {

using TunnelTls = HttpFixture;

TEST_F(TunnelTls, SecureRequestsRunTlsWithTheServerThroughEachTunnel) {
    const std::string prefixes[] = {"httpc:", "socks4:", "socks5:"};
    const TestProxy::Kind kinds[] = {TestProxy::Kind::kConnect, TestProxy::Kind::kSocks4,
                                     TestProxy::Kind::kSocks5};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(prefixes[i]);
        TestHttpServer tls({.tls = true});
        tls.setHandler(TestHttpServer::replyWith(httpResponse(200, "secret")));
        TestProxy proxy(TestProxy::options(kinds[i], tls.port()));
        load("proxy=" + prefixes[i] + "127.0.0.1:" + std::to_string(proxy.port()) +
                 "\nsecure=1\nkeepalive=1\n[a]\n$uri=/one\n[b]\n$uri=/two\n",
             0, tls.port());
        EXPECT_GE(run("a"), 0) << logText();
        EXPECT_GE(run("b"), 0) << logText();
        EXPECT_EQ(body(), "secret");
        ASSERT_TRUE(tls.waitForRequests(2, 10000));
        EXPECT_EQ(tls.requests()[1].target, "/two");
        // One tunnel and one TLS session carried both requests.
        EXPECT_EQ(tls.tlsHandshakes(), 1);
        EXPECT_EQ(proxy.tunnelsOpened(), 1);
        EXPECT_EQ(proxy.received(0).find("GET /one"), std::string::npos);
    }
}

TEST_F(TunnelTls, AKeptTunnelIsNotReusedForTheOtherSecurity) {
    TestHttpServer tls({.tls = true});
    tls.setHandler(TestHttpServer::replyWith(httpResponse(200, "secret")));
    // Without a forward port the proxy tunnels to whichever loopback port is asked.
    TestProxy proxy(TestProxy::options(TestProxy::Kind::kConnect));
    load("proxy=httpc:127.0.0.1:" + std::to_string(proxy.port()) +
         "\nkeepalive=1\n[plain1]\n[secure]\n$secure=2\n$port=" + std::to_string(tls.port()) +
         "\n[plain2]\n");
    EXPECT_GE(run("plain1"), 0) << logText();
    EXPECT_GE(run("secure"), 0) << logText();
    EXPECT_EQ(body(), "secret");
    EXPECT_GE(run("plain2"), 0) << logText();
    ASSERT_TRUE(m_server.waitForRequests(2, 10000));
    EXPECT_EQ(tls.requestCount(), 1);
    EXPECT_EQ(proxy.tunnelsOpened(), 3);
}

TEST_F(TunnelTls, ATlsFailureInsideTheTunnelIsANetworkError) {
    TestProxy proxy(TestProxy::options(TestProxy::Kind::kConnect, m_server.port()));
    load("proxy=httpc:127.0.0.1:" + std::to_string(proxy.port()) + "\ntimeout=2\n[a]\n$secure=2\n");
    EXPECT_EQ(run("a"), kResultNetwork);
    const std::string log = logText();
    EXPECT_NE(log.find("Server response:\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Failed to connect to remote host!\r\n"), std::string::npos) << log;
}

TEST_F(TunnelTls, ARefusedProtocolChoiceIsSaidInTheLog) {
    TestProxy proxy(TestProxy::options(TestProxy::Kind::kSocks5, m_server.port()));
    load("proxy=socks5:127.0.0.1:" + std::to_string(proxy.port()) + "\nsslver=0\n[a]\n$secure=2\n");
    EXPECT_EQ(run("a"), kResultNetwork);
    const std::string log = logText();
    EXPECT_NE(log.find("SSL 2.0 is not supported; use sslver=1\r\n"), std::string::npos) << log;
    EXPECT_EQ(m_server.requestCount(), 0);
}

}  // namespace
}  // namespace velk::test
