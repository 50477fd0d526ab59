// Requests as HTTP/2 streams against a real HTTP/2 server on loopback (nghttp2's
// server side): h2c by prior knowledge, h2 chosen by ALPN over TLS, the fall back
// to HTTP/1.1, and everything a request does (forms, cookies, redirects, $fail,
// the log) unchanged.
#include "http/http_fixture.h"
#include "http2/h2_test_server.h"
#include "support/test_proxy.h"

namespace velk::test {
namespace {

// A shop with a login: the form page, a POST that sets the session cookie and
// redirects, and a page that needs the cookie.
H2Response shop(const H2Request& r) {
    if (r.path == "/login" && r.method == "GET")
        return {200, {{"content-type", "text/html"}}, "<form action=/login method=post>"};
    if (r.path == "/login" && r.method == "POST") {
        if (r.body != "user=bob&pass=x%26y") return {403, {}, "bad login"};
        return {302, {{"location", "/home"}, {"set-cookie", "sid=s3cr3t; path=/"}}, ""};
    }
    if (r.path == "/home")
        return r.header("cookie") == "sid=s3cr3t" ? H2Response{200, {}, "welcome bob"}
                                                  : H2Response{403, {}, "who are you"};
    if (r.path == "/echo") return {200, {}, r.body};
    if (r.path == "/big") return {200, {}, std::string(300000, 'b')};
    return {404, {}, "no such page"};
}

class Http2Exchange : public HttpFixture {
protected:
    int statusCount(int code) const { return m_set->httpCounters.statusCodes[size_t(code)].load(); }
};

constexpr const char* kLoginScript =
    "keepalive=1\n"
    "[form]\n$uri=/login\n"
    "[login]\n$method=POST\n$uri=/login\nuser=bob\npass=x%26y\n";

TEST_F(Http2Exchange, PriorKnowledgeLoginSetsTheCookieAndFollowsTheRedirectOnOneConnection) {
    H2TestServer server({}, shop);
    load(std::string("http2=2\n") + kLoginScript, 0, server.port());
    EXPECT_GE(run("form"), 0) << logText();
    EXPECT_EQ(body(), "<form action=/login method=post>");
    EXPECT_GE(run("login"), 0) << logText();
    EXPECT_EQ(body(), "welcome bob");

    const auto received = server.requests();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1].method, "POST");
    EXPECT_EQ(received[1].scheme, "http");
    EXPECT_EQ(received[1].authority, "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(received[1].header("content-type"), "application/x-www-form-urlencoded");
    // Hop-by-hop fields of HTTP/1.1 have no place in HTTP/2.
    EXPECT_EQ(received[1].header("connection"), "");
    EXPECT_EQ(received[1].header("host"), "");
    EXPECT_EQ(received[2].path, "/home");
    EXPECT_EQ(received[2].header("cookie"), "sid=s3cr3t");
    EXPECT_EQ(server.acceptedConnections(), 1);
    EXPECT_EQ(statusCount(302), 1);
    EXPECT_EQ(statusCount(200), 2);

    const std::string log = logText();
    EXPECT_NE(log.find("Sent as HTTP/2 (h2c, prior knowledge).\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Response:\r\nHTTP/1.1 302 Found\r\nLocation: /home\r\n"
                       "Set-Cookie: sid=s3cr3t; path=/\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("HTTP/1.1 200 OK\r\n"), std::string::npos) << log;
}

TEST_F(Http2Exchange, EveryMethodAndSuccessStatusGoesAsAStreamAndA307KeepsThePutBody) {
    H2TestServer server({}, [](const H2Request& r) -> H2Response {
        if (r.method == "HEAD") return {200, {}, ""};
        if (r.method == "DELETE") return {204, {}, ""};
        if (r.path == "/orders") return {201, {}, "id=7"};
        if (r.path == "/orders/7") return {307, {{"location", "/v2/orders/7"}}, ""};
        return {200, {}, r.method + " " + r.body};
    });
    load(
        "http2=2\nkeepalive=1\n[create]\n$method=POST\n$uri=/orders\nn=1\n"
        "[update]\n$method=put\n$uri=/orders/7\nn=2\n[remove]\n$method=Delete\n$uri=/orders/7\n"
        "[peek]\n$method=HEAD\n$uri=/orders\n[options]\n$method=OPTIONS\n$uri=/\n",
        0, server.port());
    EXPECT_GE(run("create"), 0) << logText();
    EXPECT_EQ(body(), "id=7");
    EXPECT_GE(run("update"), 0) << logText();
    EXPECT_EQ(body(), "PUT n=2");
    EXPECT_GE(run("remove"), 0) << logText();
    EXPECT_GE(run("peek"), 0) << logText();
    EXPECT_GE(run("options"), 0) << logText();
    EXPECT_EQ(body(), "OPTIONS ");

    const auto received = server.requests();
    std::string methods;
    for (const H2Request& r : received) methods += r.method + " " + r.path + " " + r.body + ";";
    EXPECT_EQ(methods,
              "POST /orders n=1;PUT /orders/7 n=2;PUT /v2/orders/7 n=2;DELETE /orders/7 ;"
              "HEAD /orders ;OPTIONS / ;");
    EXPECT_EQ(received[3].header("content-length"), "");
    EXPECT_EQ(statusCount(201), 1);
    EXPECT_EQ(statusCount(204), 1);
    EXPECT_EQ(statusCount(307), 1);
    EXPECT_EQ(server.acceptedConnections(), 1);
}

TEST_F(Http2Exchange, TlsNegotiatesH2ByAlpnAndKeepsOneConnectionPerUser) {
    H2TestServer server({.tls = true}, shop);
    load(std::string("http2=1\nsecure=1\n") + kLoginScript + "[home]\n$uri=/home\n", 0,
         server.port());
    EXPECT_GE(run("form"), 0) << logText();
    EXPECT_GE(run("login"), 0) << logText();
    EXPECT_GE(run("home"), 0) << logText();
    EXPECT_EQ(body(), "welcome bob");
    const auto received = server.requests();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].scheme, "https");
    EXPECT_EQ(server.acceptedConnections(), 1);
    EXPECT_NE(logText().find("Sent as HTTP/2 (h2, chosen by ALPN).\r\n"), std::string::npos);
}

TEST_F(Http2Exchange, ServerWithoutH2FallsBackToHttp11AndSaysSoOnce) {
    TestHttpServer tls({.tls = true});
    load("http2=1\nsecure=1\nkeepalive=1\n[a]\n[b]\n", 0, tls.port());
    EXPECT_GE(run("a"), 0) << logText();
    EXPECT_GE(run("b"), 0) << logText();
    ASSERT_EQ(tls.requestCount(), 2);
    EXPECT_EQ(tls.requests()[0].raw.substr(0, 16), "GET / HTTP/1.1\r\n");
    const std::string log = logText();
    const std::string note = "HTTP/2 not offered by 127.0.0.1 (ALPN): HTTP/1.1 is used.\r\n";
    const size_t first = log.find(note);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(note, first + 1), std::string::npos) << log;
}

