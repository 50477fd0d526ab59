#include "demo_server.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <utility>

#include "client_connection.h"
#include "page_layout.h"

namespace velk::demo {

namespace {

// Finished connection threads are joined at least this often, even when idle.
constexpr int kReapIntervalMs = 1000;
// After running out of descriptors, accepting again at once would only spin.
constexpr std::chrono::milliseconds kAcceptBackoff{100};

}  // namespace

DemoServer::DemoServer(ServerLimits limits) : m_limits(limits) {}

DemoServer::~DemoServer() {
    stop();
}

void DemoServer::start(uint16_t port) {
    m_listener = std::make_unique<ListenSocket>(port);
    m_port.store(m_listener->port());
    m_acceptor = std::thread([this] { acceptLoop(); });
}

void DemoServer::stop() {
    m_stop.trigger();
    if (m_acceptor.joinable()) m_acceptor.join();
    // The acceptor has ended, so nobody adds connections any more.
    std::unordered_map<uint64_t, std::thread> connections;
    {
        std::lock_guard lock(m_mutex);
        connections.swap(m_connections);
        m_finished.clear();
    }
    for (auto& entry : connections) entry.second.join();
    // Those threads reported themselves finished on the way out.
    std::lock_guard lock(m_mutex);
    m_finished.clear();
}

size_t DemoServer::liveConnections() const {
    std::lock_guard lock(m_mutex);
    return m_connections.size() - m_finished.size();
}

void DemoServer::acceptLoop() {
    pollfd fds[2] = {{m_listener->fd(), POLLIN, 0}, {m_stop.fd(), POLLIN, 0}};
    for (;;) {
        const int r = ::poll(fds, 2, kReapIntervalMs);
        if (r < 0 && errno != EINTR) break;
        if (fds[1].revents != 0) break;
        joinFinished();
        if (r > 0 && fds[0].revents != 0) acceptPending();
    }
}

void DemoServer::acceptPending() {
    // Take the whole backlog per wake-up: load tests open connections in bursts.
    for (;;) {
        UniqueFd socket = m_listener->accept();
        if (!socket.valid()) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                m_stop.sleepFor(kAcceptBackoff);
            return;
        }
        if (liveConnections() >= static_cast<size_t>(m_limits.maxConnections)) {
            // Best effort and non-blocking: the acceptor must not wait on one client.
            const std::string busy = errorResponse(503).toBytes(false);
            [[maybe_unused]] ssize_t n =
                ::send(socket.get(), busy.data(), busy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            continue;
        }
        const uint64_t id = m_nextId++;
        std::lock_guard lock(m_mutex);
        try {
            // Started under the lock so the thread cannot report itself finished before
            // it is in m_connections.
            m_connections.emplace(id, std::thread([this, id, s = std::move(socket)]() mutable {
                                      serve(std::move(s), id);
                                  }));
        } catch (const std::system_error&) {
            // Out of threads: the socket went with the lambda and is closed; go on.
        }
    }
}

void DemoServer::serve(UniqueFd socket, uint64_t id) {
    try {
        ClientConnection(std::move(socket), m_site, m_limits, m_stop).run();
    } catch (...) {
        // Out of memory while answering: drop this connection, keep the server.
    }
    std::lock_guard lock(m_mutex);
    m_finished.push_back(id);
}

void DemoServer::joinFinished() {
    std::vector<std::thread> done;
    {
        std::lock_guard lock(m_mutex);
        for (uint64_t id : m_finished) {
            auto it = m_connections.find(id);
            done.push_back(std::move(it->second));
            m_connections.erase(it);
        }
        m_finished.clear();
    }
    for (std::thread& thread : done) thread.join();
}

}  // namespace velk::demo
