#include "net/proxy_handshake.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "net/connection.h"
#include "net_test_helpers.h"
#include "support/test_http_server.h"
#include "support/test_proxy.h"

namespace velk::net {
namespace {

using test::TestHttpServer;
using test::TestProxy;
using testing::readResponse;
using testing::Stopwatch;
using testing::writeAll;

const std::string kOk = test::httpResponse(200, "through");

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += char(v);
    return out;
}

std::string portBytes(uint16_t port) {
    return bytes({port >> 8, port & 0xff});
}

// A connection to the proxy, ready for its handshake.
struct ProxyClient {
    explicit ProxyClient(const TestProxy& proxy, int timeoutSeconds = 10) {
        EXPECT_TRUE(conn.init("127.0.0.1", proxy.port(), false, 1, timeoutSeconds).isOk());
        EXPECT_TRUE(conn.connect().isOk());
    }
    int handshake(const std::string& host, int port, const std::string& credentials,
                  ProxyKind kind) {
        return proxyHandshake(conn, host, port, credentials, kind, log);
    }
    // After a handshake: one HTTP exchange through the tunnel.
    std::string exchange() {
        if (writeAll(conn, "GET /t HTTP/1.1\r\n\r\n") <= 0) return "";
        return readResponse(conn);
    }
    Connection conn;
    std::string log;
};

TestProxy::Options proxyOf(TestProxy::Kind kind, uint16_t forwardPort = 0) {
    return TestProxy::options(kind, forwardPort);
}

TEST(ProxyHandshake, NoneAndPlainHttpNeedNoHandshake) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(kOk));
    TestProxy proxy(proxyOf(TestProxy::Kind::kHttpForward));
    ProxyClient client(proxy);
    EXPECT_EQ(client.handshake("127.0.0.1", server.port(), "", ProxyKind::kNone), 0);
    EXPECT_EQ(client.handshake("127.0.0.1", server.port(), "", ProxyKind::kHttp), 0);
    EXPECT_EQ(client.log, "");
    // The forward proxy carries an absolute-form request to its target.
    const std::string request =
        "GET http://127.0.0.1:" + std::to_string(server.port()) + "/p HTTP/1.1\r\n\r\n";
    ASSERT_GT(writeAll(client.conn, request), 0);
    EXPECT_EQ(readResponse(client.conn), kOk);
    ASSERT_TRUE(server.waitForRequests(1, 10000));
    EXPECT_EQ(server.requests()[0].raw, request);
}

// ---- HTTP CONNECT ----

TEST(ConnectHandshake, OpensATunnelAndLogsRequestAndResponse) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(kOk));
    TestProxy proxy(proxyOf(TestProxy::Kind::kConnect));
    ProxyClient client(proxy);
    const std::string request =
        "CONNECT 127.0.0.1:" + std::to_string(server.port()) + " HTTP/1.0\r\n\r\n";
    ASSERT_EQ(client.handshake("127.0.0.1", server.port(), "", ProxyKind::kHttpConnect), 0);
    EXPECT_EQ(client.log, request +
                              "Server response:\r\n"
                              "HTTP/1.0 200 Connection established\r\n\r\n");
    EXPECT_EQ(proxy.handshake(0), request);
    EXPECT_EQ(client.exchange(), kOk);
}

// Port 80 goes without ":80".  The refusing proxy never opens anything.
TEST(ConnectHandshake, PortEightyIsLeftOutAndARefusalIsLogged) {
    TestProxy::Options o = proxyOf(TestProxy::Kind::kConnect);
    o.connectStatus = 403;
    TestProxy proxy(o);
    ProxyClient client(proxy);
    EXPECT_EQ(client.handshake("localhost", 80, "", ProxyKind::kHttpConnect), -1);
    EXPECT_EQ(proxy.handshake(0), "CONNECT localhost HTTP/1.0\r\n\r\n");
    EXPECT_EQ(client.log,
              "CONNECT localhost HTTP/1.0\r\n\r\n"
              "Server response:\r\n"
              "HTTP/1.0 403 Refused\r\n\r\n"
              "Server rejected CONNECT request.\r\n");
    EXPECT_EQ(proxy.tunnelsOpened(), 0);
}

struct ReplyCase {
    const char* name;
    std::string reply;
    int result;
    std::string loggedResponse;  // what follows "Server response:\r\n"
    int byteDelayMs = -1;
};

