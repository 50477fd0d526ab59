#pragma once
// A small JSON API on loopback, for tests that play a whole API session: a
// login that hands out bearer tokens, and orders that are listed, created
// (201), updated (PUT) and deleted (204).  It counts what really happened, so
// that a test can tell requests that did their work from requests that merely
// got an answer.
//
//   POST   /api/login        {"user":U,"password":"secret"} -> 200 {"token":T,...}; else 401
//   GET    /api/orders       -> 200 {"items":[...]}
//   POST   /api/orders       {"item":I,"qty":N} -> 201 {"id":K,...}, Location /api/orders/K
//   PUT    /api/orders/K     {"qty":N} -> 200 {"id":K,"qty":N}; unknown K: 404
//   DELETE /api/orders/K     -> 204; unknown K: 404
// Every /api/orders call needs "Authorization: Bearer T" with a token it gave
// out, else 401.  Safe to use from the test's thread while it serves.
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "support/test_http_server.h"

namespace velk::test {

class JsonApiServer {
public:
    JsonApiServer();

    uint16_t port() const { return m_http.port(); }

    // What happened, as the API saw it.
    int validLogins() const { return m_validLogins.load(); }
    int refusedLogins() const { return m_refusedLogins.load(); }
    int authorizedCalls() const { return m_authorizedCalls.load(); }
    int unauthorizedCalls() const { return m_unauthorizedCalls.load(); }
    int listed() const { return m_listed.load(); }
    int created() const { return m_created.load(); }
    int updated() const { return m_updated.load(); }
    int deleted() const { return m_deleted.load(); }
    int ordersLeft() const;

private:
    void serve(const ReceivedRequest& request, Responder& responder);

    TestHttpServer m_http;
    std::atomic<int> m_validLogins{0}, m_refusedLogins{0}, m_authorizedCalls{0},
        m_unauthorizedCalls{0}, m_listed{0}, m_created{0}, m_updated{0}, m_deleted{0};
    mutable std::mutex m_mutex;
    std::set<std::string> m_tokens;       // guarded by m_mutex
    std::map<int, std::string> m_orders;  // id to its JSON; guarded by m_mutex
    int m_nextId = 100;                   // guarded by m_mutex
};

}  // namespace velk::test
