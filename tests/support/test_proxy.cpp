#include "support/test_proxy.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "support/received_request.h"

namespace velk::test {

// One client connection to the proxy: its handshake, then the relay.
class TestProxy::Session {
public:
    Session(TestProxy& proxy, PeerStream& client, int index)
        : m_proxy(proxy), m_opt(proxy.m_options), m_client(client), m_index(index) {}

    void run() {
        switch (m_opt.kind) {
            case Kind::kHttpForward:
                forward();
                break;
            case Kind::kConnect:
                connect();
                break;
            case Kind::kSocks4:
                socks4();
                break;
            case Kind::kSocks5:
                socks5();
                break;
        }
    }

private:
    static constexpr int kIdleRelayMs = 120000;

    bool readExactly(std::string& out, size_t n) {
        std::string got;
        if (out.size() + n > kMaxHandshake) return false;
        bool ok = m_client.receiveExactly(got, n, kTimeoutMs);
        m_proxy.noteReceived(m_index, got, true);
        out += got;
        return ok;
    }

    // Reads up to the blank line ending an HTTP head; extra holds bytes after it.
    bool readHead(std::string& head, std::string& extra) {
        char piece[4096];
        size_t end;
        while ((end = head.find("\r\n\r\n")) == std::string::npos) {
            if (head.size() > kMaxHandshake) return false;
            int n = m_client.receive(piece, sizeof piece, kTimeoutMs);
            if (n <= 0) return false;
            head.append(piece, size_t(n));
            m_proxy.noteReceived(m_index, std::string_view(piece, size_t(n)), true);
        }
        extra = head.substr(end + 4);
        head.erase(end + 4);
        return true;
    }

