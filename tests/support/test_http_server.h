#pragma once
// A scriptable HTTP/1.x server on 127.0.0.1 (ephemeral port) for network tests.
//
// It reads each request whole (head, then a Content-Length body), records it, and
// hands it to the handler, which answers through a Responder: raw bytes, trickled
// bytes, pauses, stalls, orderly close or reset.  After the handler returns, the
// server reads the next request on the same connection unless the handler ended it.
// Without a handler every request gets "200 OK" with an empty body.
//
//   TestHttpServer server;
//   server.setHandler([](const ReceivedRequest& req, Responder& r) {
//       r.respond(200, "hello", "Connection: close\r\n");
//       r.close();
//   });
//   ... connect to 127.0.0.1:server.port() ...
//   EXPECT_EQ(server.requests()[0].raw, "GET / HTTP/1.1\r\n...");
//
// With Options::tls it speaks TLS with a certificate made at start-up and records
// the server name each client sent.  The destructor stops the server within a
// bounded time.  All members are safe to call from any thread; handlers run on the
// connection threads.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "support/http_text.h"
#include "support/loopback_listener.h"
#include "support/received_request.h"
#include "support/responder.h"
#include "support/test_certificate.h"

namespace velk::test {

class TestHttpServer {
public:
    struct Options {
        bool tls = false;
        bool ipv6 = false;  // listen on ::1
    };
    using Handler = std::function<void(const ReceivedRequest&, Responder&)>;
    // Runs when a connection is accepted (after the TLS handshake), before any
    // request is read: for servers that speak first, close at once or stall.
    using AcceptHandler = std::function<void(Responder&)>;

    // Caps that keep a misbehaving client from growing the server without bound.
    static constexpr size_t kMaxHead = 1 << 20;
    static constexpr long long kMaxBody = 64ll << 20;
    // Longest wait for the next bytes of a request.
    static constexpr int kIdleTimeoutMs = 120000;

    TestHttpServer();
    explicit TestHttpServer(Options options);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    uint16_t port() const { return m_listener.port(); }
    void setHandler(Handler handler);
    void setAcceptHandler(AcceptHandler handler);
    // A handler that answers every request with these bytes, then closes when asked.
    static Handler replyWith(std::string raw, bool closeAfter = false);

    std::vector<ReceivedRequest> requests() const;
    int requestCount() const;
    // TCP connections accepted so far (keep-alive reuse shows as fewer connections
    // than requests).
    int acceptedConnections() const { return m_listener.accepted(); }
    // Every byte received on the index-th accepted connection, requests or not.
    std::string connectionBytes(int index) const;
    // The TLS server name sent on the index-th connection ("" when none).
    std::string serverName(int index) const;
    // Completed TLS handshakes so far.
    int tlsHandshakes() const;
    // Waits until at least n requests arrived; false after timeoutMs.
    bool waitForRequests(int n, int timeoutMs) const;
    bool waitForConnections(int n, int timeoutMs) const;

    void stop() { m_listener.stop(); }

private:
    struct ConnectionRecord {
        std::string bytes;
        std::string serverName;
        bool tlsDone = false;
    };
    void serve(PeerStream& stream, int index);
    void appendBytes(int index, std::string_view bytes);

    Options m_options;
    ServerContextPtr m_tlsContext;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Handler m_handler;                              // GUARDED_BY(m_mutex)
    AcceptHandler m_onAccept;                       // GUARDED_BY(m_mutex)
    std::vector<ReceivedRequest> m_requests;        // GUARDED_BY(m_mutex)
    std::map<int, ConnectionRecord> m_connections;  // GUARDED_BY(m_mutex)
    LoopbackListener m_listener;                    // last: stopped first, before the state it uses
};

}  // namespace velk::test
