// Connections used by tasks on event loops: every wait parks the task, so one
// loop thread carries many users, and time-outs and aborts come from the loop.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "loop/loop_group.h"
#include "loop/task_wait.h"
#include "net/connection.h"
#include "net/proxy_handshake.h"
#include "net_test_helpers.h"
#include "support/test_http_server.h"
#include "support/test_proxy.h"

namespace velk::net {
namespace {

using test::ReceivedRequest;
using test::Responder;
using test::TestHttpServer;
using testing::readResponse;
using testing::Stopwatch;
using testing::writeAll;

const std::string kRootRequest = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";

// Runs the group's tasks to their end; a task that hangs is stopped after the
// limit, so a fault fails the test instead of holding it.
void finishBounded(loop::LoopGroup& group, std::chrono::seconds limit = std::chrono::seconds(60)) {
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!done.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!done.load()) group.stop();
    });
    group.finishWhenIdle();
    group.join();
    done = true;
    watchdog.join();
}

// One exchange on a fresh connection; "" on any failure.
std::string exchange(Connection& conn, const std::string& host, uint16_t port, bool secure,
                     int timeout) {
    if (!conn.init(host, port, secure, 1, timeout) || !conn.connect()) return "";
    if (writeAll(conn, kRootRequest) != int(kRootRequest.size())) return "";
    return readResponse(conn);
}

TEST(LoopConnection, ManyUsersShareOneThreadWhileOneWaitsOutItsTimeOut) {
    TestHttpServer plain;
    plain.setHandler(TestHttpServer::replyWith(test::httpResponse(200, "hello")));
    TestHttpServer::Options tlsOptions;
    tlsOptions.tls = true;
    TestHttpServer secure(tlsOptions);
    secure.setHandler(TestHttpServer::replyWith(test::httpResponse(200, "hello")));
    TestHttpServer silent;
    silent.setHandler([](const ReceivedRequest&, Responder& r) { r.stall(); });

    loop::LoopGroup group(1);
    ASSERT_TRUE(group.started());
    constexpr int kUsers = 40, kExchanges = 5;
    std::atomic<int> answered{0}, answeredBeforeTimeOut{0};
    std::atomic<bool> timedOut{false};
    StatusCode silentWait = StatusCode::kOk;
    double silentMs = 0;
    group.spawn([&] {
        Connection conn;
        ASSERT_TRUE(conn.init("127.0.0.1", silent.port(), false, 1, 4).isOk());
        ASSERT_TRUE(conn.connect().isOk());
        ASSERT_EQ(writeAll(conn, kRootRequest), int(kRootRequest.size()));
        Stopwatch watch;
        silentWait = conn.waitReadable().code();
        silentMs = watch.elapsedMs();
        timedOut = true;
    });
    for (int u = 0; u < kUsers; ++u) {
        group.spawn([&, u] {
            Connection conn;
            const bool tls = u % 4 == 0;
            ASSERT_TRUE(
                conn.init("127.0.0.1", tls ? secure.port() : plain.port(), tls, 1, 30).isOk());
            ASSERT_TRUE(conn.connect().isOk());
            for (int i = 0; i < kExchanges; ++i) {
                ASSERT_EQ(writeAll(conn, kRootRequest), int(kRootRequest.size()));
                ASSERT_EQ(readResponse(conn), "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
                ++answered;
                if (!timedOut.load()) ++answeredBeforeTimeOut;
            }
        });
    }
    finishBounded(group);
    EXPECT_EQ(answered.load(), kUsers * kExchanges);
    // The users were not held up by the one waiting on the silent server.
    EXPECT_EQ(answeredBeforeTimeOut.load(), kUsers * kExchanges);
    EXPECT_EQ(silentWait, StatusCode::kTimeout);  // timed out, not failed
    EXPECT_GE(silentMs, 3900);
}

TEST(LoopConnection, SocketNumbersReusedAfterCloseAreWatchedAfresh) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(test::httpResponse(200, "hello")));
    uint16_t closedPort = 0;
    {
        TestHttpServer gone;
        closedPort = gone.port();
    }
    loop::LoopGroup group(1);
    std::vector<std::string> answers;
    int refused = 0;
    group.spawn([&] {
        // A closed connection's descriptor number comes back for the next
        // socket; the loop must not take it for the one it watched before.
        for (int i = 0; i < 6; ++i) {
            Connection conn;
            if (i % 2 == 1) {
                ASSERT_TRUE(conn.init("127.0.0.1", closedPort, false, 1, 20).isOk());
                if (!conn.connect()) ++refused;
                continue;
            }
            answers.push_back(exchange(conn, "127.0.0.1", server.port(), false, 20));
            conn.close();
        }
    });
    finishBounded(group);
    EXPECT_EQ(refused, 3);
    ASSERT_EQ(answers.size(), 3u);
    for (const std::string& a : answers)
        EXPECT_EQ(a, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
}