TEST_F(Http2Exchange, ClearTextWithoutPriorKnowledgeStaysHttp11ByteForByte) {
    load("http2=1\nkeepalive=1\n[a]\n$uri=/p?q=1\n");
    EXPECT_GE(run("a"), 0) << logText();
    ASSERT_EQ(m_server.requestCount(), 1);
    EXPECT_EQ(m_server.requests()[0].raw,
              "GET /p?q=1 HTTP/1.1\r\n" + hostHeader() + "Connection: Keep-Alive\r\n\r\n");
    EXPECT_EQ(logText().find("HTTP/2"), std::string::npos);
}

TEST_F(Http2Exchange, OneByteWindowsOneStreamAtATimeAndOneByteFramesStillComplete) {
    H2TestServer server({.initialWindow = 1, .maxConcurrentStreams = 1, .dataFrameBytes = 1}, shop);
    const std::string text(300, 't');
    load("http2=2\nkeepalive=1\n[echo]\n$method=POST\n$uri=/echo\ntext=" + text +
             "\n[again]\n$method=POST\n$uri=/echo\ntext=x\n",
         0, server.port());
    EXPECT_GE(run("echo"), 0) << logText();
    EXPECT_EQ(body(), "text=" + text);
    EXPECT_GE(run("again"), 0) << logText();
    EXPECT_EQ(body(), "text=x");
    EXPECT_EQ(server.acceptedConnections(), 1);
}

