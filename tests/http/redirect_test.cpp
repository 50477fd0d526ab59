// Redirects and cookies over real sockets: the exact bytes each server or proxy
// received, the connections used, the counts and the results.
#include "http/cookie_list.h"
#include "http/redirect_follower.h"
#include "http/response_reader.h"
#include "http_fixture.h"
#include "support/http_text.h"
#include "support/test_proxy.h"

namespace velk::test {
namespace {

class Redirects : public HttpFixture {
protected:
    // Answers each request by its target: a redirect to the mapped location, or
    // 200 with the target as its body.
    void redirectMap(std::vector<std::pair<std::string, std::string>> map, std::string extra = "") {
        m_server.setHandler([map, extra](const ReceivedRequest& req, Responder& r) {
            for (const auto& [from, to] : map)
                if (req.target == from) {
                    r.respond(302, "moved", "Location: " + to + "\r\n" + extra);
                    return;
                }
            r.respond(200, "at " + req.target);
        });
    }
    std::string port() const { return std::to_string(m_server.port()); }
    int statusCount(int code) const { return m_set->httpCounters.statusCodes[size_t(code)].load(); }
};

TEST_F(Redirects, RelativeLocationStaysOnTheConnectionInTheRedirectedDirectory) {
    redirectMap({{"/shop/list.php?x=1", "page2.html"}}, "Set-Cookie: sid=abc; path=/\r\n");
    load("keepalive=1\n[list]\n$uri=/shop/list.php\nx=1\n");
    EXPECT_GE(run("list"), 0) << logText();
    EXPECT_EQ(body(), "at /shop/page2.html");
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].raw,
              "GET /shop/page2.html HTTP/1.1\r\n" + hostHeader() + "Referer: http://127.0.0.1:" +
                  port() + "/shop/list.php\r\nCookie: sid=abc\r\nConnection: Keep-Alive\r\n\r\n");
    EXPECT_EQ(m_server.acceptedConnections(), 1);
    EXPECT_EQ(m_session->requestsMade, 2);
    EXPECT_EQ(m_set->httpCounters.httpRequests.load(), 2);
    EXPECT_EQ(statusCount(302), 1);
    EXPECT_EQ(statusCount(200), 1);
    // The referrer stays the URL of the request the user made.
    EXPECT_EQ(m_session->previousUrl, "http://127.0.0.1:" + port() + "/shop/list.php");
    const std::string log = logText();
    EXPECT_NE(log.find("\nRedirect:\n" + received[1].raw + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Response:\r\nHTTP/1.1 200 OK\r\n"), std::string::npos) << log;
}

TEST_F(Redirects, ChainResolvesEachLocationAgainstTheUrlBeforeIt) {
    redirectMap({{"/a/start", "/b/mid?q=1"}, {"/b/mid?q=1", "last page.html"}});
    load("[start]\n$uri=/a/start\n");
    EXPECT_GE(run("start"), 0) << logText();
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 3u);
    const std::string referrer = "Referer: http://127.0.0.1:" + port() + "/a/start\r\n";
    EXPECT_EQ(received[1].raw, "GET /b/mid?q=1 HTTP/1.1\r\n" + hostHeader() + referrer +
                                   "Connection: close\r\n\r\n");
    EXPECT_EQ(received[2].raw, "GET /b/last+page.html HTTP/1.1\r\n" + hostHeader() + referrer +
                                   "Connection: close\r\n\r\n");
    // keepalive 0: a fresh connection for every exchange.
    EXPECT_EQ(m_server.acceptedConnections(), 3);
    EXPECT_EQ(m_session->requestsMade, 3);
}

TEST_F(Redirects, AnotherHostGetsATemporaryConnectionAndTheMainServerANewOne) {
    TestHttpServer other;
    other.setHandler(
        [](const ReceivedRequest& req, Responder& r) { r.respond(200, "other " + req.target); });
    const std::string otherPort = std::to_string(other.port());
    redirectMap({{"/start", "http://localhost:" + otherPort + "/a b/c"}});
    load("keepalive=1\n[start]\n$uri=/start\n[again]\n$uri=/again\n$server=127.0.0.1\n");
    EXPECT_GE(run("start"), 0) << logText();
    EXPECT_EQ(body(), "other /a+b/c");
    ASSERT_EQ(other.requestCount(), 1);
    EXPECT_EQ(other.requests()[0].raw, "GET /a+b/c HTTP/1.1\r\nHost: localhost:" + otherPort +
                                           "\r\nReferer: http://127.0.0.1:" + port() +
                                           "/start\r\nConnection: close\r\n\r\n");
    EXPECT_FALSE(m_session->connection.isReusable());
    EXPECT_EQ(m_set->currentTarget.get().server, "localhost");
    EXPECT_GE(run("again"), 0) << logText();
    EXPECT_EQ(m_server.acceptedConnections(), 2);
    EXPECT_EQ(m_server.requests()[1].target, "/again");
}

TEST_F(Redirects, AnotherUserMovingTheSharedTargetDoesNotMisdirectTheRedirect) {
    TestHttpServer other;
    other.setHandler(
        [](const ReceivedRequest& req, Responder& r) { r.respond(200, "other " + req.target); });
    const std::string otherPort = std::to_string(other.port());
    load("keepalive=1\n[start]\n$uri=/start\n");
    CurrentTarget& shared = m_set->currentTarget;
    m_server.setHandler([&shared, &other, otherPort](const ReceivedRequest&, Responder& r) {
        // Meanwhile another user's request moves the target all users share to
        // exactly where this redirect points.
        shared.set("localhost", other.port());
        r.respond(302, "", "Location: http://localhost:" + otherPort + "/x\r\n");
    });
    EXPECT_GE(run("start"), 0) << logText();
    EXPECT_EQ(body(), "other /x");
    EXPECT_EQ(m_server.requestCount(), 1);
    EXPECT_EQ(other.requestCount(), 1);
}

TEST_F(Redirects, SameHostWithoutKeepAliveUsesATemporaryConnection) {
    // An absolute location to the same host and port.
    redirectMap({{"/start", "http://127.0.0.1:" + port() + "/next"}});
    load("keepalive=0\n[start]\n$uri=/start\n");
    EXPECT_GE(run("start"), 0);
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].raw, "GET /next HTTP/1.1\r\n" + hostHeader() +
                                   "Referer: http://127.0.0.1:" + port() +
                                   "/start\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(m_server.acceptedConnections(), 2);
}

