// Request targets taken from the previous page or the user's variables, as the
// server received them.
#include "http/response_reader.h"
#include "http_fixture.h"
#include "support/http_text.h"

namespace velk::test {
namespace {

class UriTargets : public HttpFixture {
protected:
    // Serves page for /page, and echoes every other target.
    void servePage(std::string page) {
        m_server.setHandler([page](const ReceivedRequest& req, Responder& r) {
            r.respond(200, req.target == "/page" ? page : "at " + req.target);
        });
    }
    std::string referrer(const std::string& path) const {
        return "Referer: http://127.0.0.1:" + std::to_string(m_server.port()) + path + "\r\n";
    }
};

TEST_F(UriTargets, ActionOfTheFirstFormWithParameters) {
    servePage(
        "<form method=get action=\"/login.php\"><input name=u></form><form action=\"/second\">");
    load("[page]\n$uri=/page\n[submit]\n$uri=$action\nuser=bob\n[after]\n$uri=/after\n");
    EXPECT_GE(run("page"), 0);
    EXPECT_GE(run("submit"), 0);
    EXPECT_GE(run("after"), 0);
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1].raw, "GET /login.php?user=bob HTTP/1.1\r\n" + hostHeader() +
                                   referrer("/page") + "Connection: close\r\n\r\n");
    // The extracted path is the next referrer.
    EXPECT_EQ(received[2].header("Referer"),
              "http://127.0.0.1:" + std::to_string(m_server.port()) + "/login.php");
}

TEST_F(UriTargets, HrefOfTheFirstLinkHoldingThePattern) {
    servePage(
        "<a href=\"/p1?id=1\">item</a>\n<a href=\"/p2\">item</a>\n<A HREF='/p3'>item</A>\n"
        "<a class=x href=http://elsewhere.example/a/b.html>other</a>");
    load(
        "[page]\n$uri=/page\n[first]\n$uri=$href(item)\n[page2]\n$uri=/"
        "page\n[other]\n$uri=$HREF(other)\n");
    for (const char* name : {"page", "first", "page2", "other"}) EXPECT_GE(run(name), 0) << name;
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[1].raw, "GET /p1?id=1 HTTP/1.1\r\n" + hostHeader() + referrer("/page") +
                                   "Connection: close\r\n\r\n");
    EXPECT_EQ(received[3].target, "/a/b.html");
}

TEST_F(UriTargets, VariableOrItsDefault) {
    load("[var]\n$uri=$var(next)\n[default]\n$uri=$var(missing,/fallback/x)\n");
    m_session->variables["next"] = "/from/variable";
    EXPECT_GE(run("var"), 0);
    EXPECT_GE(run("default"), 0);
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].raw,
              "GET /from/variable HTTP/1.1\r\n" + hostHeader() + "Connection: close\r\n\r\n");
    EXPECT_EQ(received[1].target, "/fallback/x");
}

TEST_F(UriTargets, NothingFoundSendsTheUriOption) {
    m_server.setHandler([](const ReceivedRequest& req, Responder& r) {
        if (req.target == "/broken")
            r.close();  // no response: the request fails and leaves no page
        else
            r.respond(200, "<p>no links</p>");
    });
    load(
        "uri=/home\n[page]\n$uri=/page\n[missing]\n$uri=$href(nowhere)\n[broken]\n$uri=/broken\n"
        "[afterfail]\n$uri=$action\n[novar]\n$uri=$var(none)\n[other]\n$uri=$other\n");
    EXPECT_GE(run("page"), 0);
    EXPECT_GE(run("missing"), 0);
    EXPECT_EQ(run("broken"), kResultNetwork);
    EXPECT_EQ(body(), "<none>");
    EXPECT_GE(run("afterfail"), 0);
    EXPECT_GE(run("novar"), 0);
    EXPECT_GE(run("other"), 0);
    auto received = m_server.requests();
    ASSERT_EQ(received.size(), 6u);
    EXPECT_EQ(received[1].raw, "GET /home HTTP/1.1\r\n" + hostHeader() + referrer("/page") +
                                   "Connection: close\r\n\r\n");
    for (size_t i : {3u, 4u, 5u}) EXPECT_EQ(received[i].target, "/home") << i;
    EXPECT_EQ(received[4].header("Referer"),
              "http://127.0.0.1:" + std::to_string(m_server.port()) + "/home");
}

}  // namespace
}  // namespace velk::test
