#pragma once
// The demo site's HTTP/1.1 server: listens on 127.0.0.1, accepts on one thread and
// serves each connection on a thread of its own (so the slow page holds up only its
// own connection), up to ServerLimits::maxConnections at once.  stop() (also run by
// the destructor) wakes every wait and joins every thread, so it returns promptly
// and leaves nothing running.
//
// Thread safety: start() and stop() are called by the owner; port() and
// liveConnections() from any thread.  m_mutex guards m_connections and m_finished.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "demo_site.h"
#include "listen_socket.h"
#include "server_limits.h"
#include "stop_signal.h"

namespace velk::demo {

class DemoServer {
public:
    explicit DemoServer(ServerLimits limits = {});
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Binds 127.0.0.1:port (0: an ephemeral port) and starts serving.  Throws
    // std::system_error when the port cannot be bound.  Call once.
    void start(uint16_t port);
    // The bound port, valid after start().
    uint16_t port() const { return m_port.load(); }
    // Idempotent.
    void stop();

    // Connections being served now.
    size_t liveConnections() const;

private:
    void acceptLoop();
    void acceptPending();
    void serve(UniqueFd socket, uint64_t id);
    void joinFinished();

    ServerLimits m_limits;
    DemoSite m_site;
    StopSignal m_stop;
    std::unique_ptr<ListenSocket> m_listener;
    std::atomic<uint16_t> m_port{0};
    std::thread m_acceptor;
    uint64_t m_nextId = 0;  // acceptor thread only

    mutable std::mutex m_mutex;
    std::unordered_map<uint64_t, std::thread> m_connections;  // GUARDED_BY(m_mutex)
    std::vector<uint64_t> m_finished;  // GUARDED_BY(m_mutex): ended, not joined yet
};

}  // namespace velk::demo
