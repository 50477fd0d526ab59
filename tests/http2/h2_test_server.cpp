#include "http2/h2_test_server.h"

#include <nghttp2/nghttp2.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "support/peer_stream.h"

namespace velk::test {
namespace {

constexpr int kHandshakeMs = 10000;
constexpr int kSendMs = 10000;
constexpr int kSliceMs = 100;
// Turns of a connection's loop: far more than any test needs, so a client that
// keeps a connection busy cannot keep the server's thread for ever.
constexpr int kMaxTurns = 1000000;

int selectH2(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in,
             unsigned int inLength, void*) {
    static constexpr unsigned char kH2[] = {'h', '2'};
    for (unsigned int i = 0; i < inLength; i += 1u + in[i]) {
        if (in[i] == 2 && i + 2 < inLength + 1 && std::memcmp(in + i + 1, kH2, 2) == 0) {
            *out = in + i + 1;
            *outLength = 2;
            return SSL_TLSEXT_ERR_OK;
        }
    }
    return SSL_TLSEXT_ERR_NOACK;
}

struct Stream {
    H2Request request;
    std::string body;
    size_t sent = 0;
};

// One connection's server session: the library's callbacks and what they build.
struct Connection {
    H2TestServer::Options options;
    const H2TestServer::Handler* handler = nullptr;
    std::function<void(H2Request)> record;
    std::map<int32_t, Stream> streams;

    static Connection& of(void* user) { return *static_cast<Connection*>(user); }

    static int beginHeaders(nghttp2_session*, const nghttp2_frame* frame, void* user) {
        if (frame->hd.type == NGHTTP2_HEADERS) of(user).streams[frame->hd.stream_id];
        return 0;
    }
    static int header(nghttp2_session*, const nghttp2_frame* frame, const uint8_t* name,
                      size_t nameLength, const uint8_t* value, size_t valueLength, uint8_t,
                      void* user) {
        H2Request& r = of(user).streams[frame->hd.stream_id].request;
        std::string n(reinterpret_cast<const char*>(name), nameLength);
        std::string v(reinterpret_cast<const char*>(value), valueLength);
        if (n == ":method")
            r.method = v;
        else if (n == ":scheme")
            r.scheme = v;
        else if (n == ":authority")
            r.authority = v;
        else if (n == ":path")
            r.path = v;
        else
            r.headers.emplace_back(std::move(n), std::move(v));
        return 0;
    }
    static int data(nghttp2_session*, uint8_t, int32_t id, const uint8_t* bytes, size_t length,
                    void* user) {
        of(user).streams[id].request.body.append(reinterpret_cast<const char*>(bytes), length);
        return 0;
    }
    static ssize_t readBody(nghttp2_session*, int32_t id, uint8_t* buffer, size_t length,
                            uint32_t* flags, nghttp2_data_source*, void* user) {
        Connection& c = of(user);
        Stream& s = c.streams[id];
        const size_t n = std::min({length, c.options.dataFrameBytes, s.body.size() - s.sent});
        std::memcpy(buffer, s.body.data() + s.sent, n);
        s.sent += n;
        if (s.sent == s.body.size()) *flags |= NGHTTP2_DATA_FLAG_EOF;
        return ssize_t(n);
    }
    static int frameReceived(nghttp2_session* session, const nghttp2_frame* frame, void* user) {
        Connection& c = of(user);
        const bool ended = (frame->hd.flags & NGHTTP2_FLAG_END_STREAM) != 0;
        if (!ended || (frame->hd.type != NGHTTP2_HEADERS && frame->hd.type != NGHTTP2_DATA))
            return 0;
        Stream& s = c.streams[frame->hd.stream_id];
        c.record(s.request);
        const H2Response response = (*c.handler)(s.request);
        s.body = response.body;
        const std::string status = std::to_string(response.status);
        std::vector<nghttp2_nv> fields;
        auto add = [&](const std::string& n, const std::string& v) {
            fields.push_back(nghttp2_nv{reinterpret_cast<uint8_t*>(const_cast<char*>(n.data())),
                                        reinterpret_cast<uint8_t*>(const_cast<char*>(v.data())),
                                        n.size(), v.size(), NGHTTP2_NV_FLAG_NONE});
        };
        static const std::string kStatus = ":status";
        add(kStatus, status);
        for (const auto& [n, v] : response.headers) add(n, v);
        nghttp2_data_provider provider{};
        provider.read_callback = &Connection::readBody;
        nghttp2_submit_response(session, frame->hd.stream_id, fields.data(), fields.size(),
                                &provider);
        return 0;
    }
};

}  // namespace

std::string H2Request::header(std::string_view name) const {
    for (const auto& [n, v] : headers)
        if (n == name) return v;
    return "";
}

H2TestServer::H2TestServer(Options options, Handler handler)
    : m_options(options), m_handler(std::move(handler)) {
    if (m_options.tls) {
        m_tlsContext = TestCertificate::shared().newServerContext();
        SSL_CTX_set_alpn_select_cb(m_tlsContext.get(), &selectH2, nullptr);
    }
    m_listener.start([this](PeerStream& stream, int) { serve(stream); });
}

H2TestServer::H2TestServer(Options options, RawSession raw)
    : m_options(options), m_raw(std::move(raw)) {
    if (m_options.tls) {
        m_tlsContext = TestCertificate::shared().newServerContext();
        SSL_CTX_set_alpn_select_cb(m_tlsContext.get(), &selectH2, nullptr);
    }
    m_listener.start([this](PeerStream& stream, int) { serve(stream); });
}

H2TestServer::~H2TestServer() {
    m_listener.stop();
}

std::vector<H2Request> H2TestServer::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void H2TestServer::record(H2Request request) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(std::move(request));
}

