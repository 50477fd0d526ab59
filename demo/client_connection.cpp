#include "client_connection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <utility>

#include "page_layout.h"

namespace velk::demo {

namespace {

constexpr size_t kReadChunk = 16 * 1024;
// How long a closing connection waits for the client to finish sending.
constexpr int kLingerMs = 1000;
constexpr size_t kLingerMaxBytes = 1024 * 1024;

}  // namespace

ClientConnection::ClientConnection(UniqueFd socket, DemoSite& site, const ServerLimits& limits,
                                   const StopSignal& stop)
    : m_socket(std::move(socket)),
      m_site(site),
      m_limits(limits),
      m_stop(stop),
      m_parser(limits.maxHeaderBytes, limits.maxBodyBytes) {}

void ClientConnection::run() {
    for (;;) {
        HttpRequest request;
        size_t consumed = 0;
        const ParseStatus status = m_parser.parse(m_buffer, request, consumed);
        if (status == ParseStatus::NeedMore) {
            if (!readMore()) return;
            continue;
        }
        if (status != ParseStatus::Complete) {
            if (sendAll(errorResponse(statusFor(status)).toBytes(false))) closeGracefully();
            return;
        }
        m_buffer.erase(0, consumed);

        const HttpResponse response = m_site.handle(request);
        const bool keepAlive = request.keepAlive() && !m_stop.triggered();
        if (response.delay.count() > 0 && !m_stop.sleepFor(response.delay)) return;
        if (!sendAll(response.toBytes(keepAlive, request.method != "HEAD"))) return;
        if (!keepAlive) {
            closeGracefully();
            return;
        }
    }
}

ClientConnection::Wait ClientConnection::waitFor(short events, int timeoutMs) {
    pollfd fds[2] = {{m_socket.get(), events, 0}, {m_stop.fd(), POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Wait::TimedOut;
        const int r = ::poll(fds, 2, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 || fds[1].revents != 0) return Wait::Stopped;
        // Errors and hang-ups count as ready: the following read or send reports them.
        if (fds[0].revents != 0) return Wait::Ready;
    }
}

bool ClientConnection::readMore() {
    const int idleMs = static_cast<int>(m_limits.idleTimeout.count());
    for (;;) {
        const size_t old = m_buffer.size();
        m_buffer.resize(old + kReadChunk);
        const ssize_t n = ::recv(m_socket.get(), m_buffer.data() + old, kReadChunk, 0);
        m_buffer.resize(old + (n > 0 ? static_cast<size_t>(n) : 0));
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (waitFor(POLLIN, idleMs) != Wait::Ready) return false;
    }
}

bool ClientConnection::sendAll(std::string_view bytes) {
    const int idleMs = static_cast<int>(m_limits.idleTimeout.count());
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (waitFor(POLLOUT, idleMs) != Wait::Ready) return false;
    }
    return true;
}

void ClientConnection::closeGracefully() {
    ::shutdown(m_socket.get(), SHUT_WR);
    char sink[4096];
    size_t drained = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLingerMs);
    while (drained < kLingerMaxBytes) {
        const ssize_t n = ::recv(m_socket.get(), sink, sizeof sink, 0);
        if (n > 0) {
            drained += static_cast<size_t>(n);
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || waitFor(POLLIN, static_cast<int>(left.count())) != Wait::Ready)
            return;
    }
}

}  // namespace velk::demo
