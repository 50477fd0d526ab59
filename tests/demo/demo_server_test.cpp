// The demo site over real loopback sockets: pages, the login flow, HTTP framing
// and the server's caps.
#include "demo_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "demo/demo_client.h"

namespace velk::demo::test {
namespace {

std::string formToken(const std::string& page) {
    const std::string marker = "name=\"token\" value=\"";
    const size_t start = page.find(marker);
    if (start == std::string::npos) return {};
    const size_t from = start + marker.size();
    return page.substr(from, page.find('"', from) - from);
}

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

class DemoServerTest : public ::testing::Test {
protected:
    void SetUp() override { server.start(0); }

    ClientResponse get(std::string_view target, std::string_view headers = "") {
        DemoClient client(server.port());
        auto response = client.request(getRequest(target, headers));
        EXPECT_TRUE(response) << target;
        return response.value_or(ClientResponse{});
    }

    // A fresh login form's token, fetched on its own connection.
    std::string freshToken() { return formToken(get("/login").body); }

    ClientResponse login(std::string_view body) {
        DemoClient client(server.port());
        auto response = client.request(postForm("/login", body));
        EXPECT_TRUE(response);
        return response.value_or(ClientResponse{});
    }

    DemoServer server;
};

TEST_F(DemoServerTest, ListensOnLoopbackEphemeralPort) {
    EXPECT_NE(server.port(), 0);
}

TEST_F(DemoServerTest, HomePageIsHtmlAndLinksToTheMainPages) {
    const ClientResponse home = get("/");
    EXPECT_EQ(home.status, 200);
    EXPECT_EQ(home.header("content-type"), "text/html; charset=utf-8");
    EXPECT_EQ(home.header("content-length"), std::to_string(home.body.size()));
    for (const char* link : {"href=\"/login\"", "href=\"/products\"", "href=\"/search\""})
        EXPECT_TRUE(contains(home.body, link)) << link;
}

TEST_F(DemoServerTest, LoginFormCarriesAFreshTokenPerView) {
    const ClientResponse form = get("/login");
    EXPECT_TRUE(contains(form.body, "<form action=\"/login\" method=\"post\">"));
    EXPECT_TRUE(contains(form.body, "name=\"user\""));
    EXPECT_TRUE(contains(form.body, "name=\"password\""));
    EXPECT_TRUE(contains(form.body, "<input type=\"hidden\" name=\"token\" value=\""));
    const std::string first = formToken(form.body);
    EXPECT_EQ(first.size(), 32u);
    EXPECT_NE(first, freshToken());
}

TEST_F(DemoServerTest, LoginSetsSessionThatOpensTheAccountPage) {
    const ClientResponse answer = login("user=ann&password=secret&token=" + freshToken());
    ASSERT_EQ(answer.status, 302);
    EXPECT_EQ(answer.header("location"), "/account");
    const std::string cookie = answer.header("set-cookie");
    ASSERT_EQ(cookie.rfind("session=", 0), 0u) << cookie;
    EXPECT_TRUE(contains(cookie, "; Path=/"));
    const std::string session = cookie.substr(0, cookie.find(';'));

    const ClientResponse account = get("/account", "Cookie: theme=dark; " + session + "\r\n");
    EXPECT_EQ(account.status, 200);
    EXPECT_TRUE(contains(account.body, "Welcome, ann"));
    EXPECT_TRUE(contains(account.body, "href=\"/logout\""));

    const ClientResponse out = get("/logout", "Cookie: " + session + "\r\n");
    EXPECT_EQ(out.status, 302);
    EXPECT_EQ(get("/account", "Cookie: " + session + "\r\n").status, 302);
}

TEST_F(DemoServerTest, LoginFailures) {
    const std::string token = freshToken();
    ASSERT_EQ(login("user=ann&password=secret&token=" + token).status, 302);

    struct Case {
        const char* what;
        std::string body;
    };
    const std::string wrongPasswordToken = freshToken();
    const Case cases[] = {
        {"reused token", "user=ann&password=secret&token=" + token},
        {"wrong password", "user=ann&password=guess&token=" + wrongPasswordToken},
        // A failed attempt uses its token up as well.
        {"token of a failed attempt", "user=ann&password=secret&token=" + wrongPasswordToken},
        {"invented token", "user=ann&password=secret&token=00112233445566778899aabbccddeeff"},
        {"no token", "user=ann&password=secret"},
    };
    for (const Case& c : cases) {
        const ClientResponse answer = login(c.body);
        EXPECT_EQ(answer.status, 200) << c.what;
        EXPECT_TRUE(contains(answer.body, "Login failed")) << c.what;
        EXPECT_EQ(answer.headerCount("set-cookie"), 0) << c.what;
        EXPECT_EQ(formToken(answer.body).size(), 32u) << c.what << ": the form comes back";
    }
}

TEST_F(DemoServerTest, AccountNeedsALiveSession) {
    for (const char* cookie : {"", "Cookie: session=nosuchsession\r\n"}) {
        const ClientResponse answer = get("/account", cookie);
        EXPECT_EQ(answer.status, 302) << cookie;
        EXPECT_EQ(answer.header("location"), "/login") << cookie;
    }
}

TEST_F(DemoServerTest, UserNameIsEscapedOnTheAccountPage) {
    const ClientResponse answer = login("user=%3Cb%3Eeve&password=secret&token=" + freshToken());
    const std::string cookie = answer.header("set-cookie");
    const ClientResponse account =
        get("/account", "Cookie: " + cookie.substr(0, cookie.find(';')) + "\r\n");
    EXPECT_TRUE(contains(account.body, "Welcome, &lt;b&gt;eve"));
    EXPECT_FALSE(contains(account.body, "<b>eve"));
}

TEST_F(DemoServerTest, ProductListLinksAllTwentyProducts) {
    const ClientResponse list = get("/products");
    EXPECT_EQ(list.status, 200);
    for (int id = 1; id <= 20; ++id)
        EXPECT_TRUE(contains(list.body, "href=\"/product?id=" + std::to_string(id) + "\"")) << id;
    EXPECT_FALSE(contains(list.body, "id=21\""));
}

TEST_F(DemoServerTest, ProductPageShowsNameAndPrice) {
    const ClientResponse page = get("/product?id=7");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(contains(page.body, "Desk lamp"));
    EXPECT_TRUE(contains(page.body, "59.00"));
}

TEST_F(DemoServerTest, UnknownProductsAndPathsAre404Html) {
    for (const char* target : {"/product?id=0", "/product?id=21", "/product?id=abc", "/product",
                               "/nope", "/products/1"}) {
        const ClientResponse answer = get(target);
        EXPECT_EQ(answer.status, 404) << target;
        EXPECT_EQ(answer.header("content-type"), "text/html; charset=utf-8") << target;
        EXPECT_FALSE(answer.body.empty()) << target;
    }
}

TEST_F(DemoServerTest, WrongMethodOnAKnownPageIs405WithAllow) {
    DemoClient client(server.port());
    auto answer = client.request("DELETE /products HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 405);
    EXPECT_EQ(answer->header("allow"), "GET, HEAD");
}

TEST_F(DemoServerTest, SearchEscapesTheTermAndCounts) {
    const ClientResponse script = get("/search?q=%3Cscript%3Ealert(1)%3C%2Fscript%3E");
    EXPECT_EQ(script.status, 200);
    EXPECT_TRUE(contains(script.body, "&lt;script&gt;alert(1)&lt;/script&gt;"));
    EXPECT_FALSE(contains(script.body, "<script>"));
    EXPECT_TRUE(contains(script.body, "0 results"));

    EXPECT_TRUE(contains(get("/search?q=Cup").body, "1 result for <q>Cup</q>"));

    DemoClient client(server.port());
    auto posted = client.request(postForm("/search", "q=%22pot%22+"));
    ASSERT_TRUE(posted);
    EXPECT_TRUE(contains(posted->body, "for <q>&quot;pot&quot; </q>"));
}

TEST_F(DemoServerTest, KeepAliveServesSeveralRequestsOnOneConnection) {
    DemoClient client(server.port());
    for (const char* target : {"/", "/products", "/product?id=1"}) {
        auto answer = client.request(getRequest(target));
        ASSERT_TRUE(answer) << target;
        EXPECT_EQ(answer->status, 200) << target;
        EXPECT_EQ(answer->header("connection"), "keep-alive");
    }
}

TEST_F(DemoServerTest, PipelinedRequestsAreAnsweredInOrder) {
    DemoClient client(server.port());
    ASSERT_TRUE(client.send(getRequest("/product?id=2") + getRequest("/nope") +
                            postForm("/search", "q=lamp")));
    auto first = client.read();
    auto second = client.read();
    auto third = client.read();
    ASSERT_TRUE(first && second && third);
    EXPECT_TRUE(contains(first->body, "Teapot"));
    EXPECT_EQ(second->status, 404);
    EXPECT_TRUE(contains(third->body, "1 result for <q>lamp</q>"));
}

TEST_F(DemoServerTest, HeadSendsTheLengthButNoBody) {
    DemoClient client(server.port());
    ASSERT_TRUE(client.send("HEAD / HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto head = client.read(false);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_NE(head->header("content-length"), "0");
    // The client reads no body for HEAD, so any body sent would garble this answer.
    ASSERT_TRUE(client.send(getRequest("/nope")));
    auto next = client.read();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->status, 404);
}

TEST_F(DemoServerTest, ConnectionCloseAndHttp10CloseAfterTheAnswer) {
    for (const char* request :
         {"GET / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
          "GET / HTTP/1.1\r\nConnection: TE, Close\r\n\r\n", "GET / HTTP/1.0\r\n\r\n"}) {
        DemoClient client(server.port());
        auto answer = client.request(request);
        ASSERT_TRUE(answer) << request;
        EXPECT_EQ(answer->status, 200) << request;
        EXPECT_EQ(answer->header("connection"), "close") << request;
        EXPECT_TRUE(client.closedByServer()) << request;
    }
}

TEST_F(DemoServerTest, BrokenRequestsGetAnErrorAndAClose) {
    const std::string bigHeader =
        "GET / HTTP/1.1\r\nX-Big: " + std::string(70 * 1024, 'a') + "\r\n\r\n";
    struct Case {
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"GARBAGE\r\n\r\n", 400},
        {"GET /\r\n\r\n", 400},
        {"GET / HTTP/1.1\r\nNo colon here\r\n\r\n", 400},
        {"GET / HTTP/2.0\r\n\r\n", 505},
        {"POST /search HTTP/1.1\r\nContent-Length: 12x\r\n\r\n", 400},
        {"POST /search HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n", 413},
        {"POST /search HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 501},
        {bigHeader, 431},
    };
    for (const Case& c : cases) {
        const std::string shown = c.request.substr(0, 40);
        DemoClient client(server.port());
        auto answer = client.request(c.request);
        ASSERT_TRUE(answer) << shown;
        EXPECT_EQ(answer->status, c.status) << shown;
        EXPECT_EQ(answer->header("connection"), "close") << shown;
        EXPECT_EQ(answer->header("content-type"), "text/html; charset=utf-8") << shown;
        EXPECT_TRUE(client.closedByServer()) << shown;
    }
    EXPECT_EQ(get("/").status, 200) << "still serving";
}

TEST_F(DemoServerTest, ManyConcurrentClients) {
    constexpr int kThreads = 50;
    constexpr int kRequests = 20;
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            try {
                DemoClient client(server.port());
                for (int i = 0; i < kRequests; ++i) {
                    const int id = (t + i) % 20 + 1;
                    if (i % 4 == 3) {
                        // A whole login, so the token and session stores see contention too.
                        auto form = client.request(getRequest("/login"));
                        if (!form) return;
                        auto answer = client.request(postForm(
                            "/login", "user=u&password=secret&token=" + formToken(form->body)));
                        if (!answer || answer->status != 302) return;
                    } else {
                        auto answer =
                            client.request(getRequest("/product?id=" + std::to_string(id)));
                        if (!answer || answer->status != 200) return;
                    }
                    ++ok;
                }
            } catch (const std::exception&) {
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(ok.load(), kThreads * kRequests);
}

TEST(DemoServerLimits, IdleConnectionIsClosed) {
    ServerLimits limits;
    limits.idleTimeout = std::chrono::milliseconds(100);
    DemoServer server(limits);
    server.start(0);
    DemoClient client(server.port());
    EXPECT_TRUE(client.closedByServer());
}

TEST(DemoServerLimits, ConnectionsBeyondTheCapGet503) {
    ServerLimits limits;
    limits.maxConnections = 2;
    DemoServer server(limits);
    server.start(0);
    DemoClient first(server.port());
    DemoClient second(server.port());
    // Answered, so both are being served.
    ASSERT_TRUE(first.request(getRequest("/")));
    ASSERT_TRUE(second.request(getRequest("/")));
    EXPECT_EQ(server.liveConnections(), 2u);

    DemoClient third(server.port());
    auto busy = third.read();
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->status, 503);
    EXPECT_TRUE(third.closedByServer());
}

TEST(DemoServerStop, EndsSlowRequestsAndOpenConnections) {
    DemoServer server;
    server.start(0);
    DemoClient idle(server.port());
    DemoClient slow(server.port());
    ASSERT_TRUE(idle.request(getRequest("/")));
    ASSERT_TRUE(slow.send(getRequest("/slow?ms=5000")));
    server.stop();
    EXPECT_EQ(server.liveConnections(), 0u);
    EXPECT_TRUE(idle.closedByServer());
    EXPECT_FALSE(slow.read()) << "the slow answer is dropped, not waited for";
}

}  // namespace
}  // namespace velk::demo::test
