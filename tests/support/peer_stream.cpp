#include "support/peer_stream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace velk::test {
namespace {

using Clock = std::chrono::steady_clock;

int millisLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : int(left.count());
}

}  // namespace

PeerStream::PeerStream(int fd, const StopSignal& stop) : m_fd(fd), m_stop(stop) {}

PeerStream::~PeerStream() {
    closeNow();
}

bool PeerStream::waitFor(short events, int timeoutMs) const {
    pollfd p[2] = {{m_fd, events, 0}, {m_stop.fd(), POLLIN, 0}};
    int rc;
    do {
        rc = ::poll(p, 2, timeoutMs < 0 ? 0 : timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc > 0 && p[1].revents == 0 && p[0].revents != 0;
}

bool PeerStream::acceptTls(ssl_ctx_st* ctx, int timeoutMs) {
    m_ssl = SSL_new(ctx);
    if (m_ssl == nullptr || SSL_set_fd(m_ssl, m_fd) != 1) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int rc = SSL_accept(m_ssl);
        if (rc == 1) break;
        int err = SSL_get_error(m_ssl, rc);
        short events = err == SSL_ERROR_WANT_READ    ? POLLIN
                       : err == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                     : 0;
        if (events == 0 || !waitFor(events, millisLeft(deadline))) {
            ERR_clear_error();
            return false;
        }
    }
    const char* name = SSL_get_servername(m_ssl, TLSEXT_NAMETYPE_host_name);
    if (name != nullptr) m_serverName = name;
    return true;
}

int PeerStream::receive(char* buffer, int size, int timeoutMs) {
    if (m_fd < 0) return -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        short events = POLLIN;
        if (m_ssl != nullptr) {
            int n = SSL_read(m_ssl, buffer, size);
            if (n > 0) return n;
            int err = SSL_get_error(m_ssl, n);
            if (err == SSL_ERROR_ZERO_RETURN) return 0;
            if (err == SSL_ERROR_WANT_WRITE) {
                events = POLLOUT;
            } else if (err != SSL_ERROR_WANT_READ) {
                ERR_clear_error();
                // A client that just closes without close_notify has ended the stream.
                return (err == SSL_ERROR_SYSCALL || err == SSL_ERROR_SSL) ? 0 : -1;
            }
        } else {
            ssize_t n = ::recv(m_fd, buffer, size_t(size), 0);
            if (n >= 0) return int(n);
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
        }
        if (!waitFor(events, millisLeft(deadline))) return kTimedOut;
    }
}

bool PeerStream::receiveExactly(std::string& out, size_t n, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char piece[4096];
    while (n > 0) {
        int want = n < sizeof piece ? int(n) : int(sizeof piece);
        int got = receive(piece, want, millisLeft(deadline));
        if (got <= 0) return false;
        out.append(piece, size_t(got));
        n -= size_t(got);
    }
    return true;
}

bool PeerStream::sendAll(std::string_view bytes, int timeoutMs) {
    if (m_fd < 0) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t sent = 0;
    while (sent < bytes.size()) {
        short events = POLLOUT;
        if (m_ssl != nullptr) {
            int n = SSL_write(m_ssl, bytes.data() + sent, int(bytes.size() - sent));
            if (n > 0) {
                sent += size_t(n);
                continue;
            }
            int err = SSL_get_error(m_ssl, n);
            if (err == SSL_ERROR_WANT_READ) {
                events = POLLIN;
            } else if (err != SSL_ERROR_WANT_WRITE) {
                ERR_clear_error();
                return false;
            }
        } else {
            ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += size_t(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return false;
            }
        }
        if (!waitFor(events, millisLeft(deadline))) return false;
    }
    return true;
}

void PeerStream::closeOrderly() {
    if (m_fd < 0) return;
    if (m_ssl != nullptr) SSL_shutdown(m_ssl);
    ::shutdown(m_fd, SHUT_WR);
    char sink[4096];
    const auto deadline = Clock::now() + std::chrono::milliseconds(2000);
    for (int i = 0; i < 1000; ++i) {
        ssize_t n = ::recv(m_fd, sink, sizeof sink, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            break;
        }
        if (n < 0 && !waitFor(POLLIN, millisLeft(deadline))) break;
    }
    closeNow();
}

void PeerStream::reset() {
    if (m_fd < 0) return;
    linger abortive{1, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    closeNow();
}

void PeerStream::closeNow() {
    if (m_ssl != nullptr) {
        SSL_free(m_ssl);
        m_ssl = nullptr;
        ERR_clear_error();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

}  // namespace velk::test
