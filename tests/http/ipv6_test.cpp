// Servers reached by IPv6 literal addresses over real sockets on ::1: the bytes
// they receive (the Host header keeps the brackets), redirects to them, and TLS
// without a server name.
#include "http_fixture.h"

namespace velk::test {
namespace {

class Ipv6Hosts : public HttpFixture {
protected:
    static std::string hostOf(const TestHttpServer& server) {
        return "[::1]:" + std::to_string(server.port());
    }
};

TEST_F(Ipv6Hosts, ServerOptionRequestKeyAndLocationReachTheLiteral) {
    TestHttpServer six(TestHttpServer::Options{.tls = false, .ipv6 = true});
    six.setHandler([](const ReceivedRequest& req, Responder& r) { r.respond(200, req.target); });
    m_server.setHandler([&six](const ReceivedRequest&, Responder& r) {
        r.respond(302, "", "Location: http://" + hostOf(six) + "/moved\r\n");
    });
    const std::string script =
        "[direct]\n$uri=/direct\n[key]\n$server=[::1]\n$port=" + std::to_string(six.port()) +
        "\n$uri=/key\n[onfour]\n$server=127.0.0.1\n$port=" + std::to_string(m_server.port()) +
        "\n$uri=/away\n";
    // The general server option names ::1; one request goes to the IPv4 server.
    m_set = std::make_unique<HttpTestSet>();
    ASSERT_TRUE(ScriptParser(*m_set).parse("server=[::1]\nport=" + std::to_string(six.port()) +
                                           "\n" + script));
    startUser(0);
    for (const char* name : {"direct", "key", "onfour"}) EXPECT_GE(run(name), 0) << logText();
    EXPECT_EQ(body(), "/moved");

    const auto got = six.requests();
    ASSERT_EQ(got.size(), 3u);
    const std::string host = "Host: " + hostOf(six) + "\r\n";
    EXPECT_EQ(got[0].raw, "GET /direct HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n");
    EXPECT_EQ(got[1].raw, "GET /key HTTP/1.1\r\n" + host + "Referer: http://" + hostOf(six) +
                              "/direct\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(got[2].target, "/moved");
    EXPECT_EQ(got[2].header("Host"), hostOf(six));
}

TEST_F(Ipv6Hosts, TlsToALiteralSendsNoServerName) {
    TestHttpServer six(TestHttpServer::Options{.tls = true, .ipv6 = true});
    m_set = std::make_unique<HttpTestSet>();
    ASSERT_TRUE(ScriptParser(*m_set).parse(
        "server=[::1]\nsecure=1\nport=" + std::to_string(six.port()) + "\n[a]\n$uri=/\n"));
    startUser(0);
    EXPECT_GE(run("a"), 0) << logText();
    ASSERT_EQ(six.requestCount(), 1);
    EXPECT_EQ(six.serverName(0), "");
    EXPECT_EQ(six.requests()[0].header("Host"), hostOf(six));
}

}  // namespace
}  // namespace velk::test
