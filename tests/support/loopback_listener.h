#pragma once
// The accept loop shared by the test servers: a listening socket on 127.0.0.1 (or ::1) with an
// ephemeral port, an acceptor thread, and one thread per accepted connection running
// the server's session function.  stop() (also run by the destructor) wakes every wait
// through a StopSignal and joins every thread, so it returns within a bounded time
// and leaves no thread or descriptor behind.  The session threads block SIGPIPE for
// themselves only, so a client that goes away cannot kill the test process while
// the host's own signal handling stays untouched.  Safe from any thread.
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "support/peer_stream.h"
#include "support/stop_signal.h"

namespace velk::test {

class LoopbackListener {
public:
    // Runs on the connection's own thread; index counts accepted connections from 0.
    using Session = std::function<void(PeerStream&, int index)>;

    // Most connections served at once; more are closed on arrival.
    static constexpr int kMaxLiveConnections = 4096;

    // ipv6: listen on ::1 instead of 127.0.0.1.
    explicit LoopbackListener(int backlog = 4096, bool ipv6 = false);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // Starts accepting; session runs once per connection.
    void start(Session session);
    void stop();
    uint16_t port() const { return m_port; }
    int accepted() const { return m_accepted.load(); }
    const StopSignal& stopSignal() const { return m_stop; }

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void acceptLoop();
    void reapFinished();

    int m_listenFd = -1;
    uint16_t m_port = 0;
    StopSignal m_stop;
    Session m_session;
    std::thread m_acceptor;
    std::atomic<int> m_accepted{0};
    std::mutex m_mutex;
    std::list<std::unique_ptr<Worker>> m_workers;  // GUARDED_BY(m_mutex)
    bool m_stopped = false;
};

// Connects to 127.0.0.1:port within timeoutMs; a blocking socket or -1.
int connectLoopback(uint16_t port, int timeoutMs);

// Blocks SIGPIPE for the calling thread only.
void blockSigpipeInThisThread();

}  // namespace velk::test