TEST(ConnectHandshake, RepliesAreJudgedAndLoggedAsReceived) {
    const ReplyCase cases[] = {
        {"extra bytes", "HTTP/1.1 200 OK\r\nVia: p\r\n\r\nEXTRA", 0,
         "HTTP/1.1 200 OK\r\nVia: p\r\n\r\nEXTRA\r\n"},
        {"content-range joins the next block",
         "HTTP/1.0 200 OK\r\nA: b\r\n\r\ncontent-range: bytes 0-1/2\r\n\r\nxy", 0,
         "HTTP/1.0 200 OK\r\nA: b\r\ncontent-range: bytes 0-1/2\r\n\r\nxy\r\n"},
        {"status without text", "HTTP/1.0 200\r\n\r\n", -1, "HTTP/1.0 200\r\n\r\n"},
        {"not HTTP", "HTXP/1.0 200 OK\r\n\r\n", -1, "HTXP/1.0 200 OK\r\n\r\n"},
        {"status not digits", "HTTP/1.0 2x0 OK\r\n\r\n", -1, "HTTP/1.0 2x0 OK\r\n\r\n"},
        {"reply in pieces", "HTTP/1.0 200 OK\r\n\r\n", 0, "HTTP/1.0 200 OK\r\n\r\n", 2},
        {"auth required", "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", -1,
         "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n"
         "Server rejected CONNECT request.\r\n"},
    };
    TestHttpServer server;
    for (const ReplyCase& c : cases) {
        TestProxy::Options o = proxyOf(TestProxy::Kind::kConnect, server.port());
        o.connectReply = c.reply;
        o.replyByteDelayMs = c.byteDelayMs;
        TestProxy proxy(o);
        ProxyClient client(proxy);
        EXPECT_EQ(client.handshake("localhost", 8080, "", ProxyKind::kHttpConnect), c.result)
            << c.name;
        EXPECT_EQ(client.log,
                  "CONNECT localhost:8080 HTTP/1.0\r\n\r\nServer response:\r\n" + c.loggedResponse)
            << c.name;
    }
}

TEST(ConnectHandshake, EndlessReplyFailsAtTheCap) {
    TestProxy::Options o = proxyOf(TestProxy::Kind::kConnect);
    o.connectReply = "HTTP/1.0 200 OK\r\n" + std::string(kMaxConnectReply + 4096, 'h');
    o.connectStatus = 500;
    TestProxy proxy(o);
    ProxyClient client(proxy);
    EXPECT_EQ(client.handshake("localhost", 8080, "", ProxyKind::kHttpConnect), -1);
    EXPECT_EQ(client.log, "CONNECT localhost:8080 HTTP/1.0\r\n\r\n");
}

TEST(ConnectHandshake, SilentOrClosingProxyFails) {
    TestProxy::Options silent = proxyOf(TestProxy::Kind::kConnect);
    silent.silent = true;
    TestProxy quiet(silent);
    ProxyClient waiting(quiet, 1);
    Stopwatch watch;
    EXPECT_EQ(waiting.handshake("localhost", 8080, "", ProxyKind::kHttpConnect), -1);
    EXPECT_GE(watch.elapsedMs(), 900.0);
    EXPECT_LT(watch.elapsedMs(), 15000.0);

    TestProxy::Options closing = proxyOf(TestProxy::Kind::kConnect);
    closing.connectReply = "HTTP/1.0 200";  // then closes
    closing.connectStatus = 500;
    TestProxy gone(closing);
    ProxyClient cut(gone);
    EXPECT_EQ(cut.handshake("localhost", 8080, "", ProxyKind::kHttpConnect), -1);
}

// ---- SOCKS4 ----

TEST(Socks4Handshake, SendsNonameWithoutCredentialsAndTunnels) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(kOk));
    TestProxy proxy(proxyOf(TestProxy::Kind::kSocks4));
    ProxyClient client(proxy);
    ASSERT_EQ(client.handshake("127.0.0.1", server.port(), "", ProxyKind::kSocks4), 0);
    EXPECT_EQ(client.log, "Connected to SOCK4 proxy.\r\n");
    EXPECT_EQ(proxy.handshake(0), bytes({4, 1}) + portBytes(server.port()) + bytes({127, 0, 0, 1}) +
                                      "noname" + bytes({0}));
    EXPECT_EQ(client.exchange(), kOk);
}

TEST(Socks4Handshake, CredentialsAreTheUserId) {
    TestHttpServer server;
    TestProxy proxy(proxyOf(TestProxy::Kind::kSocks4));
    ProxyClient client(proxy);
    ASSERT_EQ(client.handshake("127.0.0.1", server.port(), "alice:pw", ProxyKind::kSocks4), 0);
    EXPECT_EQ(proxy.handshake(0).substr(8), "alice:pw" + bytes({0}));
}

TEST(Socks4Handshake, ReplyInPiecesIsReadWholeBeforeTheTunnel) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(kOk));
    TestProxy::Options o = proxyOf(TestProxy::Kind::kSocks4);
    o.replyByteDelayMs = 20;
    TestProxy proxy(o);
    ProxyClient client(proxy);
    ASSERT_EQ(client.handshake("127.0.0.1", server.port(), "", ProxyKind::kSocks4), 0);
    EXPECT_EQ(client.exchange(), kOk);
}

