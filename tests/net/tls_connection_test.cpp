#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/connection.h"
#include "net_test_helpers.h"
#include "support/test_http_server.h"

namespace velk::net {
namespace {

using test::Responder;
using test::TestHttpServer;
using testing::countOf;
using testing::readResponse;
using testing::Stopwatch;
using testing::writeAll;

TEST(TlsConnection, RoundTripSendsTheHostAsServerName) {
    TestHttpServer server(TestHttpServer::Options{.tls = true});
    server.setHandler(TestHttpServer::replyWith(test::httpResponse(200, "secret")));
    Connection conn;
    ASSERT_TRUE(conn.init("localhost", server.port(), true, 1, 10).isOk());
    ASSERT_TRUE(conn.connect().isOk());
    EXPECT_TRUE(conn.isSecure());
    const std::string request = "GET /s HTTP/1.1\r\nHost: localhost\r\n\r\n";
    ASSERT_EQ(writeAll(conn, request), int(request.size()));
    EXPECT_EQ(readResponse(conn), "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nsecret");
    ASSERT_TRUE(server.waitForRequests(1, 10000));
    EXPECT_EQ(server.requests()[0].raw, request);
    EXPECT_EQ(server.serverName(0), "localhost");
}

TEST(TlsConnection, AnAddressIsNotSentAsServerName) {
    TestHttpServer server(TestHttpServer::Options{.tls = true});
    Connection conn;
    ASSERT_TRUE(conn.init("127.0.0.1", server.port(), true, 1, 10).isOk());
    ASSERT_TRUE(conn.connect().isOk());
    ASSERT_GT(writeAll(conn, "GET / HTTP/1.1\r\n\r\n"), 0);
    EXPECT_NE(readResponse(conn), "");
    EXPECT_EQ(server.tlsHandshakes(), 1);
    EXPECT_EQ(server.serverName(0), "");
}

TEST(TlsConnection, ProtocolChoicesOtherThanOneAreRefusedWithAReason) {
    Connection conn;
    const Status sslTwo = conn.init("127.0.0.1", 443, true, 0, 10);
    EXPECT_FALSE(sslTwo.isOk());
    EXPECT_EQ(sslTwo.message(), "SSL 2.0 is not supported; use sslver=1\r\n");
    const Status seven = conn.init("127.0.0.1", 443, true, 7, 10);
    EXPECT_FALSE(seven.isOk());
    EXPECT_NE(seven.message().find("sslver=7"), std::string::npos);
    EXPECT_EQ(seven.message().substr(seven.message().size() - 2), "\r\n");
    // The choice matters only for secure connections.
    const Status plain = conn.init("127.0.0.1", 443, false, 0, 10);
    EXPECT_TRUE(plain.isOk());
    EXPECT_EQ(plain.message(), "");
}

struct HandshakeFailure {
    const char* name;
    std::function<void(Responder&)> server;
};

TEST(TlsConnection, FailedHandshakeFailsConnect) {
    const HandshakeFailure cases[] = {
        {"plain text",
         [](Responder& r) {
             r.send("HTTP/1.0 400 Bad Request\r\n\r\n");
             r.close();
         }},
        {"close", [](Responder& r) { r.close(); }},
        {"reset", [](Responder& r) { r.reset(); }},
        {"silence", [](Responder& r) { r.stall(); }},
    };
    for (const HandshakeFailure& c : cases) {
        TestHttpServer server;  // plain: the client's hello meets no TLS server
        server.setAcceptHandler(c.server);
        Connection conn;
        ASSERT_TRUE(conn.init("127.0.0.1", server.port(), true, 1, 1).isOk());
        Stopwatch watch;
        EXPECT_FALSE(conn.connect().isOk()) << c.name;
        EXPECT_FALSE(conn.isOpen()) << c.name;
        EXPECT_LT(watch.elapsedMs(), 15000.0) << c.name;
    }
}

// Decrypted bytes held inside the TLS layer are ready data: waiting on the socket
// for them would report a time-out for a response that has already arrived.
TEST(TlsConnection, BufferedRecordBytesCountAsReadable) {
    const std::string body(15000, 'r');
    TestHttpServer server(TestHttpServer::Options{.tls = true});
    server.setAcceptHandler([&](Responder& r) {
        r.send(body);  // one TLS record
        r.stall();
    });
    Connection conn;
    ASSERT_TRUE(conn.init("127.0.0.1", server.port(), true, 1, 3).isOk());
    ASSERT_TRUE(conn.connect().isOk());
    Stopwatch watch;
    size_t got = 0;
    char piece[1000];
    for (int i = 0; i < 100 && got < body.size(); ++i) {
        ASSERT_TRUE(conn.waitReadable().isOk()) << "after " << got << " bytes";
        const int n = countOf(conn.read(piece, sizeof piece));
        ASSERT_GT(n, 0);
        got += size_t(n);
    }
    EXPECT_EQ(got, body.size());
    EXPECT_LT(watch.elapsedMs(), 2500.0);
}

TEST(TlsConnection, WritingToAClosedPeerFailsWithoutSigpipe) {
    ASSERT_NE(signal(SIGPIPE, SIG_DFL), SIG_ERR);
    TestHttpServer server(TestHttpServer::Options{.tls = true});
    server.setAcceptHandler([](Responder& r) { r.reset(); });
    Connection conn;
    ASSERT_TRUE(conn.init("127.0.0.1", server.port(), true, 1, 10).isOk());
    ASSERT_TRUE(conn.connect().isOk());
    const std::string chunk(16000, 'z');
    // Keep writing after the first failure: the reset is reported once, and only
    // the writes after it would raise the signal.
    int failures = 0;
    for (int i = 0; i < 200 && failures < 5; ++i) {
        if (!conn.write(chunk.data(), int(chunk.size()))) ++failures;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(failures, 5);
    conn.close();  // the close_notify goes to a dead peer too
}

// Many users make secure connections at once over the one shared context.
TEST(TlsConnection, ConcurrentSessionsShareTheClientContext) {
    TestHttpServer server(TestHttpServer::Options{.tls = true});
    server.setHandler(TestHttpServer::replyWith(test::httpResponse(200, "x")));
    std::atomic<int> good{0};
    std::vector<std::thread> users;
    for (int u = 0; u < 6; ++u) {
        users.emplace_back([&] {
            for (int i = 0; i < 3; ++i) {
                Connection conn;
                if (!conn.init("localhost", server.port(), true, 1, 10) || !conn.connect() ||
                    writeAll(conn, "GET / HTTP/1.1\r\n\r\n") <= 0) {
                    continue;
                }
                if (readResponse(conn) == "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nx") ++good;
                conn.close();
                conn.releaseTls();
            }
        });
    }
    for (auto& t : users) t.join();
    EXPECT_EQ(good.load(), 18);
}

}  // namespace
}  // namespace velk::net