TEST_F(Redirects, ThroughAnHttpProxyLocationsGoInAbsoluteForm) {
    TestProxy proxy(TestProxy::options(TestProxy::Kind::kHttpForward, m_server.port()));
    const std::string base = "http://127.0.0.1:" + port();
    redirectMap(
        {{base + "/dir/start", "next.html"}, {base + "/dir/next.html", base + "/abs path"}});
    load("proxy=127.0.0.1:" + std::to_string(proxy.port()) +
         "\nkeepalive=1\n[start]\n$uri=/dir/start\n");
    EXPECT_GE(run("start"), 0) << logText();
    EXPECT_EQ(body(), "at " + base + "/abs+path");
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 3u);
    const std::string referrer = "Referer: " + base + "/dir/start\r\n";
    EXPECT_EQ(received[1].raw, "GET " + base + "/dir/next.html HTTP/1.1\r\n" + hostHeader() +
                                   referrer + "Proxy-Connection: Keep-Alive\r\n\r\n");
    EXPECT_EQ(received[2].raw, "GET " + base + "/abs+path HTTP/1.1\r\n" + hostHeader() + referrer +
                                   "Proxy-Connection: Keep-Alive\r\n\r\n");
    EXPECT_EQ(proxy.acceptedConnections(), 1);
}

TEST_F(Redirects, ThroughATunnelAnotherHostGetsItsOwnTunnel) {
    TestHttpServer other;
    other.setHandler(
        [](const ReceivedRequest& req, Responder& r) { r.respond(200, "other " + req.target); });
    const std::string otherPort = std::to_string(other.port());
    TestProxy proxy(TestProxy::options(TestProxy::Kind::kSocks5));
    redirectMap({{"/start", "http://localhost:" + otherPort + "/x"}});
    load("proxy=socks5:127.0.0.1:" + std::to_string(proxy.port()) +
         "\nkeepalive=1\n[start]\n$uri=/start\n");
    EXPECT_GE(run("start"), 0) << logText();
    EXPECT_EQ(body(), "other http://localhost:" + otherPort + "/x");
    ASSERT_EQ(other.requestCount(), 1);
    EXPECT_EQ(other.requests()[0].raw, "GET http://localhost:" + otherPort +
                                           "/x HTTP/1.1\r\nHost: localhost:" + otherPort +
                                           "\r\nReferer: http://127.0.0.1:" + port() +
                                           "/start\r\nProxy-Connection: close\r\n\r\n");
    EXPECT_EQ(proxy.tunnelsOpened(), 2);
}

TEST_F(Redirects, EndlessChainStopsAfterTwentyHopsAsHttpError) {
    redirectMap({{"/loop", "/loop"}});
    load("keepalive=1\n[loop]\n$uri=/loop\n");
    EXPECT_EQ(run("loop"), kResultHttp);
    EXPECT_EQ(m_server.requestCount(), 1 + kMaxRedirects);
    EXPECT_EQ(m_session->requestsMade, 1 + kMaxRedirects);
    EXPECT_EQ(m_set->httpCounters.httpRequests.load(), 1 + kMaxRedirects);
    EXPECT_EQ(statusCount(302), 1 + kMaxRedirects);
}

TEST_F(Redirects, NoredirMakesTheRedirectTheAnswer) {
    redirectMap({{"/start", "/next"}});
    load("noredir=1\n[start]\n$uri=/start\n");
    EXPECT_GE(run("start"), 0);
    EXPECT_EQ(body(), "moved");
    EXPECT_EQ(m_server.requestCount(), 1);
    EXPECT_EQ(m_session->requestsMade, 1);
}

