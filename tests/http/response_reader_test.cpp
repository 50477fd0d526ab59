// How responses are read, framed, timed and turned into results.
#include "http/response_reader.h"

#include <chrono>
#include <thread>

#include "http_fixture.h"
#include "platform/clock.h"
#include "support/http_text.h"

namespace velk::test {
namespace {

using ResponseReading = HttpFixture;

TEST_F(ResponseReading, ChunkedBodyIsStoredDechunked) {
    m_server.setHandler(
        TestHttpServer::replyWith(chunkedResponse(200, {"hel", "lo"}, "X-A: 1\r\n")));
    load("keepalive=1\n[a]\n");
    EXPECT_GE(run("a"), 0);
    EXPECT_EQ(body(), "hello");
    EXPECT_TRUE(m_session->connection.isReusable());
}

TEST_F(ResponseReading, ContinueIsDroppedAndTheSecondHeaderBlockKept) {
    m_server.setHandler(
        TestHttpServer::replyWith("HTTP/1.1 100 Continue\r\n\r\n" + httpResponse(200, "done")));
    load("[a]\n");
    EXPECT_GE(run("a"), 0);
    EXPECT_EQ(m_session->response.view(), httpResponse(200, "done"));
    EXPECT_EQ(m_set->httpCounters.statusCodes[200].load(), 1);
    EXPECT_EQ(m_set->httpCounters.statusCodes[100].load(), 0);
}

TEST_F(ResponseReading, KeepAliveIsRealOnlyWithHttp11AndNoClose) {
    load("keepalive=1\n[a]\n[b]\n[c]\n");
    for (const char* name : {"a", "b", "c"}) EXPECT_GE(run(name), 0);
    EXPECT_EQ(m_server.requestCount(), 3);
    EXPECT_EQ(m_server.acceptedConnections(), 1);

    TestHttpServer old;
    old.setHandler(TestHttpServer::replyWith(httpResponse(200, "x", "", "HTTP/1.0")));
    load("keepalive=1\n[a]\n[b]\n", 0, old.port());
    EXPECT_GE(run("a"), 0);
    EXPECT_FALSE(m_session->connection.isReusable());
    EXPECT_GE(run("b"), 0);
    EXPECT_EQ(old.acceptedConnections(), 2);

    TestHttpServer closing;
    closing.setHandler(TestHttpServer::replyWith(httpResponse(200, "x", "Connection: close\r\n")));
    load("keepalive=1\n[a]\n", 0, closing.port());
    EXPECT_GE(run("a"), 0);
    EXPECT_FALSE(m_session->connection.isReusable());
}

TEST_F(ResponseReading, BodyUntilCloseAndEmptyBody) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/empty") {
            r.send("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n");
        } else {
            r.send("HTTP/1.1 200 OK\r\n\r\nall of ");
            r.pause(50);
            r.send("it");
            r.close();
        }
    });
    load("keepalive=1\n[all]\n$uri=/all\n[empty]\n$uri=/empty\n");
    EXPECT_GE(run("all"), 0);
    EXPECT_EQ(body(), "all of it");
    // 204 is read completely at its blank line, and is a success.
    EXPECT_GE(run("empty"), 0);
    EXPECT_EQ(body(), "");
    EXPECT_EQ(m_set->httpCounters.statusCodes[204].load(), 1);
}