    bool reply(std::string_view bytes) {
        if (m_opt.replyByteDelayMs < 0) return m_client.sendAll(bytes, kTimeoutMs);
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0 && !m_client.stopSignal().sleepFor(m_opt.replyByteDelayMs)) return false;
            if (!m_client.sendAll(bytes.substr(i, 1), kTimeoutMs)) return false;
        }
        return true;
    }

    // Reads until the client closes or the proxy stops: a proxy that never answers.
    void beSilent() {
        char piece[4096];
        for (int i = 0; i < 1000; ++i) {
            int n = m_client.receive(piece, sizeof piece, 1000);
            if (n > 0) m_proxy.noteReceived(m_index, std::string_view(piece, size_t(n)), true);
            if (n == 0 || n == -1 || m_client.stopSignal().triggered()) return;
        }
    }

    // The port on 127.0.0.1 to open for a requested target, or 0 when refused.
    uint16_t allowedPort(bool targetIsLoopback, int requestedPort) const {
        if (m_opt.forwardPort != 0) return m_opt.forwardPort;
        if (!targetIsLoopback || requestedPort <= 0 || requestedPort > 65535) return 0;
        return uint16_t(requestedPort);
    }

    static bool isLoopbackName(const std::string& host) {
        return host == "127.0.0.1" || host == "localhost";
    }

    std::unique_ptr<PeerStream> openTarget(uint16_t port) {
        if (port == 0) return nullptr;
        int fd = connectLoopback(port, 5000);
        if (fd < 0) return nullptr;
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
        m_proxy.noteTunnel(m_index);
        return std::make_unique<PeerStream>(fd, m_client.stopSignal());
    }

    void relay(PeerStream& target, const std::string& initial) {
        if (!initial.empty() && !target.sendAll(initial, kTimeoutMs)) return;
        char piece[16384];
        using Clock = std::chrono::steady_clock;
        auto lastTraffic = Clock::now();
        while (Clock::now() - lastTraffic < std::chrono::milliseconds(kIdleRelayMs)) {
            pollfd p[3] = {{m_client.fd(), POLLIN, 0},
                           {target.fd(), POLLIN, 0},
                           {m_client.stopSignal().fd(), POLLIN, 0}};
            int rc = ::poll(p, 3, 1000);
            if (rc < 0 && errno != EINTR) return;
            if (p[2].revents != 0) return;
            if (p[0].revents != 0) {
                int n = m_client.receive(piece, sizeof piece, 0);
                if (n == 0 || n == -1) return;
                if (n > 0) {
                    lastTraffic = Clock::now();
                    m_proxy.noteReceived(m_index, std::string_view(piece, size_t(n)), false);
                    if (!target.sendAll(std::string_view(piece, size_t(n)), kTimeoutMs)) return;
                }
            }
            if (p[1].revents != 0) {
                int n = target.receive(piece, sizeof piece, 0);
                if (n == 0 || n == -1) {
                    m_client.closeOrderly();
                    return;
                }
                if (n > 0) {
                    lastTraffic = Clock::now();
                    if (!m_client.sendAll(std::string_view(piece, size_t(n)), kTimeoutMs)) return;
                }
            }
        }
    }

    void forward() {
        std::string head, extra;
        if (!readHead(head, extra)) return;
        ReceivedRequest request;
        if (!parseRequestHead(head, request)) return;
        long long length = contentLengthOf(request);
        if (length < 0 || size_t(length) > kMaxHandshake) return;
        std::string body = extra.substr(0, size_t(length));
        extra.erase(0, body.size());
        if (body.size() < size_t(length) && !readExactly(body, size_t(length) - body.size())) {
            return;
        }
        m_proxy.noteHandshakeDone(m_index);
        if (m_opt.silent) return beSilent();
        // "http://host[:port]/path"
        std::string host;
        int port = 80;
        const std::string& url = request.target;
        size_t start = url.find("://");
        if (start != std::string::npos) {
            start += 3;
            size_t end = url.find('/', start);
            std::string authority = url.substr(start, end == std::string::npos ? end : end - start);
            size_t colon = authority.find(':');
            host = authority.substr(0, colon);
            if (colon != std::string::npos) port = std::atoi(authority.c_str() + colon + 1);
        }
        auto target = openTarget(allowedPort(isLoopbackName(host), port));
        if (!target) {
            reply("HTTP/1.0 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
            m_client.closeOrderly();
            return;
        }
        relay(*target, head + body + extra);
    }

    void connect() {
        std::string head, extra;
        if (!readHead(head, extra)) return;
        m_proxy.noteHandshakeDone(m_index);
        if (m_opt.silent) return beSilent();
        if (!m_opt.connectReply.empty()) {
            reply(m_opt.connectReply);
            if (m_opt.connectStatus != 200) return m_client.closeOrderly();
        } else if (m_opt.connectStatus != 200) {
            reply("HTTP/1.0 " + std::to_string(m_opt.connectStatus) + " Refused\r\n\r\n");
            return m_client.closeOrderly();
        }
        // "CONNECT host[:port] HTTP/1.x"
        ReceivedRequest request;
        if (!parseRequestHead(head, request)) return;
        size_t colon = request.target.find(':');
        std::string host = request.target.substr(0, colon);
        int port = colon == std::string::npos ? 80 : std::atoi(request.target.c_str() + colon + 1);
        auto target = openTarget(allowedPort(isLoopbackName(host), port));
        if (!target) {
            if (m_opt.connectReply.empty()) reply("HTTP/1.0 502 Bad Gateway\r\n\r\n");
            return m_client.closeOrderly();
        }
        if (m_opt.connectReply.empty() && !reply("HTTP/1.0 200 Connection established\r\n\r\n")) {
            return;
        }
        relay(*target, extra);
    }

    void socks4() {
        std::string request;
        if (!readExactly(request, 8) || request[0] != 4) return;
        // The user id runs to a NUL.
        do {
            if (!readExactly(request, 1)) return;
        } while (request.back() != '\0');
        m_proxy.noteHandshakeDone(m_index);
        if (m_opt.silent) return beSilent();
        auto byte = [&](size_t i) { return uint8_t(request[i]); };
        const int port = byte(2) << 8 | byte(3);
        const bool loopback = byte(4) == 127 && byte(5) == 0 && byte(6) == 0 && byte(7) == 1;
        std::unique_ptr<PeerStream> target;
        if (m_opt.socks4Reply == 90) target = openTarget(allowedPort(loopback, port));
        const uint8_t code = target ? 90 : (m_opt.socks4Reply == 90 ? 91 : m_opt.socks4Reply);
        std::string answer{char(0), char(code)};
        answer.append(request, 2, 6);
        if (!reply(answer) || !target) return m_client.closeOrderly();
        relay(*target, "");
    }

    uint8_t chooseMethod(const std::string& offered) const {
        if (m_opt.socks5Method >= 0) return uint8_t(m_opt.socks5Method);
        const char wanted = m_opt.socks5User.empty() ? 0 : 2;
        return offered.find(wanted) != std::string::npos ? uint8_t(wanted) : 0xFF;
    }

    bool authenticate() {
        std::string auth;
        if (!readExactly(auth, 2) || !readExactly(auth, uint8_t(auth[1]))) return false;
        std::string user = auth.substr(2);
        if (!readExactly(auth, 1)) return false;
        const size_t passwordAt = auth.size();
        if (!readExactly(auth, uint8_t(auth.back()))) return false;
        std::string password = auth.substr(passwordAt);
        const bool ok =
            auth[0] == 1 && user == m_opt.socks5User && password == m_opt.socks5Password;
        return reply(std::string{char(1), char(ok ? 0 : 1)}) && ok;
    }

    void socks5() {
        std::string greeting;
        if (!readExactly(greeting, 2) || greeting[0] != 5 ||
            !readExactly(greeting, uint8_t(greeting[1]))) {
            return;
        }
        if (m_opt.silent) {
            m_proxy.noteHandshakeDone(m_index);
            return beSilent();
        }
        const uint8_t method = chooseMethod(greeting.substr(2));
        if (!reply(std::string{char(5), char(method)}) || method == 0xFF) {
            return m_client.closeOrderly();
        }
        if (method == 2 && !authenticate()) return m_client.closeOrderly();

        std::string request;
        if (!readExactly(request, 4)) return;
        std::string host;
        bool loopback = false;
        const uint8_t type = uint8_t(request[3]);
        if (type == 1) {
            if (!readExactly(request, 4)) return;
            loopback = request.compare(4, 4, std::string("\x7f\x00\x00\x01", 4)) == 0;
        } else if (type == 3) {
            if (!readExactly(request, 1) || !readExactly(request, uint8_t(request[4]))) return;
            loopback = isLoopbackName(request.substr(5));
        } else if (type != 4 || !readExactly(request, 16)) {
            return;
        }
        if (!readExactly(request, 2)) return;
        m_proxy.noteHandshakeDone(m_index);
        const size_t portAt = request.size() - 2;
        const int port = uint8_t(request[portAt]) << 8 | uint8_t(request[portAt + 1]);

        std::unique_ptr<PeerStream> target;
        if (m_opt.socks5Reply == 0) target = openTarget(allowedPort(loopback, port));
        const uint8_t code = target ? 0 : (m_opt.socks5Reply == 0 ? 5 : m_opt.socks5Reply);
        std::string answer{char(5), char(code), char(0)};
        switch (m_opt.socks5Bound) {
            case BoundAddress::kIPv4:
                answer += std::string("\x01\x7f\x00\x00\x01", 5);
                break;
            case BoundAddress::kIPv6:
                answer += '\x04';
                answer += std::string(15, '\0') + '\x01';
                break;
            case BoundAddress::kDomain:
                answer += "\x03\x09localhost";
                break;
        }
        answer.append(request, portAt, 2);
        if (!reply(answer) || !target) return m_client.closeOrderly();
        relay(*target, "");
    }

    TestProxy& m_proxy;
    const Options& m_opt;
    PeerStream& m_client;
    int m_index;
};

