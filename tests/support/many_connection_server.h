#pragma once
// An HTTP/1.1 server on 127.0.0.1 (ephemeral port) for runs with thousands of
// users: one thread and epoll instead of a thread per connection.  Every request
// head (up to the blank line) gets the same small kept-alive "200 OK"; request
// bodies are not expected.  It counts requests and accepted connections.
//
// Bounded: a head longer than kMaxHead closes its connection.  The destructor
// stops the thread and closes every socket.  Counters are safe from any thread.
#include <atomic>
#include <cstdint>
#include <thread>

namespace velk::test {

class ManyConnectionServer {
public:
    static constexpr size_t kMaxHead = 16 * 1024;

    ManyConnectionServer();
    ~ManyConnectionServer();
    ManyConnectionServer(const ManyConnectionServer&) = delete;
    ManyConnectionServer& operator=(const ManyConnectionServer&) = delete;

    bool started() const { return m_listenFd >= 0; }
    uint16_t port() const { return m_port; }
    int64_t requests() const { return m_requests.load(); }
    int64_t accepted() const { return m_accepted.load(); }

private:
    void serve();

    int m_listenFd = -1;
    int m_epoll = -1;
    int m_stopFd = -1;
    uint16_t m_port = 0;
    std::atomic<int64_t> m_requests{0};
    std::atomic<int64_t> m_accepted{0};
    std::thread m_thread;
};

}  // namespace velk::test