std::string H2TestServer::frame(uint8_t type, uint8_t flags, uint32_t stream,
                                std::string_view payload) {
    const size_t n = payload.size();
    std::string out{char(n >> 16),      char(n >> 8),      char(n),
                    char(type),         char(flags),       char((stream >> 24) & 0x7f),
                    char(stream >> 16), char(stream >> 8), char(stream)};
    out.append(payload);
    return out;
}

std::string H2TestServer::literal(std::string_view name, std::string_view value) {
    std::string out{char(0x00), char(name.size())};
    out.append(name);
    out.push_back(char(value.size()));
    out.append(value);
    return out;
}

void H2TestServer::serve(PeerStream& stream) {
    if (m_options.tls && !stream.acceptTls(m_tlsContext.get(), kHandshakeMs)) return;
    if (m_raw) {
        // The preface and the client's first frames come together or nearly so.
        std::string received;
        char buffer[16384];
        for (int i = 0; i < 20 && received.size() < 24; ++i) {
            const int n = stream.receive(buffer, sizeof buffer, kSliceMs);
            if (n == 0 || n == -1) return;
            if (n > 0) received.append(buffer, size_t(n));
        }
        m_raw(stream, received);
        return;
    }
    serveHttp2(stream);
}

void H2TestServer::serveHttp2(PeerStream& stream) {
    Connection c;
    c.options = m_options;
    c.handler = &m_handler;
    c.record = [this](H2Request r) { record(std::move(r)); };
    nghttp2_session_callbacks* callbacks = nullptr;
    nghttp2_session_callbacks_new(&callbacks);
    nghttp2_session_callbacks_set_on_begin_headers_callback(callbacks, &Connection::beginHeaders);
    nghttp2_session_callbacks_set_on_header_callback(callbacks, &Connection::header);
    nghttp2_session_callbacks_set_on_data_chunk_recv_callback(callbacks, &Connection::data);
    nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, &Connection::frameReceived);
    nghttp2_session* session = nullptr;
    nghttp2_session_server_new(&session, callbacks, &c);
    nghttp2_session_callbacks_del(callbacks);
    const nghttp2_settings_entry settings[] = {
        {NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS, m_options.maxConcurrentStreams},
        {NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, m_options.initialWindow},
    };
    nghttp2_submit_settings(session, NGHTTP2_FLAG_NONE, settings, 2);
    char buffer[16384];
    for (int turn = 0; turn < kMaxTurns; ++turn) {
        bool sendFailed = false;
        for (;;) {
            const uint8_t* bytes = nullptr;
            const ssize_t n = nghttp2_session_mem_send(session, &bytes);
            if (n <= 0) break;
            if (!stream.sendAll(std::string_view(reinterpret_cast<const char*>(bytes), size_t(n)),
                                kSendMs)) {
                sendFailed = true;
                break;
            }
        }
        if (sendFailed ||
            (nghttp2_session_want_read(session) == 0 && nghttp2_session_want_write(session) == 0))
            break;
        const int n = stream.receive(buffer, sizeof buffer, kSliceMs);
        if (n == PeerStream::kTimedOut) {
            if (stream.stopSignal().triggered()) break;
            continue;
        }
        if (n <= 0) break;
        if (nghttp2_session_mem_recv(session, reinterpret_cast<const uint8_t*>(buffer), size_t(n)) <
            0)
            break;
    }
    nghttp2_session_del(session);
}

}  // namespace velk::test
