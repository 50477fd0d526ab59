#include "account_pages.h"

#include <string>

#include "form_data.h"
#include "page_layout.h"
#include "text_util.h"

namespace velk::demo {

HttpResponse AccountPages::loginForm() {
    return formPage(false);
}

HttpResponse AccountPages::login(const HttpRequest& request) {
    const FormData form = FormData::parse(request.body);
    // Redeem first: every attempt uses its token up, right or wrong.
    const bool tokenOk = m_tokens.redeem(std::string(form.get("token")));
    if (!tokenOk || form.get("password") != kPassword) return formPage(true);

    const std::string session = m_sessions.open(std::string(form.get("user")));
    HttpResponse response = redirectResponse("/account");
    response.headers.emplace_back("Set-Cookie",
                                  std::string(kCookieName) + "=" + session + "; Path=/");
    return response;
}

HttpResponse AccountPages::account(const HttpRequest& request) {
    const auto user = m_sessions.user(sessionCookie(request));
    if (!user) return redirectResponse("/login");
    return pageResponse(200, "Your account",
                        "<p>Welcome, " + escapeHtml(*user) +
                            "!</p>\n<p>You have no open orders.</p>\n"
                            "<p><a href=\"/products\">Browse products</a> or "
                            "<a href=\"/logout\">log out</a>.</p>");
}

HttpResponse AccountPages::logout(const HttpRequest& request) {
    m_sessions.close(sessionCookie(request));
    HttpResponse response = redirectResponse("/");
    response.headers.emplace_back("Set-Cookie", std::string(kCookieName) + "=; Path=/; Max-Age=0");
    return response;
}

HttpResponse AccountPages::formPage(bool failed) {
    std::string body;
    if (failed) body += "<p class=\"error\">Login failed. Please try again.</p>\n";
    body +=
        "<form action=\"/login\" method=\"post\">\n"
        "<label>User <input type=\"text\" name=\"user\"></label>\n"
        "<label>Password <input type=\"password\" name=\"password\"></label>\n"
        "<input type=\"hidden\" name=\"token\" value=\"";
    body += m_tokens.issue();
    body +=
        "\">\n<button type=\"submit\">Log in</button>\n</form>\n"
        "<p>Any user name works; the password is <code>secret</code>.</p>";
    HttpResponse response = pageResponse(200, "Log in", body);
    // The token is single-use, so a cached copy of the form would be useless.
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

std::string AccountPages::sessionCookie(const HttpRequest& request) const {
    return std::string(FormData::parseCookies(request.header("cookie")).get(kCookieName));
}

}  // namespace velk::demo