TEST_F(ResponseReading, KeptAliveConnectionDroppedByTheServerIsReopened) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        r.respond(200, "ok");
        if (req.target == "/drop") r.close();  // closes without saying so
    });
    load("keepalive=1\n[drop]\n$uri=/drop\n[next]\n");
    EXPECT_GE(run("drop"), 0);
    ASSERT_TRUE(m_server.waitForConnections(1, 5000));
    for (int i = 0; i < 200 && !m_session->connection.peerHasClosed(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(run("next"), 0) << logText();
    EXPECT_EQ(m_server.acceptedConnections(), 2);
}

TEST_F(ResponseReading, BrokenFramingIsANetworkErrorNotAnAllocation) {
    struct Case {
        const char* name;
        std::string reply;
        const char* logText;
    } cases[] = {
        {"garbage chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
         "Error(CHUNKLEN)"},
        {"huge chunk size",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\n",
         "Error(CHUNKLEN)"},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", "Error(HDR)"},
        {"closed in the header", "HTTP/1.1 200 OK\r\nX-A:", "Error(HDR)"},
    };
    for (const Case& c : cases) {
        TestHttpServer server;
        server.setHandler(TestHttpServer::replyWith(c.reply, true));
        load("[a]\n", 0, server.port());
        EXPECT_EQ(run("a"), kResultNetwork) << c.name;
        EXPECT_FALSE(m_body) << c.name;
        EXPECT_NE(logText().find(c.logText), std::string::npos) << c.name;
    }
}

TEST_F(ResponseReading, CookiesCountOnlyFromTheFinalBlockOfACompleteResponse) {
    struct Case {
        const char* name;
        std::string reply;
        int32_t result;
    } cases[] = {
        {"interim block",
         "HTTP/1.1 100 Continue\r\nSet-Cookie: early=1\r\n\r\n" + httpResponse(200, "x"), 0},
        {"body cut short", "HTTP/1.1 200 OK\r\nSet-Cookie: cut=1\r\nContent-Length: 10\r\n\r\nabc",
         kResultNetwork},
    };
    for (const Case& c : cases) {
        TestHttpServer server;
        server.setHandler([&c](const ReceivedRequest& req, Responder& r) {
            if (req.target == "/first") {
                r.send(c.reply);
                r.close();
            } else {
                r.respond(200, "");
            }
        });
        load("[first]\n$uri=/first\n[next]\n$uri=/next\n", 0, server.port());
        EXPECT_EQ(std::min(run("first"), 0), c.result) << c.name;
        EXPECT_GE(run("next"), 0) << c.name;
        ASSERT_EQ(server.requests().size(), 2u) << c.name;
        EXPECT_FALSE(server.requests()[1].hasHeader("Cookie")) << c.name;
    }
}

TEST_F(ResponseReading, ResetIsANetworkError) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
        r.pause(50);
        r.reset();
    });
    load("[a]\n");
    EXPECT_EQ(run("a"), kResultNetwork);
}

TEST_F(ResponseReading, StalledServerTimesOutWithinTheTimeout) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.send("HTTP/1.1 200 OK\r\n");
        r.stall();
    });
    load("timeout=1\n[a]\n");
    int64_t start = platform::nowMicros();
    EXPECT_EQ(run("a"), kResultTimeout);
    int64_t elapsedMs = (platform::nowMicros() - start) / 1000;
    EXPECT_GE(elapsedMs, 900);
    EXPECT_LT(elapsedMs, 20000);  // the time-out plus a wide margin
    EXPECT_NE(logText().find("Error (SELECT TIMEOUT - 0)"), std::string::npos);
    EXPECT_FALSE(m_session->connection.isOpen());
}

TEST_F(ResponseReading, KeepAliveWithoutLengthRunsIntoTheTimeout) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.send("HTTP/1.1 200 OK\r\n\r\nbody without end");
        r.stall();
    });
    load("timeout=1\nkeepalive=1\n[a]\n");
    EXPECT_EQ(run("a"), kResultTimeout);
}

TEST_F(ResponseReading, TimeToFirstByteModeIgnoresASlowBody) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab");
        r.pause(600);
        r.send("cd");
    });
    load("timingmode=1\nround=0\n[a]\n");
    int32_t firstByte = run("a");
    load("timingmode=0\nround=0\n[a]\n");
    int32_t whole = run("a");
    ASSERT_GE(firstByte, 0);
    EXPECT_GE(whole, 500000);
    EXPECT_LT(firstByte, whole);
}

TEST_F(ResponseReading, TrafficCountersAddUp) {
    m_server.setHandler(TestHttpServer::replyWith(httpResponse(200, "12345")));
    load("keepalive=1\n[a]\n");
    ASSERT_GE(run("a"), 0);
    ASSERT_GE(run("a"), 0);
    auto received = m_server.requests();
    EXPECT_EQ(m_session->bytesSent, received[0].raw.size() + received[1].raw.size());
    EXPECT_EQ(m_session->bytesReceived, 2 * httpResponse(200, "12345").size());
    EXPECT_EQ(m_session->requestsMade, 2);
    EXPECT_EQ(m_set->httpCounters.httpRequests.load(), 2);
}