TestProxy::Options TestProxy::options(Kind kind, uint16_t forwardPort) {
    Options o;
    o.kind = kind;
    o.forwardPort = forwardPort;
    return o;
}

TestProxy::TestProxy(Options options) : m_options(std::move(options)) {
    m_listener.start([this](PeerStream& client, int index) { serve(client, index); });
}

TestProxy::~TestProxy() {
    m_listener.stop();
}

void TestProxy::serve(PeerStream& client, int index) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_records[index];
    }
    Session(*this, client, index).run();
}

void TestProxy::noteReceived(int index, std::string_view bytes, bool handshakePart) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Record& r = m_records[index];
    r.received.append(bytes);
    if (handshakePart) r.handshake.append(bytes);
}

void TestProxy::noteHandshakeDone(int index) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_records[index].handshakeDone = true;
    }
    m_changed.notify_all();
}

void TestProxy::noteTunnel(int index) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records[index].tunnelled = true;
}

std::string TestProxy::handshake(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_records.find(index);
    return it == m_records.end() ? std::string() : it->second.handshake;
}

std::string TestProxy::received(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_records.find(index);
    return it == m_records.end() ? std::string() : it->second.received;
}

int TestProxy::tunnelsOpened() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const auto& [index, r] : m_records) n += r.tunnelled ? 1 : 0;
    return n;
}

bool TestProxy::waitForHandshakes(int n, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        int done = 0;
        for (const auto& [index, r] : m_records) done += r.handshakeDone ? 1 : 0;
        return done >= n;
    });
}

}  // namespace velk::test