TEST_F(Redirects, SumredirecttimeAddsTheRedirectsTime) {
    constexpr int kPauseMs = 800;
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/start") {
            r.respond(302, "", "Location: /slow\r\n");
        } else {
            r.pause(kPauseMs);
            r.respond(200, "slow");
        }
    });
    for (int sum : {1, 0}) {
        load("sumredirecttime=" + std::to_string(sum) + "\n[start]\n$uri=/start\n");
        int32_t result = run("start");
        if (sum)
            EXPECT_GE(result, kPauseMs * 1000);
        else
            EXPECT_LT(result, kPauseMs * 1000);  // only the first exchange, which does not wait
        EXPECT_EQ(body(), "slow");
    }
}

TEST_F(Redirects, RedirectAnsweredWithAnotherStatusIsAnHttpError) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/start")
            r.respond(301, "", "Location: /gone\r\n");
        else
            r.respond(404, "missing");
    });
    load("[start]\n$uri=/start\n");
    EXPECT_EQ(run("start"), kResultHttp);
    EXPECT_EQ(body(), "missing");
    EXPECT_EQ(statusCount(301), 1);
    EXPECT_EQ(statusCount(404), 1);
    EXPECT_EQ(m_session->requestsMade, 2);
}

TEST_F(Redirects, FailedRedirectIsTheRequestsResultAndLeavesNoBody) {
    uint16_t closedPort;
    {
        TestHttpServer gone;
        closedPort = gone.port();
    }
    redirectMap({{"/start", "http://127.0.0.1:" + std::to_string(closedPort) + "/x"},
                 {"/badport", "http://127.0.0.1:123456/x"}});
    load("[start]\n$uri=/start\n[badport]\n$uri=/badport\n");
    EXPECT_EQ(run("start"), kResultNetwork);
    EXPECT_EQ(body(), "<none>");
    EXPECT_EQ(run("badport"), kResultNetwork);
    EXPECT_EQ(m_session->requestsMade, 4);
    EXPECT_NE(logText().find("Failed to connect to remote host!\r\n"), std::string::npos);
}

TEST_F(Redirects, CookieSequenceAcrossRequests) {
    const std::vector<std::string> setCookies = {
        "Set-Cookie: a=1; path=/; b=2\r\nSet-Cookie: A=upper\r\nSet-Cookie: versionid=7\r\n",
        "Set-Cookie: a=; path=/\r\nSet-Cookie: b=3\r\n",
        "Set-Cookie: A=x; max-age=0\r\nSet-Cookie: c=4; Expires=Thu, 01 Jan 1970 00:00:00 GMT; "
        "HttpOnly; d=5\r\n",
        "",
    };
    m_server.setHandler([&setCookies](const ReceivedRequest& req, Responder& r) {
        r.respond(200, "", setCookies[size_t(req.target[1] - '0')]);
    });
    load("keepalive=1\n[r0]\n$uri=/0\n[r1]\n$uri=/1\n[r2]\n$uri=/2\n[r3]\n$uri=/3\n");
    for (const char* name : {"r0", "r1", "r2", "r3"}) EXPECT_GE(run(name), 0) << name;
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_FALSE(received[0].hasHeader("Cookie"));
    EXPECT_EQ(received[1].header("Cookie"), "a=1;b=2;A=upper");
    EXPECT_EQ(received[2].header("Cookie"), "b=3;A=upper");
    EXPECT_EQ(received[3].header("Cookie"), "b=3;c=4");
    EXPECT_EQ(received[3].raw, "GET /3 HTTP/1.1\r\n" + hostHeader() +
                                   "Referer: http://127.0.0.1:" + port() +
                                   "/2\r\nCookie: b=3;c=4\r\nConnection: Keep-Alive\r\n\r\n");
}

TEST_F(Redirects, CookiesOfAnErrorResponseAreNotRecorded) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/e")
            r.respond(500, "", "Set-Cookie: bad=1\r\n");
        else
            r.respond(200, "");
    });
    load("[e]\n$uri=/e\n[ok]\n$uri=/ok\n");
    EXPECT_EQ(run("e"), kResultHttp);
    EXPECT_GE(run("ok"), 0);
    EXPECT_FALSE(m_server.requests()[1].hasHeader("Cookie"));
}

TEST_F(Redirects, FloodOfCookiesIsCapped) {
    std::string headers;
    for (size_t i = 0; i < kMaxCookies + 100; ++i)
        headers += "Set-Cookie: n" + std::to_string(i) + "=v\r\n";
    headers += "Set-Cookie: huge=" + std::string(kMaxCookieBytes, 'h') + "\r\n";
    m_server.setHandler(
        [headers](const ReceivedRequest&, Responder& r) { r.respond(200, "", headers); });
    load("[a]\n[b]\n");
    EXPECT_GE(run("a"), 0);
    EXPECT_EQ(m_session->cookies.size(), kMaxCookies);
    EXPECT_GE(run("b"), 0);
    const std::string cookie = m_server.requests()[1].header("Cookie");
    EXPECT_TRUE(cookie.starts_with("n0=v;n1=v;")) << cookie.substr(0, 40);
    EXPECT_TRUE(cookie.ends_with(";n" + std::to_string(kMaxCookies - 1) + "=v")) << cookie;
}

}  // namespace
}  // namespace velk::test