TEST(Socks4Handshake, RefusalsFail) {
    TestProxy::Options o = proxyOf(TestProxy::Kind::kSocks4);
    o.socks4Reply = 91;
    TestProxy refusing(o);
    ProxyClient client(refusing);
    EXPECT_EQ(client.handshake("127.0.0.1", 8080, "", ProxyKind::kSocks4), -1);
    EXPECT_EQ(client.log, "Connected to SOCK4 proxy.\r\n");

    // A target that does not resolve fails before anything is sent.
    TestProxy proxy(proxyOf(TestProxy::Kind::kSocks4));
    ProxyClient unresolved(proxy);
    EXPECT_EQ(unresolved.handshake("", 8080, "", ProxyKind::kSocks4), -1);
    EXPECT_EQ(unresolved.log, "Connected to SOCK4 proxy.\r\n");
}

// ---- SOCKS5 ----

TEST(Socks5Handshake, WithoutCredentialsOffersNoAuthenticationAndTunnels) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(kOk));
    TestProxy proxy(proxyOf(TestProxy::Kind::kSocks5));
    ProxyClient client(proxy);
    ASSERT_EQ(client.handshake("127.0.0.1", server.port(), "", ProxyKind::kSocks5), 0);
    EXPECT_EQ(client.log, "Connected to SOCK5 proxy.\r\n");
    EXPECT_EQ(proxy.handshake(0),
              bytes({5, 1, 0}) + bytes({5, 1, 0, 1, 127, 0, 0, 1}) + portBytes(server.port()));
    EXPECT_EQ(client.exchange(), kOk);
}

// An IPv6 target goes as address type 4; SOCKS4 has no way to carry one.
TEST(Socks5Handshake, IPv6TargetIsSentAsItsSixteenBytes) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(kOk));
    TestProxy proxy(proxyOf(TestProxy::Kind::kSocks5, server.port()));
    ProxyClient client(proxy);
    ASSERT_EQ(client.handshake("[::1]", 8080, "", ProxyKind::kSocks5), 0);
    EXPECT_EQ(proxy.handshake(0), bytes({5, 1, 0}) + bytes({5, 1, 0, 4}) + std::string(15, '\0') +
                                      bytes({1}) + portBytes(8080));
    EXPECT_EQ(client.exchange(), kOk);

    TestProxy four(proxyOf(TestProxy::Kind::kSocks4, server.port()));
    ProxyClient old(four);
    EXPECT_EQ(old.handshake("[::1]", 8080, "", ProxyKind::kSocks4), -1);
    EXPECT_EQ(old.log, "Connected to SOCK4 proxy.\r\nSOCKS4 carries IPv4 addresses only.\r\n");
}

TEST(Socks5Handshake, UserAndPasswordAreSentInTheSubNegotiation) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(kOk));
    TestProxy::Options o = proxyOf(TestProxy::Kind::kSocks5);
    o.socks5User = "alice";
    o.socks5Password = "se:cret";
    TestProxy proxy(o);
    ProxyClient client(proxy);
    ASSERT_EQ(client.handshake("127.0.0.1", server.port(), "alice:se:cret", ProxyKind::kSocks5), 0);
    EXPECT_EQ(proxy.handshake(0), bytes({5, 1, 2}) + bytes({1, 5}) + "alice" + bytes({7}) +
                                      "se:cret" + bytes({5, 1, 0, 1, 127, 0, 0, 1}) +
                                      portBytes(server.port()));
    EXPECT_EQ(client.exchange(), kOk);
}

TEST(Socks5Handshake, WrongPasswordFails) {
    TestProxy::Options o = proxyOf(TestProxy::Kind::kSocks5);
    o.socks5User = "alice";
    o.socks5Password = "secret";
    TestProxy proxy(o);
    ProxyClient client(proxy);
    EXPECT_EQ(client.handshake("127.0.0.1", 8080, "alice:wrong", ProxyKind::kSocks5), -1);
}

