#include "support/test_http_server.h"

#include <chrono>

namespace velk::test {

TestHttpServer::TestHttpServer() : TestHttpServer(Options{}) {}

TestHttpServer::TestHttpServer(Options options)
    : m_options(options), m_listener(4096, options.ipv6) {
    if (m_options.tls) m_tlsContext = TestCertificate::shared().newServerContext();
    m_listener.start([this](PeerStream& stream, int index) { serve(stream, index); });
}

TestHttpServer::~TestHttpServer() {
    m_listener.stop();
}

void TestHttpServer::setHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handler = std::move(handler);
}

void TestHttpServer::setAcceptHandler(AcceptHandler handler) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onAccept = std::move(handler);
}

TestHttpServer::Handler TestHttpServer::replyWith(std::string raw, bool closeAfter) {
    return [raw = std::move(raw), closeAfter](const ReceivedRequest&, Responder& r) {
        r.send(raw);
        if (closeAfter) r.close();
    };
}

std::vector<ReceivedRequest> TestHttpServer::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

int TestHttpServer::requestCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_requests.size());
}

std::string TestHttpServer::connectionBytes(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_connections.find(index);
    return it == m_connections.end() ? std::string() : it->second.bytes;
}

std::string TestHttpServer::serverName(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_connections.find(index);
    return it == m_connections.end() ? std::string() : it->second.serverName;
}

int TestHttpServer::tlsHandshakes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const auto& [index, record] : m_connections) n += record.tlsDone ? 1 : 0;
    return n;
}

bool TestHttpServer::waitForRequests(int n, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return int(m_requests.size()) >= n; });
}

bool TestHttpServer::waitForConnections(int n, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return int(m_connections.size()) >= n; });
}

void TestHttpServer::appendBytes(int index, std::string_view bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connections[index].bytes.append(bytes);
}

void TestHttpServer::serve(PeerStream& stream, int index) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections[index];
    }
    m_changed.notify_all();
    if (m_tlsContext) {
        if (!stream.acceptTls(m_tlsContext.get(), kIdleTimeoutMs)) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections[index].serverName = stream.serverName();
        m_connections[index].tlsDone = true;
    }
    Responder responder(stream, [this, index](std::string_view b) { appendBytes(index, b); });
    AcceptHandler onAccept;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        onAccept = m_onAccept;
    }
    if (onAccept) {
        onAccept(responder);
        if (responder.finished()) return;
    }

    std::string buffer;
    char piece[16384];
    auto readMore = [&]() {
        int n = stream.receive(piece, sizeof piece, kIdleTimeoutMs);
        if (n <= 0) return false;
        buffer.append(piece, size_t(n));
        appendBytes(index, std::string_view(piece, size_t(n)));
        return true;
    };
    for (int onConnection = 0;; ++onConnection) {
        size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            if (buffer.size() > kMaxHead || !readMore()) return;
        }
        ReceivedRequest request;
        if (!parseRequestHead(std::string_view(buffer).substr(0, headEnd + 4), request)) return;
        const long long length = contentLengthOf(request);
        if (length < 0 || length > kMaxBody) return;
        const size_t total = headEnd + 4 + size_t(length);
        while (buffer.size() < total) {
            if (!readMore()) return;
        }
        request.raw = buffer.substr(0, total);
        request.body = buffer.substr(headEnd + 4, size_t(length));
        buffer.erase(0, total);
        request.connection = index;
        request.onConnection = onConnection;
        Handler handler;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            request.sequence = int(m_requests.size());
            m_requests.push_back(request);
            handler = m_handler;
        }
        m_changed.notify_all();
        if (handler) {
            handler(request, responder);
        } else {
            responder.respond(200, "");
        }
        if (responder.finished()) return;
    }
}

}  // namespace velk::test
