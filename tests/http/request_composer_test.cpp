// The exact bytes a user sends, as the loopback server received them.
#include "http/request_composer.h"

#include "http/base64.h"
#include "http_fixture.h"
#include "run/entry_overrides.h"
#include "support/http_text.h"

namespace velk::test {
namespace {

using RequestBytes = HttpFixture;

TEST_F(RequestBytes, GetWithoutAndWithParameters) {
    load("[plain]\n$uri=/index.html\n[query]\n$uri=/search\na=1\nb=2\n");
    EXPECT_GE(run("plain"), 0);
    EXPECT_GE(run("query"), 0);
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].raw,
              "GET /index.html HTTP/1.1\r\n" + hostHeader() + "Connection: close\r\n\r\n");
    EXPECT_EQ(received[1].raw, "GET /search?a=1&b=2 HTTP/1.1\r\n" + hostHeader() +
                                   "Referer: http://127.0.0.1:" + std::to_string(m_server.port()) +
                                   "/index.html\r\nConnection: close\r\n\r\n");
}

TEST_F(RequestBytes, PostUrlencodedAndEmpty) {
    load("method=POST\n[form]\n$uri=/login\nuser=bob\npass=x%26y\n[empty]\n$uri=/ping\n");
    EXPECT_GE(run("form"), 0);
    EXPECT_GE(run("empty"), 0);
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].raw,
              "POST /login HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "Content-Length: 19\r\n" +
                  hostHeader() + "Connection: close\r\n\r\nuser=bob&pass=x%26y");
    EXPECT_NE(received[1].raw.find("Content-Length: 0\r\n"), std::string::npos);
    EXPECT_TRUE(received[1].raw.ends_with("\r\n\r\n"));
}

TEST_F(RequestBytes, MultipartUsesTheUsersRandomBoundary) {
    load("[upload]\n$method=POST\n$uri=/up\nname=velk\nnote=hi\n");
    request("upload").multipart = true;
    UserRandom expected(12345);
    int draws[4];
    for (int& d : draws) d = expected.next(65536);
    char boundary[64];
    std::snprintf(boundary, sizeof boundary, "-----------------------------%04x%04x%04x%04x",
                  draws[3], draws[2], draws[1], draws[0]);
    const std::string b = boundary;
    EXPECT_GE(run("upload"), 0);
    const std::string body =
        "--" + b + "\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\nvelk\r\n" + "--" + b +
        "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhi\r\n" + "--" + b + "--\r\n";
    ASSERT_EQ(m_server.requestCount(), 1);
    EXPECT_EQ(m_server.requests()[0].raw,
              "POST /up HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=" + b +
                  "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + hostHeader() +
                  "Connection: close\r\n\r\n" + body);
    EXPECT_EQ(b.size(), 45u);
}

TEST_F(RequestBytes, EntryArgumentsShapeOneRequestAndLeaveTheDefinitionAlone) {
    const std::string upload = m_logDir.write("up.txt", "data");
    load("[a]\n$uri=/a\nq=1\n");
    const RequestDef& def = request("a");
    {
        EntryOverrides overrides;
        const EffectiveRequest effective =
            overrides.apply(*m_set, request("a"), "q=2,\"f=$File(" + upload + ")\",$uri=/b)");
        EXPECT_GE(executeRequest(*m_session, effective, m_body), 0);
    }
    EXPECT_GE(run("a"), 0);
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 2u);
    // The added file parameter makes this one run a multipart POST.
    EXPECT_EQ(received[0].method, "POST");
    EXPECT_EQ(received[0].target, "/b");
    EXPECT_TRUE(received[0].header("Content-Type").starts_with("multipart/form-data; boundary="));
    EXPECT_NE(received[0].body.find("name=\"q\"\r\n\r\n2\r\n"), std::string::npos)
        << received[0].raw;
    EXPECT_NE(received[0].body.find("filename=\"" + upload + "\""), std::string::npos);
    EXPECT_EQ(received[1].raw, "GET /a?q=1 HTTP/1.1\r\n" + hostHeader() +
                                   "Referer: http://127.0.0.1:" + std::to_string(m_server.port()) +
                                   "/b\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(def.uri, "/a");
    EXPECT_EQ(def.method, 0);
    EXPECT_FALSE(def.multipart);
    EXPECT_TRUE(def.runtimeParams.empty());
    EXPECT_TRUE(def.overrides.empty());
}

