#pragma once
// A small single-page application on loopback, for tests that record and replay
// what a page's scripts send, and a framework-style form login beside it.  It
// counts what really happened, so a test can tell sign-ins that worked from
// requests that merely got an answer.
//
// Single-page sign-in (the password is "secret" for every user name):
//   GET  /           the page; a session cookie ("spa_session") and, per visit, a
//                    fresh random token in <meta name="csrf-token" content=...>.
//                    Its script sends the sign-in form with fetch():
//   POST /api/login  JSON {"user":U,"password":P} with "X-CSRF-Token: <meta>";
//                    -> 200 {"token":T,"user":U} (T random, bound to the session);
//                    no session or a token other than the session's latest: 419;
//                    wrong password: 401
//   GET  /api/me     "Authorization: Bearer T" with the session that signed in
//                    -> 200 {"name":U}; an unknown or stale token: 401
// Framework-style form login (same session cookie):
//   GET  /login      a form with a hidden "_token"; a signed-in visitor gets a
//                    302 to /home instead
//   POST /login      urlencoded _token, user, password: the session's latest
//                    _token and the password -> 302 to /home; a wrong or stale
//                    _token: 419; a wrong password: 401
//   GET  /home       signed in: 200 "Welcome, U"; otherwise 302 to /login
// Every counter is an atomic, safe to read from the test's thread while the
// server runs; the session table is guarded by a mutex.
#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <string>

#include "support/test_http_server.h"

namespace velk::test {

class SpaServer {
public:
    SpaServer();

    uint16_t port() const { return m_http.port(); }
    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port()); }

    // Single-page application.
    int pageVisits() const { return m_pageVisits.load(); }
    int signIns() const { return m_signIns.load(); }
    int signedInCalls() const { return m_signedInCalls.load(); }
    int csrfRefusals() const { return m_csrfRefusals.load(); }
    int bearerRefusals() const { return m_bearerRefusals.load(); }
    // Framework-style form login.
    int formSignIns() const { return m_formSignIns.load(); }
    int formRefusals() const { return m_formRefusals.load(); }
    int loginRedirects() const { return m_loginRedirects.load(); }
    int homeViews() const { return m_homeViews.load(); }
    // Wrong passwords, on either login.
    int badPasswords() const { return m_badPasswords.load(); }

    // The latest random tokens the server gave out, for tests that build what a
    // browser would have saved.
    std::string lastCsrfToken() const;
    std::string lastBearerToken() const;

private:
    struct Session {
        std::string csrf;       // the meta-tag token of the latest visit of /
        std::string formToken;  // the hidden _token of the latest GET /login
        std::string bearer;     // the latest bearer token given out
        std::string apiUser;    // who signed in through /api/login
        std::string formUser;   // who signed in through POST /login
    };

    void serve(const ReceivedRequest& request, Responder& out);
    void servePage(const ReceivedRequest& request, Responder& out);
    void serveApiLogin(const ReceivedRequest& request, Responder& out);
    void serveMe(const ReceivedRequest& request, Responder& out);
    void serveLoginForm(const ReceivedRequest& request, Responder& out);
    void serveLoginPost(const ReceivedRequest& request, Responder& out);
    void serveHome(const ReceivedRequest& request, Responder& out);
    // The request's session, or a new one; sets cookieHeader when a new
    // session needs a Set-Cookie line.  Call with m_mutex held.
    Session& sessionFor(const ReceivedRequest& request, std::string& cookieHeader);
    // The request's known session or nullptr.  Call with m_mutex held.
    Session* knownSession(const ReceivedRequest& request);
    std::string randomToken(size_t length);  // call with m_mutex held

    std::atomic<int> m_pageVisits{0}, m_signIns{0}, m_signedInCalls{0}, m_csrfRefusals{0},
        m_bearerRefusals{0}, m_formSignIns{0}, m_formRefusals{0}, m_loginRedirects{0},
        m_homeViews{0}, m_badPasswords{0};
    mutable std::mutex m_mutex;
    std::map<std::string, Session> m_sessions;  // by cookie value; GUARDED_BY(m_mutex)
    std::mt19937_64 m_random;                   // GUARDED_BY(m_mutex)
    std::string m_lastCsrf, m_lastBearer;       // GUARDED_BY(m_mutex)
    TestHttpServer m_http;                      // last: stopped first, before the state it uses
};

// One request on a connection of its own to 127.0.0.1:port; the whole answer
// (the connection's sending side is closed after the request, so the server
// ends it).  Empty when nothing could be sent.
std::string loopbackRoundTrip(uint16_t port, const std::string& request);

}  // namespace velk::test
