#include "net/connection.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net_test_helpers.h"
#include "support/full_backlog_listener.h"
#include "support/test_http_server.h"

namespace velk::net {
namespace {

using test::ReceivedRequest;
using test::Responder;
using test::TestHttpServer;
using testing::countOf;
using testing::readResponse;
using testing::Stopwatch;
using testing::writeAll;

void connectTo(Connection& conn, uint16_t port, int timeoutSeconds = 10) {
    ASSERT_TRUE(conn.init("127.0.0.1", port, false, 1, timeoutSeconds).isOk());
    ASSERT_TRUE(conn.connect().isOk());
    ASSERT_TRUE(conn.isOpen());
}

std::string readLineText(Connection& conn, int capacity) {
    std::string buffer(size_t(capacity), '\xee');
    const StatusOr<int> n = conn.readLine(buffer.data(), capacity);
    if (!n) return "<fail>";
    EXPECT_EQ(buffer[size_t(*n)], '\0');
    return buffer.substr(0, size_t(*n));
}

TEST(Connection, RoundTripCarriesExactBytesBothWays) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(test::httpResponse(200, "hello")));
    Connection conn;
    connectTo(conn, server.port());
    const std::string request = "GET /a HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(writeAll(conn, request), int(request.size()));
    EXPECT_EQ(readResponse(conn), "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    ASSERT_TRUE(server.waitForRequests(1, 10000));
    EXPECT_EQ(server.requests()[0].raw, request);
}

TEST(Connection, InitAndConnectFailures) {
    Connection conn;
    EXPECT_FALSE(conn.init("", 80, false, 1, 5).isOk());  // no name, no lookup
    EXPECT_EQ(conn.init("127.0.0.1", 65536 + 80, false, 1, 5).message(),
              "Port 65616 is out of range.\r\n");

    // A port nobody listens on any more refuses at once.
    uint16_t closedPort;
    {
        TestHttpServer gone;
        closedPort = gone.port();
    }
    ASSERT_TRUE(conn.init("127.0.0.1", closedPort, false, 1, 5).isOk());
    EXPECT_FALSE(conn.connect().isOk());
    EXPECT_FALSE(conn.isOpen());

    char buffer[16];
    EXPECT_EQ(conn.waitReadable().code(), StatusCode::kNetwork);
    EXPECT_EQ(conn.waitWritable().code(), StatusCode::kNetwork);
    EXPECT_EQ(conn.read(buffer, sizeof buffer).status().code(), StatusCode::kNetwork);
    EXPECT_EQ(conn.write("x", 1).status().code(), StatusCode::kNetwork);
    EXPECT_EQ(conn.readLine(buffer, sizeof buffer).status().code(), StatusCode::kNetwork);
}

TEST(Connection, ConnectGivesUpWithinTheTimeout) {
    test::FullBacklogListener silent;
    Connection conn;
    ASSERT_TRUE(conn.init("127.0.0.1", silent.port(), false, 1, 1).isOk());
    Stopwatch watch;
    EXPECT_FALSE(conn.connect().isOk());
    EXPECT_GE(watch.elapsedMs(), 900.0);
    EXPECT_LT(watch.elapsedMs(), 15000.0);
}

// Lines cross the 256-byte refills and arrive in pieces; each comes back whole.
TEST(Connection, ReadLineJoinsLinesAcrossRefills) {
    const std::string longLine = std::string(300, 'a') + "\r\n";
    const std::string head =
        "HTTP/1.1 200 OK\r\n" + longLine + "X: " + std::string(200, 'b') + "\r\n" + "\r\n" + "BODY";
    TestHttpServer server;
    server.setAcceptHandler([&](Responder& r) { r.trickle(head, 100, 5); });
    Connection conn;
    connectTo(conn, server.port());
    EXPECT_EQ(readLineText(conn, 4096), "HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(readLineText(conn, 4096), longLine);
    EXPECT_EQ(readLineText(conn, 4096), "X: " + std::string(200, 'b') + "\r\n");
    EXPECT_EQ(readLineText(conn, 4096), "\r\n");
    // Raw reads serve what the line reader already holds before the network.
    std::string body;
    char piece[64];
    for (int i = 0; i < 10 && body.size() < 4; ++i) {
        ASSERT_TRUE(conn.waitReadable().isOk());
        const int n = countOf(conn.read(piece, sizeof piece));
        ASSERT_GT(n, 0);
        body.append(piece, size_t(n));
    }
    EXPECT_EQ(body, "BODY");
}

TEST(Connection, ReadLineCutsLongLinesAtCapacityMinusOne) {
    const std::string line = std::string(120, 'x') + "\n";
    TestHttpServer server;
    server.setAcceptHandler([&](Responder& r) { r.send(line + "next\n"); });
    Connection conn;
    connectTo(conn, server.port());
    ASSERT_TRUE(conn.waitReadable().isOk());
    EXPECT_EQ(readLineText(conn, 50), std::string(49, 'x'));
    EXPECT_EQ(readLineText(conn, 50), std::string(49, 'x'));
    EXPECT_EQ(readLineText(conn, 50), std::string(22, 'x') + "\n");
    EXPECT_EQ(readLineText(conn, 50), "next\n");
    EXPECT_EQ(readLineText(conn, 1), "");
}

TEST(Connection, ReadLineFailsWhenTheStreamEndsMidLine) {
    TestHttpServer server;
    server.setAcceptHandler([](Responder& r) {
        r.send("complete\r\npartial");
        r.close();
    });
    Connection conn;
    connectTo(conn, server.port());
    EXPECT_EQ(readLineText(conn, 256), "complete\r\n");
    EXPECT_EQ(readLineText(conn, 256), "<fail>");
}

// A peer that stops in the middle of a line must not hold the user beyond the
// timeout.
TEST(Connection, ReadLineGivesUpOnAPeerThatStallsMidLine) {
    TestHttpServer server;
    server.setAcceptHandler([](Responder& r) {
        r.send("HTTP/1.1 200");
        r.stall();
    });
    Connection conn;
    connectTo(conn, server.port(), 1);
    ASSERT_TRUE(conn.waitReadable().isOk());
    Stopwatch watch;
    EXPECT_EQ(readLineText(conn, 256), "<fail>");
    EXPECT_LT(watch.elapsedMs(), 15000.0);
}

TEST(Connection, WaitReadableTimesOutWithZero) {
    TestHttpServer server;
    server.setAcceptHandler([](Responder& r) { r.stall(); });
    Connection conn;
    connectTo(conn, server.port(), 1);
    Stopwatch watch;
    EXPECT_EQ(conn.waitReadable().code(), StatusCode::kTimeout);
    EXPECT_GE(watch.elapsedMs(), 900.0);
    EXPECT_LT(watch.elapsedMs(), 15000.0);
    EXPECT_TRUE(conn.waitWritable().isOk());
}

TEST(Connection, WaitReadableAnswersAtOnceForReadAheadAndNoWait) {
    TestHttpServer server;
    server.setAcceptHandler([](Responder& r) {
        r.send("one\ntwo\n");
        r.stall();
    });
    Connection conn;
    connectTo(conn, server.port(), 5);
    EXPECT_EQ(readLineText(conn, 64), "one\n");
    Stopwatch watch;
    EXPECT_TRUE(conn.waitReadable().isOk());  // "two\n" waits in the read-ahead
    EXPECT_EQ(readLineText(conn, 64), "two\n");
    conn.setNoWait(true);
    EXPECT_TRUE(conn.waitReadable().isOk());  // nothing there, but no wait is made
    EXPECT_TRUE(conn.waitWritable().isOk());
    EXPECT_LT(watch.elapsedMs(), 2500.0);
}

// Bytes left unread on a closed stream are not the start of the next one.
TEST(Connection, ReconnectDropsTheOldStreamsReadAhead) {
    TestHttpServer server;
    std::atomic<int> accepted{0};
    server.setAcceptHandler([&](Responder& r) {
        r.send(accepted++ == 0 ? "first\r\nSTALE BYTES\r\n" : "fresh\r\n");
        r.stall();
    });
    Connection conn;
    connectTo(conn, server.port());
    EXPECT_EQ(readLineText(conn, 256), "first\r\n");
    conn.close();
    EXPECT_FALSE(conn.isOpen());
    ASSERT_TRUE(conn.connect().isOk());
    EXPECT_EQ(readLineText(conn, 256), "fresh\r\n");
}

// A peer that is gone makes writes fail; the process is not killed by SIGPIPE (the
// default disposition is in force here, so a raised SIGPIPE would end the test run).
TEST(Connection, WritingToAClosedPeerFailsWithoutSigpipe) {
    ASSERT_NE(signal(SIGPIPE, SIG_DFL), SIG_ERR);
    TestHttpServer server;
    // Reset once the first bytes arrive: a reset right at accept could reach the
    // client while its connect still checks the outcome, and fail the connect.
    server.setAcceptHandler([](Responder& r) {
        r.receiveMore(1, 10000);
        r.reset();
    });
    Connection conn;
    connectTo(conn, server.port());
    const std::string chunk(16384, 'z');
    // Keep writing after the first failure: the reset is reported once, and only
    // the writes after it would raise the signal.
    int failures = 0;
    for (int i = 0; i < 200 && failures < 5; ++i) {
        if (!conn.write(chunk.data(), int(chunk.size()))) ++failures;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(failures, 5);
    EXPECT_NE(conn.lastSocketError(), 0);
}

TEST(Connection, KeepsOneTcpConnectionForSeveralExchanges) {
    TestHttpServer server;
    server.setHandler(TestHttpServer::replyWith(test::httpResponse(200, "ok")));
    Connection conn;
    connectTo(conn, server.port());
    for (int i = 0; i < 3; ++i) {
        ASSERT_GT(writeAll(conn, "GET / HTTP/1.1\r\n\r\n"), 0);
        EXPECT_EQ(readResponse(conn), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    }
    EXPECT_EQ(server.acceptedConnections(), 1);
    EXPECT_EQ(server.requestCount(), 3);
}

// A wait that said ready is not repeated, but only until a read takes the bytes:
// then the next wait must wait again, and here time out.
TEST(Connection, AReadEndsWhatTheLastWaitSaid) {
    TestHttpServer server;
    server.setAcceptHandler([](Responder& r) {
        r.send("one\n");
        r.stall();
    });
    Connection conn;
    connectTo(conn, server.port(), 1);
    ASSERT_TRUE(conn.waitReadable().isOk());
    EXPECT_TRUE(conn.waitReadable().isOk());
    char buffer[16];
    EXPECT_EQ(countOf(conn.read(buffer, sizeof buffer)), 4);
    EXPECT_EQ(conn.waitReadable().code(), StatusCode::kTimeout);
}

// Between exchanges a kept-alive connection stays usable while its peer keeps it
// open, bytes waiting or not, and is judged closed once the peer has closed it.
// Each check follows a write, as between real exchanges.
TEST(Connection, StillUsableUntilThePeerCloses) {
    std::atomic<bool> closeNow{false};
    TestHttpServer server;
    server.setAcceptHandler([&](Responder& r) {
        r.send("early\n");
        for (int i = 0; i < 3000 && !closeNow; ++i)
            if (!r.pause(10)) return;
        r.close();
    });
    Connection conn;
    connectTo(conn, server.port());
    ASSERT_TRUE(conn.waitReadable().isOk());
    EXPECT_TRUE(conn.stillUsable());  // unread bytes are no end of stream
    EXPECT_EQ(readLineText(conn, 64), "early\n");
    ASSERT_EQ(countOf(conn.write("x", 1)), 1);
    EXPECT_TRUE(conn.stillUsable());
    ASSERT_EQ(countOf(conn.write("y", 1)), 1);
    closeNow = true;
    ASSERT_TRUE(conn.waitReadable().isOk());  // the close has arrived
    EXPECT_FALSE(conn.stillUsable());
    conn.close();
    EXPECT_FALSE(conn.stillUsable());
}

// A wait that finds the end of the stream says ready, as poll() would; the end
// then reaches the next read, after the bytes that came before it, and the
// connection is no longer usable.
TEST(Connection, TheEndFoundByAWaitReachesTheNextRead) {
    TestHttpServer server;
    server.setAcceptHandler([](Responder& r) {
        r.send("last\n");
        r.close();
    });
    Connection conn;
    connectTo(conn, server.port(), 5);
    EXPECT_EQ(readLineText(conn, 64), "last\n");
    Stopwatch watch;
    ASSERT_TRUE(conn.waitReadable().isOk());
    EXPECT_TRUE(conn.waitReadable().isOk());  // still ready: nothing has been read
    EXPECT_FALSE(conn.stillUsable());
    char byte;
    EXPECT_EQ(conn.read(&byte, 1).status().code(), StatusCode::kClosed);
    EXPECT_EQ(readLineText(conn, 64), "<fail>");
    EXPECT_LT(watch.elapsedMs(), 4000.0);  // no wait ran into the timeout
}

// A peer that stops reading cannot hold a writer past the timeout: the write
// fails, naming the time-out.
TEST(Connection, AWriteToAPeerThatStopsReadingGivesUpWithinTheTimeout) {
    std::atomic<bool> done{false};
    TestHttpServer server;
    server.setAcceptHandler([&](Responder& r) {
        for (int i = 0; i < 3000 && !done; ++i)
            if (!r.pause(10)) return;
    });
    Connection conn;
    connectTo(conn, server.port(), 1);
    const std::string piece(64 * 1024, 'w');
    Stopwatch watch;
    bool failed = false;
    for (int i = 0; i < 4000 && !failed; ++i)
        failed = !conn.waitWritable().isOk() || !conn.write(piece.data(), int(piece.size()));
    done = true;
    EXPECT_TRUE(failed);
    EXPECT_EQ(conn.lastSocketError(), ETIMEDOUT);
    EXPECT_LT(watch.elapsedMs(), 20000.0);
}

// Header lines through readLine, then the body through read(): the caller gets
// the same bytes whether the read-ahead is refilled in large pieces (no limit) or
// 256 bytes at a time (under a bandwidth limit).
TEST(Connection, ReadsGiveTheSameBytesWithAndWithoutALimit) {
    std::string stream = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 40; ++i)
        stream += "X-Header-" + std::to_string(i) + ": " + std::string(size_t(i * 3), 'v') + "\r\n";
    stream += "\r\n";
    const size_t headerBytes = stream.size();
    for (int i = 0; stream.size() < headerBytes + 70000; ++i) stream += char('a' + i % 26);
    TestHttpServer server;
    server.setAcceptHandler([&](Responder& r) {
        r.send(stream);
        r.stall();
    });
    for (int32_t limit : {0, 100 * 1000 * 1000}) {
        SCOPED_TRACE(limit);
        Connection conn;
        connectTo(conn, server.port());
        conn.setSpeedLimit(limit);
        std::string got;
        for (int i = 0; i < 100; ++i) {
            std::string line = readLineText(conn, 64);  // long lines come in cuts
            got += line;
            if (line == "\r\n") break;
        }
        ASSERT_EQ(got.size(), headerBytes);
        std::vector<char> piece(3000);
        for (int i = 0; i < 1000 && got.size() < stream.size(); ++i) {
            ASSERT_TRUE(conn.waitReadable().isOk());
            const int n = countOf(conn.read(piece.data(), int(piece.size())));
            ASSERT_GT(n, 0);
            got.append(piece.data(), size_t(n));
        }
        EXPECT_EQ(got, stream);
    }
}

// Under a bandwidth limit every receive moves at most 256 bytes, so the limit paces
// the stream in those steps: a read after a header line gets only the rest of the
// 256-byte refill, while without a limit it gets what has arrived.
TEST(Connection, UnderALimitRefillsStayAt256Bytes) {
    const std::string stream = "0123456789\n" + std::string(1000, 'b');
    TestHttpServer server;
    server.setAcceptHandler([&](Responder& r) {
        r.send(stream);
        r.stall();
    });
    for (int32_t limit : {0, 1000 * 1000}) {
        SCOPED_TRACE(limit);
        Connection conn;
        connectTo(conn, server.port());
        conn.setSpeedLimit(limit);
        // Let all of it arrive first, so that what one receive takes is up to the reader.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(readLineText(conn, 64), "0123456789\n");
        char piece[4096];
        EXPECT_EQ(countOf(conn.read(piece, sizeof piece)), limit == 0 ? 1000 : 256 - 11);
    }
}

}  // namespace
}  // namespace velk::net
