#pragma once
// HTTP/2 servers on 127.0.0.1 (ephemeral port) for the engine's HTTP/2 tests.
//
// H2TestServer speaks correct HTTP/2 through libnghttp2's server side, in clear
// text (prior knowledge) or over TLS choosing "h2" by ALPN, and answers each
// request through a handler; its settings can be made hostile to flow (1-byte
// windows, one stream at a time, 1-byte DATA frames).
//
// With a RawSession instead, the server reads the client's preface and first
// frames and then hands the connection to the test, which writes whatever frames
// it likes (frame() builds them): GOAWAY, resets, floods, HPACK bombs.
//
// Stopped, with every connection thread joined, by its destructor.  Safe from
// any thread; handlers run on the connection threads.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/loopback_listener.h"
#include "support/test_certificate.h"

namespace velk::test {

struct H2Request {
    std::string method, scheme, authority, path;
    std::vector<std::pair<std::string, std::string>> headers;  // regular fields, in order
    std::string body;
    // The first value of a field ("" when none).
    std::string header(std::string_view name) const;
};

struct H2Response {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;  // lower-case names
    std::string body;
};

class H2TestServer {
public:
    struct Options {
        bool tls = false;
        uint32_t initialWindow = 65535;  // SETTINGS_INITIAL_WINDOW_SIZE we announce
        uint32_t maxConcurrentStreams = 100;
        size_t dataFrameBytes = 16384;  // largest DATA payload we send
    };
    using Handler = std::function<H2Response(const H2Request&)>;
    // Gets the connection once the client's first bytes were read (received).
    using RawSession = std::function<void(PeerStream&, const std::string& received)>;

    H2TestServer(Options options, Handler handler);
    H2TestServer(Options options, RawSession raw);
    ~H2TestServer();
    H2TestServer(const H2TestServer&) = delete;
    H2TestServer& operator=(const H2TestServer&) = delete;

    uint16_t port() const { return m_listener.port(); }
    int acceptedConnections() const { return m_listener.accepted(); }
    std::vector<H2Request> requests() const;

    // One frame: the 9-byte header and the payload.
    static std::string frame(uint8_t type, uint8_t flags, uint32_t stream,
                             std::string_view payload);
    // An HPACK literal field without indexing, new name (lengths below 127).
    static std::string literal(std::string_view name, std::string_view value);

private:
    void serve(PeerStream& stream);
    bool handshake(PeerStream& stream);
    void serveHttp2(PeerStream& stream);
    void record(H2Request request);

    Options m_options;
    Handler m_handler;
    RawSession m_raw;
    ServerContextPtr m_tlsContext;
    mutable std::mutex m_mutex;
    std::vector<H2Request> m_requests;  // GUARDED_BY(m_mutex)
    LoopbackListener m_listener;        // last: stopped first
};

}  // namespace velk::test
