#pragma once
// The login flow: the login form with its one-time token, the login itself (any
// user name, password "secret"), the account page behind the session cookie, and
// logout.  Safe from any thread: the token and session stores lock themselves.
#include "http_request.h"
#include "http_response.h"
#include "session_store.h"
#include "token_store.h"

namespace velk::demo {

class AccountPages {
public:
    static constexpr const char* kPassword = "secret";
    static constexpr const char* kCookieName = "session";

    HttpResponse loginForm();
    HttpResponse login(const HttpRequest& request);
    HttpResponse account(const HttpRequest& request);
    HttpResponse logout(const HttpRequest& request);

private:
    HttpResponse formPage(bool failed);
    std::string sessionCookie(const HttpRequest& request) const;

    TokenStore m_tokens;
    SessionStore m_sessions;
};

}  // namespace velk::demo