// The rounded time goes to the report; the measured one to the percentiles.
// The server's pause may start before the client's clock does (the request is
// on the wire first), so the lower bound leaves room for that.
TEST_F(ResponseReading, TheMeasuredTimeComesOutBesideTheRoundedOne) {
    m_server.setHandler([](const ReceivedRequest&, Responder& r) {
        r.pause(60);
        r.respond(200, "ok");
    });
    load("round=1000\n[a]\n");
    int32_t measured = -1;
    const int32_t rounded = executeRequest(*m_session, request("a"), m_body, &measured);
    EXPECT_GE(measured, 30000);
    EXPECT_EQ(rounded, roundResponseTime(measured, 1000));
    m_server.setHandler(TestHttpServer::replyWith(httpResponse(500, "no")));
    EXPECT_EQ(executeRequest(*m_session, request("a"), m_body, &measured), kResultHttp);
    EXPECT_EQ(measured, 0);
}

TEST(ResponseTimeRounding, RoundsDownToTheStep) {
    EXPECT_EQ(roundResponseTime(123456, 10), 120000);
    EXPECT_EQ(roundResponseTime(123456, 0), 123456);
    EXPECT_EQ(roundResponseTime(123456, -1), 123456);
    EXPECT_EQ(roundResponseTime(123456, 0.5), 123000);
    EXPECT_EQ(roundResponseTime(123456, 0.0001), 123456);
}

TEST_F(ResponseReading, HttpErrorStatusesAreCountedAndKeepTheBody) {
    m_server.setHandler(TestHttpServer::replyWith(httpResponse(404, "missing")));
    load("[a]\n");
    EXPECT_EQ(run("a"), kResultHttp);
    EXPECT_EQ(body(), "missing");
    EXPECT_EQ(m_set->httpCounters.statusCodes[404].load(), 1);
}

}  // namespace
}  // namespace velk::test

namespace velk::test {
namespace {

// Two users share a run's budget for stored responses: the second, past it,
// still reads and counts the whole response, keeps only what fits and says so.
TEST_F(ResponseReading, StoredResponsesShareTheRunsBudget) {
    m_server.setHandler(
        [](const ReceivedRequest&, Responder& r) { r.respond(200, std::string(3 << 20, 'x')); });
    load("[big]\n");
    ResponseBudget budget(size_t(5) << 20);  // the first takes 4 MiB (whole megabytes)
    m_session->responseBudget = &budget;
    EXPECT_GE(run("big"), 0);
    EXPECT_EQ(body().size(), size_t(3) << 20);

    HttpSession second(m_set->options, m_set->headers, m_set->currentTarget, m_set->httpCounters);
    second.responseBudget = &budget;
    ASSERT_TRUE(second.log.open(m_logDir.file("second.log")));
    ASSERT_TRUE(setUpUserConnection(second).isOk());
    BodyRef secondBody;
    EXPECT_GE(executeRequest(second, request("big"), secondBody), 0);
    EXPECT_EQ(second.response.size(), size_t(1) << 20);
    EXPECT_GE(second.bytesReceived, uint64_t(3) << 20);
    second.log.close();
    std::ifstream in(m_logDir.file("second.log"), std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("the run's memory for stored responses is spent"), std::string::npos);
}

// Many users with small pages: each takes only a little of the budget, so a
// run of thousands of users does not spend it on room nobody uses.
TEST_F(ResponseReading, SmallPagesOfManyUsersFitAModestBudget) {
    m_server.setHandler(
        [](const ReceivedRequest&, Responder& r) { r.respond(200, std::string(500, 'p')); });
    load("[page]\n");
    ResponseBudget budget(size_t(1) << 20);
    for (int user = 0; user < 40; ++user) {
        HttpSession session(m_set->options, m_set->headers, m_set->currentTarget,
                            m_set->httpCounters);
        session.responseBudget = &budget;
        ASSERT_TRUE(setUpUserConnection(session).isOk());
        BodyRef pageBody;
        EXPECT_GE(executeRequest(session, request("page"), pageBody), 0) << user;
        EXPECT_GE(session.response.size(), 500u) << user;
    }
}

}  // namespace
}  // namespace velk::test