// Credentials without a colon are no credentials: only method 0 is offered, and a
// proxy that picks user/password anyway is not answered.
TEST(Socks5Handshake, CredentialsWithoutColonOfferOnlyNoAuthentication) {
    TestProxy::Options o = proxyOf(TestProxy::Kind::kSocks5);
    o.socks5Method = 2;
    TestProxy proxy(o);
    ProxyClient client(proxy);
    EXPECT_EQ(client.handshake("127.0.0.1", 8080, "alice", ProxyKind::kSocks5), -1);
    client.conn.close();
    // Give the proxy a moment to record; the greeting is all it ever got.
    for (int i = 0; i < 100 && proxy.handshake(0).size() < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(proxy.handshake(0), bytes({5, 1, 0}));
}

TEST(Socks5Handshake, RefusalsFail) {
    struct Case {
        const char* name;
        int method;
        uint8_t reply;
        std::string credentials;
    };
    const Case cases[] = {
        {"no acceptable method", 0xFF, 0, ""},
        {"unknown method", 1, 0, ""},
        {"empty password", 2, 0, "alice:"},
        {"connect refused", -1, 2, ""},
    };
    for (const Case& c : cases) {
        TestProxy::Options o = proxyOf(TestProxy::Kind::kSocks5);
        o.socks5Method = c.method;
        o.socks5Reply = c.reply;
        TestProxy proxy(o);
        ProxyClient client(proxy);
        EXPECT_EQ(client.handshake("127.0.0.1", 8080, c.credentials, ProxyKind::kSocks5), -1)
            << c.name;
        EXPECT_EQ(client.log, "Connected to SOCK5 proxy.\r\n") << c.name;
    }
}

// The connect reply's length follows its address type; all of it is consumed, so
// the server's response starts clean.
TEST(Socks5Handshake, EveryBoundAddressTypeIsReadWhole) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(kOk));
    for (auto bound : {TestProxy::BoundAddress::kIPv4, TestProxy::BoundAddress::kIPv6,
                       TestProxy::BoundAddress::kDomain}) {
        for (int delay : {-1, 5}) {
            TestProxy::Options o = proxyOf(TestProxy::Kind::kSocks5);
            o.socks5Bound = bound;
            o.replyByteDelayMs = delay;
            TestProxy proxy(o);
            ProxyClient client(proxy);
            ASSERT_EQ(client.handshake("127.0.0.1", server.port(), "", ProxyKind::kSocks5), 0);
            EXPECT_EQ(client.exchange(), kOk) << int(bound) << " " << delay;
        }
    }
}

TEST(Socks5Handshake, SilentProxyFailsWithinTheTimeout) {
    TestProxy::Options o = proxyOf(TestProxy::Kind::kSocks5);
    o.silent = true;
    TestProxy proxy(o);
    ProxyClient client(proxy, 1);
    Stopwatch watch;
    EXPECT_EQ(client.handshake("127.0.0.1", 8080, "", ProxyKind::kSocks5), -1);
    EXPECT_LT(watch.elapsedMs(), 15000.0);
}

// ---- The handshake's own policy ----

// A handshake is bounded by the timeout even under nowait and never paced by the
// speed limit; the user's own policy comes back once it ends.
struct HandshakePolicyCase {
    const char* name;
    bool noWait;
    int32_t bytesPerSecond;
};

class HandshakePolicyTable : public ::testing::TestWithParam<HandshakePolicyCase> {};

TEST_P(HandshakePolicyTable, SilentProxyFailsWithinTheTimeout) {
    TestProxy::Options o = proxyOf(TestProxy::Kind::kSocks5);
    o.silent = true;
    TestProxy proxy(o);
    ProxyClient client(proxy, 1);
    client.conn.setNoWait(GetParam().noWait);
    client.conn.setSpeedLimit(GetParam().bytesPerSecond);
    Stopwatch watch;
    EXPECT_EQ(client.handshake("127.0.0.1", 8080, "", ProxyKind::kSocks5), -1);
    EXPECT_GE(watch.elapsedMs(), 900.0);
    EXPECT_LT(watch.elapsedMs(), 15000.0);
}

TEST_P(HandshakePolicyTable, WorkingProxyIsNotPacedAndTheUsersPolicyReturns) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(kOk));
    TestProxy proxy(proxyOf(TestProxy::Kind::kSocks5));
    ProxyClient client(proxy);
    client.conn.setNoWait(GetParam().noWait);
    client.conn.setSpeedLimit(GetParam().bytesPerSecond);
    Stopwatch watch;
    // 25 bytes each way: paced at 20 bytes a second they would take over a second.
    ASSERT_EQ(client.handshake("127.0.0.1", server.port(), "", ProxyKind::kSocks5), 0);
    EXPECT_LT(watch.elapsedMs(), 900.0);
    // Nothing has been asked through the tunnel yet: only nowait answers at once.
    if (GetParam().noWait) {
        EXPECT_TRUE(client.conn.waitReadable().isOk());
    }
    if (GetParam().bytesPerSecond != 0) {
        Stopwatch paced;
        ASSERT_EQ(testing::countOf(client.conn.write("GET /", 5)), 5);
        EXPECT_GE(paced.elapsedMs(), 200.0);
    }
}

INSTANTIATE_TEST_SUITE_P(ProxyHandshake, HandshakePolicyTable,
                         ::testing::Values(HandshakePolicyCase{"nowait", true, 0},
                                           HandshakePolicyCase{"limited", false, 20}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velk::net