TEST(LoopConnection, CancelledWaitsFailAtOnceAndPausesEndEarly) {
    TestHttpServer silent;
    silent.setHandler([](const ReceivedRequest&, Responder& r) { r.stall(); });
    loop::LoopGroup group(1);
    std::atomic<int> parked{0};
    StatusCode waited = StatusCode::kOk;
    int error = 0;
    bool slept = true;
    group.spawn([&] {
        Connection conn;
        ASSERT_TRUE(conn.init("127.0.0.1", silent.port(), false, 1, 60).isOk());
        ASSERT_TRUE(conn.connect().isOk());
        ASSERT_EQ(writeAll(conn, kRootRequest), int(kRootRequest.size()));
        ++parked;
        waited = conn.waitReadable().code();
        error = conn.lastSocketError();
    });
    group.spawn([&] {
        ++parked;
        slept = loop::sleepOrStop(
            3600 * 1000, [] { return false; }, 100);
    });
    std::thread aborter([&] {
        for (int i = 0; i < 3000 && parked.load() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        group.cancelWaits();
    });
    Stopwatch watch;
    finishBounded(group);
    aborter.join();
    EXPECT_EQ(waited, StatusCode::kAborted);
    EXPECT_EQ(error, ECANCELED);
    EXPECT_FALSE(slept);
    EXPECT_LT(watch.elapsedMs(), 50000);  // far from either wait's own end
}

TEST(LoopConnection, NamesAreLookedUpByTheResolverThreadsOncePerGroup) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(test::httpResponse(200, "hello")));
    loop::LoopGroup group(2);
    std::atomic<int> good{0};
    StatusCode unknown = StatusCode::kOk;
    for (int u = 0; u < 8; ++u) {
        group.spawn([&] {
            Connection conn;
            if (exchange(conn, "localhost", server.port(), false, 20) ==
                "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")
                ++good;
        });
    }
    group.spawn([&] {
        Connection conn;
        unknown = conn.init("no-such-host.invalid", 80, false, 1, 20).code();
    });
    finishBounded(group);
    EXPECT_EQ(good.load(), 8);
    EXPECT_EQ(unknown, StatusCode::kNetwork);
    // Cached after the first answer (two loops may each have asked once).
    EXPECT_LE(group.loop(0).resolver()->lookups(), 3u);
}

// Proxy handshakes go through the same reads and writes as the exchanges, so on
// a loop they park like them: users whose proxy answers byte by byte share the
// thread, and a silent proxy still fails at the timeout.
TEST(LoopConnection, ProxyHandshakesParkOnTheLoop) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(test::httpResponse(200, "hello")));
    test::TestProxy::Options slowOptions =
        test::TestProxy::options(test::TestProxy::Kind::kSocks5, 0);
    slowOptions.replyByteDelayMs = 5;
    test::TestProxy slow(slowOptions);
    test::TestProxy::Options silentOptions =
        test::TestProxy::options(test::TestProxy::Kind::kConnect, 0);
    silentOptions.silent = true;
    test::TestProxy silent(silentOptions);

    loop::LoopGroup group(1);
    ASSERT_TRUE(group.started());
    constexpr int kUsers = 8;
    std::atomic<int> tunnelled{0};
    int silentResult = 0;
    double silentMs = 0;
    group.spawn([&] {
        Connection conn;
        std::string log;
        ASSERT_TRUE(conn.init("127.0.0.1", silent.port(), false, 1, 2).isOk());
        ASSERT_TRUE(conn.connect().isOk());
        Stopwatch watch;
        silentResult = proxyHandshake(conn, "localhost", 80, "", ProxyKind::kHttpConnect, log);
        silentMs = watch.elapsedMs();
    });
    for (int u = 0; u < kUsers; ++u) {
        group.spawn([&] {
            Connection conn;
            std::string log;
            if (!conn.init("127.0.0.1", slow.port(), false, 1, 20) || !conn.connect()) return;
            if (proxyHandshake(conn, "127.0.0.1", server.port(), "", ProxyKind::kSocks5, log) != 0)
                return;
            if (writeAll(conn, kRootRequest) != int(kRootRequest.size())) return;
            if (readResponse(conn) == "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")
                ++tunnelled;
        });
    }
    finishBounded(group);
    EXPECT_EQ(tunnelled.load(), kUsers);
    EXPECT_EQ(silentResult, -1);
    EXPECT_GE(silentMs, 1900);
}

}  // namespace
}  // namespace velk::net