TEST_F(RequestBytes, RawContentIsTheBodyWithItsOwnHeaders) {
    load("[soap]\n$uri=/ws\n$header=Content-Type: text/xml\n$content=<<END\n<a>1 & 2</a>\nEND\n");
    EXPECT_GE(run("soap"), 0);
    const std::string body = "<a>1 & 2</a>\n";
    EXPECT_EQ(m_server.requests()[0].raw,
              "POST /ws HTTP/1.1\r\nContent-Type: text/xml\r\nContent-Length: " +
                  std::to_string(body.size()) + "\r\n" + hostHeader() +
                  "Connection: close\r\n\r\n" + body);
}

TEST_F(RequestBytes, CommonHeadersAuthorizationPragmaAndKeepAlive) {
    load(
        "authorization=user:pa55\nproxynocache=1\nkeepalive=1\n[header]\nUser-Agent: velk\n"
        "X-Test: 1\n[a]\n$uri=/a\n");
    EXPECT_GE(run("a"), 0);
    EXPECT_EQ(m_server.requests()[0].raw, "GET /a HTTP/1.1\r\n" + hostHeader() +
                                              "User-Agent: velk\r\nX-Test: 1\r\nPragma: nocache\r\n"
                                              "Authorization: Basic " +
                                              encodeBase64("user:pa55") +
                                              "\r\nConnection: Keep-Alive\r\n\r\n");
}

TEST_F(RequestBytes, CookiesAndForwardedForAddresses) {
    load("proxyemulation=1\n[a]\n");
    m_session->cookies = {{"a", "1"}, {"b", "2"}};
    EXPECT_GE(run("a"), 0);
    const std::string raw = m_server.requests()[0].raw;
    EXPECT_NE(raw.find("\r\nCookie: a=1;b=2\r\n"), std::string::npos) << raw;
    EXPECT_NE(raw.find("\r\nX-Forwarded-For: 192.168.1.1\r\n"), std::string::npos) << raw;

    EXPECT_EQ(forwardedForAddress("192.168.$C2.$C1", 253, 0), "192.168.1.254");
    EXPECT_EQ(forwardedForAddress("192.168.$C2.$C1", 254, 0), "192.168.2.1");
    EXPECT_EQ(forwardedForAddress("10.$R2.$R1.$C1", 0, 300), "10.2.47.1");
    EXPECT_EQ(forwardedForAddress("10.0.0.7", 99, 3), "10.0.0.7");
    EXPECT_EQ(forwardedForAddress("1.$X9.2", 0, 0), "1..2");
}

TEST_F(RequestBytes, Http10SendsNoConnectionHeaderAndClosesEveryTime) {
    load("httpver=0\nkeepalive=1\n[a]\n[b]\n");
    EXPECT_GE(run("a"), 0);
    EXPECT_GE(run("b"), 0);
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].raw, "GET / HTTP/1.0\r\n" + hostHeader() + "\r\n");
    EXPECT_EQ(request("a").keepalive, 0);
    EXPECT_EQ(m_server.acceptedConnections(), 2);
}

TEST_F(RequestBytes, HostHeaderOmitsTheDefaultPorts) {
    load("[a]\n");
    for (int port : {80, 443, 8080}) {
        m_session->request.clear();
        composeHeaders(*m_session, "example.test", port);
        std::string expected =
            port == 8080 ? "Host: example.test:8080\r\n" : "Host: example.test\r\n";
        EXPECT_EQ(m_session->request.view(), expected);
        // The header block moves the test's current target.
        EXPECT_EQ(m_set->currentTarget.get().server, "example.test");
        EXPECT_EQ(m_set->currentTarget.port(), port);
    }
}

TEST(Base64, EncodesWithPadding) {
    EXPECT_EQ(encodeBase64(""), "");
    EXPECT_EQ(encodeBase64("f"), "Zg==");
    EXPECT_EQ(encodeBase64("fo"), "Zm8=");
    EXPECT_EQ(encodeBase64("foo"), "Zm9v");
    EXPECT_EQ(encodeBase64("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(encodeBase64(std::string("\xff\xfe\x00", 3)), "//4A");
}

TEST(UserRandomSequence, FollowsTheGeneratorFormula) {
    UserRandom r(1);
    // state = 1 * 0x1F28A483 + 0xE386D92F = 0x02AF7DB2 -> (0x02AF7DB2 >> 3) % 1000
    EXPECT_EQ(r.next(1000), int32_t((0x02AF7DB2u >> 3) % 1000));
    EXPECT_EQ(r.next(0), 0);
    EXPECT_EQ(r.next(-5), 0);
    UserRandom negative(0x80000000u);  // arithmetic shift of a negative state
    uint32_t state = 0x80000000u * 0x1F28A483u + 0xE386D92Fu;
    EXPECT_EQ(negative.next(7), int32_t(((int32_t(state) >> 3) & 0x7FFFFFFF) % 7));
}

}  // namespace
}  // namespace velk::test
