// The single-page server is the yardstick of the recording and replay tests:
// its counters must count only what really signed in, and stale tokens must be
// refused, or those tests would pass on wrong replays.
#include "support/spa_server.h"

#include <gtest/gtest.h>

#include <string>

namespace velk::test {
namespace {

// The text between after and the next until in text, or "".
std::string textBetween(const std::string& text, const std::string& after,
                        const std::string& until) {
    const size_t at = text.find(after);
    if (at == std::string::npos) return "";
    const size_t start = at + after.size();
    return text.substr(start, text.find(until, start) - start);
}

std::string get(uint16_t port, const std::string& target, const std::string& headers = "") {
    return loopbackRoundTrip(port, "GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
}

std::string post(uint16_t port, const std::string& target, const std::string& headers,
                 const std::string& body) {
    return loopbackRoundTrip(port, "POST " + target + " HTTP/1.1\r\nHost: x\r\n" + headers +
                                       "Content-Length: " + std::to_string(body.size()) +
                                       "\r\n\r\n" + body);
}

TEST(SpaServer, CountsOnlySignInsWithTheVisitsTokensAndRefusesStaleOnes) {
    SpaServer server;
    const uint16_t port = server.port();
    const std::string page = get(port, "/");
    const std::string cookie =
        "Cookie: spa_session=" + textBetween(page, "spa_session=", ";") + "\r\n";
    const std::string csrf = textBetween(page, "name=\"csrf-token\" content=\"", "\"");
    ASSERT_EQ(csrf.size(), 40u);
    EXPECT_NE(page.find("fetch('/api/login'"), std::string::npos);
    const std::string json = R"({"user":"ann","password":"secret"})";

    // A token from a visit the session no longer has: 419.
    EXPECT_EQ(textBetween(get(port, "/", cookie), "content=\"", "\"").size(), 40u);
    EXPECT_TRUE(post(port, "/api/login", cookie + "X-CSRF-Token: " + csrf + "\r\n", json)
                    .starts_with("HTTP/1.1 419 Page Expired"));
    const std::string fresh = server.lastCsrfToken();
    EXPECT_TRUE(post(port, "/api/login", cookie + "X-CSRF-Token: " + fresh + "\r\n",
                     R"({"user":"ann","password":"wrong"})")
                    .starts_with("HTTP/1.1 401"));
    const std::string login =
        post(port, "/api/login", cookie + "X-CSRF-Token: " + fresh + "\r\n", json);
    const std::string bearer = textBetween(login, "{\"token\":\"", "\"");
    ASSERT_EQ(bearer, server.lastBearerToken());

    EXPECT_NE(get(port, "/api/me", cookie + "Authorization: Bearer " + bearer + "\r\n")
                  .find(R"({"name":"ann"})"),
              std::string::npos);
    // The same token from another visitor's session, and a made-up one: 401.
    const std::string other =
        "Cookie: spa_session=" + textBetween(get(port, "/"), "spa_session=", ";");
    EXPECT_TRUE(get(port, "/api/me", other + "\r\nAuthorization: Bearer " + bearer + "\r\n")
                    .starts_with("HTTP/1.1 401"));
    EXPECT_TRUE(get(port, "/api/me", cookie + "Authorization: Bearer x" + bearer + "\r\n")
                    .starts_with("HTTP/1.1 401"));

    EXPECT_EQ(server.pageVisits(), 3);
    EXPECT_EQ(server.signIns(), 1);
    EXPECT_EQ(server.signedInCalls(), 1);
    EXPECT_EQ(server.csrfRefusals(), 1);
    EXPECT_EQ(server.bearerRefusals(), 2);
    EXPECT_EQ(server.badPasswords(), 1);
}

TEST(SpaServer, FormLoginSpendsItsTokenAndRedirectsASignedInVisitor) {
    SpaServer server;
    const uint16_t port = server.port();
    const std::string form = get(port, "/login");
    const std::string cookie =
        "Cookie: spa_session=" + textBetween(form, "spa_session=", ";") + "\r\n";
    const std::string token = textBetween(form, "name=\"_token\" value=\"", "\"");
    ASSERT_EQ(token.size(), 40u);
    const std::string urlencoded = "Content-Type: application/x-www-form-urlencoded\r\n";

    EXPECT_TRUE(get(port, "/home", cookie).starts_with("HTTP/1.1 302 Found"));
    const std::string signIn =
        post(port, "/login", cookie + urlencoded, "_token=" + token + "&user=a+b&password=secret");
    EXPECT_TRUE(signIn.starts_with("HTTP/1.1 302 Found"));
    EXPECT_NE(signIn.find("Location: /home\r\n"), std::string::npos);
    EXPECT_NE(get(port, "/home", cookie).find("Welcome, a b"), std::string::npos);
    // Signed in: the login page sends the visitor home, and the spent token is refused.
    EXPECT_NE(get(port, "/login", cookie).find("Location: /home\r\n"), std::string::npos);
    EXPECT_TRUE(
        post(port, "/login", cookie + urlencoded, "_token=" + token + "&user=a&password=secret")
            .starts_with("HTTP/1.1 419"));

    EXPECT_EQ(server.formSignIns(), 1);
    EXPECT_EQ(server.loginRedirects(), 1);
    EXPECT_EQ(server.formRefusals(), 1);
    EXPECT_EQ(server.homeViews(), 1);
}

}  // namespace
}  // namespace velk::test