TEST_F(Http2Exchange, BodiesLargerThanTheWindowsArriveWhole) {
    H2TestServer server({}, shop);
    load("http2=2\n[big]\n$uri=/big\n", 0, server.port());
    EXPECT_GE(run("big"), 0) << logText();
    EXPECT_EQ(body(), std::string(300000, 'b'));
}

TEST_F(Http2Exchange, ErrorStatusAndFailCheckKeepTheirResultClasses) {
    H2TestServer server({}, shop);
    load(
        "http2=2\nkeepalive=1\n[missing]\n$uri=/nowhere\n[form]\n$uri=/login\n"
        "$fail=/form action/\n[fine]\n$uri=/login\n$fail=/nothing like it/\n",
        0, server.port());
    EXPECT_EQ(run("missing"), kResultHttp);
    EXPECT_EQ(run("form"), kResultFail);
    EXPECT_GE(run("fine"), 0);
    EXPECT_EQ(server.acceptedConnections(), 1);
}

TEST_F(Http2Exchange, WithoutKeepAliveEachRequestOpensItsOwnConnection) {
    H2TestServer server({}, shop);
    load("http2=2\n[a]\n$uri=/login\n[b]\n$uri=/login\n", 0, server.port());
    EXPECT_GE(run("a"), 0) << logText();
    EXPECT_GE(run("b"), 0) << logText();
    EXPECT_EQ(server.acceptedConnections(), 2);
}

TEST_F(Http2Exchange, H2RunsInsideEachTunnelAndAForwardProxyGetsHttp11) {
    const std::string prefixes[] = {"httpc:", "socks4:", "socks5:"};
    const TestProxy::Kind kinds[] = {TestProxy::Kind::kConnect, TestProxy::Kind::kSocks4,
                                     TestProxy::Kind::kSocks5};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(prefixes[i]);
        H2TestServer server({.tls = true}, shop);
        TestProxy proxy(TestProxy::options(kinds[i], server.port()));
        load("http2=1\nproxy=" + prefixes[i] + "127.0.0.1:" + std::to_string(proxy.port()) +
                 "\nsecure=1\nkeepalive=1\n[a]\n$uri=/login\n[b]\n$uri=/home\n",
             0, server.port());
        EXPECT_GE(run("a"), 0) << logText();
        EXPECT_EQ(run("b"), kResultHttp);  // 403: no cookie yet
        EXPECT_EQ(server.requests().size(), 2u);
        EXPECT_EQ(proxy.tunnelsOpened(), 1);
    }
    // A forward proxy reads the request itself: it is spoken to in HTTP/1.1.
    TestProxy forward(TestProxy::options(TestProxy::Kind::kHttpForward, m_server.port()));
    load("http2=2\nproxy=http://127.0.0.1:" + std::to_string(forward.port()) + "\n[a]\n");
    EXPECT_GE(run("a"), 0) << logText();
    ASSERT_EQ(m_server.requestCount(), 1);
    EXPECT_EQ(logText().find("HTTP/2"), std::string::npos);
}

}  // namespace
}  // namespace velk::test
